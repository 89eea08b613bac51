// Pictures for the splash tests, made at test time: a green 10x10 square in the top left
// corner, the left half red, the right half blue; as PNG (with zlib) or as 24-bit BMP.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>

namespace xtest {

inline uint32_t SplashPixel(int x, int y, int width) {
  return x < 10 && y < 10 ? 0x00FF00 : x < width / 2 ? 0xFF0000 : 0x0000FF;
}

inline void AddBe32(std::string& s, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) s.push_back(char(v >> shift & 0xFF));
}

inline void AddPngChunk(std::string& png, const char* type, const std::string& data) {
  AddBe32(png, uint32_t(data.size()));
  std::string body = type + data;
  png += body;
  AddBe32(png, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// An RGB picture of width x height: a green 10x10 square in the top left corner, the left
// half red, the right half blue.
inline std::string MakeSplashPng(int width, int height) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      uint32_t c = SplashPixel(x, y, width);
      raw += {char(c >> 16), char(c >> 8 & 0xFF), char(c & 0xFF)};
    }
  }
  std::string packed(compressBound(uLong(raw.size())), '\0');
  uLongf packedSize = uLongf(packed.size());
  compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
           uLong(raw.size()));
  packed.resize(packedSize);
  std::string header;
  AddBe32(header, uint32_t(width));
  AddBe32(header, uint32_t(height));
  header += {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  AddPngChunk(png, "IHDR", header);
  AddPngChunk(png, "IDAT", packed);
  AddPngChunk(png, "IEND", "");
  return png;
}

inline void AddLe(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(char(v >> (8 * i) & 0xFF));
}

inline std::string MakeSplashBmp(int width, int height) {
  std::string pixels;
  for (int y = height - 1; y >= 0; --y) {  // bottom row first
    std::string row;
    for (int x = 0; x < width; ++x) AddLe(row, SplashPixel(x, y, width), 3);  // blue, green, red
    row.resize((row.size() + 3) / 4 * 4, '\0');
    pixels += row;
  }
  std::string f = "BM";
  AddLe(f, uint32_t(54 + pixels.size()), 4);
  AddLe(f, 0, 4);
  AddLe(f, 54, 4);
  for (uint32_t v : {40u, uint32_t(width), uint32_t(height)}) AddLe(f, v, 4);
  AddLe(f, 1, 2);
  AddLe(f, 24, 2);
  for (uint32_t v : {0u, uint32_t(pixels.size()), 2835u, 2835u, 0u, 0u}) AddLe(f, v, 4);
  return f + pixels;
}

}  // namespace xtest
