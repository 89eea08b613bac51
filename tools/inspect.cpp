#include "tools/inspect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "payload/config.h"
#include "payload/payload.h"
#include "platform/fs.h"
#include "tools/pe_image.h"
#include "tools/pe_resources.h"
#include "tools/wrap.h"
#include "tools/zip_input.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The first record in the file: the launcher image's own lies before anything appended.
bool FirstRecord(std::string_view file, size_t& offset) {
  const std::string_view marker(kPayloadMarker, sizeof kPayloadMarker);
  for (size_t at = file.find(marker); at != std::string_view::npos; at = file.find(marker, at + 1)) {
    if (at >= kPayloadMarkerOffset) {
      offset = at - kPayloadMarkerOffset;
      return true;
    }
  }
  return false;
}

std::string EncodingOf(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
  if (text.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
  if (text.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
  return "system code page";
}

// The text as the launcher's decoder gives it, up to the NUL that ends the configuration.
void AppendConfiguration(std::string_view block, std::string& report) {
  LauncherContext ctx;
  AppendText(ctx, block.data(), block.size());
  std::string_view text(ctx.configText.c_str());
  report += "configuration text (" + std::to_string(block.size()) + " bytes, " + EncodingOf(block) + "):\n";
  while (!text.empty()) {
    size_t end = text.find_first_of("\r\n");
    report += "  " + std::string(text.substr(0, end)) + "\n";
    if (end == std::string_view::npos) break;
    size_t next = end + 1;
    if (next < text.size() && (text[next] == '\r' || text[next] == '\n') && text[next] != text[end]) ++next;
    text.remove_prefix(next);
  }
}

std::string MethodName(uint16_t method) {
  if (method == 0) return "stored";
  if (method == 8) return "deflated";
  return "method " + std::to_string(method);
}

void AppendEntries(const std::vector<ArchiveEntryInfo>& entries, std::string& report) {
  report += "archive entries (" + std::to_string(entries.size()) + "):\n";
  char line[96];
  std::snprintf(line, sizeof line, "  %-9s %12s %12s  %s\n", "method", "compressed", "size", "name");
  report += line;
  for (const auto& e : entries) {
    std::snprintf(line, sizeof line, "  %-9s %12llu %12llu  ", MethodName(e.method).c_str(),
                  static_cast<unsigned long long>(e.compressedSize), static_cast<unsigned long long>(e.size));
    report += line + e.name + "\n";
  }
}

std::string BuilderDescription(const uint8_t* block) {
  if (std::memcmp(block, kBuilderMagic, 8) != 0) return "written by another tool";
  return "plumbox, format " + std::to_string(block[8] | block[9] << 8);
}

// A Windows executable's certificate table (its Authenticode signature): the security
// directory gives its file offset and size.
std::string SignatureLine(std::string_view file) {
  PeImage image;
  std::string ignored;
  if (file.substr(0, 2) != "MZ" || !ParsePeImage(file, image, ignored)) return {};
  PeDirectory table = GetDirectory(file, image, kPeSecurityDirectory);
  if (table.size == 0) return "signature: none (not Authenticode-signed)\n";
  std::string line = "signature: Authenticode certificate table of " + std::to_string(table.size) +
                     " bytes at offset " + std::to_string(table.rva);
  if (uint64_t(table.rva) + table.size > file.size()) line += " (beyond the end of the file: damaged)";
  return line + "\n";
}

// Flat executables carry a flag in the builder block; everything else nests its jars.
std::string LayoutDescription(const uint8_t* block) {
  if (std::memcmp(block, kBuilderMagic, 8) != 0) return {};
  if ((block[10] | block[11] << 8) & kBuilderFlagFlat)
    return "layout: flat (the application jar and its libraries merged into the archive's top level)\n";
  return "layout: nested (the application jar and its libraries stored as jars in the archive)\n";
}

uint16_t Le16(std::string_view s, size_t at) {
  return at + 2 <= s.size() ? uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8) : 0;
}

std::string TargetLine(std::string_view file) {
  if (file.substr(0, 4) == "\x7F" "ELF") return "target: linux (ELF)\n";
  if (file.substr(0, 2) == "MZ") return "target: windows (PE)\n";
  return "target: unknown (neither ELF nor PE)\n";
}

// The stub carries "plumbox stub version X" in its image, which comes before anything appended.
std::string StubVersionLine(std::string_view image) {
  constexpr std::string_view kTag = "plumbox stub version ";
  size_t at = image.find(kTag);
  if (at == std::string_view::npos) return "stub version: unknown (a stub older than 0.1.0)\n";
  size_t from = at + kTag.size(), end = image.find('\0', from);
  return "stub version: " + std::string(image.substr(from, std::min(end, from + 32) - from)) + "\n";
}

// UTF-16 text (ASCII shown as is, other units as '?') up to a zero unit; `at` moves past it.
std::string Utf16z(std::string_view s, size_t& at) {
  std::string out;
  for (; at + 2 <= s.size(); at += 2) {
    uint16_t u = Le16(s, at);
    if (u == 0) {
      at += 2;
      break;
    }
    out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
  }
  return out;
}

// The VS_VERSIONINFO tree: every String of its StringFileInfo, as "key: value".
void VersionStrings(std::string_view node, std::vector<std::string>& out, int depth = 0) {
  if (node.size() < 6 || depth > 4) return;
  size_t length = std::min<size_t>(Le16(node, 0), node.size()), valueLength = Le16(node, 2), type = Le16(node, 4);
  size_t at = 6;
  std::string key = Utf16z(node.substr(0, length), at);
  at = (at + 3) & ~size_t(3);
  if (depth == 3 && type == 1) {
    size_t v = at;
    std::string value = Utf16z(node.substr(0, std::min(length, at + valueLength * 2)), v);
    out.push_back(key + ": " + value);
    return;
  }
  at += type == 1 ? valueLength * 2 : valueLength;
  at = (at + 3) & ~size_t(3);
  while (at + 6 <= length) {
    size_t child = Le16(node, at);
    if (child < 6) break;
    if (depth > 0 || key == "VS_VERSION_INFO") VersionStrings(node.substr(at, std::min(child, length - at)), out, depth + 1);
    at = (at + child + 3) & ~size_t(3);
  }
}

std::string AttributeValue(std::string_view xml, std::string_view element, std::string_view attribute) {
  size_t at = xml.find(element);
  if (at == std::string_view::npos) return {};
  size_t close = xml.find('>', at);
  std::string_view tag = xml.substr(at, close == std::string_view::npos ? std::string_view::npos : close - at);
  size_t name = tag.find(std::string(attribute) + "=");
  if (name == std::string_view::npos) return {};
  size_t quote = name + attribute.size() + 1;
  if (quote >= tag.size()) return {};
  size_t end = tag.find(tag[quote], quote + 1);
  return std::string(tag.substr(quote + 1, end == std::string_view::npos ? std::string_view::npos : end - quote - 1));
}

std::string ElementText(std::string_view xml, std::string_view element) {
  size_t at = xml.find("<" + std::string(element));
  if (at == std::string_view::npos) return {};
  size_t from = xml.find('>', at), to = xml.find('<', from);
  if (from == std::string_view::npos || to == std::string_view::npos) return {};
  return std::string(xml.substr(from + 1, to - from - 1));
}

// A Windows executable's icon sizes, version information and manifest settings.
std::string WindowsResourceLines(std::string_view file) {
  PeImage image;
  ResourceTable table;
  std::string ignored;
  if (file.substr(0, 2) != "MZ" || !ParsePeImage(file, image, ignored) ||
      !ReadResources(file, image, GetDirectory(file, image, kPeResourceDirectory), table, ignored))
    return {};
  std::string icons, report;
  std::vector<std::string> version;
  for (const auto& [key, data] : table) {
    if (key.type.number == kRtGroupIcon && key.type.name.empty()) {
      // GRPICONDIR: reserved, type, count; then 14-byte entries starting with width, height.
      for (size_t i = 0, n = Le16(data.bytes, 4); i < n && 6 + 14 * (i + 1) <= data.bytes.size(); ++i) {
        unsigned w = uint8_t(data.bytes[6 + 14 * i]), h = uint8_t(data.bytes[7 + 14 * i]);
        icons += (icons.empty() ? "" : ", ") + std::to_string(w ? w : 256) + "x" + std::to_string(h ? h : 256);
      }
    } else if (key.type.number == kRtVersion && key.type.name.empty() && version.empty()) {
      VersionStrings(data.bytes, version);
    } else if (key.type.number == kRtManifest && key.type.name.empty()) {
      const std::string& xml = data.bytes;
      std::string level = AttributeValue(xml, "requestedExecutionLevel", "level");
      std::string codePage = ElementText(xml, "activeCodePage");
      report += "manifest: execution level " + (level.empty() ? std::string("not set") : level) + ", code page " +
                (codePage.empty() ? std::string("the system's") : codePage) + "\n";
    }
  }
  report = "icon: " + (icons.empty() ? std::string("none") : icons) + "\n" + report;
  report += "version information:" + std::string(version.empty() ? " none\n" : "\n");
  for (const auto& line : version) report += "  " + line + "\n";
  return report;
}

}  // namespace

