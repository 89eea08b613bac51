#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "loader/registry.h"
#include "support/test_util.h"
#include "support/zip_writer.h"

namespace {

std::string Text(const std::string& seed, size_t n) {
  std::string s;
  while (s.size() < n) s += seed + " " + std::to_string(s.size()) + "\n";
  s.resize(n);
  return s;
}

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p);
  return s;
}

std::string Noise(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// c.jar three levels down; b.jar two levels down inside lib/a.jar.
const std::string kC = testzip::Build({{"never.txt", "too deep"}});
const std::string kB = testzip::Build({{"deep.txt", "two levels down"}, {"c.jar", kC, false}});
const std::string kLibA = testzip::Build({{"shared.txt", "from lib a"},
                                          {"org/y/z.txt", Text("org y z", 30000)},
                                          {"inner/b.jar", kB},
                                          {"big.bin", Noise(200000, 5), false}});
const std::string kZ = testzip::Build({{"shared.txt", "from z"}, {"only/in/z.txt", "z only"}, {"dup.txt", "z first"},
                                       {"dup.txt", "z second"}});

std::string EmbeddedArchiveBytes() {
  testzip::Options opt;
  opt.prefix = Noise(40000, 1);  // the executable image
  return testzip::Build({{"dup.txt", "first"},
                         {"dup.txt", "second"},
                         {"bs\\res.txt", "backslash"},
                         {"x!y.txt", "bang"},
                         {"d/x../y.txt", "x dots"},
                         {"com/x/Main.class", "main class bytes"},
                         {"a/b.class", "a b"},
                         {"x/z.txt", "x z"},
                         {"z.txt", "z"},
                         {"empty.txt", ""},
                         {"lib/a.jar", kLibA, false},
                         {"z.jar", kZ},
                         {"libs/empty.jar", ""},
                         {"libs/bad.jar", "this is not an archive"},
                         {"Upper.JAR", testzip::Build({{"upper.txt", "from upper"}})}},
                        opt);
}

template <typename Step>
std::string Path(const std::vector<Step>& steps);
std::vector<NameSpellings> Steps(const std::string& path);

class ArchiveRegistryLookup : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testutil::TempDir;
    testutil::WriteFile(*dir_ / "app.exe", EmbeddedArchiveBytes());
    registry_ = new ArchiveRegistry;
    OpenRegistryOnFirstUse(*registry_, *dir_ / "app.exe");
  }
  static void TearDownTestSuite() {
    delete registry_;
    delete dir_;
  }
  static ArchiveNode& Root() { return registry_->root; }

  static std::string Found(const std::string& name) {
    std::vector<std::string> steps;
    return SearchArchives(Root(), name, &steps) ? Path(steps) : "<none>";
  }
  static std::vector<std::string> All(const std::string& name) {
    std::vector<std::string> paths;
    PathCollector collect = [&](const std::vector<std::string_view>& steps) { paths.push_back(Path(steps)); };
    SearchArchives(Root(), name, nullptr, &collect);
    return paths;
  }
  // A name with '!' is a path of steps (archive names, then the entry name).
  static std::string Load(const std::string& name, bool searchNested) {
    std::vector<uint8_t> out;
    bool ok = name.find('!') == std::string::npos ? LoadEntryBytes(Root(), name, searchNested, out)
                                                  : LoadPathBytes(Root(), Steps(name), out);
    return ok ? std::string(out.begin(), out.end()) : "<none>";
  }

  static testutil::TempDir* dir_;
  static ArchiveRegistry* registry_;
};
template <typename Step>
std::string Path(const std::vector<Step>& steps) {
  std::string path;
  for (const auto& step : steps) path += (path.empty() ? "" : "!") + std::string(step);
  return path;
}

std::vector<NameSpellings> Steps(const std::string& path) {
  std::vector<NameSpellings> steps;
  for (size_t from = 0;;) {
    size_t bang = path.find('!', from);
    steps.push_back({path.substr(from, bang == std::string::npos ? bang : bang - from)});
    if (bang == std::string::npos) return steps;
    from = bang + 1;
  }
}

