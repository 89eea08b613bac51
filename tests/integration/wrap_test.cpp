// The plumbox tool against the real launcher stubs: archives that standard ZIP tools read,
// payloads where the launcher looks, the record the stub echoes, and refused inputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "payload/payload.h"
#include "support/test_util.h"
#include "tools/config_text.h"
#include "tools/wrap.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
uint32_t Size(const std::string& s) { return static_cast<uint32_t>(s.size()); }

std::string StubFor(const std::string& target) { return target == "linux" ? PLB_LINUX_STUB : PLB_WINDOWS_STUB; }

// Where the launcher's own functions place the payload of a file.
struct Located {
  uint32_t archiveLength = 0;
  int32_t start = -1;
  bool hasText = false;
  std::string text;
  std::string record;  // the 22 bytes
};

Located Locate(const std::string& file) {
  Located l;
  size_t record = 0;
  std::string err;
  if (!FindPayloadRecord(file, record, err)) return l;
  l.record = file.substr(record, kPayloadRecordSize);
  std::memcpy(&l.archiveLength, file.data() + record, 4);
  l.start = ArchiveStartOffset(Bytes(file), Size(file), l.archiveLength);
  std::string_view text;
  l.hasText = EmbeddedTextBlock(Bytes(file), Size(file), l.start, text);
  if (l.hasText) {
    EXPECT_GE(text.data(), file.data());
    EXPECT_EQ(text.data() + text.size(), file.data() + l.start - 20);
    l.text = std::string(text);
  }
  return l;
}

// Jars built once for the whole suite with the JDK's own tools.
class WrapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    javac_ = Which("javac");
    jar_ = Which("jar");
    unzip_ = Which("unzip");
    if (javac_.empty() || jar_.empty()) return;
    jars_ = std::make_unique<testutil::TempDir>();
    const testutil::TempDir& d = *jars_;
    testutil::MakeDirs(d / "src/quiet");
    WriteFile(d / "src/quiet/Main.java", "package quiet; public class Main { public static void main(String[] a) {} }\n");
    testutil::MakeDirs(d / "lib/data");
    WriteFile(d / "lib/data/notes.txt", std::string(200000, 'n'));
    RunOk({javac_, "-d", d / "classes", d / "src/quiet/Main.java"});
    RunOk({jar_, "cf", d / "app.jar", "-C", d / "classes", "."});
    RunOk({jar_, "cf", d / "lib.jar", "-C", d / "lib", "."});
  }
  static void TearDownTestSuite() { jars_.reset(); }

  static void RunOk(const std::vector<std::string>& argv) {
    testutil::RunResult r = testutil::Run(argv);
    ASSERT_EQ(r.exitCode, 0) << argv[0] << ": " << r.err;
  }

  void SetUp() override {
    if (!jars_) PLB_SKIP_MISSING() << "javac and jar are needed to build the test jars";
  }

  static std::string Jar(const std::string& name) { return *jars_ / name; }

  static std::vector<std::string> WrapArgs(const std::string& target, const std::string& out) {
    std::vector<std::string> args = {PLB_TOOL, "wrap", "--target", target, "--jar", Jar("app.jar"), "--main",
                                     "quiet.Main", "--lib", Jar("lib.jar"), "--set", "option -Xmx64m", "--stub",
                                     StubFor(target), "-o", out, "-q"};
    if (fs::exists(PLB_SUPPORT_JAR)) args.insert(args.end(), {"--support", PLB_SUPPORT_JAR});
    return args;
  }

  static inline std::string javac_, jar_, unzip_;
  static inline std::unique_ptr<testutil::TempDir> jars_;
  testutil::TempDir dir_;
};

const std::string kText = "\xEF\xBB\xBFmainclass quiet.Main\r\noption -Xmx64m\r\n" + std::string(1, '\0');

