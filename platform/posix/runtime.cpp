#include "platform/runtime.h"

#include <limits.h>
#include <stdlib.h>

#include "platform/fs.h"

namespace plat {

namespace {

std::string& SystemRoot() {
  static std::string root;
  return root;
}

// The path with its last `n` components removed; "" when it has too few.
std::string DropComponents(std::string path, int n) {
  for (int i = 0; i < n; ++i) {
    size_t sep = path.find_last_of('/');
    if (sep == std::string::npos || sep == 0) return {};
    path.resize(sep);
  }
  return path;
}

}  // namespace

const char* VmLibraryName() { return "libjvm.so"; }

const std::vector<std::string>& VmLibraryDirs() {
  // The layouts of current runtimes (lib/server), of Java 8 runtimes (lib/amd64/server)
  // and of Java 8 development kits (jre/lib/amd64/server), and a runtime directory named
  // one level too deep (bin), the same passes the Windows probe makes over bin.
  static const std::vector<std::string> dirs = {"", "lib/", "lib/amd64/", "jre/lib/amd64/", "../jre/lib/amd64/"};
  return dirs;
}

std::vector<std::string> SystemRuntimeHomes(char source) {
  const std::string& root = SystemRoot();
  if (source == 's') {
    std::string home = root + "/usr/lib/jvm/default-java";
    if (IsDirectory(home)) return {home};
  } else if (source == 'i') {
    char real[PATH_MAX];
    if (realpath((root + "/etc/alternatives/java").c_str(), real)) {
      std::string home = DropComponents(real, 2);  // .../bin/java -> ...
      if (!home.empty()) return {home};
    }
  }
  return {};
}

void SetSystemRootForTests(const std::string& root) { SystemRoot() = root; }

}  // namespace plat
