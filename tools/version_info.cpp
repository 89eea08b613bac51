#include "tools/version_info.h"

#include <utility>
#include <vector>

#include "platform/text.h"
#include "tools/byte_io.h"

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint32_t kFileFlagsMask = 0x3F;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kFileTypeApp = 1;
constexpr uint32_t kTranslation = 0x04B00409;  // English (United States), code page 1200

// One node: length, value length, type, key, padding, value, padding, children.
std::string Node(std::u16string_view key, std::string_view value, uint16_t valueLength, bool text,
                 const std::string& children = {}) {
  std::string out;
  AppendLe16(out, 0);
  AppendLe16(out, valueLength);
  AppendLe16(out, text ? 1 : 0);
  AppendUtf16(out, key);
  AppendLe16(out, 0);
  PadTo(out, 4);
  out.append(value);
  PadTo(out, 4);
  out.append(children);
  WriteLe16(out, 0, uint16_t(out.size()));
  return out;
}

std::string TextNode(std::u16string_view key, const std::string& narrow) {
  std::u16string value = plat::AnsiToUtf16(narrow);
  std::string bytes;
  AppendUtf16(bytes, value);
  AppendLe16(bytes, 0);
  return Node(key, bytes, uint16_t(value.size() + 1), true);
}

std::string FixedInfo(const VersionNumber& file, const VersionNumber& product) {
  std::string out;
  AppendLe32(out, kFixedSignature);
  AppendLe32(out, kFixedStructVersion);
  AppendLe32(out, uint32_t(file[0]) << 16 | file[1]);
  AppendLe32(out, uint32_t(file[2]) << 16 | file[3]);
  AppendLe32(out, uint32_t(product[0]) << 16 | product[1]);
  AppendLe32(out, uint32_t(product[2]) << 16 | product[3]);
  AppendLe32(out, kFileFlagsMask);
  AppendLe32(out, 0);  // flags
  AppendLe32(out, kOsNtWindows32);
  AppendLe32(out, kFileTypeApp);
  AppendLe32(out, 0);  // subtype
  AppendLe32(out, 0);  // date, high
  AppendLe32(out, 0);  // date, low
  return out;
}

std::string StringFileInfo(const VersionTexts& t, const std::string& fileVersion, const std::string& productVersion) {
  const std::vector<std::pair<std::u16string_view, const std::string*>> fields = {
      {u"CompanyName", &t.company},       {u"FileDescription", &t.description},
      {u"FileVersion", &fileVersion},     {u"LegalCopyright", &t.copyright},
      {u"OriginalFilename", &t.originalFilename}, {u"ProductName", &t.productName},
      {u"ProductVersion", &productVersion}};
  std::string strings;
  for (const auto& [key, value] : fields)
    if (!value->empty()) strings += TextNode(key, *value);
  return Node(u"StringFileInfo", {}, 0, true, Node(u"040904B0", {}, 0, true, strings));
}

std::string VarFileInfo() {
  std::string translation;
  AppendLe32(translation, kTranslation);
  return Node(u"VarFileInfo", {}, 0, true, Node(u"Translation", translation, 4, false));
}

bool ParseOrFail(const std::string& text, const char* option, VersionNumber& out, std::string& error) {
  if (ParseVersionNumber(text, out)) return true;
  error = std::string(option) + " \"" + text + "\" is not a version: give 1 to 4 numbers from 0 to 65535 separated by dots";
  return false;
}

}  // namespace

bool ParseVersionNumber(std::string_view text, VersionNumber& out) {
  out = {0, 0, 0, 0};
  size_t part = 0, digits = 0;
  uint32_t value = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || part == 4) return false;
      out[part++] = uint16_t(value);
      value = 0;
      digits = 0;
      continue;
    }
    if (text[i] < '0' || text[i] > '9' || ++digits > 5) return false;
    value = value * 10 + uint32_t(text[i] - '0');
    if (value > 0xFFFF) return false;
  }
  return true;
}

bool BuildVersionInfo(const VersionTexts& texts, std::string& out, std::string& error) {
  VersionNumber file{}, product{};
  if (!texts.fileVersion.empty() && !ParseOrFail(texts.fileVersion, "--file-version", file, error)) return false;
  if (!texts.productVersion.empty() && !ParseOrFail(texts.productVersion, "--product-version", product, error))
    return false;
  if (texts.fileVersion.empty()) file = product;
  if (texts.productVersion.empty()) product = file;
  std::string fileText = texts.fileVersion.empty() ? texts.productVersion : texts.fileVersion;
  std::string productText = texts.productVersion.empty() ? texts.fileVersion : texts.productVersion;
  out = Node(u"VS_VERSION_INFO", FixedInfo(file, product), 52, false,
             StringFileInfo(texts, fileText, productText) + VarFileInfo());
  if (out.size() > 0xFFFF) {
    error = "the version texts are too long (the version information must stay below 64 KiB)";
    return false;
  }
  return true;
}
