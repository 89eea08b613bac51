// `plumbox wrap --target windows` with an icon, version information, splash pictures, a
// manifest and message texts, checked with tools that know nothing of ours: objdump and
// wrestool read the resource section, Wine loads the executable and the resource probe
// reads the resources through the system's own calls (LoadBitmap, LoadString,
// GetFileVersionInfo).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "payload/payload.h"
#include "support/picture_builder.h"
#include "support/test_util.h"
#include "support/zip_writer.h"
#include "tools/byte_io.h"
#include "tools/pe_image.h"
#include "tools/pe_resources.h"
#include "tools/wrap.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::WriteFile;

namespace {

std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return {};
}

uint32_t StoredChecksum(const std::string& file, const PeImage& image) {
  uint32_t v = 0;
  ReadLe32(file, image.optionalHeader + kPeChecksumField, v);
  return v;
}

// The file ranges of every resource of one type.
std::vector<std::pair<size_t, size_t>> ResourceRanges(const std::string& file, uint32_t type) {
  PeImage image;
  ResourceTable table;
  std::string error;
  EXPECT_TRUE(ParsePeImage(file, image, error)) << error;
  EXPECT_TRUE(ReadResources(file, image, GetDirectory(file, image, kPeResourceDirectory), table, error)) << error;
  std::vector<std::pair<size_t, size_t>> ranges;
  for (const auto& [key, data] : table) {
    if (!(key.type == ResourceNumber(type))) continue;
    size_t at = file.find(data.bytes);
    ranges.push_back({at, at + data.bytes.size()});
  }
  return ranges;
}

class PeResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows stub at " << PLB_WINDOWS_STUB;
    stub_ = ReadFile(PLB_WINDOWS_STUB);
    WriteFile(dir_ / "app.jar", testzip::Build({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"},
                                                {"demo/Main.class", "\xCA\xFE\xBA\xBE"}}));
    ico_ = testutil::MakeIco({{16, 0xFF2040C0}, {32, 0xFFC04020}});
    WriteFile(dir_ / "app.ico", ico_);
    WriteFile(dir_ / "splash.bmp", testutil::MakeBmp(40, 24, 0x3366CC, 6));
  }

  RunResult Wrap(const std::string& out, const std::vector<std::string>& extra, const std::string& target = "windows") {
    std::vector<std::string> args = {PLB_TOOL, "wrap", "--target", target, "--jar", dir_ / "app.jar", "--main",
                                     "demo.Main", "--stub", target == "windows" ? PLB_WINDOWS_STUB : PLB_LINUX_STUB,
                                     "-o", out, "-q"};
    if (fs::exists(PLB_SUPPORT_JAR)) args.insert(args.end(), {"--support", PLB_SUPPORT_JAR});
    args.insert(args.end(), extra.begin(), extra.end());
    return testutil::Run(args);
  }

  // Runs a Windows program under Wine; the path arguments are Linux paths.
  static RunResult Wine(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    std::vector<std::string> all = {PLB_WINE};
    for (const std::string& a : argv) all.push_back(a[0] == '/' ? "Z:" + a : a);
    return testutil::Run(all, env);
  }

  // A tool that the build machine has (binutils-mingw-w64, icoutils).
  static std::string Tool(const std::string& name) {
    std::string path = Which(name);
    EXPECT_FALSE(path.empty()) << name << " is not installed";
    return path.empty() ? "/nonexistent/" + name : path;
  }

  std::string stub_, ico_;
  testutil::TempDir dir_;
};

}  // namespace

// The stub is laid out so that its resources can grow: they are its last section. Its
// checksum, computed by the linker, is what PeChecksum computes.
TEST_F(PeResourcesTest, StubKeepsItsResourcesLastAndTheLinkersChecksum) {
  PeImage image;
  std::string error;
  ASSERT_TRUE(ParsePeImage(stub_, image, error)) << error;
  EXPECT_EQ(image.sections.back().name, ".rsrc");
  EXPECT_EQ(ImageEnd(image), stub_.size());
  EXPECT_EQ(PeChecksum(stub_, image.optionalHeader + kPeChecksumField), StoredChecksum(stub_, image));
}

