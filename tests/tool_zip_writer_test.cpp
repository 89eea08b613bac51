#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_util.h"
#include "tools/output_file.h"
#include "tools/zip_input.h"
#include "tools/zip_writer.h"
#include "zip/zip_reader.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Compressible(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "class " + std::to_string(i % 977) + " extends Object;\n";
  s.resize(n);
  return s;
}

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

}  // namespace

// An archive written after other bytes reads back through the launcher's reader: offsets
// count from the archive's own start, both methods round-trip, CRCs match, and the large
// entry (whose CRC runs on a helper thread) is intact.
TEST(ZipWriter, ArchiveAfterPrefixReadsBackWithBothMethods) {
  testutil::TempDir dir;
  const std::string big = Compressible(3 << 20), small = "tiny", name = "caf\xC3\xA9.txt";
  {
    OutputFile out;
    std::string err;
    ASSERT_TRUE(CreateOutput(out, dir / "a.zip", err)) << err;
    const std::string prefix(1000, 'P');
    ASSERT_TRUE(WriteBytes(out, prefix.data(), prefix.size(), err));
    ZipWriter zip;
    ZipBegin(zip, out);
    ASSERT_TRUE(ZipAddDeflated(zip, "big.txt", Bytes(big), big.size(), {}, err)) << err;
    ASSERT_TRUE(ZipAddDeflated(zip, "dir/", nullptr, 0, {}, err)) << err;
    ASSERT_TRUE(ZipAddStored(zip, "libs/x.jar", Bytes(big), big.size(), {}, err)) << err;
    ASSERT_TRUE(ZipAddStored(zip, name, Bytes(small), small.size(), {}, err)) << err;
    ASSERT_TRUE(ZipFinish(zip, err)) << err;
    EXPECT_EQ(ZipLength(zip) + 1000, out.size);
    ASSERT_TRUE(CommitOutput(out, false, err)) << err;
  }
  ZipReader reader;
  reader.OpenFile(dir / "a.zip");
  EXPECT_EQ(reader.BytesBeforeArchive(), 1000u);
  ASSERT_EQ(reader.EntryCount(), 4u);
  const std::string expected[] = {big, "", big, small};
  const uint16_t methods[] = {8, 8, 0, 0};
  for (size_t i = 0; i < 4; ++i) {
    std::string data;
    ASSERT_TRUE(reader.ExtractEntry(i, data));
    EXPECT_EQ(data, expected[i]) << i;
    EXPECT_EQ(reader.Entry(i).method, methods[i]);
  }
  EXPECT_LT(reader.Entry(0).compressedSize, big.size() / 4);
  EXPECT_EQ(reader.Entry(3).flags & (1 << 11), 1 << 11);  // UTF-8 name
  EXPECT_EQ(reader.Entry(3).Name(), "caf\xC3\xA9.txt");
}

TEST(ZipWriter, EmptyArchiveIsListable) {
  testutil::TempDir dir;
  OutputFile out;
  std::string err;
  ASSERT_TRUE(CreateOutput(out, dir / "e.zip", err));
  ZipWriter zip;
  ZipBegin(zip, out);
  ASSERT_TRUE(ZipFinish(zip, err));
  ASSERT_TRUE(CommitOutput(out, false, err));
  std::vector<ArchiveEntryInfo> entries;
  EXPECT_TRUE(ListArchiveFile(dir / "e.zip", entries, err)) << err;
  EXPECT_TRUE(entries.empty());
}

TEST(DosTime, EncodesFieldsAndClampsBefore1980) {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 1;
  tm.tm_mday = 29;
  tm.tm_hour = 13;
  tm.tm_min = 45;
  tm.tm_sec = 59;
  tm.tm_isdst = -1;
  DosTime d = DosTimeOf(std::mktime(&tm));
  EXPECT_EQ(d.date, ((2024 - 1980) << 9) | (2 << 5) | 29);
  EXPECT_EQ(d.time, (13 << 11) | (45 << 5) | 29);
  EXPECT_EQ(DosTimeOf(0).date, DosTime{}.date);
}

