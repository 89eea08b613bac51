#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/payload.h"
#include "support/test_util.h"
#include "tools/config_text.h"
#include "tools/output_file.h"
#include "tools/wrap.h"
#include "tools/zip_input.h"
#include "tools/zip_writer.h"

namespace {

const std::string kRecord = std::string(8, '\0') + kPayloadMarker + std::string(1, '\0');

std::string FakeStub(const std::string& magic) { return magic + std::string(3000, 'i') + kRecord + std::string(500, 'd'); }

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A ZIP file holding the given (name, data) entries, deflated.
void WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  OutputFile out;
  std::string err;
  ASSERT_TRUE(CreateOutput(out, path, err)) << err;
  ZipWriter zip;
  ZipBegin(zip, out);
  for (const auto& [name, data] : entries) ASSERT_TRUE(ZipAddDeflated(zip, name, Bytes(data), data.size(), {}, err));
  ASSERT_TRUE(ZipFinish(zip, err));
  ASSERT_TRUE(CommitOutput(out, false, err)) << err;
}

struct Fixture {
  testutil::TempDir dir;
  WrapOptions opt;

  Fixture() {
    testutil::WriteFile(dir / "stub", FakeStub("\x7F" "ELF"));
    WriteZip(dir / "app.jar", {{"app/Main.class", "main class bytes"}});
    WriteZip(dir / "one.jar", {{"one/A.class", std::string(5000, 'a')}});
    WriteZip(dir / "two.jar", {{"two/B.class", "b"}});
    WriteZip(dir / "support.jar", {{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n"},
                                   {"com/quillmar/plb/Loader.class", "loader"},
                                   {"com/quillmar/plb/Handler.class", "handler"}});
    testutil::WriteFile(dir / "app.cfg", "\xEF\xBB\xBFoption -Xmx64m\nsplash s.png\n");
    opt.target = "linux";
    opt.jar = dir / "app.jar";
    opt.mainClass = "app.Main";
    opt.libs = {dir / "one.jar", dir / "two.jar"};
    opt.configFiles = {dir / "app.cfg"};
    opt.sets = {"option -Dk=v"};
    opt.out = dir / "app";
    opt.stub = dir / "stub";
    opt.support = dir / "support.jar";
    opt.quiet = true;
  }

  size_t FileCount() const {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
  }
};

}  // namespace

TEST(FindPayloadRecord, NeedsExactlyOneMarkerWithRoomForTheLength) {
  size_t offset = 0;
  std::string err;
  ASSERT_TRUE(FindPayloadRecord(FakeStub("MZ"), offset, err)) << err;
  EXPECT_EQ(offset, 3002u);
  EXPECT_FALSE(FindPayloadRecord("MZ" + std::string(100, 'x'), offset, err));
  EXPECT_EQ(err, "stub has no payload-location record");
  EXPECT_FALSE(FindPayloadRecord(FakeStub("MZ") + kRecord, offset, err));
  // The marker without its NUL, or too close to the start to have a length, is no record.
  EXPECT_FALSE(FindPayloadRecord(std::string("MZ") + kPayloadMarker + "X", offset, err));
  EXPECT_FALSE(FindPayloadRecord(std::string("MZ") + kPayloadMarker + std::string(1, '\0'), offset, err));
}

// The executable carries the stub, the text block and the archive exactly where the
// launcher looks for them, the archive laid out app jar / support classes / libraries.
TEST(Wrap, WritesThePayloadWhereTheLauncherFindsIt) {
  Fixture f;
  std::string err;
  ASSERT_TRUE(Wrap(f.opt, err)) << err;
  const std::string file = testutil::ReadFile(f.opt.out), stub = testutil::ReadFile(f.opt.stub);
  size_t record = 0;
  ASSERT_TRUE(FindPayloadRecord(stub, record, err));
  ASSERT_EQ(file.compare(0, record, stub, 0, record), 0);
  ASSERT_EQ(file.compare(record + 8, stub.size() - record - 8, stub, record + 8), 0);
  uint32_t archiveLength;
  std::memcpy(&archiveLength, file.data() + record, 4);
  EXPECT_EQ(file.compare(record + 4, 4, std::string(4, '\0')), 0);  // high bytes of the length

  // --set lines come before the --config lines, so that they win.
  const std::string text = "\xEF\xBB\xBFmainclass app.Main\r\noption -Dk=v\r\noption -Xmx64m\r\nsplash s.png\r\n";
  const int32_t start = ArchiveStartOffset(Bytes(file), static_cast<uint32_t>(file.size()), archiveLength);
  EXPECT_EQ(start, static_cast<int32_t>(stub.size() + text.size() + 1 + 4 + 16));
  EXPECT_EQ(static_cast<uint64_t>(start) + archiveLength, file.size());
  std::string_view block;
  ASSERT_TRUE(EmbeddedTextBlock(Bytes(file), static_cast<uint32_t>(file.size()), start, block));
  EXPECT_EQ(block, text + std::string(1, '\0'));
  EXPECT_EQ(file.substr(start - 16, 16), BuilderBlock());

  std::vector<ArchiveEntryInfo> entries;
  ASSERT_TRUE(ListArchiveMemory(Bytes(file) + start, archiveLength, entries, err)) << err;
  const char* names[] = {"app.jar",   "com/quillmar/plb/", "com/quillmar/plb/Loader.class", "com/quillmar/plb/Handler.class",
                         "libs/one.jar", "libs/two.jar"};
  const uint16_t methods[] = {8, 8, 8, 8, 0, 0};
  ASSERT_EQ(entries.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[i].name, names[i]);
    EXPECT_EQ(entries[i].method, methods[i]) << names[i];
  }
  EXPECT_EQ(entries[4].size, testutil::ReadFile(f.opt.libs[0]).size());
}

