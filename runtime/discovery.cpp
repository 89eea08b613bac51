#include "runtime/discovery.h"

#include <vector>

#include "launcher/trace.h"
#include "payload/config.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "runtime/paths.h"

namespace {

// The marker for "not searched yet" (the kept result) and for "absent" (the kept "vm").
constexpr char kMarker = '-';
std::string g_result(1, kMarker);

bool IsMarker(const std::string& s) { return s.size() == 1 && s[0] == kMarker; }

// dir + sub + "/" + lib, built by appending.
std::string LibraryIn(const std::string& dir, const std::string& sub, const std::string& lib) {
  std::string path = dir;
  path.append(sub).append("/").append(lib);
  return path;
}

bool EndsWithSeparator(const std::string& s) { return !s.empty() && (s.back() == '\\' || s.back() == '/'); }

const std::string& VmSubdir(LauncherContext& ctx) {
  if (ctx.vmSubdir.empty()) {
    ctx.vmSubdir = CfgVm(ctx);
    if (ctx.vmSubdir.empty()) ctx.vmSubdir.assign(1, kMarker);
  }
  return ctx.vmSubdir;
}

// The VM library in `dir` (ending with a separator): directly, in the configured VM
// subdirectory, then in any subdirectory in enumeration order.
std::string ProbeOneDirectory(LauncherContext& ctx, const std::string& dir) {
  const std::string lib = plat::VmLibraryName();
  if (plat::CanRead(dir + lib)) return dir + lib;
  if (HasVmSubdir(ctx)) {
    std::string candidate = LibraryIn(dir, VmSubdir(ctx), lib);
    if (plat::CanRead(candidate)) return candidate;
  }
  std::vector<plat::DirEntry> entries;
  if (!plat::ListDirectory(dir, "*", entries)) {
    if (Tracing() && plat::CanRead(dir)) Trace("runtime:     " + dir + ": cannot be listed");
    return {};
  }
  for (const plat::DirEntry& e : entries) {
    if (!e.directory || e.name == "." || e.name == "..") continue;
    std::string candidate = LibraryIn(dir, e.name, lib);
    if (plat::CanRead(candidate)) return candidate;
  }
  Trace("runtime:     " + dir + ": no " + lib + " in it or in its subdirectories");
  return {};
}

bool ReadRegistryString(const std::string& key, const std::string& name, std::string& out) {
  plat::RegistryValue v;
  if (!plat::ReadRegistryValue(plat::RegistryRoot::LocalMachine, key, name, v)) return false;
  if (v.type != plat::RegistryType::String && v.type != plat::RegistryType::ExpandString) return false;
  out = v.data.substr(0, v.data.find('\0'));
  return out.size() < plat::kMaxPathLength;  // what the 260-byte buffer holds
}

// The path without its last two components ("" when it has fewer separators).
std::string TwoLevelsUp(std::string path) {
  for (int i = 0; i < 2; ++i) {
    size_t sep = path.find_last_of("\\/");
    if (sep == std::string::npos) return {};
    path.resize(sep);
  }
  return path;
}

std::string SourceConfigured(LauncherContext& ctx) {
  std::string path = CfgJvmDll(ctx);
  if (path.empty()) {
    Trace("runtime:   no jvmdll configured");
    return {};
  }
  path = ResolvePath(ctx, path);
  if (plat::CanRead(path)) return path;
  Trace("runtime:   jvmdll " + path + ": cannot be read");
  return {};
}

std::string SourceOwnRuntime(LauncherContext& ctx) {
  std::string dir = CfgJre(ctx);
  if (dir.empty()) dir = "./jre/";
  dir = ResolvePath(ctx, dir);
  Trace("runtime:   jre directory " + dir);
  return ProbeRuntimeDirectory(ctx, dir);
}

std::string SourceEnvironment(LauncherContext& ctx) {
  for (const char* name : {"JRE_HOME", "JAVA_HOME"}) {
    std::string dir;
    if (!plat::GetEnv(name, dir) || dir.empty()) {
      Trace(std::string("runtime:   ") + name + " is not set");
      continue;
    }
    Trace(std::string("runtime:   ") + name + "=" + dir);
    std::string found = ProbeRuntimeDirectory(ctx, dir);
    if (!found.empty()) return found;
  }
  return {};
}

// Sources 's' and 'i': the registry keys of the vendor, then the runtimes the system
// registers elsewhere (Linux).
std::string SourceRegistered(LauncherContext& ctx, char source) {
  std::vector<std::string> keys;
  if (source == 's') keys = {"SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\JavaSoft\\Java Runtime Environment"};
  else keys = {"SOFTWARE\\IBM\\Java2 Runtime Environment"};
  for (const std::string& key : keys) {
    std::string found = ProbeRuntimeRegistry(ctx, key);
    if (!found.empty()) return found;
  }
  for (const std::string& home : plat::SystemRuntimeHomes(source)) {
    Trace("runtime:   system runtime " + home);
    std::string found = ProbeRuntimeDirectory(ctx, home);
    if (!found.empty()) return found;
  }
  return {};
}

std::string RunSource(LauncherContext& ctx, char source) {
  switch (source) {
    case 'c': return SourceConfigured(ctx);
    case 'b': return SourceOwnRuntime(ctx);
    case 'e': return SourceEnvironment(ctx);
    case 's':
    case 'i': return SourceRegistered(ctx, source);
    default: return {};
  }
}

std::string SearchOrder(const LauncherContext& ctx) {
  std::string order = CfgJreOrder(ctx);
  for (char& c : order)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (order.find_first_of("cbsie") == std::string::npos) order = "cbsie";
  return order;
}

}  // namespace