testutil::TempDir* ArchiveRegistryLookup::dir_;
ArchiveRegistry* ArchiveRegistryLookup::registry_;

}  // namespace

// Names are compared as stored, as the Java runtime compares them: '\' is no separator.
TEST_F(ArchiveRegistryLookup, NamesMatchExactly) {
  EXPECT_EQ(Found("a/b.class"), "a/b.class");
  EXPECT_EQ(Found("a\\b.class"), "<none>");
  EXPECT_EQ(Found("bs\\res.txt"), "bs\\res.txt");
  EXPECT_EQ(Found("bs/res.txt"), "<none>");
  EXPECT_EQ(Found("a/B.class"), "<none>");
  EXPECT_EQ(Found("a/b.clas"), "<none>");
  EXPECT_EQ(Load("com/x/Main.class", false), "main class bytes");
  EXPECT_EQ(Load("empty.txt", false), "");
  EXPECT_EQ(Found("!a/b.class"), "<none>");
  EXPECT_EQ(Found("z.jar!only/in/z.txt"), "<none>") << "a name is never split at '!'";
  EXPECT_EQ(Found("x!y.txt"), "x!y.txt");
}

// Of a name stored twice, the copy last in the central directory is served, nested or not.
TEST_F(ArchiveRegistryLookup, DuplicateNamesServeTheLastCopyOfTheDirectory) {
  EXPECT_EQ(Load("dup.txt", false), "second");
  EXPECT_EQ(Load("z.jar!dup.txt", false), "z second");
  EXPECT_EQ(Load("dup.txt", true), "second");
}

// Nested archives in the order of the directory: the class path's order, as the tool writes it.
TEST_F(ArchiveRegistryLookup, PlainNamesAreSearchedInTheRootThenNestedArchivesInDirectoryOrder) {
  EXPECT_EQ(Found("shared.txt"), "lib/a.jar!shared.txt");
  EXPECT_EQ(All("shared.txt"), (std::vector<std::string>{"lib/a.jar!shared.txt", "z.jar!shared.txt"}));
  EXPECT_EQ(Found("org/y/z.txt"), "lib/a.jar!org/y/z.txt");
  EXPECT_EQ(Found("deep.txt"), "lib/a.jar!inner/b.jar!deep.txt");
  EXPECT_EQ(Found("upper.txt"), "Upper.JAR!upper.txt") << "the suffix is matched without regard to case";
  EXPECT_EQ(Found("never.txt"), "<none>") << "a third level is not opened";
  EXPECT_TRUE(All("nothing.txt").empty());
}

TEST_F(ArchiveRegistryLookup, APathLimitsTheLoadToItsArchive) {
  EXPECT_EQ(Load("lib/a.jar!org/y/z.txt", false), Text("org y z", 30000));
  EXPECT_EQ(Load("z.jar!org/y/z.txt", false), "<none>");
  EXPECT_EQ(Load("lib\\a.jar!org/y/z.txt", false), "<none>") << "archives by their stored names";
  EXPECT_EQ(Load("lib/a.jar!z.txt", false), "<none>") << "never falls back to the root";
  std::vector<uint8_t> out;
  EXPECT_TRUE(LoadPathBytes(Root(), {{"zz.jar", "z.jar"}, {"nope", "only/in/z.txt"}}, out)) << "spellings in turn";
  EXPECT_EQ(FindArchiveNode(Root(), {{"lib/a.jar"}, {"inner/b.jar"}}), Root().nested[0].child->nested[0].child.get());
}

