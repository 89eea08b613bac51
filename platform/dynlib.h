// Dynamic libraries: loading the Java runtime's VM library and finding its functions.
#pragma once
#include <string>

namespace plat {

// Keeps the system from asking the user about libraries or drives it cannot open (Windows:
// the process's error mode gains SEM_FAILCRITICALERRORS and SEM_NOOPENFILEERRORBOX).
void QuietLibraryErrors();

// Loads a library; null on failure, after which LastLoadError tells why.
void* LoadDynamicLibrary(const std::string& path);

// The system's text for the last failed LoadDynamicLibrary on this thread, with `path` in
// place of every "%1".
std::string LastLoadError(const std::string& path);

// Address of an exported function, or null.
void* FindSymbol(void* library, const char* name);

void FreeDynamicLibrary(void* library);

// Makes `dir` a place where later loads of libraries by bare name look (Windows: the DLL
// directory of the process). The runtime's own libraries load siblings by name ("zip.dll" for a
// compressed module image), which java.exe finds in its own directory, the runtime's bin.
// POSIX: nothing; the runtime's libraries find each other through their own run paths.
void AddLibrarySearchDirectory(const std::string& dir);

}  // namespace plat
