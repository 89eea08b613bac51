// The Windows launcher on real Windows runtimes under Wine (scripts/fetch-windows-runtimes.sh),
// against "wine java.exe -cp" over the same jars on the same runtime: the probe application
// nested, without the jar protocol and flat; configuration; failures and their messages;
// runtime discovery; output redirection; single instance and messages between two Wine
// processes.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/probe_jars.h"
#include "integration/run_support.h"

using runtest::Answer;
using runtest::g_probe;
using runtest::Output;
using runtest::WinPath;
using runtest::WrapRequest;
namespace fs = std::filesystem;

namespace {

// Standard error without the warning that runtimes from 21 on print under Wine, which lacks
// the processor-group call they ask for, a varying number of times.
std::string WithoutWineWarnings(const std::string& err) {
  std::string kept;
  for (size_t pos = 0, nl; pos < err.size(); pos = nl + 1) {
    nl = err.find('\n', pos);
    if (nl == std::string::npos) nl = err.size();
    std::string line = err.substr(pos, nl + 1 - pos);
    if (line.find("Attempt to get process group affinity failed") == std::string::npos) kept += line;
  }
  return kept;
}

class WindowsRuntime : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_probe.dir) runtest::BuildProbeJars();
  }

  void SetUp() override {
    if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
    if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
    if (!g_probe.dir) PLB_SKIP_MISSING() << "no JDK to compile the test application";
    runtime_ = runtest::WindowsRuntime(GetParam());
    if (runtime_.empty())
      PLB_SKIP_MISSING() << "no Windows runtime " << GetParam() << " in " << runtest::WindowsRuntimeRoot()
                         << " (scripts/fetch-windows-runtimes.sh)";
  }

  std::string JvmDll() const { return WinPath(runtime_ + "/bin/server/jvm.dll"); }

  WrapRequest Probe(std::vector<std::string> settings = {}, bool withJvm = true) const {
    WrapRequest w;
    w.target = "windows";
    w.jar = g_probe.app;
    w.mainClass = "probe.Probe";
    w.libs = {g_probe.lib1, g_probe.lib2};
    if (withJvm) settings.insert(settings.begin(), "jvmdll " + JvmDll());
    w.settings = std::move(settings);
    return w;
  }

  std::string Exe() const { return dir_ / "app.exe"; }

  Output Run(const WrapRequest& w, std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    runtest::Wrap(w, Exe(), PLB_WINDOWS_STUB);
    args.insert(args.begin(), Exe());
    return runtest::RunWine(args, env);
  }

  Output JavaCp(std::vector<std::string> args, const std::vector<std::string>& options = {}) {
    std::vector<std::string> argv = {runtime_ + "/bin/java.exe"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-cp", WinPath(g_probe.app) + ";" + WinPath(g_probe.lib1) + ";" + WinPath(g_probe.lib2),
                             "probe.Probe"});
    argv.insert(argv.end(), args.begin(), args.end());
    return runtest::RunWine(argv);
  }

  // The Windows user's cache folder in the Wine prefix (Wine sets LOCALAPPDATA itself).
  static std::string CacheFolder() {
    std::error_code ec;
    for (fs::directory_iterator it(runtest::WinePrefix() + "/drive_c/users", ec), end; !ec && it != end;
         it.increment(ec))
      if (fs::is_directory(it->path() / "AppData/Local/plumbox")) return it->path() / "AppData/Local/plumbox";
    return {};
  }

  // Archives of earlier runs of this test, whose executables had other paths.
  static void RemoveArchives() {
    std::error_code ec;
    for (const std::string& name : runtest::CacheFiles(CacheFolder(), "app.exe-"))
      fs::remove(CacheFolder() + "/" + name, ec);
  }

  // Waits for the executable's class-data cache: one archive, and nothing half-made beside it.
  static bool ArchiveMade() {
    std::vector<std::string> names = runtest::MadeCacheFiles(CacheFolder(), "app.exe-");
    std::string ext = names.size() == 1 ? fs::path(names[0]).extension().string() : "";
    return ext == ".jsa" || ext == ".aot";
  }

  std::string runtime_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, WindowsRuntime, ::testing::Values(17, 21, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

// Everything the application can see of its class path answers as under java.exe -cp, in the
// three layouts; so do its arguments, exit codes and an escaped exception.
TEST_P(WindowsRuntime, TheProbeAnswersAsUnderJavaCp) {
  const std::vector<std::string> commands = {
      "prop:java.specification.version", "argshex:two words", "argshex:q\"uote", "argshex:\\back\\slash\\",
      "res:app.txt", "res:dir/my file.txt", "sysres:shared.txt", "services", "res:mr.txt", "tostring:lib2.Versioned",
      "missing:dir/", "env:PLB_NONE", "resources:shared.txt", "pkgtitle:lib1.One",
      "pkgversion:lib2.Missing,lib2.Two", "jarview:shared.txt", "rebuilt:dir/my file.txt", "uris:shared.txt"};
  Output expected = JavaCp(commands);
  ASSERT_EQ(expected.code, 0) << expected.err;
  EXPECT_EQ(Answer(expected.out, "res:mr.txt"), "nine");
  struct Layout {
    const char* name;
    std::vector<std::string> settings;
    bool flat;
    size_t compared;  // the first commands, whose answers must equal java.exe's
  };
  // Flat: one manifest and one copy of each name for all jars; no jar: connection to view or
  // make again without the jar protocol. The class loader's URL list is its own.
  for (const Layout& layout : {Layout{"nested", {}, false, commands.size() - 1},
                               Layout{"plb urls", {"usejarprotocol false"}, false, commands.size() - 3},
                               Layout{"flat", {}, true, commands.size() - 6}}) {
    WrapRequest w = Probe(layout.settings);
    if (layout.flat) w.options = {"--flat", "--no-manifest-libs"};
    w.classCache = true;
    // Flat, the first run records the class-data cache (ending in System.exit, which leaves
    // through the runtime's C library) and the second maps the archive made in between.
    for (int run = 0; run < (layout.flat ? 2 : 1); ++run) {
      std::vector<std::string> args = commands;
      if (run == 0) RemoveArchives();
      if (layout.flat && run == 0) args.push_back("exit:0");
      if (run == 1) EXPECT_TRUE(ArchiveMade()) << "no class-data cache in " << CacheFolder();
      Output o = Run(w, args);
      EXPECT_EQ(o.code, 0) << layout.name << "\n" << o.err;
      for (size_t i = 0; i < layout.compared; ++i)
        EXPECT_EQ(Answer(o.out, commands[i]), Answer(expected.out, commands[i])) << layout.name << ": " << commands[i];
      EXPECT_EQ(Answer(o.out, "uris:shared.txt").substr(0, 3), "ok ") << layout.name;  // valid URIs, no backslash
      EXPECT_EQ(WithoutWineWarnings(o.err), WithoutWineWarnings(expected.err)) << layout.name;
    }
  }
  // Exit codes: System.exit, and an exception out of main with its trace on standard error.
  for (const char* arg : {"exit:42", "throw"}) {
    Output o = Run(Probe(), {arg});
    Output j = JavaCp({arg});
    EXPECT_EQ(o.code, j.code) << arg;
    EXPECT_EQ(o.out, j.out) << arg;
    EXPECT_EQ(WithoutWineWarnings(o.err), WithoutWineWarnings(j.err)) << arg;
  }
}

// Nested jars are read in place on Windows too, also through "jar:" URLs made again from their
// text: nothing lands in java.io.tmpdir, and a missing one changes nothing. The classes' code
// source is the executable.
TEST_P(WindowsRuntime, NestedJarsAreServedInPlace) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  testutil::TempDir tmp;
  for (const std::string& t : {tmp.path(), tmp / "missing"}) {
    Output o = Run(Probe({"option -Djava.io.tmpdir=" + WinPath(t)}),
                   {"res:shared.txt", "services", "res:inner.txt", "class:inner.Inner", "jarview:mr.txt",
                    "codesource:lib1.One", "url:plb:libs/lib1.jar!lib1/One.class", "rebuilt:dir/my file.txt",
                    "tmpfiles:"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(Answer(o.out, "res:shared.txt"), "from lib1");
    EXPECT_EQ(Answer(o.out, "services"), "one two");
    EXPECT_EQ(Answer(o.out, "res:inner.txt"), "from inner");
    EXPECT_EQ(Answer(o.out, "class:inner.Inner"), "com.quillmar.plb.PlumboxClassLoader");
    EXPECT_NE(Answer(o.out, "jarview:mr.txt").find("text=nine"), std::string::npos) << o.out;
    EXPECT_EQ(Answer(o.out, "codesource:lib1.One").substr(0, 12), "file:/Z:/tmp") << o.out;
    EXPECT_EQ(Answer(o.out, "url:plb:libs/lib1.jar!lib1/One.class"), "123 bytes ca fe ba be");
    EXPECT_EQ(Answer(o.out, "rebuilt:dir/my file.txt"),
              "spaced jar|spaced jar|from app jar|from app jar|not found|true true");
    EXPECT_EQ(Answer(o.out, "tmpfiles:"), "0");
  }
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

// "argv", "option", "property" (every character kept), "export", the caller's JAVA_TOOL_OPTIONS
// dropped, the launcher's own properties in Windows form, "forcecwd".
TEST_P(WindowsRuntime, ConfigurationReachesTheVm) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  testutil::MakeDirs(dir_ / "work");
  WrapRequest w = Probe({"argv \"argshex:one two\"", "option -Dopt.value=a b",
                         "property greet=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD",
                         "export MYVAR=exported", "forcecwd work"});
  Output o = Run(w, {"argshex:three", "prop:opt.value", "prophex:greet", "env:MYVAR", "prop:tool.value",
                     "prop:plb.app.path", "prop:application.home", "prop:user.dir"},
                 {"JAVA_TOOL_OPTIONS=-Dtool.value=fromenv"});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_LT(o.out.find("argshex:one two =>"), o.out.find("argshex:three =>"));
  EXPECT_EQ(Answer(o.out, "prop:opt.value"), "a b");
  EXPECT_EQ(Answer(o.out, "prophex:greet"), "4772c3bcc39f6520e282ac20f09f988020e4b8ad");
  EXPECT_EQ(Answer(o.out, "env:MYVAR"), "exported");
  EXPECT_EQ(Answer(o.out, "prop:tool.value"), "null");
  EXPECT_EQ(Answer(o.out, "prop:plb.app.path"), WinPath(Exe()));
  EXPECT_EQ(Answer(o.out, "prop:application.home"), WinPath(dir_.path()) + "\\");
  EXPECT_EQ(Answer(o.out, "prop:user.dir"), WinPath(dir_ / "work"));
}

// A refused start shows its message in a box and exits with its number: the version bounds
// against the real runtime's version, a missing main class, a VM that cannot be created.
TEST_P(WindowsRuntime, FailuresShowTheirMessageAndExitWithTheirNumber) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  // The boxes are read from Wine's trace of MessageBoxA, which the prefix limits to.
  runtest::RunWine({"reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/t", "REG_SZ", "/d",
                    "user32.MessageBoxA", "/f"});
  auto run = [&](const WrapRequest& w) {
    runtest::Wrap(w, Exe(), PLB_WINDOWS_STUB);
    return runtest::RunProgram({PLB_WINE, Exe()}, {"WINEPREFIX=" + runtest::WinePrefix(), "WINEDEBUG=+relay"}, 300);
  };
  struct Case {
    std::vector<std::string> settings;
    const char* main;
    int code;
    const char* text;
  };
  for (const Case& c : {Case{{"minjre 99"}, "probe.Probe", 6, " is too low, require 99 or higher."},
                        Case{{"minjre 1.6", "maxjre 16"}, "probe.Probe", 12, "version between 1.6 and 16 is required"},
                        Case{{}, "probe.Missing", 7, "The main startup class could not be found."},
                        Case{{"option -XX:MaxHeapSize=foo"}, "probe.Probe", 4, "Java Virtual Machine starts failed."}}) {
    WrapRequest w = Probe(c.settings);
    w.mainClass = c.main;
    Output o = run(w);
    EXPECT_EQ(o.code, c.code) << c.text;
    EXPECT_NE(o.err.find("MessageBoxA("), std::string::npos) << c.text;
    EXPECT_NE(o.err.find(c.text), std::string::npos) << c.text;
  }
}

// Each source of the runtime search finds the real runtime: a "jre" folder beside the
// executable, JRE_HOME before JAVA_HOME, the registry keys a runtime installer writes.
TEST_P(WindowsRuntime, EachSourceFindsTheRealRuntime) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  const std::string home = WinPath(runtime_);
  const std::string q = "prop:java.home";
  std::filesystem::create_directory_symlink(runtime_, dir_ / "jre");
  Output o = Run(Probe({"jre_order b"}, false), {q});
  EXPECT_EQ(Answer(o.out, q), WinPath(dir_ / "jre")) << o.err;

  o = Run(Probe({"jre_order e"}, false), {q}, {"JAVA_HOME=" + home, "JRE_HOME=Z:\\nowhere"});
  EXPECT_EQ(Answer(o.out, q), home) << o.err;
  o = Run(Probe({"jre_order e"}, false), {q}, {"JRE_HOME=" + home, "JAVA_HOME=" + WinPath(dir_ / "jre")});
  EXPECT_EQ(Answer(o.out, q), home) << o.err;

  const std::string key = "HKLM\\SOFTWARE\\JavaSoft\\JRE";
  runtest::RunWine({"reg", "add", key, "/v", "CurrentVersion", "/d", "17", "/f"});
  runtest::RunWine({"reg", "add", key + "\\17", "/v", "JavaHome", "/d", home, "/f"});
  o = Run(Probe({"jre_order s"}, false), {q});
  runtest::RunWine({"reg", "delete", key, "/f"});
  EXPECT_EQ(Answer(o.out, q), home) << o.err;
}

