#include "launcher/startup.h"

// Working directory and command-line expansion arrive with path handling; until then the
// directory stays and the arguments are the ones the runtime library split.
void ApplyForceCwd(LauncherContext&) {}

std::vector<std::string> ApplicationArguments(const LauncherContext&, int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}