TEST_F(PeResourcesTest, WrappedExecutableCarriesIconVersionSplashAndMessages) {
  const std::string out = dir_ / "ledger.exe";
  RunResult r = Wrap(out, {"--icon", dir_ / "app.ico", "--splash", dir_ / "splash.bmp", "--file-version", "1.2.3.4",
                           "--product-version", "1.2", "--product-name", "Ledger", "--company", "Quill & Co",
                           "--description", "Ledger desktop", "--copyright", "\xC2\xA9 2024 Quill",
                           "--message", "7=Main class missing.\\nReinstall Ledger.", "--message=13=Ledger runs already."});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string file = ReadFile(out);

  // objdump walks the resource tree without complaint and sees every type.
  RunResult dump = testutil::Run({Tool("x86_64-w64-mingw32-objdump"), "-p", out});
  ASSERT_EQ(dump.exitCode, 0) << dump.err;
  EXPECT_EQ(dump.out.find("orrupt"), std::string::npos) << dump.out;
  EXPECT_EQ(dump.err, "");
  for (const char* type : {"ID: 0x000002", "ID: 0x000003", "ID: 0x000006", "ID: 0x00000e", "ID: 0x000010",
                           "ID: 0x000018", "ID: 0x000064"})
    EXPECT_NE(dump.out.find(type), std::string::npos) << type;

  // wrestool lists them, and gives back the icon file byte for byte and the stub's manifest.
  const std::string wrestool = Tool("wrestool");
  RunResult list = testutil::Run({wrestool, "-l", out});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  for (const char* entry : {"--type=3 --name=1 ", "--type=3 --name=2 ", "--type=14 --name=1 ", "--type=16 --name=1 ",
                            "--type=2 --name=100 ", "--type=24 --name=1 ", "--type=6 --name=1 "})
    EXPECT_NE(list.out.find(entry), std::string::npos) << entry << " in\n" << list.out;
  ASSERT_EQ(testutil::Run({wrestool, "-x", "--type=14", "-o", dir_ / "back.ico", out}).exitCode, 0);
  // wrestool writes the icon file and then as many stray bytes as the group resource is
  // long (6 + 14 per image); it does the same for an icon that windres linked in.
  const std::string back = ReadFile(dir_ / "back.ico");
  EXPECT_EQ(back.size(), ico_.size() + 6 + 2 * 14);
  EXPECT_TRUE(back.substr(0, ico_.size()) == ico_);
  ASSERT_EQ(testutil::Run({wrestool, "-x", "--raw", "--type=24", "-o", dir_ / "back.manifest", out}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir_ / "back.manifest"), ReadFile(std::string(PLB_SOURCE_DIR) + "/launcher/plumbox.manifest"));

  // The payload is where the launcher looks, and the checksum covers it.
  size_t record = 0;
  std::string error;
  ASSERT_TRUE(FindPayloadRecord(file, record, error)) << error;
  uint32_t archiveLength = 0;
  std::memcpy(&archiveLength, file.data() + record, 4);
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  int32_t start = ArchiveStartOffset(bytes, uint32_t(file.size()), archiveLength);
  std::string_view text;
  ASSERT_TRUE(EmbeddedTextBlock(bytes, uint32_t(file.size()), start, text));
  EXPECT_NE(text.find("mainclass demo.Main"), std::string_view::npos);
  PeImage image;
  ASSERT_TRUE(ParsePeImage(file, image, error)) << error;
  EXPECT_EQ(start, int32_t(ImageEnd(image) + text.size() + 20));
  EXPECT_EQ(PeChecksum(file, image.optionalHeader + kPeChecksumField), StoredChecksum(file, image));

  // plumbox inspect tells the target, the stub's version and what the resources say.
  RunResult inspect = testutil::Run({PLB_TOOL, "inspect", out});
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  for (const char* line : {"\ntarget: windows (PE)\n", "\nstub version: 0.", "\nicon: 16x16, 32x32\n",
                           "\nmanifest: execution level requireAdministrator, code page the system's\n",
                           "\n  CompanyName: Quill & Co\n", "\n  FileVersion: 1.2.3.4\n", "\n  ProductName: Ledger\n",
                           "\n  OriginalFilename: ledger.exe\n", "\nsignature: none"})
    EXPECT_NE(inspect.out.find(line), std::string::npos) << line << " in\n" << inspect.out;

  // Through the system's own calls, under Wine.
  if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
  if (!fs::exists(PLB_RESOURCE_PROBE)) PLB_SKIP_MISSING() << "no resource probe at " << PLB_RESOURCE_PROBE;
  RunResult probe = Wine({PLB_RESOURCE_PROBE, out, "1", "7", "10", "13"});
  ASSERT_EQ(probe.exitCode, 0) << probe.out << probe.err;
  for (const char* line : {"bitmap 100: 40x24", "rcdata 100: 0 bytes", "string 1: [Java Runtime Environment not found.]",
                           "string 7: [Main class missing.\\nReinstall Ledger.]", "string 10: [Error]",
                           "string 13: [Ledger runs already.]", "version fixed: 1.2.3.4 product 1.2.0.0",
                           "version CompanyName: [Quill & Co]", "version FileDescription: [Ledger desktop]",
                           "version FileVersion: [1.2.3.4]", "version LegalCopyright: [\xC2\xA9 2024 Quill]",
                           "version OriginalFilename: [ledger.exe]", "version ProductName: [Ledger]",
                           "version ProductVersion: [1.2]"})
    EXPECT_NE(probe.out.find(std::string(line) + "\r\n"), std::string::npos) << line << " in\n" << probe.out;

  // Wine starts the executable, and the launcher finds its record in the rewritten image.
  RunResult echo = Wine({out}, {std::string(kBinaryDebugVariable) + "=1"});
  std::string expected = RecordEcho(reinterpret_cast<const unsigned char*>(file.data() + record));
  expected.insert(expected.size() - 1, "\r");
  EXPECT_EQ(echo.out.substr(0, expected.size()), expected) << echo.err;
}

