// String table resources (RT_STRING): strings are kept in blocks of 16, block n / 16 + 1
// holding string n at position n % 16, each a 16-bit length and that many UTF-16 units.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using StringBlock = std::array<std::u16string, 16>;

// False when the data ends inside a string; bytes after the 16th string are ignored.
bool DecodeStringBlock(std::string_view data, StringBlock& block);
std::string EncodeStringBlock(const StringBlock& block);

struct MessageText {
  uint16_t id = 0;
  std::u16string text;
};

// "N=TEXT" with N from 1 to 65535 and TEXT in the tool's narrow encoding, unescaped the way
// the launcher's "message" lines are: \n, \r and \t give line feed, carriage return and tab,
// a backslash before any other character gives that character, a final backslash is dropped.
bool ParseMessageOption(std::string_view option, MessageText& out, std::string& error);
