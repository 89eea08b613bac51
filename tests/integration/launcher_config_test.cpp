// The launcher's own configuration at work in wrapped executables: the message table of the
// Windows stub, the message and exit code of a run without a runtime, runtime discovery on
// this system, wildcard arguments and class paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/run_support.h"

using runtest::Answer;
using runtest::Output;
using runtest::WrapRequest;

namespace {

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

// An application jar with only a manifest: enough for runs that never start a VM.
std::string ManifestJar(const testutil::TempDir& dir) {
  testutil::MakeDirs(dir / "jar/META-INF");
  testutil::WriteFile(dir / "jar/META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n");
  runtest::MustRun({"/usr/bin/zip", "-q", "-r", dir / "app.jar", "META-INF"}, dir / "jar");
  return dir / "app.jar";
}

TEST(WindowsStub, StringTableHoldsTheMessages) {
  if (!Exists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows stub at " << PLB_WINDOWS_STUB;
  testutil::RunResult r = testutil::Run({"/usr/bin/wrestool", "-x", "--raw", "-t", "6", "-n", "1", "-L", "1033",
                                         PLB_WINDOWS_STUB});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Block 1 holds strings 0 to 15: each a 16-bit length and that many UTF-16 units.
  std::vector<std::string> strings;
  const std::string& b = r.out;
  for (size_t pos = 0; pos + 1 < b.size() && strings.size() < 16;) {
    size_t n = static_cast<unsigned char>(b[pos]) | static_cast<unsigned char>(b[pos + 1]) << 8;
    std::string s;
    for (size_t i = 0; i < n && pos + 3 + 2 * i < b.size(); ++i) s += b[pos + 2 + 2 * i];  // ASCII texts
    strings.push_back(s);
    pos += 2 + 2 * n;
  }
  ASSERT_EQ(strings.size(), 16u);
  const char* expected[16] = {"",
                              "Java Runtime Environment not found.",
                              "Java Runtime Environment not valid.",
                              "Java Virtual Machine initialize failed.",
                              "Java Virtual Machine starts failed.",
                              "Can not get the virtual machine version.",
                              "Java virtual machine version %s is too low, require %s or higher.",
                              "The main startup class could not be found.",
                              "The main startup class is not valid, main method missing.",
                              "",
                              "Error",
                              "",
                              "Java virtual machine version %s is too high, version between %s and %s is required.",
                              "There is already an instance of this program running.",
                              "Java virtual machine version %s is too high, require %s or lower.",
                              ""};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(strings[i], expected[i]) << i;
}

class NoRuntime : public ::testing::Test {
 protected:
  WrapRequest Request(std::vector<std::string> settings) {
    WrapRequest w;
    w.jar = ManifestJar(dir_);
    w.mainClass = "app.Main";
    w.settings = {"jre_order c", "jvmdll " + dir_ / "missing/libjvm.so"};
    w.settings.insert(w.settings.end(), settings.begin(), settings.end());
    return w;
  }
  testutil::TempDir dir_;
};

TEST_F(NoRuntime, LinuxShowsMessageOneAndExitsWithOne) {
  runtest::Wrap(Request({}), dir_ / "app", PLB_LINUX_STUB);
  Output o = runtest::RunProgram({dir_ / "app"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "Error: Java Runtime Environment not found.\n");

  runtest::Wrap(Request({"message 1=No Java for %PLBT_APP%\\nsee the manual", "message 10=Oops"}), dir_ / "app2",
                PLB_LINUX_STUB);
  o = runtest::RunProgram({dir_ / "app2"}, {"PLBT_APP=demo"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "Oops: No Java for demo\nsee the manual\n");
}

// PLUMBOX_TRACE tells where the launcher looked; its lines and its message reach the
// terminal even while the configuration sends the standard error to a file (which gets the
// message as well).
TEST_F(NoRuntime, TraceTellsWhereItLookedAndReachesTheTerminal) {
  runtest::Wrap(Request({"stderr " + dir_ / "err.log"}), dir_ / "app", PLB_LINUX_STUB);
  testutil::WriteFile(dir_ / "app.cfg", "option -Xmx32m\n");
  Output o = runtest::RunProgram({dir_ / "app"}, {"PLUMBOX_TRACE=1"});
  EXPECT_EQ(o.code, 1);
  for (const std::string& line : std::vector<std::string>{
           "plumbox trace: configuration: external file " + dir_ / "app.cfg (15 bytes), read first\n",
        "plumbox trace: configuration: | option -Xmx32m\n", "plumbox trace: runtime: search order c ",
        "plumbox trace: runtime:   jvmdll " + dir_ / "missing/libjvm.so: cannot be read\n",
        "plumbox trace: runtime: no source gave a VM library\n", "plumbox trace: VM option: -Xmx32m\n",
        "plumbox trace: class path: VM " + dir_ / "app\n"})
    EXPECT_NE(o.err.find(line), std::string::npos) << line << "\n" << o.err;
  EXPECT_NE(o.err.find("Error: Java Runtime Environment not found.\n"), std::string::npos) << o.err;
  EXPECT_EQ(testutil::ReadFile(dir_ / "err.log"), "Error: Java Runtime Environment not found.\n");  // no trace
  // Without the variable: the message alone.
  o = runtest::RunProgram({dir_ / "app"});
  EXPECT_EQ(o.err, "Error: Java Runtime Environment not found.\n");
}

TEST_F(NoRuntime, WindowsExitsWithOneUnderWine) {
  if (!Exists(PLB_WINDOWS_STUB) || !Exists(PLB_WINE)) PLB_SKIP_MISSING() << "no Windows stub or no Wine";
  WrapRequest w = Request({});
  w.target = "windows";
  w.settings[1] = "jvmdll C:\\missing\\jvm.dll";
  runtest::Wrap(w, dir_ / "app.exe", PLB_WINDOWS_STUB);
  // No display: the box cannot show, and the exit code still holds.
  Output o = runtest::RunProgram({PLB_WINE, dir_ / "app.exe"}, {"WINEDEBUG=-all"}, 300);
  EXPECT_EQ(o.code, 1) << o.err;
}

// Runs on a real runtime of this system.
class RealRuntime : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    runtest::Jdk jdk = runtest::BuildJdk();
    if (!jdk.feature) return;
    jars_ = new testutil::TempDir;
    runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/probe/app", *jars_ / "app");
    runtest::MakeJar(jdk, *jars_ / "app.jar", *jars_ / "app");
  }
  static void TearDownTestSuite() {
    delete jars_;
    jars_ = nullptr;
  }
  void SetUp() override {
    if (!jars_) PLB_SKIP_MISSING() << "no JDK to compile the test application";
  }
  Output Run(std::vector<std::string> settings, const std::vector<std::string>& args,
             const std::vector<std::string>& env = {}) {
    WrapRequest w;
    w.jar = *jars_ / "app.jar";
    w.mainClass = "probe.Probe";
    w.settings = std::move(settings);
    runtest::Wrap(w, dir_ / "app", PLB_LINUX_STUB);
    std::vector<std::string> argv = {dir_ / "app"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runtest::RunProgram(argv, env);
  }
  static testutil::TempDir* jars_;
  testutil::TempDir dir_;
};
testutil::TempDir* RealRuntime::jars_ = nullptr;

TEST_F(RealRuntime, EnvironmentSourcePrefersJreHome) {
  runtest::Jdk j17 = runtest::FindJdk(17), j25 = runtest::FindJdk(25);
  if (!j17.feature || !j25.feature) PLB_SKIP_MISSING() << "needs JDK 17 and JDK 25";
  const std::string q = "prop:java.specification.version";
  Output o = Run({"jre_order e"}, {q}, {"JAVA_HOME=" + j25.home});
  EXPECT_EQ(Answer(o.out, q), "25") << o.err;
  o = Run({"jre_order e"}, {q}, {"JAVA_HOME=" + j25.home, "JRE_HOME=" + j17.home});
  EXPECT_EQ(Answer(o.out, q), "17") << o.err;
}

TEST_F(RealRuntime, JavaAlternativeIsTheSecondRegisteredSource) {
  std::error_code ec;
  auto java = std::filesystem::canonical("/etc/alternatives/java", ec);
  if (ec) PLB_SKIP_MISSING() << "no java alternative";
  std::string home = java.parent_path().parent_path().string();
  if (!Exists(home + "/lib/server/libjvm.so")) PLB_SKIP_MISSING() << "the alternative is no runtime of this layout";
  const std::string q = "prop:java.home";
  Output o = Run({"jre_order i"}, {q});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(std::filesystem::canonical(Answer(o.out, q), ec), std::filesystem::path(home));
}

TEST_F(RealRuntime, WildcardsAndClassPaths) {
  runtest::Jdk jdk = runtest::BuildJdk();
  testutil::TempDir files;
  testutil::WriteFile(files / "c.dat", "");
  testutil::MakeDirs(dir_ / "lib/sub");
  testutil::WriteFile(dir_ / "lib/sub/k.jar", "");
  const std::string pattern = files / "c.*", jvm = "jvmdll " + jdk.LibJvm();
  Output o = Run({jvm, "wildcard all"}, {pattern, "plain"});
  EXPECT_EQ(o.out, files / "c.dat => unknown\nplain => unknown\n") << o.err;
  // The shell has had its turn on Linux: "true" leaves the words as they arrive.
  o = Run({jvm, "wildcard true"}, {pattern});
  EXPECT_EQ(o.out, pattern + " => unknown\n") << o.err;

  o = Run({jvm, "classpath extra.jar", "libs lib"}, {"prop:plb.class.path", "prop:java.class.path"},
          {"CLASSPATH=/cp"});
  EXPECT_EQ(Answer(o.out, "prop:plb.class.path"), ":" + dir_ / "extra.jar:" + dir_ / "lib/sub/k.jar:/cp") << o.err;
  EXPECT_EQ(Answer(o.out, "prop:java.class.path"), dir_ / "app");

  // The trace names the runtime found, the launcher class path and the main class.
  o = Run({jvm, "classpath extra.jar"}, {}, {"PLUMBOX_TRACE=1"});
  for (const std::string& line : std::vector<std::string>{"runtime: found " + jdk.LibJvm() + "\n", "class path: launcher :" + dir_ / "extra.jar\n",
                                  std::string("main class: probe.Probe\n")})
    EXPECT_NE(o.err.find("plumbox trace: " + line), std::string::npos) << line << "\n" << o.err;
}

}  // namespace
