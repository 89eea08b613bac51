#include "tools/inspect.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "payload/config.h"
#include "payload/payload.h"
#include "platform/fs.h"
#include "tools/pe_image.h"
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

}  // namespace

bool InspectExecutable(const std::string& path, std::string& report, std::string& err) {
  plat::MappedFile file;
  if (!file.Open(path)) {
    err = "cannot read " + path + " (missing, unreadable, or 2 GiB or larger)";
    return false;
  }
  std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  report = path + ": " + std::to_string(file.size()) + " bytes\n";
  report += SignatureLine(bytes);
  size_t record = 0;
  if (!FirstRecord(bytes, record)) {
    err = path + " has no payload-location record: it is not a plumbox executable";
    return false;
  }
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
