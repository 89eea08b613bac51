#include "platform/elevation.h"

#include <windows.h>

namespace plat {

namespace {

// The basic version information (the 148-byte structure).
bool SystemVersion(OSVERSIONINFOA& info) {
  info = {};
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
  return GetVersionExA(&info) != 0;
}

}  // namespace

bool IsElevated() {
  OSVERSIONINFOA info;
  if (!SystemVersion(info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT || info.dwMajorVersion <= 5) return true;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
  CloseHandle(token);
  return elevated;
}

}  // namespace plat