// A user manifest replaces the stub's; Wine still starts the executable with it, and a
// runtime splash picture goes to RCDATA 100.
TEST_F(PeResourcesTest, UserManifestAndRuntimeSplashPicture) {
  const std::string manifest =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
      "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>\n"
      "    <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
      "  </requestedPrivileges></security></trustInfo>\n"
      "</assembly>\n";
  WriteFile(dir_ / "app.manifest", manifest);
  const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + std::string(300, 'p');
  WriteFile(dir_ / "splash.png", png);
  const std::string out = dir_ / "app.exe";
  RunResult r = Wrap(out, {"--manifest", dir_ / "app.manifest", "--splash", dir_ / "splash.png"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string wrestool = Tool("wrestool");
  ASSERT_EQ(testutil::Run({wrestool, "-x", "--raw", "--type=24", "-o", dir_ / "back.manifest", out}).exitCode, 0);
  EXPECT_EQ(ReadFile(dir_ / "back.manifest"), manifest);
  ASSERT_EQ(testutil::Run({wrestool, "-x", "--raw", "--type=10", "--name=100", "-o", dir_ / "back.png", out}).exitCode, 0);
  EXPECT_TRUE(ReadFile(dir_ / "back.png") == png);

  if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
  RunResult echo = Wine({out}, {std::string(kBinaryDebugVariable) + "=1"});
  EXPECT_NE(echo.out.find(kPayloadMarker), std::string::npos) << echo.err;
  if (!fs::exists(PLB_RESOURCE_PROBE)) PLB_SKIP_MISSING() << "no resource probe at " << PLB_RESOURCE_PROBE;
  RunResult probe = Wine({PLB_RESOURCE_PROBE, out, "1"});
  EXPECT_NE(probe.out.find("rcdata 100: 308 bytes"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("bitmap 100: none"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("string 1: [Java Runtime Environment not found.]"), std::string::npos) << probe.out;
}

// Two icons of the same sizes: the executables differ in the icon images and the checksum,
// nowhere else.
TEST_F(PeResourcesTest, WrappingWithAnotherIconChangesOnlyTheIcon) {
  WriteFile(dir_ / "other.ico", testutil::MakeIco({{16, 0xFF00FF00}, {32, 0xFF0000FF}}));
  testutil::MakeDirs(dir_ / "a");
  testutil::MakeDirs(dir_ / "b");
  ASSERT_EQ(Wrap(dir_ / "a/app.exe", {"--icon", dir_ / "app.ico", "--file-version", "3.1"}).exitCode, 0);
  ASSERT_EQ(Wrap(dir_ / "b/app.exe", {"--icon", dir_ / "other.ico", "--file-version", "3.1"}).exitCode, 0);
  const std::string a = ReadFile(dir_ / "a/app.exe"), b = ReadFile(dir_ / "b/app.exe");
  ASSERT_EQ(a.size(), b.size());
  PeImage image;
  std::string error;
  ASSERT_TRUE(ParsePeImage(a, image, error)) << error;
  std::vector<std::pair<size_t, size_t>> allowed = ResourceRanges(a, kRtIcon);
  ASSERT_EQ(allowed.size(), 2u);
  allowed.push_back({image.optionalHeader + kPeChecksumField, image.optionalHeader + kPeChecksumField + 4});
  size_t differing = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    ++differing;
    bool expected = false;
    for (const auto& [from, to] : allowed) expected = expected || (i >= from && i < to);
    ASSERT_TRUE(expected) << "unexpected difference at offset " << i;
  }
  EXPECT_GT(differing, 1000u);
}

// Inputs that are not what their option says: a clear error naming the option, exit code 1,
// and no output file.
TEST_F(PeResourcesTest, BadInputsLeaveNoOutputFile) {
  WriteFile(dir_ / "picture.bmp", testutil::MakeBmp(4, 4));
  WriteFile(dir_ / "notes.txt", "just some text\n");
  WriteFile(dir_ / "cut.bmp", testutil::MakeBmp(64, 64).substr(0, 200));
  WriteFile(dir_ / "utf8.manifest",
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"><application><windowsSettings>"
            "<activeCodePage>UTF-8</activeCodePage></windowsSettings></application></assembly>");
  const std::vector<std::vector<std::string>> cases = {
      {"--icon", dir_ / "picture.bmp"},
      {"--icon", dir_ / "missing.ico"},
      {"--splash", dir_ / "notes.txt"},
      {"--splash", dir_ / "cut.bmp"},
      {"--file-version", "1.2.3.4.5"},
      {"--product-version", "1.x"},
      {"--manifest", dir_ / "notes.txt"},
      {"--message", "seven=text"},
      {"--utf8", "--manifest", dir_ / "utf8.manifest"},  // a code page set twice
  };
  for (const auto& extra : cases) {
    const std::string out = dir_ / "bad.exe";
    RunResult r = Wrap(out, extra);
    EXPECT_EQ(r.exitCode, 1) << extra[0];
    EXPECT_EQ(r.err.rfind("plumbox: error: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(extra[0]), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out)) << extra[0];
  }
  RunResult linux = Wrap(dir_ / "app", {"--icon", dir_ / "app.ico"}, "linux");
  EXPECT_EQ(linux.exitCode, 1);
  EXPECT_NE(linux.err.find("only to --target windows"), std::string::npos) << linux.err;
  EXPECT_FALSE(fs::exists(dir_ / "app"));
}
