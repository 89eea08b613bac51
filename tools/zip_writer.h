// Writing a ZIP archive into an output file: local headers, entry data, central directory
// and end record. Offsets inside the archive count from its first byte, wherever it starts
// in the file. Where a size, an offset or the entry count does not fit its field, the entry
// gets a ZIP64 extra field and the archive a ZIP64 end record with its locator. The locator
// gives the record's position in the whole file, as the Java runtime reads it (readers that
// take it as relative to the archive, the launcher's and unzip, look right in front of the
// locator when it is not there).
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tools/crc32.h"
#include "tools/output_file.h"

// Modification time in MS-DOS form (local time, two-second steps, 1980 to 2107).
struct DosTime {
  uint16_t time = 0;
  uint16_t date = (1 << 5) | 1;  // 1980-01-01
};
DosTime DosTimeOf(std::time_t t);

struct ZipEntryRecord {
  std::string name;  // UTF-8, '/' separated; a directory ends with '/'
  uint16_t method = 0;
  uint16_t flags = 0;
  DosTime when;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
};

struct ZipWriter {
  OutputFile* out = nullptr;
  uint64_t start = 0;  // file offset of the archive's first byte
  std::vector<ZipEntryRecord> entries;
};

// Starts an archive at the current end of `out`.
void ZipBegin(ZipWriter& zip, OutputFile& out);

// Adds one entry whose data and CRC-32 are ready: `data` is the stored bytes for method 0,
// the raw deflate stream for method 8; `size` is the uncompressed size.
bool ZipAddPrepared(ZipWriter& zip, const std::string& name, uint16_t method, const uint8_t* data, size_t n,
                    uint64_t size, uint32_t crc, DosTime when, std::string& err);

// Adds one entry whose data is compressed with raw deflate (zlib's default level).
bool ZipAddDeflated(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                    std::string& err);

// Adds one entry whose data is stored as it is.
bool ZipAddStored(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                  std::string& err);

// Writes the central directory and the end record. Afterwards ZipLength is the archive's length.
bool ZipFinish(ZipWriter& zip, std::string& err);

uint64_t ZipLength(const ZipWriter& zip);

// Raw deflate (no zlib header) at zlib's default level, into memory.
bool DeflateRaw(const uint8_t* data, size_t n, std::string& out, std::string& err);
