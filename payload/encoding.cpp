#include "payload/encoding.h"

#include "platform/text.h"

void AppendUnitsAsUtf8(std::string& out, std::u16string_view units) {
  for (char16_t u : units) {
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (u >> 6)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (u >> 12)));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
}

std::u16string DecodeUtf8Lenient(std::string_view s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t extra;
    char16_t unit;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      unit = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      unit = c & 0x0F;
    } else {  // stray continuation byte or a lead byte of a four-byte sequence
      out.push_back(u'?');
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k <= extra; ++k) {
      if (i + k >= s.size()) return out;  // cut off by the end: the rest is dropped
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) break;
      unit = static_cast<char16_t>((unit << 6) | (cc & 0x3F));
    }
    if (k <= extra) {
      // Missing or malformed continuation byte: "?", then go on with the byte after the
      // last one consumed.
      out.push_back(u'?');
      i += k;
      continue;
    }
    out.push_back(unit);
    i += extra + 1;
  }
  return out;
}

bool HasHighBytes(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (!HasHighBytes(utf8) || plat::Utf8IsNarrow(utf8)) return std::string(utf8);
  return plat::Utf16ToAnsi(DecodeUtf8Lenient(utf8));
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  AppendUnitsAsUtf8(out, plat::AnsiToUtf16(ansi));
  return out;
}
