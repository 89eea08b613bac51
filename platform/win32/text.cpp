#include "platform/text.h"

#include <clocale>
#include <windows.h>

namespace plat {

void SetUserLocale() { std::setlocale(LC_ALL, ""); }

std::u16string AnsiToUtf16(std::string_view text) {
  size_t len = 0;
  while (len < text.size() && text[len] != '\0') ++len;
  if (len == 0) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(len), nullptr, 0);
  std::u16string out(static_cast<size_t>(n > 0 ? n : 0), u'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(len), reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), nullptr, 0, "?", nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), out.data(), n, "?", nullptr);
  return out;
}

bool Utf8IsNarrow(std::string_view) { return false; }

}  // namespace plat
