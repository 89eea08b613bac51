#include "tools/zip_writer.h"

#include <zlib.h>

#include <future>

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kFlagUtf8Name = 1 << 11;
constexpr uint16_t kMadeByMsDos20 = 20;
constexpr uint64_t kZipLimit = 0xFFFFFFFFull;
constexpr size_t kZlibChunk = size_t(1) << 30;       // zlib counts in 32-bit units
constexpr size_t kCrcOnHelperThread = size_t(1) << 20;  // smaller inputs are not worth a thread

void Put16(std::string& b, uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

bool HasHighBytes(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

bool IsDirectoryName(const std::string& name) { return !name.empty() && name.back() == '/'; }

std::string LocalHeader(const ZipEntryRecord& e) {
  std::string h;
  Put32(h, kLocalSignature);
  Put16(h, e.method == 8 || IsDirectoryName(e.name) ? 20 : 10);
  Put16(h, e.flags);
  Put16(h, e.method);
  Put16(h, e.when.time);
  Put16(h, e.when.date);
  Put32(h, e.crc);
  Put32(h, e.compressedSize);
  Put32(h, e.size);
  Put16(h, static_cast<uint32_t>(e.name.size()));
  Put16(h, 0);
  return h + e.name;
}

std::string CentralHeader(const ZipEntryRecord& e) {
  std::string h;
  Put32(h, kCentralSignature);
  Put16(h, kMadeByMsDos20);
  Put16(h, e.method == 8 || IsDirectoryName(e.name) ? 20 : 10);
  Put16(h, e.flags);
  Put16(h, e.method);
  Put16(h, e.when.time);
  Put16(h, e.when.date);
  Put32(h, e.crc);
  Put32(h, e.compressedSize);
  Put32(h, e.size);
  Put16(h, static_cast<uint32_t>(e.name.size()));
  Put16(h, 0);                                  // extra field
  Put16(h, 0);                                  // comment
  Put16(h, 0);                                  // disk number start
  Put16(h, 0);                                  // internal attributes
  Put32(h, IsDirectoryName(e.name) ? 0x10 : 0);  // MS-DOS directory attribute
  Put32(h, e.localOffset);
  return h + e.name;
}

// Checks the limits and writes the local header with the sizes known so far.
bool BeginEntry(ZipWriter& zip, ZipEntryRecord& e, size_t n, std::string& err) {
  if (e.name.empty() || e.name.size() > 0xFFFF) {
    err = "entry name '" + e.name + "' is empty or too long";
    return false;
  }
  if (zip.entries.size() >= 0xFFFF) {
    err = "more than 65535 archive entries (ZIP64 is not supported)";
    return false;
  }
  uint64_t offset = zip.out->size - zip.start;
  if (n > kZipLimit || offset + n > kZipLimit) {
    err = "the archive would reach 4 GiB at " + e.name + " (ZIP64 is not supported)";
    return false;
  }
  if (HasHighBytes(e.name)) e.flags |= kFlagUtf8Name;
  e.localOffset = static_cast<uint32_t>(offset);
  std::string h = LocalHeader(e);
  return WriteBytes(*zip.out, h.data(), h.size(), err);
}

// Writes the CRC and compressed size, known only after the data, into the local header.
bool FinishEntry(ZipWriter& zip, ZipEntryRecord& e, std::string& err) {
  std::string fix;
  Put32(fix, e.crc);
  Put32(fix, e.compressedSize);
  if (!PatchBytes(*zip.out, zip.start + e.localOffset + 14, fix.data(), fix.size(), err)) return false;
  zip.entries.push_back(e);
  return true;
}

// The CRC of large inputs runs on a helper thread while the data is written.
std::future<uint32_t> CrcInBackground(const uint8_t* data, size_t n) {
  auto policy = n >= kCrcOnHelperThread ? std::launch::async : std::launch::deferred;
  return std::async(policy, Crc32Of, data, n);
}

bool WriteDeflated(ZipWriter& zip, const uint8_t* data, size_t n, uint64_t& written, std::string& err) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    err = "zlib: cannot start deflate";
    return false;
  }
  static thread_local std::vector<uint8_t> buffer(256 * 1024);
  size_t left = n;
  int rc = Z_OK;
  bool ok = true;
  zs.next_in = const_cast<Bytef*>(data);
  while (ok && rc != Z_STREAM_END) {
    if (zs.avail_in == 0 && left > 0) {
      zs.avail_in = static_cast<uInt>(left < kZlibChunk ? left : kZlibChunk);
      left -= zs.avail_in;
    }
    zs.next_out = buffer.data();
    zs.avail_out = static_cast<uInt>(buffer.size());
    rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    size_t produced = buffer.size() - zs.avail_out;
    written += produced;
    ok = (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) && WriteBytes(*zip.out, buffer.data(), produced, err);
    if (ok && zip.out->size - zip.start > kZipLimit) {
      err = "the archive would reach 4 GiB (ZIP64 is not supported)";
      ok = false;
    }
  }
  deflateEnd(&zs);
  if (!ok && err.empty()) err = "zlib: deflate failed";
  return ok;
}

}  // namespace

