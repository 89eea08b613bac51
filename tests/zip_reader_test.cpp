#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "support/test_util.h"
#include "support/zip_writer.h"
#include "zip/zip_reader.h"

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string TextBytes(size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i) + " of some compressible text\n";
  s.resize(n);
  return s;
}

int CauseOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const CZipException& e) {
    return e.cause;
  }
  return 0;
}

std::string Extract(ZipReader& z, size_t i) {
  std::string out;
  EXPECT_TRUE(z.ExtractEntry(i, out));
  return out;
}

int CauseOpeningMemory(const std::string& archive) {
  ZipReader z;
  return CauseOf([&] { z.OpenMemory(archive.data(), archive.size()); });
}

// The cause from opening the archive or, when it opens, from extracting one entry.
int CauseExtracting(const std::string& archive, size_t index = 0) {
  ZipReader z;
  std::string out;
  return CauseOf([&] {
    z.OpenMemory(archive.data(), archive.size());
    z.ExtractEntry(index, out);
  });
}

const std::vector<testzip::Entry> kMixed = {
    {"dir/stored.bin", RandomBytes(70000, 1), false},
    {"dir/sub/deflated.txt", TextBytes(300000), true},
    {"descriptor.txt", TextBytes(90000), true, true},
    {"empty", "", true},
    {"empty-stored", "", false},
};

}  // namespace

// File and memory sources over an archive behind an executable-like prefix: every entry
// comes back byte for byte, names as stored, in data order.
TEST(ZipReader, ReadsStoredDeflatedAndDescriptorEntriesFromFileAndMemory) {
  testutil::TempDir dir;
  testzip::Options opt;
  opt.prefix = RandomBytes(150000, 7);
  const std::string archive = testzip::Build(kMixed, opt);
  testutil::WriteFile(dir / "app.exe", archive);
  for (bool fromFile : {true, false}) {
    SCOPED_TRACE(fromFile);
    ZipReader z;
    if (fromFile) z.OpenFile(dir / "app.exe");
    else z.OpenMemory(archive.data(), archive.size());
    EXPECT_EQ(z.BytesBeforeArchive(), opt.prefix.size());
    EXPECT_EQ(z.SourceName(), fromFile ? dir / "app.exe" : "");
    ASSERT_EQ(z.EntryCount(), kMixed.size());
    for (size_t i = 0; i < kMixed.size(); ++i) {
      const std::string& expectedName = kMixed[i].name;
      EXPECT_EQ(z.Entry(i).Name(), expectedName);
      EXPECT_EQ(Extract(z, i), kMixed[i].data) << expectedName;
    }
  }
}

TEST(ZipReader, ReadsInPiecesAndReportsHowTheEntryWasClosed) {
  const std::string archive = testzip::Build(kMixed);
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  EXPECT_FALSE(z.OpenEntry(kMixed.size()));
  EXPECT_EQ(z.CloseEntry(), 0);
  char byte;
  EXPECT_EQ(z.ReadEntry(&byte, 1), 0u);

  ASSERT_TRUE(z.OpenEntry(1));
  EXPECT_FALSE(z.OpenEntry(0)) << "one entry at a time";
  std::string got, chunk(4097, '\0');
  while (uint32_t n = z.ReadEntry(chunk.data(), static_cast<uint32_t>(chunk.size()))) got.append(chunk, 0, n);
  EXPECT_EQ(got, kMixed[1].data);
  EXPECT_EQ(z.CloseEntry(), 1);

  ASSERT_TRUE(z.OpenEntry(0));
  EXPECT_EQ(z.ReadEntry(chunk.data(), 100), 100u);
  EXPECT_EQ(z.CloseEntry(), -1) << "data left unread";

  ASSERT_TRUE(z.OpenEntry(3));
  EXPECT_EQ(z.CloseEntry(), 1) << "an empty entry opens and closes";
}

TEST(ZipReader, OrdersEntriesByLocalHeaderOffset) {
  testzip::Options opt;
  opt.reverseDirectory = true;
  const std::string archive = testzip::Build(kMixed, opt);
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  ASSERT_EQ(z.EntryCount(), kMixed.size());
  for (size_t i = 1; i < z.EntryCount(); ++i) EXPECT_LT(z.Entry(i - 1).localHeaderOffset, z.Entry(i).localHeaderOffset);
  EXPECT_EQ(Extract(z, 2), kMixed[2].data);
}

