// The archive registry:
//  1. opening an embedded archive that holds 30 nested jars of 2 MB each: time against
//     libzip extracting and opening the same jars from memory, and peak memory (measured in
//     a fresh process) against the sum of the jars' sizes; target at most 1.15x;
//  2. a lookup by name among 20,000 entries, hit and miss, in nanoseconds, against a hash
//     map and libzip's name lookup.
// Times are the thread's CPU time, best of several runs.
//   registry_bench            run everything
//   registry_bench --measure-open PATH   (internal) open PATH, print the peak memory added
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/bench_util.h"
#include "loader/registry.h"

namespace {

constexpr int kJars = 30;
constexpr size_t kJarSize = 2 << 20;

// A jar of about 2 MB: deflated class-like entries of a few kilobytes.
std::string MakeJar(int seed) {
  std::mt19937 rng(seed);
  std::vector<testzip::Entry> entries;
  std::string jar;
  size_t raw = 0;
  for (int i = 0;; ++i) {
    size_t n = 1000 + rng() % 9000;
    entries.push_back({"org/lib" + std::to_string(seed) + "/pkg" + std::to_string(i % 20) + "/C" + std::to_string(i) + ".class",
                       bench::ClassLikeBytes(rng, n), true});
    raw += n;
    if (raw > kJarSize * 2 && (i % 64) == 0) {
      jar = testzip::Build(entries);
      if (jar.size() >= kJarSize) return jar;
    }
  }
}

struct Fixture {
  std::vector<std::string> jars;
  size_t jarBytes = 0;
  std::string archive;  // without the executable in front
};

Fixture MakeFixture() {
  Fixture f;
  std::vector<testzip::Entry> root = {{"com/example/Main.class", "main", true}};
  for (int i = 0; i < kJars; ++i) {
    f.jars.push_back(MakeJar(i));
    f.jarBytes += f.jars.back().size();
    root.push_back({"libs/lib" + std::to_string(i) + ".jar", f.jars.back(), false});  // stored, as the build tool does
  }
  f.archive = testzip::Build(root);
  return f;
}

long StatusKb(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, std::strlen(field)) == 0) kb = std::atol(line + std::strlen(field) + 1);
  }
  std::fclose(f);
  return kb;
}

int MeasureOpen(const char* path) {
  long before = StatusKb("VmRSS");
  static ArchiveRegistry registry;
  OpenRegistryOnFirstUse(registry, path);
  long peak = StatusKb("VmHWM");
  std::printf("%ld\n", peak - before);
  return registry.root.nested.size() == kJars ? 0 : 1;
}

// libzip: read every jar out of the archive into memory and open it from there.
void LibzipOpen(const std::string& path) {
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
  std::vector<zip_t*> inner;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, i, 0, &st);
    if (std::strstr(st.name, ".jar") == nullptr) continue;
    void* bytes = std::malloc(st.size);
    zip_file_t* f = zip_fopen_index(z, i, 0);
    zip_fread(f, bytes, st.size);
    zip_fclose(f);
    zip_source_t* src = zip_source_buffer_create(bytes, st.size, 1, nullptr);
    inner.push_back(zip_open_from_source(src, ZIP_RDONLY, nullptr));
  }
  for (zip_t* j : inner) zip_close(j);
  zip_close(z);
}

void BenchOpen(const char* self) {
  Fixture f = MakeFixture();
  std::mt19937 rng(1);
  const std::string exe = "/tmp/registry_bench.exe", plain = "/tmp/registry_bench.zip";
  bench::WriteFile(exe, bench::ClassLikeBytes(rng, 1 << 20) + f.archive);
  bench::WriteFile(plain, f.archive);
  std::printf("embedded archive: %d nested jars, %.2f MB together\n", kJars, f.jarBytes / 1048576.0);

  double ours = 0, theirs = 0;
  for (int round = 0; round < 3; ++round) {
    double o = bench::BestCpuOf(2, [&] {
      ArchiveRegistry registry;
      OpenRegistryOnFirstUse(registry, exe);
    });
    double l = bench::BestCpuOf(2, [&] { LibzipOpen(plain); });
    ours = round ? std::min(ours, o) : o;
    theirs = round ? std::min(theirs, l) : l;
  }
  std::printf("registry open: %.1f ms; libzip extract+open the same jars: %.1f ms; ratio %.2fx\n", ours * 1e3,
              theirs * 1e3, ours / theirs);

  std::string cmd = std::string(self) + " --measure-open " + exe;
  FILE* p = popen(cmd.c_str(), "r");
  long kb = -1;
  if (p && std::fscanf(p, "%ld", &kb) != 1) kb = -1;
  if (p) pclose(p);
  double ratio = kb * 1024.0 / f.jarBytes;
  std::printf("registry open peak memory: %.2f MB; nested jars: %.2f MB; ratio %.3fx (target <= 1.15x)\n",
              kb / 1024.0, f.jarBytes / 1048576.0, ratio);
  std::remove(exe.c_str());
  std::remove(plain.c_str());
}

void BenchLookup() {
  constexpr int kNames = 20000;
  std::vector<testzip::Entry> entries;
  std::vector<std::string> names, misses;
  for (int i = 0; i < kNames; ++i) {
    std::string name = "com/example/app/module" + std::to_string(i % 97) + "/Class" + std::to_string(i) + ".class";
    entries.push_back({name, "", false});
    names.push_back(name);
    misses.push_back(name.substr(0, name.size() - 6) + "Missing.class");
  }
  const std::string path = "/tmp/registry_bench_lookup.zip";
  bench::WriteFile(path, testzip::Build(entries));
  ArchiveRegistry registry;
  OpenRegistryOnFirstUse(registry, path);
  std::shuffle(names.begin(), names.end(), std::mt19937(3));

  std::unordered_map<std::string_view, int> map;
  for (int i = 0; i < kNames; ++i) map.emplace(names[i], i);  // exact spellings: the hash map's best case
  int err = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);

  auto perLookup = [&](const std::vector<std::string>& keys, auto&& find) {
    size_t hits = 0;
    double t = bench::BestCpuOf(7, [&] {
      hits = 0;
      for (const std::string& k : keys) hits += find(k) ? 1 : 0;
    });
    return std::make_pair(t * 1e9 / keys.size(), hits);
  };
  auto ours = [&](const std::string& k) { return SearchArchives(registry.root, k, nullptr); };
  auto hashed = [&](const std::string& k) { return map.find(k) != map.end(); };
  const std::vector<std::string>& zipNames = names;
  const std::vector<std::string>& zipMisses = misses;
  auto libzip = [&](const std::string& k) { return zip_name_locate(z, k.c_str(), 0) >= 0; };
  for (bool hit : {true, false}) {
    const auto& keys = hit ? names : misses;
    auto [o, oh] = perLookup(keys, ours);
    auto [h, hh] = perLookup(keys, hashed);
    auto [l, lh] = perLookup(hit ? zipNames : zipMisses, libzip);
    std::printf("lookup %s among %d: registry %.0f ns, hash map %.0f ns (%.2fx), libzip %.0f ns (%.2fx)%s\n",
                hit ? "hit " : "miss", kNames, o, h, o / h, l, o / l,
                oh == hh && hh == lh && (oh == (hit ? keys.size() : 0)) ? "" : "  HIT COUNTS DIFFER");
  }
  zip_close(z);
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--measure-open") == 0) return MeasureOpen(argv[2]);
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 1;
  self[n] = '\0';
  BenchOpen(self);
  BenchLookup();
  return 0;
}
