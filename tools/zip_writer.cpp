#include "tools/zip_writer.h"

#include <zlib.h>

#include <algorithm>
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

// The fields that both headers carry, from "version needed" to the name's length.
void PutCommonFields(std::string& h, const ZipEntryRecord& e) {
  Put16(h, e.method == 8 || IsDirectoryName(e.name) ? 20 : 10);
  Put16(h, e.flags);
  Put16(h, e.method);
  Put16(h, e.when.time);
  Put16(h, e.when.date);
  Put32(h, e.crc);
  Put32(h, e.compressedSize);
  Put32(h, e.size);
  Put16(h, static_cast<uint32_t>(e.name.size()));
}

std::string LocalHeader(const ZipEntryRecord& e) {
  std::string h;
  Put32(h, kLocalSignature);
  PutCommonFields(h, e);
  Put16(h, 0);  // extra field
  return h + e.name;
}

std::string CentralHeader(const ZipEntryRecord& e) {
  std::string h;
  Put32(h, kCentralSignature);
  Put16(h, kMadeByMsDos20);
  PutCommonFields(h, e);
  Put16(h, 0);                                  // extra field
  Put16(h, 0);                                  // comment
  Put16(h, 0);                                  // disk number start
  Put16(h, 0);                                  // internal attributes
  Put32(h, IsDirectoryName(e.name) ? 0x10 : 0);  // MS-DOS directory attribute
  Put32(h, e.localOffset);
  return h + e.name;
}

// The CRC of large inputs runs on a helper thread meanwhile.
std::future<uint32_t> CrcInBackground(const uint8_t* data, size_t n) {
  auto policy = n >= kCrcOnHelperThread ? std::launch::async : std::launch::deferred;
  return std::async(policy, Crc32Of, data, n);
}

bool Refuse(std::string& err, const std::string& why) {
  err = why;
  return false;
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

bool DeflateRaw(const uint8_t* data, size_t n, std::string& out, std::string& err) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return Refuse(err, "zlib: cannot start deflate");
  out.resize(deflateBound(&zs, static_cast<uLong>(std::min<uint64_t>(n, kZipLimit))) + 64);
  size_t left = n, produced = 0;
  int rc = Z_OK;
  zs.next_in = const_cast<Bytef*>(data);
  while (rc == Z_OK) {
    if (zs.avail_in == 0 && left > 0) {
      zs.avail_in = static_cast<uInt>(std::min(left, kZlibChunk));
      left -= zs.avail_in;
    }
    if (produced == out.size()) out.resize(out.size() * 2);
    const size_t room = std::min(out.size() - produced, kZlibChunk);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
    zs.avail_out = static_cast<uInt>(room);
    rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    produced += room - zs.avail_out;
  }
  deflateEnd(&zs);
  out.resize(produced);
  return rc == Z_STREAM_END || Refuse(err, "zlib: deflate failed");
}

void ZipBegin(ZipWriter& zip, OutputFile& out) {
  zip.out = &out;
  zip.start = out.size;
  zip.entries.clear();
}

bool ZipAddPrepared(ZipWriter& zip, const std::string& name, uint16_t method, const uint8_t* data, size_t n,
                    uint64_t size, uint32_t crc, DosTime when, std::string& err) {
  if (name.empty() || name.size() > 0xFFFF) return Refuse(err, "entry name '" + name + "' is empty or too long");
  const uint64_t offset = zip.out->size - zip.start;
  if (size > kZipLimit || offset + 30 + name.size() + n > kZipLimit)
    return Refuse(err, "the archive would reach 4 GiB at " + name + " (ZIP64 is not supported)");
  ZipEntryRecord e{name, method, 0, when, crc, static_cast<uint32_t>(n), static_cast<uint32_t>(size),
                   static_cast<uint32_t>(offset)};
  if (HasHighBytes(name)) e.flags |= kFlagUtf8Name;
  const std::string header = LocalHeader(e);
  if (!WriteBytes(*zip.out, header.data(), header.size(), err) || !WriteBytes(*zip.out, data, n, err)) return false;
  zip.entries.push_back(e);
  return true;
}

bool ZipAddDeflated(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                    std::string& err) {
  std::future<uint32_t> crc = CrcInBackground(data, n);
  std::string deflated;
  if (!DeflateRaw(data, n, deflated, err)) return false;
  return ZipAddPrepared(zip, name, 8, reinterpret_cast<const uint8_t*>(deflated.data()), deflated.size(), n,
                        crc.get(), when, err);
}

bool ZipAddStored(ZipWriter& zip, const std::string& name, const uint8_t* data, size_t n, DosTime when,
                  std::string& err) {
  return ZipAddPrepared(zip, name, 0, data, n, n, Crc32Of(data, n), when, err);
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
  // More entries than the field holds: 0xFFFF, and readers count the directory's records, as
  // Java does. (A ZIP64 record would not do: Java takes its offset from the start of the file.)
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(zip.entries.size(), 0xFFFF));
  Put16(end, count);
  Put16(end, count);
  Put32(end, static_cast<uint32_t>(cd.size()));
  Put32(end, static_cast<uint32_t>(cdStart));
  Put16(end, 0);  // comment length
  cd += end;
  return WriteBytes(*zip.out, cd.data(), cd.size(), err);
}

uint64_t ZipLength(const ZipWriter& zip) { return zip.out->size - zip.start; }