bool InspectExecutable(const std::string& path, std::string& report, std::string& err) {
  plat::MappedFile file;
  if (!file.Open(path)) {
    err = "cannot read " + path + " (missing, unreadable, or 2 GiB or larger)";
    return false;
  }
  std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  report = path + ": " + std::to_string(file.size()) + " bytes\n";
  size_t record = 0;
  if (!FirstRecord(bytes, record)) {
    err = path + " has no payload-location record: it is not a plumbox executable";
    return false;
  }
  report += TargetLine(bytes);
  report += StubVersionLine(bytes);  // the stub comes first; its text may lie after the record
  report += SignatureLine(bytes);
  report += WindowsResourceLines(bytes);
  uint32_t archiveLength = Le32(file.data() + record);
  report += "payload-location record at offset " + std::to_string(record) + ": archive length " +
            std::to_string(archiveLength) + "\n";
  if (archiveLength == 0) {
    report += "no payload: a bare launcher stub\n";
    return true;
  }
  int32_t start = ArchiveStartOffset(file.data(), file.size(), archiveLength);
  std::string_view text;
  if (start < 0 || !EmbeddedTextBlock(file.data(), file.size(), start, text)) {
    err = path + ": the payload's lengths point outside the file (damaged executable)";
    return false;
  }
  uint64_t trailing = file.size() - uint64_t(start) - archiveLength;
  report += "embedded archive at offset " + std::to_string(start) + ", " + std::to_string(trailing) +
            " trailing bytes after it\n";
  report += "builder block: " + BuilderDescription(file.data() + start - kBuilderBlockSize) + "\n";
  report += LayoutDescription(file.data() + start - kBuilderBlockSize);
  AppendConfiguration(text, report);
  std::vector<ArchiveEntryInfo> entries;
  if (!ListArchiveMemory(file.data() + start, archiveLength, entries, err)) {
    err = path + ": " + err;
    return false;
  }
  AppendEntries(entries, report);
  return true;
}
