// Read-only access to one ZIP archive, held in a file or in a caller's memory buffer.
//
// The archive may be preceded by other bytes (the launcher's executable image): offsets
// stored in the archive are relative to its own start, found from the end record. Only
// what the launcher needs is read: the central directory, and whole entries, stored or
// deflated, checked against their CRC-32, with the ZIP64 end records and extra fields. No
// encryption, no spanned archives.
// Every failure throws CZipException; archives are untrusted and never read out of bounds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "zip/zip_exception.h"

// One central directory record. `name` points into the reader's own name storage and
// stays valid until the reader is closed; it holds the stored bytes unchanged. Sizes and the
// offset are the ZIP64 values where the record has them.
struct ZipEntryHeader {
  uint16_t versionMadeBy = 0;  // high byte: host system
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;   // bit 0 encrypted, bit 3 data descriptor follows the data
  uint16_t method = 0;  // 0 stored, 8 deflated; others are refused when the entry is opened
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t diskNumberStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;  // relative to the archive start
  uint32_t directoryIndex = 0;     // position of the record in the central directory
  const char* name = nullptr;      // not NUL-terminated
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;    // the extra field is skipped
  uint16_t commentLength = 0;  // the comment is skipped

  std::string_view Name() const { return {name, nameLength}; }
};

// The values of the end-of-central-directory record, with those of the ZIP64 end record
// where the archive has one.
struct ZipEndRecord {
  uint32_t diskNumber = 0;
  uint32_t centralDirectoryDisk = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t totalEntries = 0;  // as recorded; a 16-bit count may have overflowed (the directory is counted)
  uint64_t centralDirectorySize = 0;
  uint64_t centralDirectoryOffset = 0;
  uint16_t commentLength = 0;
  bool zip64 = false;
};

class ZipReader {
 public:
  static constexpr uint32_t kBufferSize = 65536;       // entry data is read in chunks of this
  static constexpr uint32_t kEndSearchChunk = 32768;   // the end record is searched backwards in these
  static constexpr uint32_t kEndSearchWindow = 65557;  // 22-byte end record + longest comment

  ZipReader();
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  // Open read-only. Do nothing when already open. Throw CZipException when the source is
  // not a readable archive; the reader is closed (and empty) after a throw.
  void OpenFile(const std::string& path);
  // The buffer belongs to the caller and must outlive the reader (or its Close()).
  void OpenMemory(const void* data, size_t size);
  // An archive stored inside a file opened elsewhere: `length` bytes from `offset` on. The
  // file belongs to the caller and must outlive the reader.
  void OpenFileRange(const plat::InputFile& file, uint64_t offset, uint64_t length);
  bool IsOpen() const { return open_; }

  // The entry list, ordered by disk number and local header offset (`directoryIndex` keeps
  // the central directory's order). An entry's index in this list is the handle used by
  // OpenEntry.
  size_t EntryCount() const { return entries_.size(); }
  const ZipEntryHeader& Entry(size_t index) const { return entries_[index]; }
  const std::vector<ZipEntryHeader>& Entries() const { return entries_; }
  const ZipEndRecord& EndRecord() const { return end_; }
  // Bytes in the source in front of the archive's own offset 0.
  uint64_t BytesBeforeArchive() const { return bytesBefore_; }
  // The path of a file source, empty for a memory source.
  const std::string& SourceName() const { return sourceName_; }

  // Start extracting one entry. False (no throw) when the index is out of range or an
  // entry is already open; throws when the local header is damaged or disagrees with the
  // central record, the entry is encrypted or its method is neither stored nor deflated.
  bool OpenEntry(size_t index);
  // Copy up to n bytes of the open entry's data into buffer; the count written. 0 when no
  // entry is open, buffer is null or n is 0. Fewer bytes than the size still left only
  // when the compressed data ends early. Throws on damaged data.
  uint32_t ReadEntry(void* buffer, uint32_t n);
  // End the extraction: 1 when all data was read and its CRC-32 matched (a mismatch
  // throws 102 and still closes the entry), -1 when data was left unread, 0 when no entry
  // was open.
  int CloseEntry();
  // Open, read whole and close one entry. False when the index is out of range or an
  // entry is already open; throws when the entry is damaged, shorter than declared or its
  // CRC-32 differs.
  bool ExtractEntry(size_t index, std::string& out);
  // Where the data of a stored entry starts in the source, checked as OpenEntry checks it;
  // the entry's CRC-32 is not computed. kNoData when the index is out of range or the entry
  // is compressed; throws when its local header is damaged or disagrees with the central
  // record, or the entry is encrypted.
  static constexpr uint64_t kNoData = ~uint64_t{0};
  uint64_t StoredEntryData(size_t index);
  // The same for an entry stored or deflated: where its compressed data starts.
  uint64_t EntryData(size_t index);
  // Copies n bytes of the source from pos on (relative to the source, like the offsets
  // above); throws when they are not all there.
  void ReadSource(uint64_t pos, void* buffer, uint32_t n) { ReadExact(pos, buffer, n); }
  // The same n bytes without a copy from a memory source; from a file, read into `scratch`.
  const uint8_t* ViewSource(uint64_t pos, uint32_t n, std::vector<uint8_t>& scratch) {
    return View(pos, n, scratch);
  }
  // The source: a memory buffer, or a file with the source's position in it.
  const uint8_t* MemorySource() const { return memory_; }
  const plat::InputFile* FileSource() const { return source_; }
  uint64_t FileSourceOffset() const { return offset_; }

  // Close an open entry, drop the entry list and release the source.
  void Close();

 private:
  struct ReadState;

  void OpenSource();
  uint64_t FindEndRecord();
  void ReadEndRecord(uint64_t pos);
  bool ReadZip64EndRecord(uint64_t endPos);
  void ReadCentralDirectory();
  void ParseCentralDirectory(const uint8_t* cd, uint64_t size);
  void SortEntries();
  uint64_t ReadLocalHeader(const ZipEntryHeader& e, uint16_t& localFlags);
  uint64_t CheckLocalHeader(const ZipEntryHeader& e, const uint8_t* h, uint64_t pos, uint16_t& localFlags);
  size_t ReadAt(uint64_t pos, void* buffer, size_t n) const { return source_->ReadAt(offset_ + pos, buffer, n); }
  void ReadExact(uint64_t pos, void* buffer, uint32_t n);
  const uint8_t* View(uint64_t pos, uint32_t n, std::vector<uint8_t>& scratch);
  const uint8_t* TakeInput(uint32_t want, uint32_t& n);
  uint32_t ReadStored(uint8_t* out, uint32_t room);
  uint32_t ReadDeflated(uint8_t* out, uint32_t room);
  bool FillInput();
  void FinishInflate();
  [[noreturn]] void Fail(int cause) const;

  bool open_ = false;
  std::string sourceName_;
  plat::InputFile file_;                     // a file the reader opened itself
  const plat::InputFile* source_ = nullptr;  // file source: `file_`, or a file of the caller's
  uint64_t offset_ = 0;                      // where the source starts in that file
  const uint8_t* memory_ = nullptr;          // memory source
  uint64_t length_ = 0;
  uint64_t bytesBefore_ = 0;
  uint64_t zip64EndPos_ = 0;  // where the ZIP64 end record was found, when end_.zip64
  ZipEndRecord end_;
  std::vector<ZipEntryHeader> entries_;
  std::unique_ptr<char[]> names_;  // every entry name, back to back
  std::unique_ptr<ReadState> read_;
};