DosTime DosTimeOf(std::time_t t) {
  DosTime d;
  std::tm* tm = std::localtime(&t);
  if (!tm || tm->tm_year < 80 || tm->tm_year > 207) return d;
  d.date = static_cast<uint16_t>(((tm->tm_year - 80) << 9) | ((tm->tm_mon + 1) << 5) | tm->tm_mday);
  d.time = static_cast<uint16_t>((tm->tm_hour << 11) | (tm->tm_min << 5) | (tm->tm_sec / 2));
  return d;
}

uint32_t Crc32Of(const uint8_t* data, size_t n) {
  uLong crc = crc32(0, nullptr, 0);
  while (n > 0) {
    uInt part = static_cast<uInt>(n < kZlibChunk ? n : kZlibChunk);
    crc = crc32(crc, data, part);
    data += part;
    n -= part;
  }
  return static_cast<uint32_t>(crc);
}

void ZipBegin(ZipWriter& zip, OutputFile& out) {
  zip.out = &out;
  zip.start = out.size;
  zip.entries.clear();
}

bool ZipAddDeflated(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                    std::string& err) {
  ZipEntryRecord e{name, 8, 0, when, 0, 0, static_cast<uint32_t>(n), 0};
  if (!BeginEntry(zip, e, n, err)) return false;
  std::future<uint32_t> crc = CrcInBackground(data, n);
  uint64_t written = 0;
  bool ok = WriteDeflated(zip, data, n, written, err);
  e.crc = crc.get();
  e.compressedSize = static_cast<uint32_t>(written);
  return ok && FinishEntry(zip, e, err);
}

bool ZipAddStored(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                  std::string& err) {
  ZipEntryRecord e{name, 0, 0, when, 0, static_cast<uint32_t>(n), static_cast<uint32_t>(n), 0};
  if (!BeginEntry(zip, e, n, err)) return false;
  std::future<uint32_t> crc = CrcInBackground(data, n);
  bool ok = WriteBytes(*zip.out, data, n, err);
  e.crc = crc.get();
  return ok && FinishEntry(zip, e, err);
}

bool ZipFinish(ZipWriter& zip, std::string& err) {
  uint64_t cdStart = zip.out->size - zip.start;
  std::string cd;
  for (const auto& e : zip.entries) cd += CentralHeader(e);
  if (cdStart + cd.size() + 22 > kZipLimit) {
    err = "the archive would reach 4 GiB (ZIP64 is not supported)";
    return false;
  }
  std::string end;
  Put32(end, kEndSignature);
  Put16(end, 0);  // this disk
  Put16(end, 0);  // disk of the central directory
  Put16(end, static_cast<uint32_t>(zip.entries.size()));
  Put16(end, static_cast<uint32_t>(zip.entries.size()));
  Put32(end, static_cast<uint32_t>(cd.size()));
  Put32(end, static_cast<uint32_t>(cdStart));
  Put16(end, 0);  // comment length
  cd += end;
  return WriteBytes(*zip.out, cd.data(), cd.size(), err);
}

uint64_t ZipLength(const ZipWriter& zip) { return zip.out->size - zip.start; }
