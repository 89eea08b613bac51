// Configuration text: decoding, line grammar, lookups and one accessor per key.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "payload/context.h"

// Recognises the encoding of `bytes` (UTF-8 mark, UTF-16 LE/BE marks, else the narrow code
// page), converts to UTF-8 and appends to the configuration text.
void AppendText(LauncherContext& ctx, const char* bytes, size_t length);

struct LookupOptions {
  bool embeddedOnly = false;
  bool toAnsi = true;
  std::string_view prefix = {};
};

// Value of the first line matching `key`, or "".
std::string LookUp(const LauncherContext& ctx, std::string_view key, LookupOptions opt = {});

// Calls `visit` with the value of every matching line, in text order.
void LookUpAll(const LauncherContext& ctx, std::string_view key, LookupOptions opt,
               const std::function<void(const std::string&)>& visit);

// True when `value` equals `keyword` as a whole, ignoring ASCII case.
bool ValueIs(std::string_view value, std::string_view keyword);

// Key accessors. Single-valued keys answer "" when absent; multi-valued keys answer every
// value in order. Accessors of expanded keys return the expanded value.
std::string CfgMainClass(const LauncherContext& ctx);
std::vector<std::string> CfgArgv(const LauncherContext& ctx);
std::string CfgMinJre(const LauncherContext& ctx);
std::string CfgMaxJre(const LauncherContext& ctx);
std::vector<std::string> CfgOptions(const LauncherContext& ctx);
std::vector<std::string> CfgProperties(const LauncherContext& ctx);  // UTF-8
std::vector<std::string> CfgExports(const LauncherContext& ctx);
std::string CfgAsSystemClassLoader(const LauncherContext& ctx);
std::vector<std::string> CfgClassPath(const LauncherContext& ctx);      // raw; entries expand later
std::vector<std::string> CfgLibs(const LauncherContext& ctx);
std::vector<std::string> CfgJavaClassPath(const LauncherContext& ctx);  // raw; entries expand later
std::vector<std::string> CfgJavaLibs(const LauncherContext& ctx);
std::string CfgJreOrder(const LauncherContext& ctx);
std::string CfgJre(const LauncherContext& ctx);
std::string CfgJvmDll(const LauncherContext& ctx);
std::string CfgVm(const LauncherContext& ctx);
std::string CfgSplash(const LauncherContext& ctx);  // expanded, then resolved as a path
std::string CfgSplashTitle(const LauncherContext& ctx);
std::string CfgSplashCloseOnWindow(const LauncherContext& ctx);
std::string CfgSingleInstance(const LauncherContext& ctx);
std::string CfgAppId(const LauncherContext& ctx);
std::string CfgWildcard(const LauncherContext& ctx);
std::string CfgStdout(const LauncherContext& ctx);
std::string CfgStderr(const LauncherContext& ctx);
std::string CfgForceCwd(const LauncherContext& ctx);
std::vector<std::string> CfgMessages(const LauncherContext& ctx);      // raw; expanded with their escapes
std::string CfgUseJarProtocol(const LauncherContext& ctx);
std::string CfgFakeClassBytes(const LauncherContext& ctx);
std::string CfgCompatible(const LauncherContext& ctx);
std::string CfgDisableExternal(const LauncherContext& ctx);
std::string CfgClassDataCache(const LauncherContext& ctx);
