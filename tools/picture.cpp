#include "tools/picture.h"

#include "tools/byte_io.h"

namespace {

constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;
constexpr uint32_t kInfoHeader = 40;
enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3, kAlphaBitfields = 6 };

struct DibHeader {
  uint32_t size = 0;
  int64_t width = 0;
  int64_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = kRgb;
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
};

bool ReadDibHeader(std::string_view file, DibHeader& h) {
  if (!ReadLe32(file, kFileHeader, h.size) || (h.size != kCoreHeader && h.size < kInfoHeader) ||
      !HasBytes(file, kFileHeader, h.size))
    return false;
  if (h.size == kCoreHeader) {
    uint16_t w = 0, ht = 0;
    ReadLe16(file, kFileHeader + 4, w);
    ReadLe16(file, kFileHeader + 6, ht);
    h.width = w;
    h.height = ht;
    ReadLe16(file, kFileHeader + 8, h.planes);
    ReadLe16(file, kFileHeader + 10, h.bitCount);
    return true;
  }
  uint32_t w = 0, ht = 0;
  ReadLe32(file, kFileHeader + 4, w);
  ReadLe32(file, kFileHeader + 8, ht);
  h.width = int32_t(w);
  h.height = int32_t(ht);
  ReadLe16(file, kFileHeader + 12, h.planes);
  ReadLe16(file, kFileHeader + 14, h.bitCount);
  ReadLe32(file, kFileHeader + 16, h.compression);
  ReadLe32(file, kFileHeader + 20, h.sizeImage);
  ReadLe32(file, kFileHeader + 32, h.colorsUsed);
  return true;
}

bool CompressionFits(const DibHeader& h) {
  switch (h.compression) {
    case kRgb: return true;
    case kRle8: return h.bitCount == 8 && h.height > 0 && h.sizeImage > 0;
    case kRle4: return h.bitCount == 4 && h.height > 0 && h.sizeImage > 0;
    case kBitfields:
    case kAlphaBitfields: return h.bitCount == 16 || h.bitCount == 32;
    default: return false;  // JPEG or PNG inside a BMP: the system's bitmap loader refuses them
  }
}

bool HeaderIsSound(const DibHeader& h) {
  bool depthOk = h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 24 ||
                 (h.size != kCoreHeader && (h.bitCount == 16 || h.bitCount == 32));
  bool sizeOk = h.width > 0 && h.width <= 65535 && h.height != 0 && h.height >= -65535 && h.height <= 65535;
  return depthOk && sizeOk && h.planes == 1 && CompressionFits(h);
}

// Bytes between the header and the pixels: bit masks (after a 40-byte header) and colours.
bool TableSize(const DibHeader& h, uint64_t& size) {
  uint64_t masks = 0;
  if (h.size == kInfoHeader && h.compression == kBitfields) masks = 12;
  if (h.size == kInfoHeader && h.compression == kAlphaBitfields) masks = 16;
  uint64_t colors = h.colorsUsed;
  if (h.bitCount <= 8) {
    uint64_t max = 1ull << h.bitCount;
    if (colors > max) return false;
    if (colors == 0) colors = max;
  }
  size = masks + colors * (h.size == kCoreHeader ? 3 : 4);
  return true;
}

uint64_t PixelBytes(const DibHeader& h) {
  if (h.compression == kRle8 || h.compression == kRle4) return h.sizeImage;
  uint64_t stride = ((uint64_t(h.width) * h.bitCount + 31) / 32) * 4;
  return stride * uint64_t(h.height < 0 ? -h.height : h.height);
}

}  // namespace

PictureKind SniffPicture(std::string_view b) {
  if (b.substr(0, 2) == "BM") return PictureKind::Bmp;
  if (b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8)) return PictureKind::Png;
  if (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a") return PictureKind::Gif;
  if (b.substr(0, 3) == "\xFF\xD8\xFF") return PictureKind::Jpeg;
  return PictureKind::Unknown;
}

bool BmpToResource(std::string_view file, std::string& dib, std::string& error) {
  DibHeader h;
  uint32_t pixelsAt = 0;
  uint64_t tableSize = 0;
  if (file.substr(0, 2) != "BM" || !ReadLe32(file, 10, pixelsAt) || !ReadDibHeader(file, h)) {
    error = "not a BMP file";
    return false;
  }
  if (!HeaderIsSound(h) || !TableSize(h, tableSize)) {
    error = "a BMP file the system cannot load (size, colour depth or compression)";
    return false;
  }
  uint64_t tableEnd = uint64_t(kFileHeader) + h.size + tableSize;
  if (pixelsAt == 0) pixelsAt = uint32_t(tableEnd);
  if (!HasBytes(file, kFileHeader, tableEnd - kFileHeader) || pixelsAt < tableEnd ||
      !HasBytes(file, pixelsAt, PixelBytes(h))) {
    error = "BMP file cut off: its colours or pixels lie beyond its end";
    return false;
  }
  dib = std::string(file.substr(kFileHeader, tableEnd - kFileHeader));
  dib.append(file.substr(pixelsAt, PixelBytes(h)));
  return true;
}