// The end record is searched in the last 65557 bytes, in chunks whose borders a signature
// may straddle.
TEST(ZipReader, FindsTheEndRecordWithinTheLongestComment) {
  const std::vector<testzip::Entry> one = {{"a.txt", "alpha", true}};
  for (size_t comment : {size_t{0}, size_t{32747}, size_t{32748}, size_t{32749}, size_t{65535}}) {
    SCOPED_TRACE(comment);
    testzip::Options opt;
    opt.comment = std::string(comment, 'c');
    const std::string archive = testzip::Build(one, opt);
    ZipReader z;
    z.OpenMemory(archive.data(), archive.size());
    EXPECT_EQ(z.EndRecord().commentLength, comment);
    EXPECT_EQ(Extract(z, 0), "alpha");
  }
  // 65536 bytes after the record put it out of reach.
  std::string archive = testzip::Build(one) + std::string(65536 - 0, 'x');
  EXPECT_EQ(CauseOpeningMemory(archive), CZipException::kNoEndRecord);
}

TEST(ZipReader, EmptyAndMissingSourcesAndEmptyArchives) {
  testutil::TempDir dir;
  testutil::WriteFile(dir / "empty", "");
  ZipReader z;
  EXPECT_EQ(CauseOf([&] { z.OpenFile(dir / "empty"); }), CZipException::kNoEndRecord);
  EXPECT_EQ(CauseOf([&] { z.OpenFile(dir / "missing"); }), CZipException::kBadArchive);
  EXPECT_EQ(CauseOf([&] { z.OpenMemory(nullptr, 0); }), CZipException::kNoEndRecord);
  EXPECT_FALSE(z.IsOpen());

  std::string empty = testzip::Build({});
  z.OpenMemory(empty.data(), empty.size());
  EXPECT_TRUE(z.IsOpen());
  EXPECT_EQ(z.EntryCount(), 0u);
  z.Close();

  testzip::Put32(empty, 12, 46);  // no entries, but a directory size
  EXPECT_EQ(CauseOpeningMemory(empty), CZipException::kBadArchive);
}

// Each cause code from an archive damaged in one place.
TEST(ZipReader, DamagedArchivesRaiseTheirCauses) {
  testzip::Layout lay;
  const std::vector<testzip::Entry> entries = {{"s.bin", RandomBytes(5000, 3), false}, {"d.txt", TextBytes(20000), true}};
  const std::string good = testzip::Build(entries, {}, &lay);

  std::string badCentral = good;
  badCentral[lay.central[1]] = 'X';
  EXPECT_EQ(CauseOpeningMemory(badCentral), CZipException::kBadArchive);

  std::string truncated = good.substr(0, lay.end + 22 - 1);
  EXPECT_EQ(CauseOpeningMemory(good.substr(0, lay.central[1] + 10) + good.substr(lay.end)),
            CZipException::kBadArchive);
  EXPECT_EQ(CauseOpeningMemory(truncated), CZipException::kBadArchive) << "record cut short";

  std::string localSize = good;
  testzip::Put32(localSize, lay.local[0] + 22, 4999);
  EXPECT_EQ(CauseExtracting(localSize), CZipException::kBadArchive) << "local header disagrees";

  std::string badLocal = good;
  badLocal[lay.local[1] + 2] = 9;
  EXPECT_EQ(CauseExtracting(badLocal, 1), CZipException::kBadArchive);

  std::string badCrc = good;
  badCrc[lay.data[0] + 100] ^= 1;
  EXPECT_EQ(CauseExtracting(badCrc), CZipException::kBadCrc);

  std::string encrypted = good;
  testzip::Put16(encrypted, lay.local[0] + 6, 1);
  testzip::Put16(encrypted, lay.central[0] + 8, 1);
  EXPECT_EQ(CauseExtracting(encrypted), CZipException::kEncrypted);

  std::string badDeflate = good;
  badDeflate[lay.data[1]] = static_cast<char>(0xFF);  // block type 3 does not exist
  EXPECT_EQ(CauseExtracting(badDeflate, 1), CZipException::kZlibData);
}

TEST(ZipReader, AReadThatThrowsLeavesTheEntryOpenUntilClosed) {
  testzip::Layout lay;
  std::string archive = testzip::Build({{"d.txt", TextBytes(5000), true}, {"s.bin", "stored", false}}, {}, &lay);
  archive[lay.data[0]] = static_cast<char>(0xFF);
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  ASSERT_TRUE(z.OpenEntry(0));
  std::string out(5000, '\0');
  EXPECT_EQ(CauseOf([&] { z.ReadEntry(out.data(), 5000); }), CZipException::kZlibData);
  EXPECT_FALSE(z.OpenEntry(1));
  EXPECT_EQ(z.CloseEntry(), -1);
  EXPECT_EQ(Extract(z, 1), "stored");

  archive[lay.local[1]] = 'Q';
  EXPECT_EQ(CauseOf([&] { z.OpenEntry(1); }), CZipException::kBadArchive);
  EXPECT_EQ(z.CloseEntry(), 0) << "an entry that failed to open is not open";
}

