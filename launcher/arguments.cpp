#include "launcher/cmdline.h"
#include "launcher/startup.h"
#include "payload/config.h"
#include "payload/load.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace {

// A "forcecwd" value as a path: absolute as written, "\..." on the executable's drive,
// anything else below the executable's directory.
std::string ForceCwdTarget(const std::string& value, const std::string& exeDir) {
  if (value[0] == '/' || (value.size() > 1 && value[1] == ':')) return value;
  if (value[0] == '\\') return exeDir.find(':') == 1 ? exeDir.substr(0, 2) + value : value;
  if (exeDir.empty() || exeDir.back() == '\\' || exeDir.back() == '/') return exeDir + value;
  return exeDir + "/" + value;
}

// The command line as the system keeps it; where it hands over only the split words,
// they are written back quoted, so that the shell's own expansion is not repeated on
// them except for "all".
std::string CommandLine(int argc, char** argv) {
  std::string line;
  if (plat::RawCommandLine(line)) return line;
  for (int i = 0; i < argc; ++i) {
    if (i) line += ' ';
    line += QuoteArgument(argv[i]);
  }
  return line;
}

}  // namespace

void ApplyForceCwd(LauncherContext& ctx) {
  std::string value = CfgForceCwd(ctx);
  if (value.empty()) return;
  std::string full = plat::FullPath(ForceCwdTarget(value, ctx.exeDir));
  if (!full.empty() && full.size() < plat::kMaxPathLength) plat::ChangeDirectory(full);
  std::string now = plat::CurrentDirectory();
  if (!now.empty()) ctx.workDir = WithTrailingSeparator(now);
}

std::vector<std::string> ApplicationArguments(const LauncherContext& ctx, int argc, char** argv) {
  std::vector<std::string> args;
  WildcardMode mode = WildcardModeOf(CfgWildcard(ctx));
  if (mode == WildcardMode::None) {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  args = BuildArguments(CommandLine(argc, argv), mode);
  if (!args.empty()) args.erase(args.begin());
  return args;
}
