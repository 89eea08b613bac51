#include "tools/zip_input.h"

#include <algorithm>

#include "zip/zip_reader.h"

namespace {

ArchiveEntryInfo InfoOf(const ZipEntryHeader& h) {
  ArchiveEntryInfo info;
  info.name = std::string(h.Name());
  info.method = h.method;
  info.flags = h.flags;
  info.compressedSize = h.compressedSize;
  info.size = h.uncompressedSize;
  info.crc = h.crc32;
  info.when.time = h.modTime;
  info.when.date = h.modDate;
  return info;
}

void ListOpen(const ZipReader& zip, std::vector<ArchiveEntryInfo>& entries) {
  for (const auto& h : zip.Entries()) entries.push_back(InfoOf(h));
}

std::string NotAnArchive(const std::string& name, const CZipException& e) {
  if (e.cause == CZipException::kNoEndRecord) return name + " is not a ZIP archive (no end-of-central-directory record)";
  if (e.cause == CZipException::kBadArchive) return name + " is not a readable ZIP archive (damaged or inconsistent)";
  return name + " is not a readable ZIP archive (" + e.Describe() + ")";
}

}  // namespace

bool ListArchiveFile(const std::string& path, std::vector<ArchiveEntryInfo>& entries, std::string& err) {
  try {
    ZipReader zip;
    zip.OpenFile(path);
    ListOpen(zip, entries);
    return true;
  } catch (const CZipException& e) {
    err = NotAnArchive(path, e);
    return false;
  }
}

bool ListArchiveMemory(const uint8_t* data, size_t size, std::vector<ArchiveEntryInfo>& entries,
                       std::string& err) {
  try {
    ZipReader zip;
    zip.OpenMemory(data, size);
    ListOpen(zip, entries);
    return true;
  } catch (const CZipException& e) {
    err = NotAnArchive("the embedded archive", e);
    return false;
  }
}

bool ReadEntriesUnder(const std::string& path, std::string_view prefix, std::vector<ArchiveFileEntry>& entries,
                      std::string& err) {
  try {
    ZipReader zip;
    zip.OpenFile(path);
    for (size_t i = 0; i < zip.EntryCount(); ++i) {
      ArchiveFileEntry entry{InfoOf(zip.Entry(i)), {}};
      if (entry.info.name.compare(0, prefix.size(), prefix) != 0) continue;
      if (!zip.ExtractEntry(i, entry.data)) {
        err = path + ": cannot read " + entry.info.name;
        return false;
      }
      entries.push_back(std::move(entry));
    }
    return true;
  } catch (const CZipException& e) {
    err = NotAnArchive(path, e);
    return false;
  }
}
