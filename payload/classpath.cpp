#include "payload/classpath.h"

#include <vector>

#include "launcher/cmdline.h"
#include "payload/config.h"
#include "payload/expand.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "runtime/paths.h"

namespace {

bool IsArchiveName(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.size() - dot != 4) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".jar" || ext == ".zip";
}

// `inside` holds the identities of the directories being scanned, so that a link back to
// one of them is not followed round and round.
void ScanInto(std::string dir, std::string& out, std::vector<std::string>& inside) {
  if (dir.back() != '\\' && dir.back() != '/') dir += '/';
  std::string id;
  bool known = plat::DirectoryIdentity(dir, id);
  for (const std::string& seen : inside)
    if (known && seen == id) return;
  std::vector<plat::DirEntry> entries;
  if (!plat::ListDirectory(dir, "*", entries)) return;
  inside.push_back(known ? id : std::string());
  for (const plat::DirEntry& e : entries) {
    if (e.directory) {
      if (e.name != "." && e.name != "..") ScanInto(dir + e.name, out, inside);
    } else if (IsArchiveName(e.name)) {
      out += plat::kPathListSeparator;
      out += dir + e.name;
    }
  }
  inside.pop_back();
}

void AppendEnvironment(std::string& out, const char* name) {
  std::string value;
  if (!plat::GetEnv(name, value)) return;
  out += plat::kPathListSeparator;
  out += value;
}

}  // namespace

void ScanLibraryDirectory(const std::string& dir, std::string& out) {
  if (dir.empty()) return;
  std::vector<std::string> inside;
  ScanInto(dir, out, inside);
}

void AddClassPathEntries(const LauncherContext& ctx, std::string& out, std::string_view value) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    std::string_view piece = value.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    std::string entry = Expand(ctx, piece);
    if (entry.find_first_of("*?") != std::string::npos) {
      std::vector<std::string> matches;
      ExpandWildcard(entry, matches);
      for (const std::string& m : matches) (out += plat::kPathListSeparator) += m;
    } else {
      (out += plat::kPathListSeparator) += ResolvePath(ctx, entry);
    }
  }
}

std::string BuildClassPath(const LauncherContext& ctx, ClassPathForm form) {
  bool vm = form == ClassPathForm::Vm;
  std::string entries;
  for (const std::string& value : vm ? CfgJavaClassPath(ctx) : CfgClassPath(ctx))
    AddClassPathEntries(ctx, entries, value);
  std::string result = vm ? ctx.exePath + entries : entries;
  for (const std::string& dir : vm ? CfgJavaLibs(ctx) : CfgLibs(ctx)) {
    // An empty directory value would resolve to "" and scan from the root: skip it.
    if (!dir.empty()) ScanLibraryDirectory(ResolvePath(ctx, dir), result);
  }
  if (!vm) {
    AppendEnvironment(result, "CLASSPATH");
    AppendEnvironment(result, "CLASS_PATH");
  }
  return result;
}
