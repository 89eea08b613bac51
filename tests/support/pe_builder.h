// Builds small, well-formed PE32+ images for the tool's tests: headers of 0x400 bytes,
// sections aligned to 0x1000 in memory and 0x200 in the file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

struct FakeSection {
  std::string name;
  std::string data;
  uint32_t characteristics = 0x40000040;  // initialised data, readable
};

inline constexpr uint32_t kFakeHeaders = 0x400;
inline constexpr uint32_t kFakeSectionAlign = 0x1000;
inline constexpr uint32_t kFakeFileAlign = 0x200;
inline constexpr uint32_t kFakeOptionalHeader = 0x40 + 4 + 20;

inline void PutLe16At(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char(v >> 8);
}
inline void PutLe32At(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}
inline uint32_t GetLe32At(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(s[at + i]);
  return v;
}

inline uint32_t AlignTo(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// Virtual address of section i in an image from FakePe (every section below 0x1000 bytes
// in memory takes one page).
inline uint32_t FakeSectionRva(const std::vector<FakeSection>& sections, size_t index) {
  uint32_t rva = kFakeSectionAlign;
  for (size_t i = 0; i < index; ++i) rva += AlignTo(uint32_t(sections[i].data.size()) + 1, kFakeSectionAlign);
  return rva;
}

// An image with the given sections; `resourceIndex` names the section the resource
// directory points to (-1: no resources).
inline std::string FakePe(const std::vector<FakeSection>& sections, int resourceIndex = -1) {
  std::string f(kFakeHeaders, '\0');
  f[0] = 'M';
  f[1] = 'Z';
  PutLe32At(f, 0x3C, 0x40);
  f.replace(0x40, 4, std::string("PE\0\0", 4));
  PutLe16At(f, 0x44, 0x8664);
  PutLe16At(f, 0x46, uint16_t(sections.size()));
  PutLe16At(f, 0x54, 240);
  PutLe16At(f, 0x56, 0x22);
  const uint32_t opt = kFakeOptionalHeader;
  PutLe16At(f, opt, 0x20B);
  PutLe32At(f, opt + 32, kFakeSectionAlign);
  PutLe32At(f, opt + 36, kFakeFileAlign);
  PutLe32At(f, opt + 60, kFakeHeaders);
  PutLe16At(f, opt + 68, 2);
  PutLe32At(f, opt + 108, 16);
  uint32_t table = opt + 240;
  for (size_t i = 0; i < sections.size(); ++i) {
    const FakeSection& s = sections[i];
    uint32_t at = table + 40 * uint32_t(i), rva = FakeSectionRva(sections, i);
    f.replace(at, s.name.size(), s.name);
    PutLe32At(f, at + 8, uint32_t(s.data.size()));
    PutLe32At(f, at + 12, rva);
    PutLe32At(f, at + 16, AlignTo(uint32_t(s.data.size()), kFakeFileAlign));
    PutLe32At(f, at + 20, uint32_t(f.size()));
    PutLe32At(f, at + 36, s.characteristics);
    f += s.data;
    f.resize(AlignTo(uint32_t(f.size()), kFakeFileAlign), '\0');
    PutLe32At(f, opt + 56, AlignTo(rva + uint32_t(s.data.size()), kFakeSectionAlign));
    if (int(i) == resourceIndex) {
      PutLe32At(f, opt + 112 + 8 * 2, rva);
      PutLe32At(f, opt + 112 + 8 * 2 + 4, uint32_t(s.data.size()));
    }
  }
  return f;
}

}  // namespace testutil
