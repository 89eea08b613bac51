#include "tools/string_table.h"

#include "platform/text.h"
#include "tools/byte_io.h"

namespace {

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out.push_back(text[i]);
      continue;
    }
    if (++i == text.size()) break;
    char c = text[i];
    out.push_back(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
  }
  return out;
}

}  // namespace

bool DecodeStringBlock(std::string_view data, StringBlock& block) {
  uint64_t at = 0;
  for (std::u16string& s : block) {
    uint16_t length = 0;
    if (!ReadLe16(data, at, length) || !HasBytes(data, at + 2, 2ull * length)) return false;
    s.clear();
    for (uint16_t i = 0; i < length; ++i) {
      uint16_t unit = 0;
      ReadLe16(data, at + 2 + 2 * i, unit);
      s.push_back(char16_t(unit));
    }
    at += 2 + 2ull * length;
  }
  return true;
}

std::string EncodeStringBlock(const StringBlock& block) {
  std::string out;
  for (const std::u16string& s : block) {
    AppendLe16(out, uint16_t(s.size()));
    AppendUtf16(out, s);
  }
  return out;
}

bool ParseMessageOption(std::string_view option, MessageText& out, std::string& error) {
  size_t eq = option.find('=');
  std::string_view number = option.substr(0, eq);
  uint32_t id = 0;
  bool ok = eq != std::string_view::npos && !number.empty() && number.size() <= 5;
  for (char c : number) {
    ok = ok && c >= '0' && c <= '9';
    id = id * 10 + uint32_t(c - '0');
  }
  if (!ok || id == 0 || id > 0xFFFF) {
    error = "--message \"" + std::string(option) + "\" is not NUMBER=TEXT with a number from 1 to 65535";
    return false;
  }
  out.id = uint16_t(id);
  out.text = plat::AnsiToUtf16(Unescape(option.substr(eq + 1)));
  if (out.text.size() > 0xFFFF) {
    error = "--message " + std::to_string(id) + ": the text is too long";
    return false;
  }
  return true;
}
