#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/test_util.h"
#include "support/zip_writer.h"
#include "tools/flat_merge.h"
#include "tools/output_file.h"
#include "tools/zip_writer.h"
#include "zip/zip_reader.h"

namespace {

struct Merged {
  std::vector<std::string> names;
  std::vector<ZipEntryHeader> headers;
  std::vector<std::string> data;
};

// Plans the merge of the jars and writes it as an archive of its own, read back.
Merged MergeAndRead(const testutil::TempDir& dir, const std::vector<std::string>& jars, FlatMerge& merge) {
  std::string err;
  Merged m;
  EXPECT_TRUE(PlanFlatMerge(jars, "app/Main", merge, err)) << err;
  {
    OutputFile out;
    EXPECT_TRUE(CreateOutput(out, dir / "merged.zip", err)) << err;
    ZipWriter zip;
    ZipBegin(zip, out);
    EXPECT_TRUE(WriteFlatEntries(merge, zip, err) && ZipFinish(zip, err) && CommitOutput(out, false, err)) << err;
  }
  ZipReader reader;
  reader.OpenFile(dir / "merged.zip");
  for (size_t i = 0; i < reader.EntryCount(); ++i) {
    m.names.emplace_back(reader.Entry(i).Name());
    m.headers.push_back(reader.Entry(i));
    m.data.emplace_back();
    reader.ExtractEntry(i, m.data.back());
  }
  return m;
}

std::string DataOf(const Merged& m, const std::string& name) {
  for (size_t i = 0; i < m.names.size(); ++i)
    if (m.names[i] == name) return m.data[i];
  return "<missing>";
}

}  // namespace

// Class-path order with the first of a name winning; directories kept; service files joined
// with each provider once; one manifest from the application's main attributes; versioned
// classes only over their own jar's base; signatures and INDEX.LIST gone; entries copied as
// stored (compressed bytes, CRC, data-descriptor inputs, bytes in front of an archive).
TEST(FlatMerge, MergesLikeAClassPath) {
  testutil::TempDir dir;
  // 71 bytes of "Implementation-Title: Caf\xC3\xA9 x...x" before the first two-byte character.
  const std::string title = "Caf\xC3\xA9 " + std::string(43, 'x') + "\xC3\xA9\xC3\xA9\xC3\xA9 end";
  const std::string main = std::string(3000, 'm');
  std::vector<testzip::Entry> app = {
      {"META-INF/", "", false},
      {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nCreated-By: hand\r\nClass-Path: x.jar\r\nMain-Class: old.Main\r\n"
                               "Implementation-Title: " + title.substr(0, 40) + "\r\n " + title.substr(40) + "\r\n\r\n"
                               "Name: app/\r\nSealed: true\r\n"},
      {"app/", "", false},
      {"app/Main.class", main, true, true},
      {"shared.txt", "from app"},
      {"META-INF/services/s.Svc", "a.One\n"},
      {"META-INF/INDEX.LIST", "JarIndex-Version: 1.0\n"},
  };
  std::vector<testzip::Entry> lib = {
      {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nMulti-Release: TRUE\nClass-Path: y.jar\n"},
      {"app/", "", false},
      {"shared.txt", "from lib"},
      {"META-INF/services/s.Svc", "# providers\nb.Two  # the second\r\na.One\n"},
      {"META-INF/LIB.SF", "sig"},
      {"META-INF/LIB.RSA", "sig"},
      {"lib/Own.class", "own", false},
      {"META-INF/versions/11/lib/Own.class", "own 11"},
      {"META-INF/versions/11/shared.txt", "would replace the application's"},
      {"META-INF/services/u.Svc", "b.Two\n"},
  };
  for (int i = 0; i < 6; ++i) app.push_back({"d" + std::to_string(i), "app"}), lib.push_back({"d" + std::to_string(i), "lib"});
  testutil::WriteFile(dir / "app.jar", testzip::Build(app, {"#!/bin/sh\nexec java -jar \"$0\"\n"}));
  testutil::WriteFile(dir / "lib.jar", testzip::Build(lib));
  testutil::WriteFile(dir / "lib2.jar", testzip::Build({{"META-INF/services/u.Svc", "c.Three\n"}}));

  FlatMerge merge;
  Merged m = MergeAndRead(dir, {dir / "app.jar", dir / "lib.jar", dir / "lib2.jar"}, merge);
  const std::vector<std::string> names = {
      "META-INF/", "META-INF/MANIFEST.MF", "app/", "app/Main.class", "shared.txt", "META-INF/services/s.Svc",
      "d0", "d1", "d2", "d3", "d4", "d5", "lib/Own.class", "META-INF/versions/11/lib/Own.class",
      "META-INF/services/u.Svc"};
  EXPECT_EQ(m.names, names);
  EXPECT_EQ(DataOf(m, "META-INF/MANIFEST.MF"),
            "Manifest-Version: 1.0\r\nCreated-By: hand\r\n"
            "Implementation-Title: Caf\xC3\xA9 " + std::string(43, 'x') +
                "\r\n \xC3\xA9\xC3\xA9\xC3\xA9 end\r\nMain-Class: app.Main\r\nMulti-Release: true\r\n\r\n");
  EXPECT_EQ(DataOf(m, "META-INF/services/s.Svc"), "a.One\nb.Two\n");
  EXPECT_EQ(DataOf(m, "META-INF/services/u.Svc"), "b.Two\nc.Three\n");
  EXPECT_EQ(DataOf(m, "shared.txt"), "from app");
  EXPECT_EQ(DataOf(m, "app/Main.class"), main);
  EXPECT_EQ(m.headers[3].compressedSize, testzip::Deflate(main).size());
  EXPECT_EQ(m.headers[3].crc32, testzip::Crc(main));
  EXPECT_EQ(m.headers[3].flags & 8, 0);
  EXPECT_EQ(m.headers[12].method, 0);

  std::vector<std::string> warnings = FlatMergeWarnings(merge);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0],
            "8 entries of later jars dropped, as an earlier jar on the class path holds the same name: shared.txt "
            "(lib.jar), d0 (lib.jar), d1 (lib.jar), d2 (lib.jar), d3 (lib.jar) and 3 more");
  EXPECT_EQ(warnings[1].rfind("lib.jar is signed: the signature files are dropped", 0), 0u) << warnings[1];
}