class WrapTargetTest : public WrapTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    WrapTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!fs::exists(StubFor(GetParam())))
      PLB_SKIP_MISSING() << "no " << GetParam() << " stub at " << StubFor(GetParam()) << " (build that target first)";
  }
};

// The embedded archive, cut out of the executable at the offset the launcher computes,
// passes `unzip -t` and lists with `jar tf` in the built order.
TEST_P(WrapTargetTest, EmbeddedArchiveReadsWithStandardTools) {
  const std::string out = dir_ / "app.out";
  testutil::RunResult r = testutil::Run(WrapArgs(GetParam(), out));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "");  // --quiet
  const std::string file = ReadFile(out);
  Located l = Locate(file);
  ASSERT_GT(l.start, 0);
  EXPECT_EQ(l.text, kText);
  WriteFile(dir_ / "embedded.zip", file.substr(l.start, l.archiveLength));
  if (!unzip_.empty()) {
    testutil::RunResult t = testutil::Run({unzip_, "-t", dir_ / "embedded.zip"});
    EXPECT_EQ(t.exitCode, 0) << t.out;
  }
  testutil::RunResult list = testutil::Run({jar_, "tf", dir_ / "embedded.zip"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  std::vector<std::string> names;
  std::stringstream lines(list.out);
  for (std::string line; std::getline(lines, line);) names.push_back(line);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names.front(), "app.jar");
  EXPECT_EQ(names.back(), "libs/lib.jar");
  if (fs::exists(PLB_SUPPORT_JAR)) EXPECT_EQ(names[1], kSupportPrefix);
  for (size_t i = 1; i + 1 < names.size(); ++i) EXPECT_EQ(names[i].rfind(kSupportPrefix, 0), 0u) << names[i];
  EXPECT_EQ(fs::status(out).permissions() & fs::perms::owner_exec,
            std::string(GetParam()) == "linux" ? fs::perms::owner_exec : fs::perms::none);

  // The executable (or the bare stub) given back as a jar is recognised for what it is.
  for (const auto& [flag, input, mention] :
       {std::tuple<std::string, std::string, std::string>{"--jar", out, "is a program that plumbox wrap made (--target " + std::string(GetParam())},
        {"--lib", out, "library " + out + " is a program that plumbox wrap made"},
        {"--jar", StubFor(GetParam()), "is the bare plumbox launcher stub for " + std::string(GetParam())}}) {
    std::vector<std::string> args = WrapArgs(GetParam(), dir_ / "again");
    *std::find(args.begin(), args.end(), flag == "--jar" ? Jar("app.jar") : Jar("lib.jar")) = input;
    testutil::RunResult again = testutil::Run(args);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find(mention), std::string::npos) << again.err;
  }
}

// Trailing bytes after the archive: without an end-record signature among them the launcher
// finds the same archive and text; a signature among them is taken as the end record.
TEST_P(WrapTargetTest, TrailingBytesAndStraySignatures) {
  const std::string out = dir_ / "app.out";
  ASSERT_EQ(testutil::Run(WrapArgs(GetParam(), out)).exitCode, 0);
  const std::string file = ReadFile(out);
  const Located plain = Locate(file);
  ASSERT_GT(plain.start, 0);
  ASSERT_EQ(plain.start + plain.archiveLength, file.size());

  Located junk = Locate(file + std::string(5000, 'j'));
  EXPECT_EQ(junk.start, plain.start);
  EXPECT_EQ(junk.text, kText);

  // 100 bytes, the signature, 40 bytes: R = 40 + 4 - 22 = 22, so the start moves by 122.
  Located stray = Locate(file + std::string(100, 'j') + "PK\x05\x06" + std::string(40, 'j'));
  EXPECT_EQ(stray.start, plain.start + 122);
  EXPECT_NE(stray.text, kText);  // read from where the shifted start says (or nothing)
}