TEST_F(ArchiveRegistryLookup, LoadingSearchesNestedArchivesOnlyWhenAskedAndOneLevelDeep) {
  EXPECT_EQ(Load("org/y/z.txt", false), "<none>");
  EXPECT_EQ(Load("org/y/z.txt", true), Text("org y z", 30000));
  EXPECT_EQ(Load("shared.txt", true), "from lib a");
  EXPECT_EQ(Load("deep.txt", true), "<none>");
  EXPECT_EQ(Load("lib/a.jar!inner/b.jar!deep.txt", false), "two levels down");
  EXPECT_EQ(Load("lib/a.jar!big.bin", false), Noise(200000, 5));
}

TEST_F(ArchiveRegistryLookup, LoadingANestedArchiveGivesItsWholeBytes) {
  EXPECT_EQ(Load("lib/a.jar", false), kLibA);
  EXPECT_EQ(Load("lib/a.jar!inner/b.jar", false), kB);
  EXPECT_EQ(Load("lib/a.jar!inner/b.jar!c.jar", false), kC) << "the third level is an ordinary entry";
  EXPECT_EQ(Load("lib/a.jar!inner/b.jar!c.jar!never.txt", false), "<none>");
  EXPECT_EQ(Load("libs/bad.jar", false), "this is not an archive");
  EXPECT_EQ(Load("libs/empty.jar", false), "<none>");
  EXPECT_EQ(Load("nothere.jar", true), "<none>");
}

// Only a whole ".." segment is a parent step.
TEST_F(ArchiveRegistryLookup, ParentStepsAreRemovedBeforeLoading) {
  EXPECT_EQ(Load("x/y/../z.txt", false), "x z");
  EXPECT_EQ(Load("../z.txt", false), "z");
  EXPECT_EQ(Load("y/../z.txt", false), "z");
  EXPECT_EQ(Load("a/q/r/../../b.class", false), "a b");
  EXPECT_EQ(Load("d/x../y.txt", false), "x dots");
  EXPECT_EQ(Load("d/..x/../y.txt", false), "<none>") << "d/y.txt";
}

TEST_F(ArchiveRegistryLookup, ListsNestedArchivesInPreOrderIncludingEmptyOnes) {
  std::vector<std::string> paths;
  ListNestedArchives(Root(), [&](const std::vector<std::string_view>& steps) { paths.push_back(Path(steps)); });
  EXPECT_EQ(paths, (std::vector<std::string>{"lib/a.jar", "lib/a.jar!inner/b.jar", "z.jar", "libs/empty.jar",
                                             "libs/bad.jar", "Upper.JAR"}));
  EXPECT_EQ(Load("libs/bad.jar!x", false), "<none>");
}

TEST(ArchiveRegistryOpen, AFailedOpenLeavesItEmptyAndIsNotRetried) {
  testutil::TempDir dir;
  testutil::WriteFile(dir / "not.exe", Noise(100000, 2));
  testutil::WriteFile(dir / "good.exe", EmbeddedArchiveBytes());
  ArchiveRegistry registry;
  OpenRegistryOnFirstUse(registry, dir / "not.exe");
  OpenRegistryOnFirstUse(registry, dir / "good.exe");
  std::vector<uint8_t> out;
  EXPECT_FALSE(LoadEntryBytes(registry.root, "a/b.class", true, out));
  EXPECT_FALSE(SearchArchives(registry.root, "a/b.class", nullptr));
  ArchiveRegistry missing;
  OpenRegistryOnFirstUse(missing, dir / "missing.exe");
  EXPECT_TRUE(missing.root.index.empty());
}

