// Conversions between the launcher's narrow strings and UTF-16.
//
// On Windows a narrow string is in the user's ANSI code page (the runtime library's locale
// is set to the user default at entry). On Linux narrow strings are UTF-8, the encoding of
// every current Linux desktop; a lone surrogate unit that UTF-8 cannot carry becomes "?".
#pragma once
#include <string>
#include <string_view>

namespace plat {

// Sets the runtime library's locale, all categories, to the user's default.
void SetUserLocale();

// Narrow text up to its first NUL byte, to UTF-16.
std::u16string AnsiToUtf16(std::string_view text);

// UTF-16 to narrow text; characters the code page cannot represent become "?".
std::string Utf16ToAnsi(std::u16string_view text);

// True when UTF-8 text can serve as narrow text unchanged: on Linux when it is well-formed
// UTF-8 (four-byte characters included); never on Windows.
bool Utf8IsNarrow(std::string_view utf8);

}  // namespace plat
