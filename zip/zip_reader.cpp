#include "zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;      // "PK\5\6"
constexpr uint32_t kCentralSignature = 0x02014b50;  // "PK\1\2"
constexpr uint32_t kLocalSignature = 0x04034b50;    // "PK\3\4"
constexpr uint32_t kZip64EndSignature = 0x06064b50;      // "PK\6\6"
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;  // "PK\6\7"
constexpr uint32_t kZip64EndSize = 56;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint16_t kZip64ExtraId = 1;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;
constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kCentralRecordSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint16_t kFlagEncrypted = 1;
constexpr uint16_t kFlagDescriptor = 8;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// Deflate cannot expand its input more than 1032 times (a 258-byte match in two bits). A
// larger declared size is false, and callers would allocate for it.
constexpr uint64_t kMaxDeflateRatio = 1032;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) { return U16(p) | static_cast<uint32_t>(U16(p + 2)) << 16; }
uint64_t U64(const uint8_t* p) { return U32(p) | static_cast<uint64_t>(U32(p + 4)) << 32; }

// The values a ZIP64 extended information field holds for the fields of a central record
// that read as all ones, in the order the format gives; a field it lacks is a damaged record.
bool ApplyZip64Extra(ZipEntryHeader& e, const uint8_t* extra, uint16_t length) {
  bool size = e.uncompressedSize == kSaturated32, compressed = e.compressedSize == kSaturated32,
       offset = e.localHeaderOffset == kSaturated32, disk = e.diskNumberStart == kSaturated16;
  if (!size && !compressed && !offset && !disk) return true;
  for (uint32_t at = 0; at + 4 <= length;) {
    uint16_t id = U16(extra + at), n = U16(extra + at + 2);
    if (at + 4 + n > length) break;
    if (id == kZip64ExtraId) {
      const uint8_t* p = extra + at + 4;
      uint32_t left = n;
      auto take64 = [&](uint64_t& field) {
        if (left < 8) return false;
        field = U64(p);
        p += 8;
        left -= 8;
        return true;
      };
      if (size && !take64(e.uncompressedSize)) return false;
      if (compressed && !take64(e.compressedSize)) return false;
      if (offset && !take64(e.localHeaderOffset)) return false;
      if (disk) {
        if (left < 4) return false;
        e.diskNumberStart = U32(p);
      }
      return true;
    }
    at += 4 + n;
  }
  return false;
}

bool EntryBefore(const ZipEntryHeader& a, const ZipEntryHeader& b) {
  if (a.diskNumberStart != b.diskNumberStart) return a.diskNumberStart < b.diskNumberStart;
  return a.localHeaderOffset < b.localHeaderOffset;
}

}  // namespace

// Extraction state of the one entry that may be open. The inflate stream and the input
// buffer are kept across entries.
struct ZipReader::ReadState {
  ~ReadState() {
    if (zReady) inflateEnd(&z);
  }
  bool entryOpen = false;
  size_t index = 0;
  uint16_t method = 0;
  uint64_t next = 0;  // source position of the next compressed byte not handed out yet
  uint64_t compressedLeft = 0;
  uint64_t uncompressedLeft = 0;
  uint32_t crc = 0;
  bool streamEnded = false;
  bool dummyOffered = false;
  z_stream z = {};
  bool zReady = false;
  std::vector<uint8_t> buffer;  // file source: bytes of the source from bufferPos on
  uint64_t bufferPos = 0;
  uint32_t bufferLength = 0;
};

ZipReader::ZipReader() = default;
ZipReader::~ZipReader() { Close(); }

void ZipReader::Fail(int cause) const { throw CZipException(cause, sourceName_); }

void ZipReader::OpenFile(const std::string& path) {
  if (open_) return;
  sourceName_ = path;
  if (!file_.Open(path)) {
    CZipException failure(CZipException::kBadArchive, path);
    Close();
    throw failure;
  }
  source_ = &file_;
  length_ = file_.Size();
  OpenSource();
}

void ZipReader::OpenFileRange(const plat::InputFile& file, uint64_t offset, uint64_t length) {
  if (open_) return;
  sourceName_.clear();
  source_ = &file;
  offset_ = offset;
  length_ = length;
  OpenSource();
}

