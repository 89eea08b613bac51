#include "platform/dynlib.h"

#include <dlfcn.h>

namespace plat {

namespace {
thread_local std::string t_lastError;
}

void QuietLibraryErrors() {}

void* LoadDynamicLibrary(const std::string& path) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!lib) {
    const char* why = dlerror();
    t_lastError = why ? why : "cannot load " + path;
  }
  return lib;
}

std::string LastLoadError(const std::string& path) {
  std::string text = t_lastError;
  for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + path.size()))
    text.replace(at, 2, path);
  return text;
}

void PrepareRuntimeLibraries(const std::string&) {}

void* FindSymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void FreeDynamicLibrary(void* library) {
  if (library) dlclose(library);
}

}  // namespace plat
