// Loads the resources of another executable with the calls the launcher uses on its own
// (LoadBitmap, FindResource, LoadString) and the system's version functions, and prints
// what it finds, one line each. The integration tests run it under Wine on wrapped
// executables.
//
//   plb_resource_probe EXE [STRING-ID...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// UTF-8, with line breaks and tabs written as \n, \r and \t so that every result stays on
// one line.
std::string Printable(const wchar_t* text, int length) {
  std::string out;
  if (length <= 0) return out;
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), n, nullptr, nullptr);
  for (char c : utf8) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : std::string(1, c);
  return out;
}

void PrintResources(HMODULE module, int argc, char** argv) {
  HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(100));
  BITMAP info{};
  if (bitmap && GetObjectA(bitmap, sizeof info, &info)) std::printf("bitmap 100: %ldx%ld\n", info.bmWidth, info.bmHeight);
  else std::printf("bitmap 100: none\n");
  if (bitmap) DeleteObject(bitmap);
  HRSRC rcdata = FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(10));
  std::printf("rcdata 100: %lu bytes\n", rcdata ? SizeofResource(module, rcdata) : 0ul);
  for (int i = 2; i < argc; ++i) {
    wchar_t text[4096];
    int length = LoadStringW(module, UINT(std::atoi(argv[i])), text, 4096);
    std::printf("string %s: [%s]\n", argv[i], Printable(text, length).c_str());
  }
}

void PrintVersion(const char* path) {
  DWORD ignored = 0, size = GetFileVersionInfoSizeA(path, &ignored);
  std::string block(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(path, 0, size, block.data())) {
    std::printf("version: none\n");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed)
    std::printf("version fixed: %lu.%lu.%lu.%lu product %lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  for (const wchar_t* key : {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
                             L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    wchar_t* value = nullptr;
    if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value)
      std::printf("version %s: [%s]\n", Printable(key, int(wcslen(key))).c_str(), Printable(value, int(wcslen(value))).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: plb_resource_probe EXE [STRING-ID...]\n");
    return 2;
  }
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    std::printf("load failed: %lu\n", GetLastError());
    return 1;
  }
  PrintResources(module, argc, argv);
  FreeLibrary(module);
  PrintVersion(argv[1]);
  return 0;
}