void ZipReader::OpenMemory(const void* data, size_t size) {
  if (open_) return;
  sourceName_.clear();
  static const uint8_t kNothing = 0;
  memory_ = data ? static_cast<const uint8_t*>(data) : &kNothing;
  length_ = data ? size : 0;
  OpenSource();
}

void ZipReader::OpenSource() {
  try {
    ReadEndRecord(FindEndRecord());
    ReadCentralDirectory();
    SortEntries();
    open_ = true;
  } catch (...) {
    Close();
    throw;
  }
}

// Reads exactly n bytes at pos (a short read means a damaged archive).
void ZipReader::ReadExact(uint64_t pos, void* buffer, uint32_t n) {
  if (pos > length_ || length_ - pos < n) Fail(CZipException::kBadArchive);
  if (memory_) {
    std::memcpy(buffer, memory_ + pos, n);
  } else if (ReadAt(pos, buffer, n) != n) {
    Fail(CZipException::kBadArchive);
  }
}

// n bytes at pos: straight from a memory source, else read into scratch.
const uint8_t* ZipReader::View(uint64_t pos, uint32_t n, std::vector<uint8_t>& scratch) {
  if (pos > length_ || length_ - pos < n) Fail(CZipException::kBadArchive);
  if (memory_) return memory_ + pos;
  scratch.resize(n);
  ReadExact(pos, scratch.data(), n);
  return scratch.data();
}

// Backwards in chunks over the last 65557 bytes; each chunk overlaps the one after it by
// three bytes so that a signature across the border is found. The hit nearest the end wins.
uint64_t ZipReader::FindEndRecord() {
  if (length_ == 0) Fail(CZipException::kNoEndRecord);
  const uint64_t lowest = length_ - std::min<uint64_t>(length_, kEndSearchWindow);
  std::vector<uint8_t> scratch;
  uint64_t end = length_;
  for (;;) {
    uint64_t start = end - lowest > kEndSearchChunk ? end - kEndSearchChunk : lowest;
    uint32_t n = static_cast<uint32_t>(end - start);
    const uint8_t* p = View(start, n, scratch);
    for (int64_t i = static_cast<int64_t>(n) - 4; i >= 0; --i) {
      if (p[i] == 'P' && U32(p + i) == kEndSignature) return start + static_cast<uint64_t>(i);
    }
    if (start == lowest) Fail(CZipException::kNoEndRecord);
    end = start + 3;
  }
}

void ZipReader::ReadEndRecord(uint64_t pos) {
  uint8_t r[kEndRecordSize];
  ReadExact(pos, r, kEndRecordSize);
  end_.diskNumber = U16(r + 4);
  end_.centralDirectoryDisk = U16(r + 6);
  end_.entriesOnDisk = U16(r + 8);
  end_.totalEntries = U16(r + 10);
  end_.centralDirectorySize = U32(r + 12);
  end_.centralDirectoryOffset = U32(r + 16);
  end_.commentLength = U16(r + 20);
  // The comment is not used, but it must be there.
  if (length_ - pos - kEndRecordSize < end_.commentLength) Fail(CZipException::kBadArchive);
  // The central directory ends where the ZIP64 end record starts, when there is one.
  uint64_t directoryEndPos = ReadZip64EndRecord(pos) ? zip64EndPos_ : pos;
  uint64_t directoryEnd = end_.centralDirectoryOffset + end_.centralDirectorySize;
  if (directoryEnd < end_.centralDirectoryOffset || directoryEndPos < directoryEnd) Fail(CZipException::kBadArchive);
  bytesBefore_ = directoryEndPos - directoryEnd;
  if ((end_.centralDirectorySize == 0) != (end_.totalEntries == 0)) Fail(CZipException::kBadArchive);
}

