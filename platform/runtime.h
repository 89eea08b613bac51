// Where a Java runtime keeps its VM library on this system, and the runtimes that the
// system itself registers outside the registry.
#pragma once
#include <string>
#include <vector>

namespace plat {

// File name of the VM library: "jvm.dll" on Windows, "libjvm.so" on Linux.
const char* VmLibraryName();

// Subdirectories of a runtime directory that may hold the VM library or the VM
// subdirectories ("server", "client") that hold it, in the order they are tried. Each is
// empty (the directory itself) or ends with a separator.
const std::vector<std::string>& VmLibraryDirs();

// Home directories of the runtimes that the system registers without a registry, for
// the standard source ('s') and the second source ('i'). Always empty on Windows, where
// the registry answers. On Linux: 's' gives /usr/lib/jvm/default-java when it exists, 'i'
// the runtime behind the "java" alternative (/etc/alternatives/java, two levels above the
// java program it leads to).
std::vector<std::string> SystemRuntimeHomes(char source);

// Tests only: a directory that stands in for "/" when the system locations above are read.
void SetSystemRootForTests(const std::string& root);

}  // namespace plat
