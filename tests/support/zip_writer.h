// A small ZIP writer for tests: builds archives in memory, stored or deflated, with or
// without data descriptors, and tells where each record landed so that tests can damage
// exactly one field. Header-only; zlib does the deflating.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testzip {

struct Entry {
  std::string name;
  std::string data;
  bool deflate = true;
  bool descriptor = false;  // flag bit 3: zero CRC and sizes in the local header, a descriptor after the data
  uint16_t flags = 0;       // more flag bits for both headers
  // With `size`: `data` is already deflated, of an entry of that many bytes with that CRC-32
  // (for entries too large to hold); a size past 32 bits goes in ZIP64 fields.
  uint64_t size = 0;
  uint32_t crc = 0;
};

// Where the records of a built archive start (offsets in the returned bytes).
struct Layout {
  std::vector<size_t> local;    // local headers, in entry order
  std::vector<size_t> data;     // first data byte of each entry
  std::vector<size_t> central;  // central records, in directory order
  size_t end = 0;               // end-of-central-directory record
  size_t zip64End = 0;          // ZIP64 end record (with Options::zip64)
};

struct Options {
  std::string prefix;           // bytes in front of the archive (offsets stay archive-relative)
  std::string comment;          // archive comment
  bool reverseDirectory = false;  // central records in the reverse of the data order
  bool zip64 = false;  // sizes and offsets in ZIP64 extra fields, ZIP64 end record and locator
};

inline void Put16(std::string& s, size_t pos, uint16_t v) {
  s[pos] = static_cast<char>(v & 0xFF);
  s[pos + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, size_t pos, uint32_t v) {
  Put16(s, pos, static_cast<uint16_t>(v));
  Put16(s, pos + 2, static_cast<uint16_t>(v >> 16));
}
inline uint32_t Get32(const std::string& s, size_t pos) {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(s[pos + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}
inline void Add16(std::string& s, uint16_t v) {
  s.append(2, '\0');
  Put16(s, s.size() - 2, v);
}
inline void Add32(std::string& s, uint32_t v) {
  s.append(4, '\0');
  Put32(s, s.size() - 4, v);
}
inline void Add64(std::string& s, uint64_t v) {
  Add32(s, static_cast<uint32_t>(v));
  Add32(s, static_cast<uint32_t>(v >> 32));
}

// Raw deflate (no zlib header), as ZIP stores it.
inline std::string Deflate(const std::string& data, int level = 6) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

inline uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline std::string Build(const std::vector<Entry>& entries, const Options& opt = {}, Layout* layout = nullptr) {
  Layout lay;
  std::string z = opt.prefix;
  const size_t base = opt.prefix.size();
  struct Record {
    uint16_t flags, method;
    uint32_t crc, csize;
    uint64_t usize;
    uint32_t offset;
  };
  std::vector<Record> recs;
  for (const Entry& e : entries) {
    const bool given = e.size > 0;
    std::string body = given || !e.deflate ? e.data : Deflate(e.data);
    Record r{static_cast<uint16_t>(e.flags | (e.descriptor ? 8 : 0)), static_cast<uint16_t>(e.deflate ? 8 : 0),
             given ? e.crc : Crc(e.data), static_cast<uint32_t>(body.size()), given ? e.size : e.data.size(),
             static_cast<uint32_t>(z.size() - base)};
    const bool big = r.usize > 0xFFFFFFFFu;
    lay.local.push_back(z.size());
    Add32(z, 0x04034b50);
    Add16(z, 20);
    Add16(z, r.flags);
    Add16(z, r.method);
    Add16(z, 0);
    Add16(z, 0x21);
    Add32(z, e.descriptor ? 0 : r.crc);
    Add32(z, e.descriptor ? 0 : big ? 0xFFFFFFFF : r.csize);
    Add32(z, e.descriptor ? 0 : big ? 0xFFFFFFFF : static_cast<uint32_t>(r.usize));
    Add16(z, static_cast<uint16_t>(e.name.size()));
    Add16(z, big ? 20 : 0);
    z += e.name;
    if (big) {
      Add16(z, 1);
      Add16(z, 16);
      Add64(z, r.usize);
      Add64(z, r.csize);
    }
    lay.data.push_back(z.size());
    z += body;
    if (e.descriptor) {
      Add32(z, 0x08074b50);
      Add32(z, r.crc);
      Add32(z, r.csize);
      Add32(z, static_cast<uint32_t>(r.usize));
    }
    recs.push_back(r);
  }
  const size_t cdStart = z.size();
  for (size_t k = 0; k < entries.size(); ++k) {
    size_t i = opt.reverseDirectory ? entries.size() - 1 - k : k;
    const Record& r = recs[i];
    lay.central.push_back(z.size());
    Add32(z, 0x02014b50);
    Add16(z, 0x031E);
    Add16(z, 20);
    Add16(z, r.flags);
    Add16(z, r.method);
    Add16(z, 0);
    Add16(z, 0x21);
    Add32(z, r.crc);
    Add32(z, opt.zip64 ? 0xFFFFFFFF : r.csize);
    Add32(z, opt.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(r.usize));
    Add16(z, static_cast<uint16_t>(entries[i].name.size()));
    Add16(z, opt.zip64 ? 28 : 0);
    Add16(z, 0);
    Add16(z, 0);
    Add16(z, 0);
    Add32(z, 0);
    Add32(z, opt.zip64 ? 0xFFFFFFFF : r.offset);
    z += entries[i].name;
    if (opt.zip64) {
      Add16(z, 1);
      Add16(z, 24);
      Add64(z, r.usize);
      Add64(z, r.csize);
      Add64(z, r.offset);
    }
  }
  const size_t cdEnd = z.size();
  if (opt.zip64) {
    lay.zip64End = z.size();
    Add32(z, 0x06064b50);
    Add64(z, 44);
    Add16(z, 45);
    Add16(z, 45);
    Add32(z, 0);
    Add32(z, 0);
    Add64(z, entries.size());
    Add64(z, entries.size());
    Add64(z, cdEnd - cdStart);
    Add64(z, cdStart - base);
    Add32(z, 0x07064b50);  // locator: the record's position in the whole file, as Java reads it
    Add32(z, 0);
    Add64(z, lay.zip64End);
    Add32(z, 1);
  }
  lay.end = z.size();
  Add32(z, 0x06054b50);
  Add16(z, 0);
  Add16(z, 0);
  Add16(z, static_cast<uint16_t>(opt.zip64 ? 0xFFFF : entries.size()));
  Add16(z, static_cast<uint16_t>(opt.zip64 ? 0xFFFF : entries.size()));
  Add32(z, opt.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(cdEnd - cdStart));
  Add32(z, opt.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(cdStart - base));
  Add16(z, static_cast<uint16_t>(opt.comment.size()));
  z += opt.comment;
  if (layout) *layout = lay;
  return z;
}

}  // namespace testzip