// What the merge cannot carry stops the wrap with the jar and the entry named. An archive of
// more than 65535 entries is an input like any other.
TEST(FlatMerge, RefusesTheSupportPackageAndUnreadableEntries) {
  testutil::TempDir dir;
  testutil::WriteFile(dir / "ok.jar", testzip::Build({{"a.txt", "a"}}));
  testutil::WriteFile(dir / "own.jar", testzip::Build({{"com/quillmar/plb/Handler.class", "x"}}));
  testzip::Entry locked{"b.txt", "b"};
  locked.flags = 1;
  testutil::WriteFile(dir / "locked.jar", testzip::Build({locked}));
  FlatMerge merge;
  std::string err;
  EXPECT_FALSE(PlanFlatMerge({dir / "ok.jar", dir / "own.jar"}, "a.Main", merge, err));
  EXPECT_EQ(err, dir / "own.jar" + " holds com/quillmar/plb/Handler.class: the package com.quillmar.plb belongs to "
                 "the launcher's support classes, which a flat executable carries at its top level");
  EXPECT_FALSE(PlanFlatMerge({dir / "ok.jar", dir / "locked.jar"}, "a.Main", merge, err));
  EXPECT_EQ(err, dir / "locked.jar" + ": entry b.txt is encrypted, which Java cannot read");
  testutil::WriteFile(dir / "latin.jar", testzip::Build({{"caf\xE9.txt", "x"}}));
  EXPECT_FALSE(PlanFlatMerge({dir / "ok.jar", dir / "latin.jar"}, "a.Main", merge, err));
  EXPECT_EQ(err, dir / "latin.jar" + ": an entry name is not UTF-8 (caf\\xE9.txt), which Java cannot read: wrap the "
                 "jar without --flat");

  for (const char* half : {"h1", "h2"}) {
    std::vector<testzip::Entry> many;
    for (int i = 0; i < 35000; ++i) many.push_back({std::string(half) + "/" + std::to_string(i), "", false});
    testutil::WriteFile(dir / (std::string(half) + ".jar"), testzip::Build(many));
  }
  Merged m = MergeAndRead(dir, {dir / "h1.jar", dir / "h2.jar"}, merge);
  const std::string merged = testutil::ReadFile(dir / "merged.zip");
  EXPECT_EQ(testzip::Get32(merged, merged.size() - 14) & 0xFFFF, 0xFFFFu);
  EXPECT_EQ(m.names.size(), 70002u);
  FlatMerge again;
  EXPECT_TRUE(PlanFlatMerge({dir / "merged.zip"}, "a.Main", again, err)) << err;
}

