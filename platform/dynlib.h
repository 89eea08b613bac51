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

// Readies the process for the runtime once its VM library is loaded, with `binDir` the
// runtime's bin directory, so that the runtime behaves as under its own java launcher
// (Windows: later loads of libraries by bare name, such as "zip.dll" for a compressed module
// image, look in `binDir`; the universal C runtime that the VM prints through writes standard
// error unbuffered, so its lines keep their order with Java's own output. POSIX: nothing; the
// runtime's libraries find each other through their own run paths).
void PrepareRuntimeLibraries(const std::string& binDir);

}  // namespace plat