// Archives that lie about their contents end in an exception, never in an allocation of
// the claimed size, a read outside the source or an endless loop.
TEST(ZipReader, HostileArchivesAreRefused) {
  testzip::Layout lay;
  const std::vector<testzip::Entry> entries = {{"a.jar", TextBytes(50000), true}, {"b.txt", TextBytes(3000), true}};
  const std::string good = testzip::Build(entries, {}, &lay);
  auto withCentral32 = [&](size_t record, size_t field, uint32_t v, bool local) {
    std::string s = good;
    testzip::Put32(s, lay.central[record] + field, v);
    if (local) testzip::Put32(s, lay.local[record] + field - 2, v);
    return s;
  };
  // Uncompressed sizes that inflate could never produce (a "4 GB jar"), or more than the data.
  EXPECT_EQ(CauseExtracting(withCentral32(0, 24, 0xFFFFFFFF, true)), CZipException::kBadArchive);
  EXPECT_EQ(CauseExtracting(withCentral32(0, 20, 0x7FFFFFF0, true)), CZipException::kBadArchive);
  // Deflate data that goes on after the declared size: the entry opens, the read throws.
  const std::string longer = withCentral32(0, 24, 40000, true);
  ZipReader z;
  z.OpenMemory(longer.data(), longer.size());
  ASSERT_TRUE(z.OpenEntry(0));
  std::string out(50000, '\0');
  EXPECT_EQ(CauseOf([&] { z.ReadEntry(out.data(), 50000); }), CZipException::kBadArchive);

  // More entries than the directory can hold; a name that runs past the directory.
  std::string tooMany = good;
  testzip::Put16(tooMany, lay.end + 8, 60000);
  testzip::Put16(tooMany, lay.end + 10, 60000);
  EXPECT_EQ(CauseOpeningMemory(tooMany), CZipException::kBadArchive);
  std::string longName = good;
  testzip::Put16(longName, lay.central[1] + 28, 400);
  EXPECT_EQ(CauseOpeningMemory(longName), CZipException::kBadArchive);

  // Entries sharing or overlapping their data; a directory whose offset wraps around.
  std::string same = good;
  testzip::Put32(same, lay.central[1] + 42, 0);
  EXPECT_EQ(CauseOpeningMemory(same), CZipException::kBadArchive);
  std::string overlap = good;
  testzip::Put32(overlap, lay.central[1] + 42, static_cast<uint32_t>(lay.data[0] + 10));
  EXPECT_EQ(CauseOpeningMemory(overlap), CZipException::kBadArchive);
  std::string wrap = good;
  testzip::Put32(wrap, lay.end + 16, 0xFFFFFFF0);
  EXPECT_EQ(CauseOpeningMemory(wrap), CZipException::kBadArchive);
  std::string farLocal = good;
  testzip::Put32(farLocal, lay.central[1] + 42, 0x7FFFFFFF);
  EXPECT_EQ(CauseExtracting(farLocal, 1), CZipException::kBadArchive);
}

TEST(ZipReader, TruncatedDeflateDataComesBackShort) {
  testzip::Layout lay;
  std::string archive = testzip::Build({{"t.txt", RandomBytes(20000, 9), true}}, {}, &lay);
  const uint32_t csize = testzip::Get32(archive, lay.central[0] + 20);
  testzip::Put32(archive, lay.central[0] + 20, csize / 2);
  testzip::Put32(archive, lay.local[0] + 18, csize / 2);
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  ASSERT_TRUE(z.OpenEntry(0));
  std::string out(20000, '\0');
  EXPECT_LT(z.ReadEntry(out.data(), 20000), 20000u);
  EXPECT_EQ(z.CloseEntry(), -1);
  EXPECT_EQ(CauseExtracting(archive), CZipException::kBadArchive);
}