// With _PLUMBOX_BINARY_DEBUG_ set the launcher writes its 22 record bytes (bytes below 32 as
// '.') and a newline; without it, nothing.
TEST_P(WrapTargetTest, DebugVariableEchoesTheRecord) {
  const std::string target = GetParam();
  const std::string out = dir_ / (target == "linux" ? "app" : "app.exe");
  ASSERT_EQ(testutil::Run(WrapArgs(target, out)).exitCode, 0);
  Located l = Locate(ReadFile(out));
  ASSERT_EQ(l.record.size(), kPayloadRecordSize);
  std::string expected = RecordEcho(reinterpret_cast<const unsigned char*>(l.record.data()));
  ASSERT_EQ(expected.size(), 23u);
  std::vector<std::string> argv = {out};
  if (target == "windows") {
    if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
    argv.insert(argv.begin(), PLB_WINE);
    expected.insert(expected.size() - 1, "\r");  // standard output is in text mode there
  }
  testutil::RunResult echoed = testutil::Run(argv, {std::string(kBinaryDebugVariable) + "=1"});
  EXPECT_EQ(echoed.out, expected) << "stderr: " << echoed.err;
  testutil::RunResult silent = testutil::Run(argv);
  EXPECT_EQ(silent.out, "") << "stderr: " << silent.err;
}

INSTANTIATE_TEST_SUITE_P(Targets, WrapTargetTest, ::testing::Values("linux", "windows"));