// A ZIP64 end record, found through the locator in front of the end record: at the position
// the locator gives (counted from the start of the source, as the Java runtime reads it), or
// right in front of the locator (archives behind other bytes, offsets counted from the
// archive's start). Its values replace those of the end record that read as all ones; a
// record that disagrees with the others is not the archive's and is ignored.
bool ZipReader::ReadZip64EndRecord(uint64_t endPos) {
  if (endPos < kZip64LocatorSize + kZip64EndSize) return false;
  uint8_t loc[kZip64LocatorSize];
  ReadExact(endPos - kZip64LocatorSize, loc, kZip64LocatorSize);
  if (U32(loc) != kZip64LocatorSignature) return false;
  const uint64_t behindLocator = endPos - kZip64LocatorSize - kZip64EndSize;
  for (uint64_t at : {U64(loc + 8), behindLocator}) {
    if (at > length_ || length_ - at < kZip64EndSize || at + kZip64EndSize > endPos) continue;
    uint8_t r[kZip64EndSize];
    ReadExact(at, r, kZip64EndSize);
    if (U32(r) != kZip64EndSignature) continue;
    uint64_t total = U64(r + 32), size = U64(r + 40), offset = U64(r + 48);
    if ((end_.totalEntries != kSaturated16 && end_.totalEntries != total) ||
        (end_.centralDirectorySize != kSaturated32 && end_.centralDirectorySize != size) ||
        (end_.centralDirectoryOffset != kSaturated32 && end_.centralDirectoryOffset != offset))
      continue;
    end_.diskNumber = U32(r + 16);
    end_.centralDirectoryDisk = U32(r + 20);
    end_.entriesOnDisk = U64(r + 24);
    end_.totalEntries = total;
    end_.centralDirectorySize = size;
    end_.centralDirectoryOffset = offset;
    end_.zip64 = true;
    zip64EndPos_ = at;
    return true;
  }
  return false;
}

void ZipReader::ReadCentralDirectory() {
  if (end_.centralDirectorySize == 0) return;
  // Every record takes at least 46 bytes: a directory cannot hold more than that allows.
  if (end_.totalEntries > end_.centralDirectorySize / kCentralRecordSize) Fail(CZipException::kBadArchive);
  if (end_.centralDirectorySize > UINT32_MAX) Fail(CZipException::kBadArchive);
  std::vector<uint8_t> scratch;
  const uint8_t* cd =
      View(bytesBefore_ + end_.centralDirectoryOffset, static_cast<uint32_t>(end_.centralDirectorySize), scratch);
  ParseCentralDirectory(cd, end_.centralDirectorySize);
}

// Every record of the directory. The count of the end record is not trusted: a 16-bit count
// stops at 65535 (some writers wrap it), so the records are counted until the directory ends,
// as the Java runtime counts them.
void ZipReader::ParseCentralDirectory(const uint8_t* cd, uint64_t size) {
  entries_.reserve(static_cast<size_t>(std::min<uint64_t>(end_.totalEntries, size / kCentralRecordSize)));
  uint64_t pos = 0;
  size_t nameBytes = 0;
  for (uint32_t i = 0; pos < size; ++i) {
    if (size - pos < kCentralRecordSize) Fail(CZipException::kBadArchive);
    const uint8_t* p = cd + pos;
    if (U32(p) != kCentralSignature) Fail(CZipException::kBadArchive);
    ZipEntryHeader e;
    e.versionMadeBy = U16(p + 4);
    e.versionNeeded = U16(p + 6);
    e.flags = U16(p + 8);
    e.method = U16(p + 10);
    e.modTime = U16(p + 12);
    e.modDate = U16(p + 14);
    e.crc32 = U32(p + 16);
    e.compressedSize = U32(p + 20);
    e.uncompressedSize = U32(p + 24);
    e.nameLength = U16(p + 28);
    e.extraLength = U16(p + 30);
    e.commentLength = U16(p + 32);
    e.diskNumberStart = U16(p + 34);
    e.internalAttributes = U16(p + 36);
    e.externalAttributes = U32(p + 38);
    e.localHeaderOffset = U32(p + 42);
    e.directoryIndex = i;
    uint64_t record = uint64_t{kCentralRecordSize} + e.nameLength + e.extraLength + e.commentLength;
    if (size - pos < record) Fail(CZipException::kBadArchive);  // name or fields run past the directory
    if (!ApplyZip64Extra(e, p + kCentralRecordSize + e.nameLength, e.extraLength)) Fail(CZipException::kBadArchive);
    e.name = reinterpret_cast<const char*>(p + kCentralRecordSize);
    nameBytes += e.nameLength;
    entries_.push_back(e);
    pos += record;
  }
  // The names move into storage of our own, as stored: a '\' is a character of the name, as
  // for the Java runtime.
  names_.reset(new char[nameBytes ? nameBytes : 1]);
  char* out = names_.get();
  for (ZipEntryHeader& e : entries_) {
    if (e.nameLength) std::memcpy(out, e.name, e.nameLength);
    e.name = out;
    out += e.nameLength;
  }
}

