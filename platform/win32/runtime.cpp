#include "platform/runtime.h"

namespace plat {

const char* VmLibraryName() { return "jvm.dll"; }

const std::vector<std::string>& VmLibraryDirs() {
  static const std::vector<std::string> dirs = {"", "bin\\", "jre\\bin\\", "..\\jre\\bin\\"};
  return dirs;
}

// Windows registers its runtimes in the registry, which the registry probe reads.
std::vector<std::string> SystemRuntimeHomes(char) { return {}; }

void SetSystemRootForTests(const std::string&) {}

}  // namespace plat
