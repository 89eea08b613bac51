// Text encodings of configuration text: UTF-16 and UTF-8 by the launcher's own rules.
#pragma once
#include <string>
#include <string_view>

// Encodes 16-bit units to UTF-8 one unit at a time (surrogates are not combined: each
// surrogate unit gives three bytes).
void AppendUnitsAsUtf8(std::string& out, std::u16string_view units);

// Decodes UTF-8 with the launcher's lenient rules: bad sequences give "?", a sequence cut
// off by the end of the text ends the decoding, four-byte sequences give "?" per byte.
std::u16string DecodeUtf8Lenient(std::string_view utf8);

// A UTF-8 value converted to the narrow code page when it holds any byte of 0x80 or above
// (through the lenient decoder); where narrow text is UTF-8 (Linux), well-formed UTF-8 is
// kept as it is.
std::string Utf8ToAnsi(std::string_view utf8);

// Narrow (code page) text re-encoded to UTF-8 unit by unit.
std::string AnsiToUtf8(std::string_view ansi);

// True when any byte is 0x80 or above.
bool HasHighBytes(std::string_view s);