bool HasVmSubdir(LauncherContext& ctx) { return VmSubdir(ctx).size() > 1; }

std::string ProbeRuntimeDirectory(LauncherContext& ctx, std::string dir) {
  if (!EndsWithSeparator(dir)) dir += '/';
  if (Tracing() && !plat::CanRead(dir)) Trace("runtime:     " + dir + ": no such directory");
  for (const std::string& sub : plat::VmLibraryDirs()) {
    std::string found = ProbeOneDirectory(ctx, dir + sub);
    if (!found.empty()) return found;
  }
  return {};
}

std::string ProbeRuntimeRegistry(LauncherContext& ctx, const std::string& keyPath) {
  std::string version, versionKey, lib, home;
  if (!ReadRegistryString(keyPath, "CurrentVersion", version)) {
    Trace("runtime:   registry " + keyPath + ": no CurrentVersion");
    return {};
  }
  versionKey = keyPath;
  versionKey.append("\\").append(version);
  Trace("runtime:   registry " + versionKey);
  if (ReadRegistryString(versionKey, "RuntimeLib", lib)) {
    if (plat::CanRead(lib) && !HasVmSubdir(ctx)) return lib;
    std::string dir = TwoLevelsUp(lib);
    return dir.empty() ? std::string() : ProbeRuntimeDirectory(ctx, dir);
  }
  if (ReadRegistryString(versionKey, "JavaHome", home)) return ProbeRuntimeDirectory(ctx, home);
  return {};
}

std::string FindRuntimeLibrary(LauncherContext& ctx) {
  if (!IsMarker(g_result)) return g_result;
  const std::string order = SearchOrder(ctx);
  Trace("runtime: search order " + order + " (c jvmdll, b jre directory, s/i registered, e JRE_HOME/JAVA_HOME)");
  for (char source : order) {
    Trace(std::string("runtime: source ") + source);
    std::string found = RunSource(ctx, source);
    if (!found.empty()) {
      Trace("runtime: found " + found);
      return g_result = found;
    }
  }
  Trace("runtime: no source gave a VM library");
  return g_result = std::string();
}

void ResetRuntimeSearchForTests() { g_result.assign(1, kMarker); }
