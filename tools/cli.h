// The plumbox command line: "wrap" and "inspect", with help and version.
#pragma once
#include <string>
#include <vector>

#include "tools/wrap.h"

enum class Command { kUsage, kHelp, kVersion, kWrap, kWrapHelp, kInspect, kInspectHelp };

struct CommandLine {
  Command command = Command::kUsage;
  WrapOptions wrap;
  std::string inspectFile;
};

// Parses the arguments after the program name; false with a message on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& cl, std::string& err);

std::string UsageText();
std::string WrapHelpText();
std::string InspectHelpText();