// The destination changes only on commit; a discarded or failed output leaves nothing.
TEST(OutputFile, ReplacesDestinationOnlyOnCommit) {
  testutil::TempDir dir;
  const std::string dest = dir / "out.exe";
  testutil::WriteFile(dest, "old");
  std::string err;
  {
    OutputFile out;
    ASSERT_TRUE(CreateOutput(out, dest, err)) << err;
    ASSERT_TRUE(WriteBytes(out, "partial", 7, err));
  }  // abandoned
  EXPECT_EQ(testutil::ReadFile(dest), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
  {
    OutputFile out;
    ASSERT_TRUE(CreateOutput(out, dest, err)) << err;
    ASSERT_TRUE(WriteBytes(out, "new bytes", 9, err));
    ASSERT_TRUE(PatchBytes(out, 0, "N", 1, err));
    EXPECT_FALSE(PatchBytes(out, 8, "xy", 2, err));  // past the end
    ASSERT_TRUE(CommitOutput(out, true, err)) << err;
  }
  EXPECT_EQ(testutil::ReadFile(dest), "New bytes");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(OutputFile, UnwritablePlacesFailWithTheirPath) {
  testutil::TempDir dir;
  std::string err;
  OutputFile a;
  EXPECT_FALSE(CreateOutput(a, dir / "missing/out.exe", err));
  EXPECT_NE(err.find("missing"), std::string::npos);
  OutputFile b;
  EXPECT_FALSE(CreateOutput(b, dir.path(), err));
  EXPECT_NE(err.find("directory"), std::string::npos);
  EXPECT_EQ(FilesIn(dir.path()), 0u);
}

// From 65535 entries on, ZIP64 end records: the locator holds the record's position in the
// whole file (as Java reads it), and the launcher's reader and unzip both read every entry
// with the prefix in front.
TEST(ZipWriter, ManyEntriesGetZip64EndRecords) {
  testutil::TempDir dir;
  constexpr size_t kEntries = 66000;
  const std::string prefix(3000, 'P');
  {
    OutputFile out;
    std::string err;
    ASSERT_TRUE(CreateOutput(out, dir / "m.zip", err)) << err;
    ASSERT_TRUE(WriteBytes(out, prefix.data(), prefix.size(), err));
    ZipWriter zip;
    ZipBegin(zip, out);
    for (size_t i = 0; i < kEntries; ++i) {
      const std::string data = i + 1 == kEntries ? "last" : "";
      ASSERT_TRUE(ZipAddStored(zip, "e/" + std::to_string(i), Bytes(data), data.size(), {}, err)) << err;
    }
    // Only the headers of this one are read back: a size past 32 bits goes to ZIP64 fields.
    ASSERT_TRUE(ZipAddPrepared(zip, "huge", 8, Bytes(prefix), 10, uint64_t{5} << 30, 0, {}, err)) << err;
    ASSERT_TRUE(ZipFinish(zip, err)) << err;
    ASSERT_TRUE(CommitOutput(out, false, err)) << err;
  }
  const std::string bytes = testutil::ReadFile(dir / "m.zip");
  const size_t locator = bytes.size() - 22 - 20;
  ASSERT_EQ(bytes.compare(locator, 4, "PK\x06\x07"), 0);
  uint64_t recordAt = 0;
  for (int k = 7; k >= 0; --k) recordAt = recordAt << 8 | static_cast<uint8_t>(bytes[locator + 8 + k]);
  EXPECT_EQ(recordAt, locator - 56) << "a position in the file, prefix included";
  EXPECT_EQ(bytes.compare(recordAt, 4, "PK\x06\x06"), 0);

  ZipReader reader;
  reader.OpenFile(dir / "m.zip");
  EXPECT_TRUE(reader.EndRecord().zip64);
  EXPECT_EQ(reader.BytesBeforeArchive(), prefix.size());
  ASSERT_EQ(reader.EntryCount(), kEntries + 1);
  EXPECT_EQ(reader.Entry(kEntries).uncompressedSize, uint64_t{5} << 30);
  EXPECT_EQ(reader.Entry(kEntries).compressedSize, 10u);
  std::string last;
  ASSERT_TRUE(reader.ExtractEntry(kEntries - 1, last));
  EXPECT_EQ(last, "last");
#ifndef _WIN32
  if (testutil::FileExists("/usr/bin/unzip")) {
    testutil::RunResult r = testutil::Run({"/usr/bin/unzip", "-p", dir / "m.zip", "e/65999"});
    EXPECT_EQ(r.out, "last") << r.err;
  }
#endif
}
