// The runtime's splash library on Linux: the JDK's libsplashscreen.so, found beside the VM
// library, shows the "splash" picture on a private X display; the application sees it as
// java.awt.SplashScreen and closes it through com.quillmar.plb.SplashScreen.
#include <gtest/gtest.h>

#include <memory>

#include "integration/run_support.h"
#include "integration/splash_pictures.h"
#include "integration/virtual_display.h"

using runtest::Jdk;

namespace {

constexpr uint32_t kGreen = 0x00FF00, kRed = 0xFF0000, kBlue = 0x0000FF;
constexpr int kWidth = 80, kHeight = 60;
constexpr int kLeft = (800 - kWidth) / 2, kTop = (600 - kHeight) / 2;  // centred on 800x600

class RuntimeSplash : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
    if (!testutil::FileExists(jdk_.home + "/lib/libsplashscreen.so")) PLB_SKIP_MISSING() << "the JDK has no splash library";
    if (!display_.Running()) PLB_SKIP_MISSING() << "Xvfb cannot be started";
    runtest::CompileJava(jdk_, std::string(PLB_SOURCE_DIR) + "/tests/java/splash", dir_ / "classes", PLB_SUPPORT_JAR);
    runtest::MakeJar(jdk_, dir_ / "probe.jar", dir_ / "classes");
    testutil::WriteFile(dir_ / "splash.png", xtest::MakeSplashPng(kWidth, kHeight));
  }

  bool PictureShown() const {
    return display_.Pixel(kLeft, kTop) == kGreen && display_.Pixel(kLeft + 9, kTop + 9) == kGreen &&
           display_.Pixel(kLeft + 10, kTop + kHeight - 1) == kRed &&
           display_.Pixel(kLeft + kWidth - 1, kTop + kHeight - 1) == kBlue &&
           display_.Pixel(kLeft - 1, kTop) != kGreen && display_.Pixel(kLeft + kWidth, kTop) != kBlue;
  }

  Jdk jdk_;
  testutil::TempDir dir_;
  xtest::VirtualDisplay display_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, RuntimeSplash, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(RuntimeSplash, PictureShowsCentredUntilTheApplicationClosesIt) {
  runtest::WrapRequest w;
  w.jar = dir_ / "probe.jar";
  w.mainClass = "splash.SplashProbe";
  w.settings = {"jvmdll " + jdk_.LibJvm(), "splash splash.png"};  // relative: beside the executable
  runtest::Wrap(w, dir_ / "app", PLB_LINUX_STUB);
  runtest::Child app({dir_ / "app", dir_ / "close", dir_ / "end"}, {display_.EnvEntry()}, runtest::kNoisyEnv);

  ASSERT_TRUE(display_.WaitForPixel(kLeft, kTop, kGreen, 60)) << app.Out() << app.Err();
  EXPECT_TRUE(PictureShown());
  EXPECT_TRUE(app.WaitForOutput("plb=true\n", 60)) << app.Out() << app.Err();
  EXPECT_NE(app.Out().find("awt=true\n"), std::string::npos) << app.Out();
  EXPECT_TRUE(PictureShown());  // the launcher never closes the runtime's splash itself

  testutil::WriteFile(dir_ / "close", "");
  EXPECT_TRUE(app.WaitForOutput("closed awt=false\n", 60)) << app.Out() << app.Err();
  for (int i = 0; i < 100 && display_.Pixel(kLeft, kTop) == kGreen; ++i) usleep(50000);
  EXPECT_NE(display_.Pixel(kLeft, kTop), kGreen);
  testutil::WriteFile(dir_ / "end", "");
  EXPECT_EQ(app.Wait(60), 0) << app.Err();
}

}  // namespace
