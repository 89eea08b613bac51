// The Windows launcher: its exported natives, and under Wine the failures that need no real
// Java runtime (stand-in VM libraries from tests/fakejvm of the Windows build).
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "integration/run_support.h"

namespace {

std::string WindowsBuildDir() {
  std::string stub = PLB_WINDOWS_STUB;
  return stub.substr(0, stub.rfind("/launcher/"));
}

std::string FindObjdump() {
  for (const char* p : {"/usr/bin/x86_64-w64-mingw32-objdump", "/usr/bin/objdump"})
    if (testutil::FileExists(p)) return p;
  return {};
}

// Java_com_quillmar_plb_<Class>_<method> for every native method the support classes declare.
std::set<std::string> DeclaredNatives() {
  std::set<std::string> names;
  std::string dir = std::string(PLB_SOURCE_DIR) + "/java/com/quillmar/plb/";
  std::regex native(R"(\bnative\s+[\w.<>\[\]?, ]+?\s+(\w+)\s*\()");
  for (const char* cls : {"PlumboxClassLoader", "Handler", "NestedJarFile", "Instances", "RedirOutputStream", "SplashScreen",
                          "SplashCloseOnWindow", "ClassLoaderObjectInputStream"}) {
    std::string source = testutil::ReadFile(dir + cls + ".java");
    for (std::sregex_iterator it(source.begin(), source.end(), native), end; it != end; ++it)
      names.insert(std::string("Java_com_quillmar_plb_") + cls + "_" + (*it)[1].str());
  }
  return names;
}

TEST(WindowsLauncher, ExportsEveryNativeOfTheSupportClasses) {
  if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
  std::string objdump = FindObjdump();
  if (objdump.empty()) PLB_SKIP_MISSING() << "no objdump for PE files";
  testutil::RunResult r = testutil::Run({objdump, "-p", PLB_WINDOWS_STUB});
  ASSERT_EQ(r.exitCode, 0);
  std::set<std::string> natives = DeclaredNatives();
  EXPECT_GE(natives.size(), 15u);  // a parse that finds too few is a broken test
  // The runtime finds the launcher's agent among the executable's exports as well.
  natives.insert("Agent_OnLoad_plumbox");
  for (const std::string& name : natives) EXPECT_NE(r.out.find("] " + name + "\n"), std::string::npos) << name;
}

class WindowsFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
    if (std::string(PLB_WINE).empty() || !testutil::FileExists(PLB_WINE)) PLB_SKIP_MISSING() << "Wine is not installed";
    if (!testutil::FileExists(FakeJvm("refuse"))) PLB_SKIP_MISSING() << "the Windows build has no stand-in VM libraries";
    runtest::Jdk jdk = runtest::BuildJdk();
    if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK to make the application jar";
    testutil::WriteFile(dir_ / "Main.java", "public class Main { public static void main(String[] a) {} }");
    runtest::MustRun({jdk.Bin("javac"), "-d", dir_ / "classes", dir_ / "Main.java"});
    runtest::MakeJar(jdk, dir_ / "app.jar", dir_ / "classes");
    prefix_ = std::string(PLB_BINARY_DIR) + "/wineprefix";
    if (const char* p = getenv("WINEPREFIX")) prefix_ = p;
    // The message boxes are read from Wine's trace of MessageBoxA, which the prefix limits to.
    Wine({"reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/t", "REG_SZ", "/d",
          "user32.MessageBoxA", "/f"});
  }

  std::string FakeJvm(const std::string& mode) const {
    return WindowsBuildDir() + "/tests/fakejvm/fake_jvm_" + mode + ".dll";
  }

  runtest::Output Wine(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {PLB_WINE};
    argv.insert(argv.end(), args.begin(), args.end());
    return runtest::RunProgram(argv, {"WINEPREFIX=" + prefix_, "WINEDEBUG=+relay"}, 300);
  }

  // Wraps the application for Windows with the given settings and runs it under Wine.
  runtest::Output RunWrapped(const std::vector<std::string>& settings) {
    runtest::WrapRequest w;
    w.target = "windows";
    w.jar = dir_ / "app.jar";
    w.mainClass = "Main";
    w.settings = settings;
    runtest::Wrap(w, dir_ / "app.exe", PLB_WINDOWS_STUB);
    return Wine({dir_ / "app.exe"});
  }

  static std::string Box(const std::string& text) { return "\"" + text + "\",";  }

  testutil::TempDir dir_;
  std::string prefix_;
};

TEST_F(WindowsFailures, NoRuntimeGivesCode1) {
  runtest::Output o = RunWrapped({"jre_order c"});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("MessageBoxA("), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(Box("Java Runtime Environment not found.")), std::string::npos);
  EXPECT_NE(o.err.find("\"Error\",00050030)"), std::string::npos);
}

TEST_F(WindowsFailures, LibrariesThatCannotMakeAVmGiveCodes2And4) {
  runtest::Output o = RunWrapped({"jvmdll Z:" + FakeJvm("none")});
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find(Box("Java Runtime Environment not valid.")), std::string::npos) << o.err.substr(0, 2000);

  o = RunWrapped({"jvmdll Z:" + FakeJvm("refuse")});
  EXPECT_EQ(o.code, 4);
  EXPECT_NE(o.err.find(Box("Java Virtual Machine starts failed.")), std::string::npos) << o.err.substr(0, 2000);

  // A file that is no library: the system's reason goes to standard error first.
  o = RunWrapped({"jvmdll Z:" + dir_ / "app.jar"});
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find(Box("Java Runtime Environment not valid.")), std::string::npos) << o.err.substr(0, 2000);
}

// PLUMBOX_TRACE on Windows: the windowed launcher writes its trace to the standard error it
// was given (here Wine's, a pipe).
TEST_F(WindowsFailures, TraceTellsTheRuntimeSearchAndTheOptions) {
  runtest::WrapRequest w;
  w.target = "windows";
  w.jar = dir_ / "app.jar";
  w.mainClass = "Main";
  w.settings = {"jre_order bc", "jre Z:" + dir_ / "nojre", "jvmdll Z:" + FakeJvm("refuse"), "option -Xmx48m"};
  runtest::Wrap(w, dir_ / "app.exe", PLB_WINDOWS_STUB);
  runtest::Output o =
      runtest::RunProgram({PLB_WINE, dir_ / "app.exe"}, {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all", "PLUMBOX_TRACE=1"}, 300);
  EXPECT_EQ(o.code, 4);
  for (const std::string& line : std::vector<std::string>{
           "plumbox trace: runtime: search order bc ", "plumbox trace: runtime:   jre directory Z:" + dir_ / "nojre",
           "plumbox trace: runtime: found Z:" + FakeJvm("refuse"), "plumbox trace: VM option: -Xmx48m",
           "plumbox trace: VM option: -Djava.class.path="})
    EXPECT_NE(o.err.find(line), std::string::npos) << line << "\n" << o.err.substr(0, 3000);
}

}  // namespace