// Order by disk and local header offset. Two entries at one offset, or an entry whose
// local header starts inside the data of the one before it, make the archive invalid:
// overlapping entries are how small archives claim huge contents.
void ZipReader::SortEntries() {
  if (!std::is_sorted(entries_.begin(), entries_.end(), EntryBefore))
    std::sort(entries_.begin(), entries_.end(), EntryBefore);
  for (size_t i = 1; i < entries_.size(); ++i) {
    const ZipEntryHeader& a = entries_[i - 1];
    const ZipEntryHeader& b = entries_[i];
    if (a.diskNumberStart != b.diskNumberStart) continue;
    if (a.localHeaderOffset + kLocalHeaderSize + a.compressedSize > b.localHeaderOffset ||
        a.localHeaderOffset + kLocalHeaderSize + a.compressedSize < a.localHeaderOffset)
      Fail(CZipException::kBadArchive);
  }
}

void ZipReader::Close() {
  read_.reset();
  std::vector<ZipEntryHeader>().swap(entries_);
  names_.reset();
  file_.Close();
  source_ = nullptr;
  offset_ = 0;
  memory_ = nullptr;
  length_ = 0;
  bytesBefore_ = 0;
  end_ = {};
  zip64EndPos_ = 0;
  open_ = false;
}

// Checks the local header against the central record; returns where the data starts and
// the local flags. A file source reads the header together with the first data bytes.
uint64_t ZipReader::ReadLocalHeader(const ZipEntryHeader& e, uint16_t& localFlags) {
  const uint64_t pos = bytesBefore_ + e.localHeaderOffset;
  const uint8_t* h;
  if (memory_) {
    std::vector<uint8_t> unused;  // a memory source needs no scratch
    h = View(pos, kLocalHeaderSize, unused);
  } else {
    if (pos > length_) Fail(CZipException::kBadArchive);
    uint64_t want = std::min<uint64_t>({uint64_t{kLocalHeaderSize} + e.nameLength + e.extraLength + e.compressedSize,
                                        kBufferSize, length_ - pos});
    read_->buffer.resize(kBufferSize);
    read_->bufferPos = pos;
    read_->bufferLength = static_cast<uint32_t>(ReadAt(pos, read_->buffer.data(), want));
    if (read_->bufferLength < kLocalHeaderSize) Fail(CZipException::kBadArchive);
    h = read_->buffer.data();
  }
  return CheckLocalHeader(e, h, pos, localFlags);
}

// The local header at pos must match the central record; returns where the data starts.
uint64_t ZipReader::CheckLocalHeader(const ZipEntryHeader& e, const uint8_t* h, uint64_t pos, uint16_t& localFlags) {
  uint16_t method = U16(h + 8);
  localFlags = U16(h + 6);
  if (U32(h) != kLocalSignature || method != e.method || (method != kStored && method != kDeflated))
    Fail(CZipException::kBadArchive);
  // A size of all ones stands for the value in the local ZIP64 field; the central record's counts.
  auto sameSize = [](uint32_t local, uint64_t central) { return local == central || local == kSaturated32; };
  if (!(localFlags & kFlagDescriptor) &&
      (U32(h + 14) != e.crc32 || !sameSize(U32(h + 18), e.compressedSize) || !sameSize(U32(h + 22), e.uncompressedSize)))
    Fail(CZipException::kBadArchive);
  uint64_t data = pos + kLocalHeaderSize + U16(h + 26) + U16(h + 28);
  if (data > length_) Fail(CZipException::kBadArchive);
  return data;
}

