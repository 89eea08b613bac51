#include "tools/windows_resources.h"

#include <cstdio>
#include <map>

#include "platform/fs.h"
#include "tools/ico.h"
#include "tools/output_file.h"
#include "tools/pe_image.h"
#include "tools/pe_resources.h"
#include "tools/picture.h"
#include "tools/string_table.h"
#include "tools/xml_check.h"

namespace {

constexpr uint32_t kSplashId = 100;
constexpr uint32_t kManifestId = 1;
constexpr uint32_t kVersionId = 1;
constexpr uint32_t kGroupIconId = 1;
constexpr size_t kMaxSectionSize = 1u << 30;

bool Fail(std::string& error, const std::string& option, const std::string& what) {
  error = option + ": " + what;
  return false;
}

bool ReadInput(const std::string& option, const std::string& path, std::string& bytes, std::string& error) {
  if (plat::ReadWholeFile(path, bytes)) return true;
  return Fail(error, option + " " + path, "cannot read the file");
}

void SetResource(ResourceTable& table, uint32_t type, uint32_t name, std::string bytes,
                 uint16_t language = kLangEnglishUs) {
  table[ResourceKey{ResourceNumber(type), ResourceNumber(name), language}] = ResourceData{std::move(bytes), 0};
}

bool AddIcon(const std::string& path, ResourceTable& table, std::string& error) {
  std::string file;
  std::vector<IconImage> images;
  if (!ReadInput("--icon", path, file, error)) return false;
  if (!ParseIco(file, images, error)) return Fail(error, "--icon " + path, error);
  RemoveResources(table, kRtIcon);
  RemoveResources(table, kRtGroupIcon);
  for (size_t i = 0; i < images.size(); ++i) SetResource(table, kRtIcon, uint32_t(i + 1), images[i].data);
  SetResource(table, kRtGroupIcon, kGroupIconId, GroupIconData(images, 1));
  return true;
}

bool AddSplash(const std::string& path, ResourceTable& table, std::map<uint32_t, std::string>& used,
               std::string& error) {
  std::string file, bytes;
  const std::string option = "--splash " + path;
  if (!ReadInput("--splash", path, file, error)) return false;
  PictureKind kind = SniffPicture(file);
  if (kind == PictureKind::Unknown) return Fail(error, option, "not a BMP, PNG, GIF or JPEG picture");
  uint32_t type = kind == PictureKind::Bmp ? kRtBitmap : kRtRcdata;
  if (kind == PictureKind::Bmp && !BmpToResource(file, bytes, error)) return Fail(error, option, error);
  if (kind != PictureKind::Bmp) bytes = std::move(file);
  if (used.count(type))
    return Fail(error, option, "a second " + std::string(type == kRtBitmap ? "BMP" : "PNG, GIF or JPEG") +
                                   " splash picture (the first is " + used[type] + ")");
  used[type] = path;
  const ResourceId id = ResourceNumber(kSplashId);
  RemoveResources(table, type, &id);
  SetResource(table, type, kSplashId, std::move(bytes));
  return true;
}

bool AddManifest(const std::string& path, ResourceTable& table, std::string& error) {
  std::string file, root;
  if (!ReadInput("--manifest", path, file, error)) return false;
  if (!CheckXml(file, root, error)) return Fail(error, "--manifest " + path, "not well-formed XML: " + error);
  std::string local = root.substr(root.find(':') == std::string::npos ? 0 : root.find(':') + 1);
  if (local != "assembly")
    return Fail(error, "--manifest " + path, "the root element is <" + root + ">, a manifest's is <assembly>");
  std::vector<uint16_t> languages = ResourceLanguages(table, kRtManifest, kManifestId);
  if (languages.empty()) languages.push_back(kLangEnglishUs);
  for (uint16_t language : languages) SetResource(table, kRtManifest, kManifestId, file, language);
  return true;
}

// Makes UTF-8 the process's ANSI code page: an activeCodePage setting in the manifest (the
// stub's own or the one given), which must not set one already.
bool SetUtf8CodePage(ResourceTable& table, std::string& error) {
  std::vector<uint16_t> languages = ResourceLanguages(table, kRtManifest, kManifestId);
  if (languages.empty()) return Fail(error, "--utf8", "the launcher stub has no manifest to add it to");
  for (uint16_t language : languages) {
    std::string& xml = table[ResourceKey{ResourceNumber(kRtManifest), ResourceNumber(kManifestId), language}].bytes;
    if (xml.find("activeCodePage") != std::string::npos)
      return Fail(error, "--utf8", "the manifest sets activeCodePage already");
    size_t close = xml.rfind("</");
    if (close == std::string::npos || xml.find("assembly", close) == std::string::npos)
      return Fail(error, "--utf8", "the manifest does not end with </assembly>");
    xml.insert(close,
               "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
               "    <windowsSettings>\n"
               "      <activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>\n"
               "    </windowsSettings>\n"
               "  </application>\n");
  }
  return true;
}

bool AddVersion(const VersionTexts& texts, ResourceTable& table, std::string& error) {
  std::string data;
  if (!BuildVersionInfo(texts, data, error)) return false;
  RemoveResources(table, kRtVersion);
  SetResource(table, kRtVersion, kVersionId, std::move(data));
  return true;
}

bool SetMessage(const MessageText& message, ResourceTable& table, std::string& error) {
  uint32_t block = message.id / 16u + 1;
  std::vector<uint16_t> languages = ResourceLanguages(table, kRtString, block);
  if (languages.empty()) languages.push_back(kLangEnglishUs);
  for (uint16_t language : languages) {
    ResourceData& data = table[ResourceKey{ResourceNumber(kRtString), ResourceNumber(block), language}];
    StringBlock strings;
    if (!data.bytes.empty() && !DecodeStringBlock(data.bytes, strings))
      return Fail(error, "launcher stub", "its string table block " + std::to_string(block) + " is malformed");
    strings[message.id % 16] = message.text;
    data.bytes = EncodeStringBlock(strings);
  }
  return true;
}

bool AddMessages(const std::vector<std::string>& options, ResourceTable& table, std::string& error) {
  for (const std::string& option : options) {
    MessageText message;
    if (!ParseMessageOption(option, message, error) || !SetMessage(message, table, error)) return false;
  }
  return true;
}

bool HasVersion(const VersionTexts& v) {
  return !(v.fileVersion.empty() && v.productVersion.empty() && v.productName.empty() && v.company.empty() &&
           v.description.empty() && v.copyright.empty());
}

bool AddAll(const WindowsResourceOptions& o, ResourceTable& table, std::string& error) {
  std::map<uint32_t, std::string> splashUsed;
  if (!o.icon.empty() && !AddIcon(o.icon, table, error)) return false;
  for (const std::string& path : o.splash)
    if (!AddSplash(path, table, splashUsed, error)) return false;
  if (!o.manifest.empty() && !AddManifest(o.manifest, table, error)) return false;
  if (o.utf8 && !SetUtf8CodePage(table, error)) return false;
  if (HasVersion(o.version) && !AddVersion(o.version, table, error)) return false;
  return AddMessages(o.messages, table, error);
}

}  // namespace