// With --utf8 the process's ANSI code page is UTF-8: an argument, the executable's folder and
// an environment value read through the configuration reach Java whole. Without it, the
// characters outside the code page are lost, as they always were.
TEST_P(WindowsRuntime, Utf8CodePageCarriesAnyText) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // 日本語
  const std::string hex = "e697a5e69cace8aa9e";
  testutil::MakeDirs(dir_ / japanese);
  WrapRequest w = Probe({"option -Djp.env=%PLB_JP%"});
  w.options = {"--utf8"};
  const std::string exe = dir_ / japanese + "/app.exe";
  runtest::Wrap(w, exe, PLB_WINDOWS_STUB);
  Output o = runtest::RunWine({exe, "argshex:" + japanese, "prophex:application.home", "prophex:jp.env"},
                              {"PLB_JP=" + japanese});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(Answer(o.out, "argshex:" + japanese), hex);
  EXPECT_NE(Answer(o.out, "prophex:application.home").find(hex), std::string::npos) << o.out;
  EXPECT_EQ(Answer(o.out, "prophex:jp.env"), hex);

  o = Run(Probe(), {"argshex:" + japanese});
  EXPECT_EQ(o.out, "argshex:??? => 3f3f3f\r\n");
}

// Standard output to a file (appended) and standard error to a command that reads it.
TEST_P(WindowsRuntime, OutputReachesAFileAndACommand) {
  if (GetParam() != 17) GTEST_SKIP() << "one runtime is enough";
  std::string driver = PLB_WINDOWS_TEST_DRIVER;
  if (!testutil::FileExists(driver)) PLB_SKIP_MISSING() << "no Windows build of the test driver";
  testutil::WriteFile(dir_ / "out.log", "earlier\r\n");
  const std::string copy = dir_ / "copy.txt";
  Output o = Run(Probe({"stdout " + WinPath(dir_ / "out.log"),
                        "stderr |\"" + WinPath(driver) + "\" copy-stdin \"" + WinPath(copy) + "\""}),
                 {"res:app.txt", "throw"});
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(testutil::ReadFile(dir_ / "out.log"), "earlier\r\nres:app.txt => from app\r\n");
  for (int i = 0; i < 500 && !testutil::FileExists(copy + ".done"); ++i) usleep(20000);
  EXPECT_NE(testutil::ReadFile(copy).find("IllegalStateException: thrown by probe"), std::string::npos)
      << testutil::ReadFile(copy);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err.find("thrown by probe"), std::string::npos) << o.err;
}

}  // namespace
