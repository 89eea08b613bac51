#include "tools/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <future>

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64ExtraId = 1;
constexpr uint32_t kAllOnes32 = 0xFFFFFFFF;
constexpr uint16_t kFlagUtf8Name = 1 << 11;
constexpr uint16_t kMadeByMsDos20 = 20;
constexpr uint64_t kZipLimit = 0xFFFFFFFFull;  // a 32-bit field holds less; all ones means "in ZIP64"
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
void Put64(std::string& b, uint64_t v) {
  Put32(b, static_cast<uint32_t>(v));
  Put32(b, static_cast<uint32_t>(v >> 32));
}

// A 32-bit field: the value, or all ones when it goes to the ZIP64 extra field.
uint32_t Field32(uint64_t v) { return v >= kZipLimit ? kAllOnes32 : static_cast<uint32_t>(v); }

bool NeedsZip64(const ZipEntryRecord& e) { return e.size >= kZipLimit || e.compressedSize >= kZipLimit; }

bool HasHighBytes(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

bool IsDirectoryName(const std::string& name) { return !name.empty() && name.back() == '/'; }

// The fields that both headers carry, from "version needed" to the name's length.
void PutCommonFields(std::string& h, const ZipEntryRecord& e, bool zip64) {
  Put16(h, zip64 ? 45 : e.method == 8 || IsDirectoryName(e.name) ? 20 : 10);
  Put16(h, e.flags);
  Put16(h, e.method);
  Put16(h, e.when.time);
  Put16(h, e.when.date);
  Put32(h, e.crc);
  Put32(h, Field32(e.compressedSize));
  Put32(h, Field32(e.size));
  Put16(h, static_cast<uint32_t>(e.name.size()));
}

// A local header holds both sizes in its ZIP64 field, whenever it has one.
std::string LocalHeader(const ZipEntryRecord& e) {
  const bool zip64 = NeedsZip64(e);
  std::string h;
  Put32(h, kLocalSignature);
  ZipEntryRecord local = e;
  if (zip64) local.size = local.compressedSize = kZipLimit;
  PutCommonFields(h, local, zip64);
  Put16(h, zip64 ? 20 : 0);  // extra field
  h += e.name;
  if (zip64) {
    Put16(h, kZip64ExtraId);
    Put16(h, 16);
    Put64(h, e.size);
    Put64(h, e.compressedSize);
  }
  return h;
}

// A central record's ZIP64 field holds the values whose own fields read all ones, in order.
std::string CentralHeader(const ZipEntryRecord& e) {
  std::string extra;
  if (e.size >= kZipLimit) Put64(extra, e.size);
  if (e.compressedSize >= kZipLimit) Put64(extra, e.compressedSize);
  if (e.localOffset >= kZipLimit) Put64(extra, e.localOffset);
  std::string h;
  Put32(h, kCentralSignature);
  Put16(h, extra.empty() ? kMadeByMsDos20 : 45);
  PutCommonFields(h, e, !extra.empty());
  Put16(h, extra.empty() ? 0 : static_cast<uint32_t>(extra.size() + 4));  // extra field
  Put16(h, 0);                                  // comment
  Put16(h, 0);                                  // disk number start
  Put16(h, 0);                                  // internal attributes
  Put32(h, IsDirectoryName(e.name) ? 0x10 : 0);  // MS-DOS directory attribute
  Put32(h, Field32(e.localOffset));
  h += e.name;
  if (!extra.empty()) {
    Put16(h, kZip64ExtraId);
    Put16(h, static_cast<uint32_t>(extra.size()));
    h += extra;
  }
  return h;
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
  ZipEntryRecord e{name, method, 0, when, crc, n, size, offset};
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
  const uint64_t count = zip.entries.size();
  const bool zip64 = count >= 0xFFFF || cdStart >= kZipLimit || cd.size() >= kZipLimit;
  std::string end;
  if (zip64) {
    const uint64_t recordAt = zip.start + cdStart + cd.size();  // in the whole file
    Put32(end, kZip64EndSignature);
    Put64(end, 44);  // the record's size after this field
    Put16(end, 45);  // made by
    Put16(end, 45);  // needed
    Put32(end, 0);   // this disk
    Put32(end, 0);   // disk of the central directory
    Put64(end, count);
    Put64(end, count);
    Put64(end, cd.size());
    Put64(end, cdStart);
    Put32(end, kZip64LocatorSignature);
    Put32(end, 0);  // disk of the ZIP64 end record
    Put64(end, recordAt);
    Put32(end, 1);  // disks
  }
  Put32(end, kEndSignature);
  Put16(end, 0);  // this disk
  Put16(end, 0);  // disk of the central directory
  const uint32_t count16 = static_cast<uint32_t>(std::min<uint64_t>(count, 0xFFFF));
  Put16(end, count16);
  Put16(end, count16);
  Put32(end, Field32(cd.size()));
  Put32(end, Field32(cdStart));
  Put16(end, 0);  // comment length
  cd += end;
  return WriteBytes(*zip.out, cd.data(), cd.size(), err);
}

uint64_t ZipLength(const ZipWriter& zip) { return zip.out->size - zip.start; }
