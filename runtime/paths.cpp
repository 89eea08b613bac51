#include "runtime/paths.h"

#include "platform/fs.h"

std::string ResolvePath(const LauncherContext& ctx, const std::string& path) {
  if (path.empty()) return path;
  if (path[0] == '\\' || path[0] == '/' || (path.size() > 1 && path[1] == ':')) return path;
  std::string inApp = ctx.exeDir + path;
  if (plat::CanRead(inApp)) return inApp;
  std::string inCwd = ctx.workDir + path;
  if (plat::CanRead(inCwd)) return inCwd;
  return inApp;
}