uint64_t ZipReader::EntryData(size_t index) {
  if (!open_ || index >= entries_.size()) return kNoData;
  const ZipEntryHeader& e = entries_[index];
  if (e.method != kStored && e.method != kDeflated) return kNoData;
  const uint64_t pos = bytesBefore_ + e.localHeaderOffset;
  uint8_t h[kLocalHeaderSize];
  ReadExact(pos, h, kLocalHeaderSize);
  uint16_t localFlags = 0;
  uint64_t data = CheckLocalHeader(e, h, pos, localFlags);
  if (((e.flags & ~0xF) | (localFlags & 0xF)) & kFlagEncrypted) Fail(CZipException::kEncrypted);
  if (length_ - data < e.compressedSize) Fail(CZipException::kBadArchive);
  return data;
}

uint64_t ZipReader::StoredEntryData(size_t index) {
  if (!open_ || index >= entries_.size() || entries_[index].method != kStored) return kNoData;
  uint64_t data = EntryData(index);
  if (entries_[index].compressedSize != entries_[index].uncompressedSize) Fail(CZipException::kBadArchive);
  return data;
}

bool ZipReader::OpenEntry(size_t index) {
  if (!open_ || index >= entries_.size() || (read_ && read_->entryOpen)) return false;
  if (!read_) read_ = std::make_unique<ReadState>();
  const ZipEntryHeader& e = entries_[index];
  ReadState& r = *read_;
  r.bufferLength = 0;
  uint16_t localFlags = 0;
  uint64_t data = ReadLocalHeader(e, localFlags);
  uint16_t flags = static_cast<uint16_t>((e.flags & ~0xF) | (localFlags & 0xF));
  if (flags & kFlagEncrypted) Fail(CZipException::kEncrypted);
  // Sizes the data cannot have are refused before anybody allocates for them.
  if (length_ - data < e.compressedSize) Fail(CZipException::kBadArchive);
  if (e.method == kStored && e.compressedSize != e.uncompressedSize) Fail(CZipException::kBadArchive);
  if (e.method == kDeflated && e.uncompressedSize > (uint64_t{e.compressedSize} + 1) * kMaxDeflateRatio)
    Fail(CZipException::kBadArchive);
  if (e.method == kDeflated) {
    int rc = r.zReady ? inflateReset(&r.z) : inflateInit2(&r.z, -MAX_WBITS);
    if (rc != Z_OK) Fail(CZipException::CauseForZlib(rc));
    r.zReady = true;
    r.z.avail_in = 0;
  }
  r.index = index;
  r.method = e.method;
  r.next = data;
  r.compressedLeft = e.compressedSize;
  r.uncompressedLeft = e.uncompressedSize;
  r.crc = 0;
  r.streamEnded = false;
  r.dummyOffered = false;
  r.entryOpen = true;
  return true;
}

// The next piece of compressed input: up to `want` bytes at the read position, from
// memory, from the bytes already buffered, or read into the buffer. Sets n.
const uint8_t* ZipReader::TakeInput(uint32_t want, uint32_t& n) {
  ReadState& r = *read_;
  const uint8_t* p;
  if (memory_) {
    p = memory_ + r.next;
    n = want;
  } else if (r.next >= r.bufferPos && r.next < r.bufferPos + r.bufferLength) {
    p = r.buffer.data() + (r.next - r.bufferPos);
    n = std::min<uint32_t>(want, static_cast<uint32_t>(r.bufferPos + r.bufferLength - r.next));
  } else {
    n = std::min(want, kBufferSize);
    r.buffer.resize(kBufferSize);
    ReadExact(r.next, r.buffer.data(), n);
    r.bufferPos = r.next;
    r.bufferLength = n;
    p = r.buffer.data();
  }
  r.next += n;
  r.compressedLeft -= n;
  return p;
}

uint32_t ZipReader::ReadStored(uint8_t* out, uint32_t room) {
  ReadState& r = *read_;
  uint32_t total = 0;
  while (total < room && r.compressedLeft > 0) {
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(room - total, r.compressedLeft));
    uint32_t n = want;
    if (!memory_ && !(r.next >= r.bufferPos && r.next < r.bufferPos + r.bufferLength)) {
      ReadExact(r.next, out + total, want);  // large stored data goes straight to the caller
      r.next += want;
      r.compressedLeft -= want;
    } else {
      const uint8_t* in = TakeInput(want, n);
      std::memcpy(out + total, in, n);
    }
    total += n;
  }
  r.crc = static_cast<uint32_t>(crc32_z(r.crc, out, total));
  r.uncompressedLeft -= total;
  return total;
}

