// The splash step with a runtime's splash library: a stand-in library (tests/fakesplash)
// in a runtime directory laid out like a real one records what the launcher hands it.
#include <gtest/gtest.h>

#include <string>

#include "payload/config.h"
#include "platform/fs.h"
#include "runtime/discovery.h"
#include "runtime/vm.h"
#include "splash/splash.h"
#include "support/env_guard.h"
#include "support/test_util.h"

namespace {

using testutil::ReadFile;

std::string TestDir() {
  std::string exe = plat::ExecutablePath();
  return exe.substr(0, exe.find_last_of("\\/") + 1);
}

#ifdef _WIN32
const char kFakeSplash[] = "fakesplash/fake_splash.dll";
const char kFakeJvm[] = "fakejvm/fake_jvm_none.dll";
const char kVmLibrary[] = "bin/server/jvm.dll";  // the runtime's layout
const char kSplashLibrary[] = "bin/splashscreen.dll";
#else
const char kFakeSplash[] = "fakesplash/fake_splash.so";
const char kFakeJvm[] = "fakejvm/fake_jvm_none.so";
const char kVmLibrary[] = "lib/server/libjvm.so";
const char kSplashLibrary[] = "lib/libsplashscreen.so";
#endif

void Copy(const std::string& from, const std::string& to) {
  testutil::MakeDirs(to.substr(0, to.find_last_of('/')));
  testutil::WriteFile(to, ReadFile(from));
}

class SplashStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRuntimeSearchForTests();
    previousVm_ = g_vm;
    g_vm = &vm_;
    env_.Set("PLB_FAKE_SPLASH_LOG", log_);
    Copy(TestDir() + kFakeJvm, dir_ / kVmLibrary);
    Copy(TestDir() + kFakeSplash, dir_ / kSplashLibrary);
  }
  void TearDown() override {
    g_vm = previousVm_;
    ResetRuntimeSearchForTests();
  }

  // The splash step for a launcher whose only runtime is the one in dir_.
  void RunStep(const std::string& extraConfig) {
    LauncherContext ctx;
    std::string text = "jre_order c\r\njvmdll " + dir_ / kVmLibrary + "\r\n" + extraConfig;
    AppendText(ctx, text.data(), text.size());
    ctx.exeDir = dir_.path() + "/";
    ctx.exePath = ctx.exeDir + "app";
    ctx.workDir = ctx.exeDir;
    SplashStep(ctx);
  }

  testutil::TempDir dir_;
  std::string log_ = dir_ / "splash.log";
  testutil::EnvGuard env_;
  VmContext vm_;
  VmContext* previousVm_ = nullptr;
};

TEST_F(SplashStepTest, ConfiguredPictureGoesToTheRuntimesLibraryAfterTheVmLibraryIsLoaded) {
  testutil::WriteFile(dir_ / "splash.png", "picture");
  RunStep("splash splash.png\r\n");  // relative: beside the executable
  EXPECT_NE(vm_.library, nullptr);
  std::string expected = "loaded\ninit\nfile " + dir_ / "splash.png" + "\n";
  EXPECT_EQ(ReadFile(log_), expected);
}

// Without a picture (no "splash" file, and this test program has no RCDATA 100) the
// library is not even loaded, and there is no splash of any kind.
TEST_F(SplashStepTest, WithoutAPictureTheLibraryGetsNothing) {
  RunStep("splash missing.png\r\n");
  EXPECT_FALSE(testutil::FileExists(log_));
  EXPECT_EQ(SplashOwnerWindow(), nullptr);
}

TEST(SplashLibrary, IsLookedForOneLevelAboveTheVmLibrarysDirectory) {
  testutil::TempDir dir;
  Copy(TestDir() + kFakeSplash, dir / kSplashLibrary);
  std::string lib = dir / kSplashLibrary;
  std::string parent = lib.substr(0, lib.find_last_of('/') + 1);
  std::string name = lib.substr(parent.size());
  testutil::MakeDirs(parent + "server");
  EXPECT_EQ(FindRuntimeSplashLibrary(parent + "server/" + "vmlib"), parent + "server/../" + name);
  // A VM library directly in that directory finds none: the level above has no library.
  EXPECT_EQ(FindRuntimeSplashLibrary(parent + "vmlib"), "");
  EXPECT_EQ(FindRuntimeSplashLibrary(""), "");
}

}  // namespace