// Damage found while the registry opens or loads ends in "not found", never in a throw.
TEST(ArchiveRegistryOpen, DamagedEntriesAreNotFound) {
  testzip::Layout lay;
  std::string archive = testzip::Build({{"good.txt", "fine"},
                                        {"crc.txt", Text("crc", 5000), false},
                                        {"huge.jar", kZ},
                                        {"broken.jar", kZ, false},
                                        {"ok.jar", kZ}},
                                       {}, &lay);
  archive[lay.data[1] + 10] ^= 1;
  testzip::Put32(archive, lay.central[2] + 24, 0xFFFFFFF0);  // a nested jar claiming 4 GB
  testzip::Put32(archive, lay.local[2] + 22, 0xFFFFFFF0);
  archive[lay.data[3] + 5] ^= 1;
  testutil::TempDir dir;
  testutil::WriteFile(dir / "app.exe", archive);
  ArchiveRegistry registry;
  OpenRegistryOnFirstUse(registry, dir / "app.exe");
  std::vector<uint8_t> out;
  EXPECT_TRUE(LoadEntryBytes(registry.root, "good.txt", false, out));
  EXPECT_FALSE(LoadEntryBytes(registry.root, "crc.txt", false, out));
  EXPECT_TRUE(LoadEntryBytes(registry.root, "good.txt", false, out)) << "the reader is usable afterwards";
  EXPECT_FALSE(LoadEntryBytes(registry.root, "huge.jar", false, out));
  EXPECT_FALSE(LoadEntryBytes(registry.root, "broken.jar", false, out));
  EXPECT_TRUE(LoadPathBytes(registry.root, {{"ok.jar"}, {"shared.txt"}}, out));
  std::vector<std::string> steps;
  EXPECT_TRUE(SearchArchives(registry.root, "only/in/z.txt", &steps));
  // broken.jar comes first; a damaged byte in its first header leaves its directory readable.
  EXPECT_EQ(steps, (std::vector<std::string>{"broken.jar", "only/in/z.txt"}));
}

// Eight threads open the registry at once, then load entries of the same and of different
// archives for a while; every byte must be right.
TEST(ArchiveRegistryThreads, ConcurrentLoadsReturnTheRightBytes) {
  testutil::TempDir dir;
  std::vector<testzip::Entry> rootEntries;
  std::vector<std::pair<std::string, std::string>> expected;
  for (int j = 0; j < 4; ++j) {
    const std::string jar = Join({"j", std::to_string(j), ".jar"});
    std::vector<testzip::Entry> inner;
    for (int i = 0; i < 20; ++i) {
      const std::string n = std::to_string(i);
      std::string data = i % 3 ? Text(Join({jar, "/", n}), 3000 + 997 * i) : Noise(2000 + 131 * i, 100 * j + i);
      inner.push_back({Join({"p/e", n}), data, i % 2 == 0});
      expected.push_back({Join({jar, "!p/e", n}), data});
    }
    rootEntries.push_back({jar, testzip::Build(inner), j % 2 == 0});
  }
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(i);
    std::string data = Text(Join({"root ", n}), 1000 + 5003 * i);
    rootEntries.push_back({Join({"r/", n, ".txt"}), data, i % 2 == 1});
    expected.push_back({Join({"r/", n, ".txt"}), data});
  }
  testutil::WriteFile(dir / "app.exe", Noise(5000, 3) + testzip::Build(rootEntries));

  ArchiveRegistry registry;
  std::atomic<int> errors{0}, loads{0};
  // PLB_STRESS_MS lengthens the run (for sanitizer builds in CI).
  const char* ms = std::getenv("PLB_STRESS_MS");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms ? std::atoi(ms) : 1500);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      OpenRegistryOnFirstUse(registry, dir / "app.exe");
      std::mt19937 rng(t);
      std::vector<uint8_t> out;
      while (std::chrono::steady_clock::now() < until) {
        // Even threads stay on one archive, odd threads roam over all of them.
        size_t pick = t % 2 == 0 ? (t / 2) * 20 + rng() % 20 : rng() % expected.size();
        const auto& [name, data] = expected[pick];
        bool ok = name.find('!') == std::string::npos ? LoadEntryBytes(registry.root, name, false, out)
                                                      : LoadPathBytes(registry.root, Steps(name), out);
        if (!ok || std::string(out.begin(), out.end()) != data) ++errors;
        ++loads;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(errors.load(), 0);
  EXPECT_GT(loads.load(), 8 * 10);
}
