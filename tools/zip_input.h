// Reading the ZIP archives the tool is handed (jars, the support classes) and the archives
// of wrapped executables, through the launcher's own ZIP reader: what it cannot read, the
// launcher could not read either.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/zip_writer.h"

struct ArchiveEntryInfo {
  std::string name;  // as stored, '/' separated
  uint16_t method = 0;
  uint16_t flags = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint32_t crc = 0;
  DosTime when;
};

struct ArchiveFileEntry {
  ArchiveEntryInfo info;
  std::string data;  // uncompressed
};

// Lists the entries of a ZIP archive in a file; false with a message when the file is not
// a ZIP archive the launcher can read.
bool ListArchiveFile(const std::string& path, std::vector<ArchiveEntryInfo>& entries, std::string& err);

// The same for an archive held in memory.
bool ListArchiveMemory(const uint8_t* data, size_t size, std::vector<ArchiveEntryInfo>& entries,
                       std::string& err);

// Reads every entry whose name begins with `prefix`, data included, in archive order.
bool ReadEntriesUnder(const std::string& path, std::string_view prefix, std::vector<ArchiveFileEntry>& entries,
                      std::string& err);