// Every refused input: exit code not 0, one "plumbox: error:" line, and the output path as
// it was (absent, or holding its previous content), with no temporary file left beside it.
TEST_F(WrapTest, RefusedInputsLeaveNoOutput) {
  WriteFile(dir_ / "text.jar", "this is not a zip archive\n");
  WriteFile(dir_ / "bare-stub", "\x7F" "ELF" + std::string(4000, 's'));
  WriteFile(dir_ / "existing", "previous content");
  testutil::MakeDirs(dir_ / "a-directory");
  const std::string out = dir_ / "out";
  struct Case {
    std::vector<std::string> args;
    std::string output;
    const char* mention;
  } cases[] = {
      {{"--jar", dir_ / "missing.jar", "--main", "M"}, out, "no such file"},
      {{"--jar", dir_ / "a-directory", "--main", "M"}, out, "not a regular file"},
      {{"--jar", dir_ / "text.jar", "--main", "M"}, out, "not a ZIP archive"},
      {{"--jar", Jar("app.jar"), "--lib", dir_ / "text.jar", "--main", "quiet.Main"}, out, "not a ZIP archive"},
      {{"--jar", Jar("app.jar"), "--main", "quiet.Main", "--stub", dir_ / "bare-stub"}, out, "stub has no payload-location record"},
      {{"--jar", Jar("app.jar"), "--main", "quiet.Main"}, dir_ / "no-such-dir/out", "cannot write"},
      {{"--jar", Jar("app.jar"), "--main", "quiet.Main"}, dir_ / "a-directory", "directory"},
      {{"--jar", Jar("app.jar")}, out, "no main class"},
      {{"--jar", Jar("app.jar"), "--main", "quiet.Main", "--bogus"}, out, "unknown option '--bogus'"},
      {{"--jar", Jar("app.jar"), "--main", "quiet.Main", "--config", dir_ / "missing.cfg"}, out, "missing.cfg"},
      {{"--jar", dir_ / "text.jar", "--main", "M"}, dir_ / "existing", "not a ZIP archive"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {PLB_TOOL, "wrap", "--target", "linux", "-o", c.output};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    if (std::find(argv.begin(), argv.end(), "--stub") == argv.end()) argv.insert(argv.end(), {"--stub", PLB_LINUX_STUB});
    testutil::RunResult r = testutil::Run(argv);
    SCOPED_TRACE(c.mention);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.err.rfind("plumbox: error: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(ReadFile(dir_ / "existing"), "previous content");
    for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
      EXPECT_EQ(e.path().filename().string().find(".plumbox-"), std::string::npos) << e.path();
  }
}

// The launcher reads its file with 32-bit offsets and refuses files of 2 GiB or more, so
// wrap refuses to write one. Sparse inputs: valid (empty) archives 1.1 GB long.
TEST_F(WrapTest, ExecutablesOfTwoGibibytesAreRefused) {
  const std::string end("PK\x05\x06" + std::string(18, '\0'));
  for (const char* name : {"big1.jar", "big2.jar"}) {
    WriteFile(dir_ / name, "");
    fs::resize_file(dir_ / name, 1100000000ull - end.size());
    std::ofstream(dir_ / name, std::ios::binary | std::ios::app) << end;
  }
  const std::string out = dir_ / "app";
  testutil::RunResult r = testutil::Run({PLB_TOOL, "wrap", "--target", "linux", "--stub", PLB_LINUX_STUB, "--jar",
                                         Jar("app.jar"), "--main", "M", "--lib", dir_ / "big1.jar", "--lib",
                                         dir_ / "big2.jar", "-o", out});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("2 GiB"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out));
}

// `plumbox inspect` shows the configuration and the entries of a wrapped executable, and
// says so plainly for a bare stub or a file that is none of ours.
TEST_F(WrapTest, InspectShowsConfigurationAndEntries) {
  const std::string out = dir_ / "app";
  ASSERT_EQ(testutil::Run(WrapArgs("linux", out)).exitCode, 0);
  testutil::RunResult r = testutil::Run({PLB_TOOL, "inspect", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (const char* part : {"  mainclass quiet.Main\n", "  option -Xmx64m\n", "deflated", "app.jar\n", "stored",
                           "libs/lib.jar\n", "0 trailing bytes"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << " in\n" << r.out;

  testutil::RunResult bare = testutil::Run({PLB_TOOL, "inspect", PLB_LINUX_STUB});
  EXPECT_EQ(bare.exitCode, 0);
  EXPECT_NE(bare.out.find("no payload"), std::string::npos) << bare.out;
  testutil::RunResult other = testutil::Run({PLB_TOOL, "inspect", Jar("app.jar")});
  EXPECT_NE(other.exitCode, 0);
  EXPECT_EQ(other.err.rfind("plumbox: error: ", 0), 0u) << other.err;
}

// `cmake --install` lays out a prefix in which plumbox finds its stub and support classes
// without being told.
TEST_F(WrapTest, InstalledToolFindsItsStubAndSupportClasses) {
  const std::string cmake = Which("cmake");
  if (cmake.empty()) PLB_SKIP_MISSING() << "cmake is not on PATH";
  const std::string prefix = dir_ / "prefix";
  testutil::RunResult install = testutil::Run({cmake, "--install", PLB_BINARY_DIR, "--prefix", prefix});
  ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
  ASSERT_TRUE(fs::exists(prefix + "/share/plumbox/stub-linux-x86_64"));
  const std::string out = dir_ / "app";
  testutil::RunResult r = testutil::Run({prefix + "/bin/plumbox", "wrap", "--target", "linux", "--jar", Jar("app.jar"), "--main",
                               "quiet.Main", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const bool support = fs::exists(prefix + "/share/plumbox/plumbox-support.jar");
  EXPECT_EQ(r.err.find("no support classes") == std::string::npos, support) << r.err;
  testutil::RunResult inspect = testutil::Run({prefix + "/bin/plumbox", "inspect", out});
  EXPECT_EQ(inspect.out.find(kSupportPrefix) != std::string::npos, support) << inspect.out;
  if (fs::exists(prefix + "/share/plumbox/stub-windows-x86_64.exe")) {
    r = testutil::Run({prefix + "/bin/plumbox", "wrap", "--target", "windows", "--jar", Jar("app.jar"), "--main", "quiet.Main",
             "-o", out + ".exe"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
  }
}

}  // namespace