bool HasWindowsResources(const WindowsResourceOptions& o) {
  return !o.icon.empty() || !o.splash.empty() || !o.manifest.empty() || HasVersion(o.version) || !o.messages.empty() ||
         o.utf8;
}

bool ApplyWindowsResources(std::string& stub, const WindowsResourceOptions& options, std::string& error) {
  PeImage image;
  ResourceSlot slot;
  ResourceTable table;
  if (!ParsePeImage(stub, image, error) || !PlanResourceSection(stub, image, slot, error) ||
      !ReadResources(stub, image, slot.old, table, error))
    return Fail(error, "launcher stub", error);
  if (!AddAll(options, table, error)) return false;
  std::string section = BuildResourceSection(table, slot.rva);
  if (section.size() > kMaxSectionSize) return Fail(error, "resources", "larger than 1 GiB in all");
  InstallResourceSection(stub, image, slot, section);
  return true;
}

bool UpdateOutputChecksum(OutputFile& out, std::string& error) {
  PeImage image;
  plat::MappedFile map;
  if (std::fflush(out.file) != 0 || !map.Open(out.tempPath)) return Fail(error, out.path, "cannot read it back to compute its checksum");
  std::string_view file(reinterpret_cast<const char*>(map.data()), map.size());
  if (!ParsePeImage(file, image, error)) return Fail(error, out.path, error);
  const uint32_t field = image.optionalHeader + kPeChecksumField;
  const uint32_t sum = PeChecksum(file, field);
  map.Close();
  const char bytes[4] = {char(sum & 0xFF), char((sum >> 8) & 0xFF), char((sum >> 16) & 0xFF), char(sum >> 24)};
  return PatchBytes(out, field, bytes, sizeof bytes, error);
}
