#include "tools/ico.h"

#include "tools/byte_io.h"

namespace {

constexpr uint32_t kDirectoryHeader = 6;
constexpr uint32_t kFileEntry = 16;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";

bool LooksLikeImage(std::string_view data) {
  uint32_t headerSize = 0;
  if (data.substr(0, 8) == std::string_view(kPngSignature, 8)) return true;
  return ReadLe32(data, 0, headerSize) && headerSize >= 40 && headerSize <= data.size();
}

bool ParseEntry(std::string_view file, uint32_t at, uint32_t dataStart, IconImage& image) {
  uint32_t size = 0, offset = 0;
  image.width = uint8_t(file[at]);
  image.height = uint8_t(file[at + 1]);
  image.colorCount = uint8_t(file[at + 2]);
  image.reserved = uint8_t(file[at + 3]);
  ReadLe16(file, at + 4, image.planes);
  ReadLe16(file, at + 6, image.bitCount);
  ReadLe32(file, at + 8, size);
  ReadLe32(file, at + 12, offset);
  if (size == 0 || offset < dataStart || !HasBytes(file, offset, size)) return false;
  image.data = std::string(file.substr(offset, size));
  return LooksLikeImage(image.data);
}

}  // namespace

bool ParseIco(std::string_view file, std::vector<IconImage>& images, std::string& error) {
  images.clear();
  uint16_t reserved = 1, type = 0, count = 0;
  ReadLe16(file, 0, reserved);
  ReadLe16(file, 2, type);
  ReadLe16(file, 4, count);
  if (reserved != 0 || type != 1 || count == 0) {
    error = "not an icon file (.ico)";
    return false;
  }
  uint32_t dataStart = kDirectoryHeader + kFileEntry * count;
  if (!HasBytes(file, 0, dataStart)) {
    error = "icon file cut off in its directory";
    return false;
  }
  images.resize(count);
  for (uint16_t i = 0; i < count; ++i) {
    if (!ParseEntry(file, kDirectoryHeader + kFileEntry * i, dataStart, images[i])) {
      error = "icon file: image " + std::to_string(i + 1) + " lies outside the file or is not an image";
      images.clear();
      return false;
    }
  }
  return true;
}

std::string GroupIconData(const std::vector<IconImage>& images, uint16_t firstId) {
  std::string out;
  AppendLe16(out, 0);
  AppendLe16(out, 1);
  AppendLe16(out, uint16_t(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const IconImage& im = images[i];
    out.push_back(char(im.width));
    out.push_back(char(im.height));
    out.push_back(char(im.colorCount));
    out.push_back(char(im.reserved));
    AppendLe16(out, im.planes);
    AppendLe16(out, im.bitCount);
    AppendLe32(out, uint32_t(im.data.size()));
    AppendLe16(out, uint16_t(firstId + i));
  }
  return out;
}
