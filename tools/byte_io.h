// Little-endian reads and writes on byte strings. Reads check the bounds and leave the
// value alone when the bytes are not there; writes expect the caller to have checked.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

inline bool HasBytes(std::string_view data, uint64_t offset, uint64_t size) {
  return offset <= data.size() && size <= data.size() - offset;
}

inline bool ReadLe16(std::string_view data, uint64_t offset, uint16_t& v) {
  if (!HasBytes(data, offset, 2)) return false;
  v = uint16_t(uint8_t(data[offset]) | uint8_t(data[offset + 1]) << 8);
  return true;
}

inline bool ReadLe32(std::string_view data, uint64_t offset, uint32_t& v) {
  if (!HasBytes(data, offset, 4)) return false;
  v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(data[offset + i]);
  return true;
}

inline void WriteLe16(std::string& data, size_t offset, uint16_t v) {
  data[offset] = char(v & 0xFF);
  data[offset + 1] = char(v >> 8);
}

inline void WriteLe32(std::string& data, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) data[offset + i] = char((v >> (8 * i)) & 0xFF);
}

inline void AppendLe16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}

inline void AppendLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

inline void AppendUtf16(std::string& out, std::u16string_view text) {
  for (char16_t c : text) AppendLe16(out, uint16_t(c));
}

inline void PadTo(std::string& out, size_t alignment) {
  while (out.size() % alignment != 0) out.push_back('\0');
}