// Hands zlib its next input; false when the compressed data is used up. Once, a dummy byte
// is offered after the data, for streams whose end needs one more byte.
bool ZipReader::FillInput() {
  ReadState& r = *read_;
  if (r.z.avail_in > 0) return true;
  if (r.compressedLeft > 0) {
    uint32_t n;
    r.z.next_in = const_cast<Bytef*>(TakeInput(static_cast<uint32_t>(std::min<uint64_t>(r.compressedLeft, 1u << 30)), n));
    r.z.avail_in = n;
    return true;
  }
  if (r.dummyOffered) return false;
  static Bytef dummy = 0;
  r.dummyOffered = true;
  r.z.next_in = &dummy;
  r.z.avail_in = 1;
  return true;
}

uint32_t ZipReader::ReadDeflated(uint8_t* out, uint32_t room) {
  ReadState& r = *read_;
  uint32_t total = 0;
  while (total < room && !r.streamEnded && FillInput()) {
    uInt inBefore = r.z.avail_in;
    r.z.next_out = out + total;
    r.z.avail_out = room - total;
    int rc = inflate(&r.z, Z_SYNC_FLUSH);
    uint32_t produced = room - total - r.z.avail_out;
    total += produced;
    if (rc == Z_STREAM_END) r.streamEnded = true;
    else if (rc == Z_BUF_ERROR && produced == 0 && r.z.avail_in == inBefore) break;  // no progress possible
    else if (rc != Z_OK && rc != Z_BUF_ERROR) Fail(CZipException::CauseForZlib(rc));
  }
  r.crc = static_cast<uint32_t>(crc32_z(r.crc, out, total));
  r.uncompressedLeft -= total;
  if (r.uncompressedLeft == 0) FinishInflate();
  return total;
}

// All declared bytes are out: the stream must end here. Data beyond the declared size
// marks the entry as damaged rather than being cut off silently.
void ZipReader::FinishInflate() {
  ReadState& r = *read_;
  while (!r.streamEnded && FillInput()) {
    uInt inBefore = r.z.avail_in;
    Bytef extra;
    r.z.next_out = &extra;
    r.z.avail_out = 1;
    int rc = inflate(&r.z, Z_SYNC_FLUSH);
    if (r.z.avail_out == 0) Fail(CZipException::kBadArchive);
    if (rc == Z_STREAM_END) r.streamEnded = true;
    else if (rc != Z_OK && rc != Z_BUF_ERROR) Fail(CZipException::CauseForZlib(rc));
    else if (r.z.avail_in == inBefore) return;  // no progress: the data simply stops here
  }
}

uint32_t ZipReader::ReadEntry(void* buffer, uint32_t n) {
  if (!read_ || !read_->entryOpen || !buffer || n == 0) return 0;
  uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(n, read_->uncompressedLeft));
  if (room == 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  return read_->method == kStored ? ReadStored(out, room) : ReadDeflated(out, room);
}

int ZipReader::CloseEntry() {
  if (!read_ || !read_->entryOpen) return 0;
  read_->entryOpen = false;
  if (read_->uncompressedLeft != 0) return -1;
  if (read_->crc != entries_[read_->index].crc32) Fail(CZipException::kBadCrc);
  return 1;
}

bool ZipReader::ExtractEntry(size_t index, std::string& out) {
  if (!OpenEntry(index)) return false;
  try {
    uint64_t size64 = entries_[index].uncompressedSize;
    if (size64 > UINT32_MAX) Fail(CZipException::kZlibMemory);  // more than one read can hold
    uint32_t size = static_cast<uint32_t>(size64);
    try {
      out.resize(size);
    } catch (const std::bad_alloc&) {
      Fail(CZipException::kZlibMemory);
    }
    if (ReadEntry(out.data(), size) != size) Fail(CZipException::kBadArchive);
    CloseEntry();
  } catch (...) {
    read_->entryOpen = false;
    throw;
  }
  return true;
}
