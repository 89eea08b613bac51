#include "platform/ui.h"

#include <windows.h>

namespace plat {

namespace {

OutputHandle g_userError = kNoOutput;

}  // namespace

bool LoadStringResource(unsigned id, std::u16string& out) {
  // Strings come in blocks of 16: block id / 16 + 1, entry id % 16, each entry a 16-bit
  // length followed by that many UTF-16 units.
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(self, MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(6) /* RT_STRING */);
  if (!res) return false;
  HGLOBAL loaded = LoadResource(self, res);
  const auto* p = loaded ? static_cast<const uint16_t*>(LockResource(loaded)) : nullptr;
  if (!p) return false;
  size_t units = SizeofResource(self, res) / 2, pos = 0;
  for (unsigned entry = 0; entry < id % 16; ++entry) {
    if (pos >= units) return false;
    pos += 1 + p[pos];
  }
  if (pos >= units || p[pos] > units - pos - 1) return false;
  out.assign(reinterpret_cast<const char16_t*>(p + pos + 1), p[pos]);
  return true;
}

void ShowMessageBox(void* owner, const std::string& text, const std::string& caption) {
  MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST);
}

void SetUserErrorOutput(OutputHandle h) { g_userError = h; }

// A windowed program often has no standard error at all; then the text goes nowhere.
void WriteUserError(std::string_view text) {
  HANDLE h = g_userError == kNoOutput ? GetStdHandle(STD_ERROR_HANDLE) : reinterpret_cast<HANDLE>(g_userError);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  WriteOutput(reinterpret_cast<OutputHandle>(h), text.data(), text.size());
}

}  // namespace plat
