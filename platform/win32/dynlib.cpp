#include "platform/dynlib.h"

#include <windows.h>

#include <cstdio>

namespace plat {

namespace {
thread_local DWORD t_lastError = 0;
}

void QuietLibraryErrors() {
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

void* LoadDynamicLibrary(const std::string& path) {
  HMODULE lib = LoadLibraryA(path.c_str());
  if (!lib) t_lastError = GetLastError();
  return lib;
}

std::string LastLoadError(const std::string& path) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, t_lastError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : "error " + std::to_string(t_lastError);
  if (buffer) LocalFree(buffer);
  for (size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + path.size()))
    text.replace(at, 2, path);
  return text;
}

void* FindSymbol(void* library, const char* name) {
  return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void PrepareRuntimeLibraries(const std::string& binDir) {
  SetDllDirectoryA(binDir.c_str());
  HMODULE ucrt = GetModuleHandleA("ucrtbase.dll");
  if (!ucrt) return;
  using IobFunction = FILE*(__cdecl*)(unsigned);
  using SetvbufFunction = int(__cdecl*)(FILE*, char*, int, size_t);
  auto iob = reinterpret_cast<IobFunction>(GetProcAddress(ucrt, "__acrt_iob_func"));
  auto setbuffer = reinterpret_cast<SetvbufFunction>(GetProcAddress(ucrt, "setvbuf"));
  if (iob && setbuffer) setbuffer(iob(2), nullptr, _IONBF, 0);
}

void FreeDynamicLibrary(void* library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace plat