// Within one jar the copy a class path serves (the last of the central directory) takes part;
// between jars the first jar wins. A '\' is part of a name, never a separator.
TEST(FlatMerge, DuplicatesWithinAJarKeepTheCopyJavaServes) {
  testutil::TempDir dir;
  testzip::Options reversed;
  reversed.reverseDirectory = true;  // data order: "late", "early"; directory order: "early", "late"
  testutil::WriteFile(dir / "app.jar", testzip::Build({{"dup.txt", "late"}, {"dup.txt", "early"}, {"x\\y.txt", "bs"}},
                                                      reversed));
  testutil::WriteFile(dir / "lib.jar", testzip::Build({{"dup.txt", "lib"}, {"x/y.txt", "slash"}}));
  FlatMerge merge;
  Merged m = MergeAndRead(dir, {dir / "app.jar", dir / "lib.jar"}, merge);
  EXPECT_EQ(DataOf(m, "dup.txt"), "late");
  EXPECT_EQ(std::count(m.names.begin(), m.names.end(), "dup.txt"), 1);
  EXPECT_EQ(DataOf(m, "x\\y.txt"), "bs");
  EXPECT_EQ(DataOf(m, "x/y.txt"), "slash");
  EXPECT_EQ(merge.dropped, (std::vector<std::string>{"dup.txt (app.jar)", "dup.txt (lib.jar)"}));
}

namespace {

// A Log4j2Plugins.dat as Log4j's annotation processor writes it: {category: {key, class}}.
std::string PluginIndexBytes(const std::vector<std::pair<std::string, std::vector<std::string>>>& categories) {
  auto u32 = [](size_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  auto utf = [](const std::string& s) { return std::string{char(s.size() >> 8), char(s.size())} + s; };
  std::string out = u32(categories.size());
  for (const auto& [category, keys] : categories) {
    out += utf(category) + u32(keys.size());
    for (const auto& key : keys) out += utf(key) + utf("x." + key) + utf(key) + std::string("\1\0", 2);
  }
  return out;
}

}  // namespace

// Log4j reads the plugin index of every jar: merged flat, the indexes become one, else the
// first jar's would hide log4j-core's own appenders and layouts. One that does not parse stays
// as it was, the first copy winning.
TEST(FlatMerge, JoinsLog4jPluginIndexes) {
  const std::string name = "META-INF/org/apache/logging/log4j/core/config/plugins/Log4j2Plugins.dat";
  testutil::TempDir dir;
  testutil::WriteFile(dir / "app.jar", testzip::Build({{name, PluginIndexBytes({{"lookup", {"app"}}})}}));
  testutil::WriteFile(dir / "core.jar",
                      testzip::Build({{name, PluginIndexBytes({{"core", {"console", "file"}}, {"Lookup", {"app", "env"}}})}}));
  FlatMerge merge;
  Merged m = MergeAndRead(dir, {dir / "app.jar", dir / "core.jar"}, merge);
  EXPECT_EQ(DataOf(m, name), PluginIndexBytes({{"lookup", {"app", "env"}}, {"core", {"console", "file"}}}));
  EXPECT_TRUE(FlatMergeWarnings(merge).empty());

  testutil::WriteFile(dir / "bad.jar", testzip::Build({{name, "not an index"}}));
  testutil::TempDir out;
  m = MergeAndRead(out, {dir / "bad.jar", dir / "core.jar"}, merge);
  EXPECT_EQ(DataOf(m, name), "not an index");
  EXPECT_EQ(merge.dropped, std::vector<std::string>{name + " (core.jar)"});
}
