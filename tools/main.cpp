// plumbox: wraps a Java application into a launcher executable, and shows what one carries.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli.h"
#include "tools/inspect.h"
#include "tools/wrap.h"

#ifndef PLB_VERSION
#define PLB_VERSION "unknown"
#endif

namespace {

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "plumbox: error: %s\n", message.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  CommandLine cl;
  std::string err;
  if (!ParseCommandLine(args, cl, err)) return Fail(err + " (see plumbox --help)", 2);
  std::string report;
  switch (cl.command) {
    case Command::kUsage:
      std::fputs(UsageText().c_str(), stderr);
      return 2;
    case Command::kHelp:
      std::fputs((UsageText() + "\n" + WrapHelpText() + "\n" + InspectHelpText()).c_str(), stdout);
      return 0;
    case Command::kWrapHelp:
      std::fputs(WrapHelpText().c_str(), stdout);
      return 0;
    case Command::kInspectHelp:
      std::fputs(InspectHelpText().c_str(), stdout);
      return 0;
    case Command::kVersion:
      std::printf("plumbox %s\n", PLB_VERSION);
      return 0;
    case Command::kWrap:
      return Wrap(cl.wrap, err) ? 0 : Fail(err, 1);
    case Command::kInspect:
      if (!InspectExecutable(cl.inspectFile, report, err)) return Fail(err, 1);
      std::fputs(report.c_str(), stdout);
      return 0;
  }
  return 2;
}
