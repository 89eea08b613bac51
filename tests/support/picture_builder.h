// Small pictures made at test time: .bmp files and .ico files with bitmap images.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

inline void AddLe16(std::string& s, uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}
inline void AddLe32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

// BITMAPINFOHEADER for an uncompressed bitmap.
inline std::string InfoHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t colorsUsed = 0) {
  std::string h;
  AddLe32(h, 40);
  AddLe32(h, uint32_t(width));
  AddLe32(h, uint32_t(height));
  AddLe16(h, 1);
  AddLe16(h, bitCount);
  AddLe32(h, 0);  // BI_RGB
  AddLe32(h, 0);
  AddLe32(h, 2835);
  AddLe32(h, 2835);
  AddLe32(h, colorsUsed);
  AddLe32(h, 0);
  return h;
}

inline uint32_t RowBytes(int32_t width, uint16_t bitCount) { return ((uint32_t(width) * bitCount + 31) / 32) * 4; }

// A .bmp file: 24 bits per pixel, every pixel (b, g, r) = `bgr`, `gap` spare bytes
// between the header and the pixels.
inline std::string MakeBmp(int32_t width, int32_t height, uint32_t bgr = 0x2060A0, uint32_t gap = 0) {
  std::string pixels;
  for (int32_t y = 0; y < (height < 0 ? -height : height); ++y) {
    std::string row;
    for (int32_t x = 0; x < width; ++x) {
      row.push_back(char(bgr & 0xFF));
      row.push_back(char((bgr >> 8) & 0xFF));
      row.push_back(char((bgr >> 16) & 0xFF));
    }
    row.resize(RowBytes(width, 24), '\0');
    pixels += row;
  }
  std::string f = "BM";
  AddLe32(f, uint32_t(14 + 40 + gap + pixels.size()));
  AddLe32(f, 0);
  AddLe32(f, 14 + 40 + gap);
  f += InfoHeader(width, height, 24);
  f += std::string(gap, '\x77');
  return f + pixels;
}

// One icon image: a 32-bit DIB (header with doubled height, colour pixels, AND mask).
inline std::string IconDib(int32_t size, uint32_t bgra) {
  std::string d = InfoHeader(size, size * 2, 32);
  for (int32_t i = 0; i < size * size; ++i) AddLe32(d, bgra);
  d += std::string(RowBytes(size, 1) * uint32_t(size), '\0');
  return d;
}

// An .ico file holding `images` (square sizes below 256, 32-bit), stored one after the other
// right behind the directory, the way icon editors write them.
inline std::string MakeIco(const std::vector<std::pair<int32_t, uint32_t>>& images) {
  std::string dir, data;
  AddLe16(dir, 0);
  AddLe16(dir, 1);
  AddLe16(dir, uint16_t(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (const auto& [size, bgra] : images) {
    std::string dib = IconDib(size, bgra);
    dir.push_back(char(size));
    dir.push_back(char(size));
    dir.push_back(0);
    dir.push_back(0);
    AddLe16(dir, 1);
    AddLe16(dir, 32);
    AddLe32(dir, uint32_t(dib.size()));
    AddLe32(dir, offset + uint32_t(data.size()));
    data += dib;
  }
  return dir + data;
}

}  // namespace testutil