#ifndef _WIN32
// Archives written by the JDK's jar and by Info-ZIP zip, read back against the files.
namespace {

struct Tree {
  std::vector<std::pair<std::string, std::string>> files;  // relative path, contents
};

Tree MakeTree(const std::string& root) {
  Tree t;
  t.files = {{"a/b/c.txt", TextBytes(120000)}, {"a/random.bin", RandomBytes(80000, 11)},
             {"empty.txt", ""},                {"x y+z.txt", "spaces and plus"},
             {"deep/er/still/n.bin", RandomBytes(1000, 12)}};
  for (auto& [name, data] : t.files) {
    testutil::MakeDirs(root + "/" + name.substr(0, name.rfind('/') == std::string::npos ? 0 : name.rfind('/')));
    testutil::WriteFile(root + "/" + name, data);
  }
  return t;
}

void ExpectTree(const std::string& archive, const Tree& tree) {
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  size_t matched = 0;
  for (size_t i = 0; i < z.EntryCount(); ++i) {
    std::string name(z.Entry(i).Name());
    for (char& c : name) c = c == '\\' ? '/' : c;
    std::string data = Extract(z, i);
    for (auto& [file, contents] : tree.files) {
      if (file != name) continue;
      EXPECT_EQ(data, contents) << name;
      ++matched;
    }
  }
  EXPECT_EQ(matched, tree.files.size());
}

std::string Tool(const std::vector<std::string>& argv, const std::string& cwd, const std::string& output) {
  testutil::RunResult r = testutil::Run(argv, {}, cwd);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.err;
  return output.empty() ? r.out : testutil::ReadFile(output);
}

}  // namespace

TEST(ZipReader, ReadsArchivesOfJarAndZip) {
  if (!testutil::FileExists("/usr/bin/jar") || !testutil::FileExists("/usr/bin/zip")) GTEST_SKIP() << "no jar or zip";
  testutil::TempDir dir;
  const std::string src = dir / "src";
  Tree tree = MakeTree(src);
  const std::string names[] = {"a", "empty.txt", "x y+z.txt", "deep"};
  auto zipArgs = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/zip");
    for (auto& n : names) args.push_back(n);
    return args;
  };
  std::vector<std::pair<std::string, std::string>> archives = {
      {"jar", Tool({"/usr/bin/jar", "cf", dir / "app.jar", "-C", src, "."}, src, dir / "app.jar")},
      {"zip deflated", Tool(zipArgs({"-qr", dir / "d.zip"}), src, dir / "d.zip")},
      {"zip stored", Tool(zipArgs({"-qr0", dir / "s.zip"}), src, dir / "s.zip")},
      {"zip descriptors", Tool(zipArgs({"-qr", "-fd", dir / "fd.zip"}), src, dir / "fd.zip")},
      {"zip streamed", Tool(zipArgs({"-qr", "-"}), src, "")},
  };
  // A 65535-byte comment added to one of them, and the executable's bytes in front of another.
  std::string commented = archives[1].second;
  testzip::Put16(commented, commented.size() - 2, 65535);
  archives.push_back({"zip with comment", commented + std::string(65535, '#')});
  archives.push_back({"prefixed jar", RandomBytes(200000, 13) + archives[0].second});
  for (auto& [what, bytes] : archives) {
    SCOPED_TRACE(what);
    ExpectTree(bytes, tree);
  }
}
#endif

// ZIP64 end records and extra fields, behind a prefix, and a 16-bit entry count that has
// overflowed: the directory is read to its end either way, in its own order as well.
TEST(ZipReader, ReadsZip64RecordsAndCountsTheDirectory) {
  testzip::Options opt;
  opt.prefix = RandomBytes(3000, 9);
  opt.zip64 = true;
  opt.reverseDirectory = true;
  std::string archive = testzip::Build(kMixed, opt);
  ZipReader z;
  z.OpenMemory(archive.data(), archive.size());
  EXPECT_TRUE(z.EndRecord().zip64);
  EXPECT_EQ(z.BytesBeforeArchive(), opt.prefix.size());
  ASSERT_EQ(z.EntryCount(), kMixed.size());
  for (size_t i = 0; i < kMixed.size(); ++i) {
    EXPECT_EQ(Extract(z, i), kMixed[i].data) << kMixed[i].name;
    EXPECT_EQ(z.Entry(i).directoryIndex, kMixed.size() - 1 - i);
  }

  std::vector<testzip::Entry> many;
  for (int i = 0; i < 65537; ++i) many.push_back({"e" + std::to_string(i), "", false});
  many.push_back({"last.txt", "the last one"});
  for (bool zip64 : {false, true}) {
    testzip::Options o;
    o.zip64 = zip64;
    std::string big = testzip::Build(many, o);  // without ZIP64 the count reads 65538 % 65536
    ZipReader r;
    r.OpenMemory(big.data(), big.size());
    ASSERT_EQ(r.EntryCount(), many.size()) << zip64;
    EXPECT_EQ(Extract(r, many.size() - 1), "the last one");
  }
}