// Every refused input leaves the destination as it was and no stray files.
TEST(Wrap, RefusedInputsLeaveNothingBehind) {
  Fixture f;
  testutil::WriteFile(f.dir / "app", "previous");
  testutil::WriteFile(f.dir / "not.jar", "just text");
  testutil::WriteFile(f.dir / "bare", "\x7F" "ELF" + std::string(5000, 'x'));
  std::string wrapped;
  {
    Fixture g;
    std::string err;
    ASSERT_TRUE(Wrap(g.opt, err)) << err;
    testutil::WriteFile(f.dir / "wrapped", testutil::ReadFile(g.opt.out));
  }
  testutil::MakeDirs(f.dir / "sub");
  testutil::WriteFile(f.dir / "sub/one.jar", testutil::ReadFile(f.dir / "two.jar"));
  std::error_code noSymlinks;  // Wine has none: a hard link is the same file too
  std::filesystem::create_symlink(f.dir / "one.jar", f.dir / "link", noSymlinks);
  if (noSymlinks) std::filesystem::create_hard_link(f.dir / "one.jar", f.dir / "link");
  const std::string appJar = testutil::ReadFile(f.dir / "app.jar"), oneJar = testutil::ReadFile(f.dir / "one.jar");
  const size_t before = f.FileCount();

  struct Case {
    const char* mention;
    void (*change)(WrapOptions&, const testutil::TempDir&);
  } cases[] = {
      {"no main class", [](WrapOptions& o, const testutil::TempDir&) { o.mainClass.clear(); }},
      {"missing.jar", [](WrapOptions& o, const testutil::TempDir& d) { o.jar = d / "missing.jar"; }},
      {"not a ZIP archive", [](WrapOptions& o, const testutil::TempDir& d) { o.libs.push_back(d / "not.jar"); }},
      {"not a regular file", [](WrapOptions& o, const testutil::TempDir& d) { o.jar = d / "sub"; }},
      {"payload-location record", [](WrapOptions& o, const testutil::TempDir& d) { o.stub = d / "bare"; }},
      {"already carries a payload", [](WrapOptions& o, const testutil::TempDir& d) { o.stub = d / "wrapped"; }},
      {"not a Windows executable", [](WrapOptions& o, const testutil::TempDir&) { o.target = "windows"; }},
      {"unknown target", [](WrapOptions& o, const testutil::TempDir&) { o.target = "macos"; }},
      {"libs/one.jar", [](WrapOptions& o, const testutil::TempDir& d) { o.libs.push_back(d / "sub/one.jar"); }},
      {"cannot write", [](WrapOptions& o, const testutil::TempDir& d) { o.out = d / "nowhere/app"; }},
      {"line break", [](WrapOptions& o, const testutil::TempDir&) { o.sets.push_back("option a\nmainclass b"); }},
      {"not a Java class name", [](WrapOptions& o, const testutil::TempDir&) { o.mainClass = "app..Main"; }},
      {"not a Java class name", [](WrapOptions& o, const testutil::TempDir&) { o.mainClass = "app/Main 2"; }},
      // An output that is one of the inputs, however it is spelt.
      {"is the --jar input", [](WrapOptions& o, const testutil::TempDir& d) { o.out = d / "sub/../app.jar"; }},
      {"is the library input", [](WrapOptions& o, const testutil::TempDir& d) { o.out = d / "link"; }},
      {"is the --config input", [](WrapOptions& o, const testutil::TempDir& d) { o.out = d / "./app.cfg"; }},
      // Executables given as jars.
      {"is a program that plumbox wrap made", [](WrapOptions& o, const testutil::TempDir& d) { o.jar = d / "wrapped"; }},
      {"library " , [](WrapOptions& o, const testutil::TempDir& d) { o.libs.push_back(d / "wrapped"); }},
      {"bare plumbox launcher stub", [](WrapOptions& o, const testutil::TempDir& d) { o.jar = d / "stub"; }},
      {"--strict", [](WrapOptions& o, const testutil::TempDir&) { o.strict = true, o.sets.push_back("singleinstance yes"); }},
  };
  for (const auto& c : cases) {
    WrapOptions opt = f.opt;
    c.change(opt, f.dir);
    std::string err;
    EXPECT_FALSE(Wrap(opt, err)) << c.mention;
    EXPECT_NE(err.find(c.mention), std::string::npos) << err;
    EXPECT_EQ(testutil::ReadFile(f.dir / "app"), "previous") << c.mention;
    EXPECT_EQ(f.FileCount(), before) << c.mention;
  }
  EXPECT_EQ(testutil::ReadFile(f.dir / "app.jar"), appJar);
  EXPECT_EQ(testutil::ReadFile(f.dir / "one.jar"), oneJar);
}

TEST(LibraryEntryNames, StoresUnderLibsByFileName) {
  std::vector<std::string> names;
  std::string err;
  ASSERT_TRUE(LibraryEntryNames({"a/x.jar", "b\\y.jar"}, names, err));
  EXPECT_EQ(names, (std::vector<std::string>{"libs/x.jar", "libs/y.jar"}));
  names.clear();
  EXPECT_FALSE(LibraryEntryNames({"a/x.jar", "b/x.jar"}, names, err));
}
