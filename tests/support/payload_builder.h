// Builds executable-like files with a payload, the way the build tool lays them out.
#pragma once
#include <cstdint>
#include <string>

namespace testutil {

// The smallest valid ZIP archive: an empty end-of-central-directory record.
inline std::string EmptyZip() { return std::string("PK\x05\x06", 4) + std::string(18, '\0'); }

inline void PutLe32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// image | text block (text + NUL) | T | 16-byte builder block | archive | trailing
inline std::string PayloadFile(const std::string& image, const std::string& text, const std::string& archive,
                               const std::string& trailing = {}) {
  std::string f = image;
  f += text;
  f.push_back('\0');
  PutLe32(f, static_cast<uint32_t>(text.size() + 1));
  f += std::string(16, 'B');
  f += archive;
  f += trailing;
  return f;
}

}  // namespace testutil
