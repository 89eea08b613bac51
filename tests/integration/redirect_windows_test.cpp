// The Windows launcher's side of "stdout"/"stderr" under Wine: the launcher is a windowed
// program whose C runtime streams start out connected to nothing, yet its own printed output
// (here the system's reason why a VM library cannot be loaded, on standard error) reaches a
// file target and a command target.
#include <gtest/gtest.h>

#include "integration/run_support.h"

namespace {

class WindowsRedirect : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
    if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
    runtest::Jdk jdk = runtest::BuildJdk();
    if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK to make the application jar";
    testutil::WriteFile(dir_ / "Main.java", "public class Main { public static void main(String[] a) {} }");
    runtest::MustRun({jdk.Bin("javac"), "-d", dir_ / "classes", dir_ / "Main.java"});
    runtest::MakeJar(jdk, dir_ / "app.jar", dir_ / "classes");
    testutil::MakeDirs(dir_ / "bad");
    testutil::WriteFile(dir_ / "bad/jvm.dll", "not a library");
  }

  // A launcher whose VM library cannot be loaded (code 2), with the settings given.
  runtest::Output Run(const std::string& setting) {
    runtest::WrapRequest w;
    w.target = "windows";
    w.jar = dir_ / "app.jar";
    w.mainClass = "Main";
    w.settings = {"jvmdll Z:" + dir_ / "bad/jvm.dll", setting};
    runtest::Wrap(w, dir_ / "app.exe", PLB_WINDOWS_STUB);
    return runtest::RunProgram({PLB_WINE, dir_ / "app.exe"}, {"WINEDEBUG=-all"}, 300);
  }

  testutil::TempDir dir_;
};

TEST_F(WindowsRedirect, LaunchersOwnOutputReachesAFile) {
  testutil::WriteFile(dir_ / "err.log", "earlier\r\n");
  runtest::Output o = Run("stderr Z:" + dir_ / "err.log");
  EXPECT_EQ(o.code, 2);
  std::string log = testutil::ReadFile(dir_ / "err.log");
  EXPECT_EQ(log.rfind("earlier\r\n", 0), 0u) << log;  // appended
  EXPECT_NE(log.find("jvm.dll"), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n") << log;  // a text stream
  EXPECT_EQ(o.err.find("jvm.dll"), std::string::npos) << o.err;
}

TEST_F(WindowsRedirect, LaunchersOwnOutputReachesACommandThatSeesItsEnd) {
  std::string driver = PLB_WINDOWS_TEST_DRIVER;
  if (!testutil::FileExists(driver)) PLB_SKIP_MISSING() << "no Windows build of the test driver";
  std::string copy = dir_ / "copy.txt";
  runtest::Output o = Run("stderr |\"Z:" + driver + "\" copy-stdin \"Z:" + copy + "\"");
  EXPECT_EQ(o.code, 2);
  for (int i = 0; i < 500 && !testutil::FileExists(copy + ".done"); ++i) usleep(20000);
  EXPECT_NE(testutil::ReadFile(copy).find("jvm.dll"), std::string::npos) << testutil::ReadFile(copy);
  EXPECT_EQ(o.err.find("jvm.dll"), std::string::npos) << o.err;
}

}  // namespace
