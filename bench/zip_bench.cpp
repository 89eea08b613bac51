// Opening and indexing an archive of 20,000 entries, then reading every entry: ZipReader
// against libzip on the same file in the same run. Target: at most 1.0x libzip's time.
// Times are the thread's CPU time (reads from the page cache included), best of several.
//   zip_bench [--keep PATH]   (PATH keeps the archive for zip_refs.sh)
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "zip/zip_reader.h"

namespace {

constexpr int kEntries = 20000;

std::string MakeArchive() {
  std::mt19937 rng(42);
  std::vector<testzip::Entry> entries;
  entries.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    std::string name = "com/example/app/module" + std::to_string(i % 97) + "/Class" + std::to_string(i) + ".class";
    bool stored = i % 10 == 0;  // some entries stored, as jar tools do for small or incompressible ones
    entries.push_back({name, bench::ClassLikeBytes(rng, 300 + rng() % 5000), !stored});
  }
  return testzip::Build(entries);
}

// Returns a checksum of all bytes read, so that nothing can be optimised away.
uint64_t ReadAllOurs(const std::string& path) {
  ZipReader z;
  z.OpenFile(path);
  std::vector<uint8_t> buf;
  uint64_t sum = 0;
  for (size_t i = 0; i < z.EntryCount(); ++i) {
    uint32_t size = z.Entry(i).uncompressedSize;
    if (buf.size() < size) buf.resize(size);
    z.OpenEntry(i);
    uint32_t got = z.ReadEntry(buf.data(), size);
    if (z.CloseEntry() != 1 && size > 0) std::fprintf(stderr, "entry %zu not read whole\n", i);
    sum += got + (got ? buf[got - 1] : 0);
  }
  return sum;
}

uint64_t ReadAllLibzip(const std::string& path) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  if (!z) return 0;
  std::vector<uint8_t> buf;
  uint64_t sum = 0;
  zip_int64_t n = zip_get_num_entries(z, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    if (buf.size() < st.size) buf.resize(st.size);
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    zip_int64_t got = zip_fread(f, buf.data(), st.size);
    zip_fclose(f);
    sum += static_cast<uint64_t>(got) + (got > 0 ? buf[got - 1] : 0);
  }
  zip_close(z);
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = "/tmp/zip_bench_20000.zip";
  bool keep = argc == 3 && std::strcmp(argv[1], "--keep") == 0;
  if (keep) path = argv[2];
  const std::string archive = MakeArchive();
  if (!bench::WriteFile(path, archive)) return 1;
  std::printf("archive: %d entries, %.1f MB\n", kEntries, archive.size() / 1e6);

  uint64_t ours = 0, theirs = 0;
  ReadAllOurs(path);  // warm the page cache
  double tLib = 0, tOurs = 0;
  for (int round = 0; round < 3; ++round) {  // interleaved, best of each
    double l = bench::BestCpuOf(2, [&] { theirs = ReadAllLibzip(path); });
    double o = bench::BestCpuOf(2, [&] { ours = ReadAllOurs(path); });
    tLib = round ? std::min(tLib, l) : l;
    tOurs = round ? std::min(tOurs, o) : o;
  }
  if (ours != theirs) std::printf("CHECKSUMS DIFFER: %llu vs %llu\n", (unsigned long long)ours, (unsigned long long)theirs);
  std::printf("libzip    open+index+read all: %8.1f ms\n", tLib * 1e3);
  std::printf("ZipReader open+index+read all: %8.1f ms\n", tOurs * 1e3);
  std::printf("ratio ZipReader/libzip: %.2fx (target <= 1.00x)\n", tOurs / tLib);

  double tOpenLib = bench::BestCpuOf(5, [&] {
    int err;
    zip_close(zip_open(path.c_str(), ZIP_RDONLY, &err));
  });
  double tOpenOurs = bench::BestCpuOf(5, [&] {
    ZipReader z;
    z.OpenFile(path);
  });
  std::printf("open+index only: libzip %.2f ms, ZipReader %.2f ms, ratio %.2fx\n", tOpenLib * 1e3, tOpenOurs * 1e3,
              tOpenOurs / tOpenLib);
  if (!keep) std::remove(path.c_str());
  return 0;
}
