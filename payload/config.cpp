#include "payload/config.h"

#include "payload/encoding.h"
#include "payload/expand.h"
#include "platform/text.h"
#include "runtime/paths.h"

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsKeyChar(char c) {
  // Bytes of 0x80 and above count as neither letter nor digit.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::u16string Utf16Units(const char* p, size_t bytes, bool bigEndian) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes; i += 2) {
    auto lo = static_cast<unsigned char>(p[i]), hi = static_cast<unsigned char>(p[i + 1]);
    char16_t u = bigEndian ? static_cast<char16_t>((lo << 8) | hi) : static_cast<char16_t>((hi << 8) | lo);
    if (u == 0) break;
    units.push_back(u);
  }
  return units;
}

// If `line` matches `key`, stores its value and returns true.
bool MatchLine(std::string_view line, std::string_view key, std::string_view& value) {
  size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  if (line.size() - i < key.size()) return false;
  for (size_t k = 0; k < key.size(); ++k)
    if (AsciiLower(line[i + k]) != AsciiLower(key[k])) return false;
  i += key.size();
  if (i < line.size() && IsKeyChar(line[i])) return false;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i < line.size() && line[i] == '=') ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  value = line.substr(i);
  return true;
}

// Scans the lines of the configuration text; `visit` returns false to stop.
template <typename Visit>
void ScanLines(const LauncherContext& ctx, std::string_view key, const LookupOptions& opt, Visit visit) {
  std::string_view text = ctx.configText;
  size_t start = opt.embeddedOnly ? static_cast<size_t>(ctx.externalLength) : 0;
  if (start > text.size()) return;
  size_t end = text.find('\0', start);
  if (end == std::string_view::npos) end = text.size();
  size_t pos = start;
  while (pos < end) {
    size_t eol = pos;
    while (eol < end && text[eol] != '\r' && text[eol] != '\n') ++eol;
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol;
    if (pos < end) {  // step over CR LF or LF CR as a pair, or one CR or LF
      char c = text[pos++];
      if (pos < end && (text[pos] == '\r' || text[pos] == '\n') && text[pos] != c) ++pos;
    }
    std::string_view raw;
    if (!MatchLine(line, key, raw)) continue;
    std::string value = opt.toAnsi ? Utf8ToAnsi(raw) : std::string(raw);
    if (!opt.prefix.empty() && value.compare(0, opt.prefix.size(), opt.prefix) != 0) continue;
    if (!visit(value)) return;
  }
}

std::string Single(const LauncherContext& ctx, std::string_view key, bool embeddedOnly = false) {
  return LookUp(ctx, key, {embeddedOnly, true, {}});
}

std::string SingleExpanded(const LauncherContext& ctx, std::string_view key) {
  return Expand(ctx, Single(ctx, key));
}

std::vector<std::string> Multi(const LauncherContext& ctx, std::string_view key, bool expand, bool toUtf8 = false) {
  std::vector<std::string> out;
  LookUpAll(ctx, key, {false, !toUtf8, {}}, [&](const std::string& v) {
    out.push_back(expand ? Expand(ctx, v, toUtf8) : v);
  });
  return out;
}

}  // namespace

LauncherContext* g_launcher = nullptr;

void AppendText(LauncherContext& ctx, const char* bytes, size_t length) {
  auto b = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (length >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) {
    ctx.configText.append(bytes + 3, length - 3);
  } else if (length >= 2 && b(0) == 0xFF && b(1) == 0xFE) {
    AppendUnitsAsUtf8(ctx.configText, Utf16Units(bytes + 2, length - 2, false));
  } else if (length >= 2 && b(0) == 0xFE && b(1) == 0xFF) {
    AppendUnitsAsUtf8(ctx.configText, Utf16Units(bytes + 2, length - 2, true));
  } else {
    AppendUnitsAsUtf8(ctx.configText, plat::AnsiToUtf16(std::string_view(bytes, length)));
  }
}

std::string LookUp(const LauncherContext& ctx, std::string_view key, LookupOptions opt) {
  std::string found;
  ScanLines(ctx, key, opt, [&](std::string& v) {
    found = std::move(v);
    return false;
  });
  return found;
}

void LookUpAll(const LauncherContext& ctx, std::string_view key, LookupOptions opt,
               const std::function<void(const std::string&)>& visit) {
  ScanLines(ctx, key, opt, [&](std::string& v) {
    visit(v);
    return true;
  });
}

bool ValueIs(std::string_view value, std::string_view keyword) {
  if (value.size() != keyword.size()) return false;
  for (size_t i = 0; i < value.size(); ++i)
    if (AsciiLower(value[i]) != AsciiLower(keyword[i])) return false;
  return true;
}

std::string CfgMainClass(const LauncherContext& c) { return Single(c, "mainclass", true); }
std::vector<std::string> CfgArgv(const LauncherContext& c) { return Multi(c, "argv", true); }
std::string CfgMinJre(const LauncherContext& c) { return Single(c, "minjre"); }
std::string CfgMaxJre(const LauncherContext& c) { return Single(c, "maxjre"); }
std::vector<std::string> CfgOptions(const LauncherContext& c) { return Multi(c, "option", true); }
std::vector<std::string> CfgProperties(const LauncherContext& c) { return Multi(c, "property", true, true); }
std::vector<std::string> CfgExports(const LauncherContext& c) { return Multi(c, "export", true); }
std::string CfgAsSystemClassLoader(const LauncherContext& c) { return Single(c, "assystemclassloader"); }
std::vector<std::string> CfgClassPath(const LauncherContext& c) { return Multi(c, "classpath", false); }
std::vector<std::string> CfgLibs(const LauncherContext& c) { return Multi(c, "libs", true); }
std::vector<std::string> CfgJavaClassPath(const LauncherContext& c) { return Multi(c, "java_classpath", false); }
std::vector<std::string> CfgJavaLibs(const LauncherContext& c) { return Multi(c, "java_libs", true); }
std::string CfgJreOrder(const LauncherContext& c) { return Single(c, "jre_order"); }
std::string CfgJre(const LauncherContext& c) { return SingleExpanded(c, "jre"); }
std::string CfgJvmDll(const LauncherContext& c) { return SingleExpanded(c, "jvmdll"); }
std::string CfgVm(const LauncherContext& c) { return SingleExpanded(c, "vm"); }
std::string CfgSplash(const LauncherContext& c) { return ResolvePath(c, SingleExpanded(c, "splash")); }
std::string CfgSplashTitle(const LauncherContext& c) { return Single(c, "splashtitle"); }
std::string CfgSplashCloseOnWindow(const LauncherContext& c) { return Single(c, "splashcloseonwindow"); }
std::string CfgSingleInstance(const LauncherContext& c) { return Single(c, "singleinstance"); }
std::string CfgAppId(const LauncherContext& c) { return Single(c, "appid"); }
std::string CfgWildcard(const LauncherContext& c) { return Single(c, "wildcard"); }
std::string CfgStdout(const LauncherContext& c) { return SingleExpanded(c, "stdout"); }
std::string CfgStderr(const LauncherContext& c) { return SingleExpanded(c, "stderr"); }
std::string CfgForceCwd(const LauncherContext& c) { return SingleExpanded(c, "forcecwd"); }
std::vector<std::string> CfgMessages(const LauncherContext& c) { return Multi(c, "message", false); }
std::string CfgUseJarProtocol(const LauncherContext& c) { return Single(c, "usejarprotocol"); }
std::string CfgFakeClassBytes(const LauncherContext& c) { return Single(c, "fakeclassbytes"); }
std::string CfgCompatible(const LauncherContext& c) { return Single(c, "compatible", true); }
std::string CfgDisableExternal(const LauncherContext& c) { return Single(c, "disableexternal", true); }
std::string CfgClassDataCache(const LauncherContext& c) { return Single(c, "classdatacache"); }
