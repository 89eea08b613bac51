// The splash screen of the Windows launcher, under Wine on a private X display.
//
// SplashWindow: our test driver (tests/support/test_driver.cpp) runs the launcher's splash
// step with its own BITMAP 100 (tests/support/splash_test.bmp: 60x40, a green 10x10 square
// in the top left corner, red left half, blue right half) and then calls what the VM run
// and the Java side call; it prints "<ms> <event>" lines.
//
// WindowsStubSplash: the real stub, wrapped with splash pictures, on runtimes that never
// get as far as a VM, so that their message box shows who owns it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "integration/run_support.h"
#include "integration/splash_pictures.h"
#include "integration/virtual_display.h"

namespace {

constexpr uint32_t kGreen = 0x00FF00, kRed = 0xFF0000, kBlue = 0x0000FF;
// The bitmap centred on the 800x600 screen.
constexpr int kLeft = (800 - 60) / 2, kTop = (600 - 40) / 2;

std::string WindowsDriver() { return PLB_WINDOWS_TEST_DRIVER; }

// The time of the first event line that begins with `event`, or -1.
long EventTime(const std::string& out, const std::string& event) {
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t space = line.find(' ');
    if (space != std::string::npos && line.compare(space + 1, event.size(), event) == 0)
      return std::atol(line.c_str());
  }
  return -1;
}

class SplashWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(PLB_WINE).empty() || !testutil::FileExists(WindowsDriver()))
      PLB_SKIP_MISSING() << "no Wine or no Windows build of the test driver";
    wine_ = std::make_unique<xtest::WineOnDisplay>(PLB_WINE);
    if (!wine_->Ready()) PLB_SKIP_MISSING() << "Xvfb cannot be started";
  }

  std::vector<std::string> Env(std::vector<std::string> more = {}) const { return wine_->Env(std::move(more)); }
  const xtest::VirtualDisplay& display() const { return wine_->display(); }

  // Runs the driver's "dismiss-box": the class of the box's owner window, or "<no box>".
  std::string DismissBox() {
    runtest::Output o = runtest::RunProgram({PLB_WINE, WindowsDriver(), "dismiss-box"}, Env(), 300);
    size_t at = o.out.find("box owner=");
    return at == std::string::npos ? "<no box>" : o.out.substr(at + 10, o.out.find_first_of("\r\n", at) - at - 10);
  }

  std::string RunDriver(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {PLB_WINE, WindowsDriver()};
    argv.insert(argv.end(), args.begin(), args.end());
    runtest::Output o = runtest::RunProgram(argv, Env(), 120);
    EXPECT_EQ(o.code, 0) << o.out << o.err;
    EXPECT_EQ(EventTime(o.out, "shown"), 0) << o.out;
    return o.out;
  }

  std::unique_ptr<xtest::WineOnDisplay> wine_;
};

TEST_F(SplashWindow, CaptionlessBitmapIsCentredWithoutTaskbarButtonAndClosesOnTheFirstTimer) {
  std::vector<std::string> argv = {PLB_WINE, WindowsDriver(), "splash", "-", "report", "sleep:4000", "before-main",
                                   "wait-closed"};
  runtest::Child driver(argv, Env());
  ASSERT_TRUE(display().WaitForPixel(kLeft, kTop, kGreen, 120)) << "no splash on the screen";
  EXPECT_EQ(display().Pixel(kLeft + 9, kTop + 9), kGreen);
  EXPECT_EQ(display().Pixel(kLeft + 10, kTop + 39), kRed);
  EXPECT_EQ(display().Pixel(kLeft + 59, kTop + 39), kBlue);
  EXPECT_EQ(display().Pixel(kLeft + 30, kTop), kBlue);
  EXPECT_NE(display().Pixel(kLeft - 1, kTop), kGreen);  // exactly there, exactly that size
  EXPECT_NE(display().Pixel(kLeft + 60, kTop + 39), kBlue);
  EXPECT_NE(display().Pixel(kLeft, kTop + 40), kRed);
  ASSERT_EQ(driver.Wait(120), 0);
  std::string out = driver.Out();
  EXPECT_NE(out.find("window class=PLBSPLASH x=370 y=280 w=60 h=40 toolwindow=1 screen=800x600"), std::string::npos)
      << out;
  long delay = EventTime(out, "closed") - EventTime(out, "step before-main");
  EXPECT_GE(delay, 1700) << out;
  EXPECT_LT(delay, 10000) << out;
  EXPECT_NE(display().Pixel(kLeft, kTop), kGreen);
}

// The main method returns before the first timer: the second one (750 ms) replaces it.
TEST_F(SplashWindow, MainReturningEarlyClosesItOnTheSecondTimer) {
  std::string out = RunDriver({"splash", "-", "before-main", "sleep:200", "after-main", "wait-closed"});
  long fromMain = EventTime(out, "closed") - EventTime(out, "step before-main");
  long fromReturn = EventTime(out, "closed") - EventTime(out, "step after-main");
  EXPECT_GE(fromReturn, 700) << out;
  EXPECT_LT(fromMain, 1700) << out;  // before the first timer would have fired
}

// autoClose(-1) from Java cancels, and the launcher's timers no longer apply; a key press
// still closes the window.
TEST_F(SplashWindow, JavaCancelKeepsItOpenUntilAKeyPress) {
  std::string out = RunDriver(
      {"splash", "-", "java-autoclose:-1", "before-main", "sleep:2500", "after-main", "sleep:1500", "report", "key",
       "wait-closed"});
  EXPECT_NE(out.find("window class=PLBSPLASH"), std::string::npos) << "closed before the key press:\n" << out;
  EXPECT_GE(EventTime(out, "closed"), EventTime(out, "step key")) << out;
  EXPECT_NE(EventTime(out, "closed"), -1) << out;
}

// A delay set from Java stays: the launcher's timers do not replace it.
TEST_F(SplashWindow, JavaDelayCloseAndObject) {
  std::string out = RunDriver({"splash", "-", "java-autoclose:1000", "before-main", "after-main", "wait-closed"});
  long delay = EventTime(out, "closed") - EventTime(out, "step java-autoclose");
  EXPECT_GE(delay, 950) << out;  // not the 750 of the launcher
  EXPECT_LT(delay, 1700) << out;  // nor its 1750
  // getSplashScreen's native hands out one object for the window, and none once it is gone.
  out = RunDriver({"splash", "-", "java-get", "sleep:300", "java-close", "wait-closed", "java-get"});
  EXPECT_NE(EventTime(out, "closed"), -1) << out;
  EXPECT_NE(out.find(" get 1 1 created=1"), std::string::npos) << out;
  EXPECT_NE(out.find(" get 0 0 created=1"), std::string::npos) << out;
}

TEST_F(SplashWindow, ErrorBoxIsOwnedByTheCaptionedSplashWhichClosesSoonAfter) {
  std::string out = RunDriver({"splash", "Starting", "report", "error", "wait-closed"});
  EXPECT_NE(out.find("toolwindow=0"), std::string::npos) << out;  // a caption gives a taskbar button
  EXPECT_NE(out.find("box owner=PLBSPLASH"), std::string::npos) << out;
  long delay = EventTime(out, "closed") - EventTime(out, "box closed");
  EXPECT_GE(delay, 90) << out;
  EXPECT_LT(delay, 1500) << out;
}

class WindowsStubSplash : public SplashWindow {
 protected:
  void SetUp() override {
    SplashWindow::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows stub";
    runtest::Jdk jdk = runtest::BuildJdk();
    if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK to make the application jar";
    testutil::WriteFile(dir_ / "Main.java", "public class Main { public static void main(String[] a) {} }");
    runtest::MustRun({jdk.Bin("javac"), "-d", dir_ / "classes", dir_ / "Main.java"});
    runtest::MakeJar(jdk, dir_ / "app.jar", dir_ / "classes");
  }

  // Wraps for Windows with the splash pictures and settings given, into app.exe.
  void WrapStub(const std::vector<std::string>& pictures, const std::vector<std::string>& settings) {
    std::vector<std::string> argv = {PLB_TOOL, "wrap", "-q", "--target", "windows", "--jar", dir_ / "app.jar",
                                     "--main", "Main", "--stub", PLB_WINDOWS_STUB, "--support", PLB_SUPPORT_JAR,
                                     "-o", dir_ / "app.exe"};
    for (const auto& p : pictures) argv.insert(argv.end(), {"--splash", p});
    for (const auto& s : settings) argv.insert(argv.end(), {"--set", s});
    runtest::MustRun(argv);
  }

  std::string BuildDir() const {
    std::string stub = PLB_WINDOWS_STUB;
    return stub.substr(0, stub.rfind("/launcher/"));
  }

  testutil::TempDir dir_;
};

// No runtime at all: the bitmap shows, message 1 is owned by it, and the window goes with
// the launcher. The bitmap is larger than the box, which comes up in front of it at once.
TEST_F(WindowsStubSplash, BitmapResourceShowsAndOwnsTheErrorBox) {
  testutil::WriteFile(dir_ / "big.bmp", xtest::MakeSplashBmp(400, 300));
  WrapStub({dir_ / "big.bmp"}, {"jre_order c"});
  runtest::Child app({PLB_WINE, dir_ / "app.exe"}, Env());
  const int left = (800 - 400) / 2, top = (600 - 300) / 2;
  ASSERT_TRUE(display().WaitForPixel(left, top, kGreen, 120)) << app.Err();
  EXPECT_EQ(display().Pixel(left + 399, top + 299), kBlue);
  EXPECT_EQ(display().Pixel(left, top + 299), kRed);
  EXPECT_EQ(DismissBox(), "PLBSPLASH");
  EXPECT_EQ(app.Wait(120), 1);
  EXPECT_NE(display().Pixel(left, top), kGreen);
}

// A runtime whose splash library lies one level above its VM library's directory: the
// library gets RCDATA 100 (the PNG), and the bitmap is not shown. The stand-in VM library
// refuses to create a VM, so message 4 follows, without an owner.
TEST_F(WindowsStubSplash, RuntimeSplashLibraryGetsThePictureResourceInsteadOfTheBitmap) {
  std::string rt = dir_ / "rt";
  testutil::MakeDirs(rt + "/bin/server");
  testutil::WriteFile(rt + "/bin/server/jvm.dll", testutil::ReadFile(BuildDir() + "/tests/fakejvm/fake_jvm_refuse.dll"));
  testutil::WriteFile(rt + "/bin/splashscreen.dll", testutil::ReadFile(BuildDir() + "/tests/fakesplash/fake_splash.dll"));
  std::string png = xtest::MakeSplashPng(30, 20);
  testutil::WriteFile(dir_ / "splash.png", png);
  WrapStub({std::string(PLB_SOURCE_DIR) + "/tests/support/splash_test.bmp", dir_ / "splash.png"},
           {"jre_order c", "jvmdll Z:" + rt + "/bin/server/jvm.dll"});
  runtest::Child app({PLB_WINE, dir_ / "app.exe"}, Env({"PLB_FAKE_SPLASH_LOG=Z:" + dir_ / "splash.log"}));
  EXPECT_EQ(DismissBox(), "none");
  EXPECT_NE(display().Pixel(kLeft, kTop), kGreen);
  EXPECT_EQ(app.Wait(120), 4);
  uint32_t hash = 2166136261u;
  for (char c : png) hash = (hash ^ uint8_t(c)) * 16777619u;
  char expected[64];
  snprintf(expected, sizeof expected, "loaded\ninit\nmemory %zu %08x\n", png.size(), unsigned(hash));
  EXPECT_EQ(testutil::ReadFile(dir_ / "splash.log"), expected);
}

}  // namespace

namespace {

// A real Windows runtime: a PNG goes to the runtime's own splash library, which shows it until
// the application closes it through com.quillmar.plb.SplashScreen; a BMP shows in the
// launcher's own window, which the application closes the same way.
TEST_F(WindowsStubSplash, RealRuntimeShowsEachPictureUntilTheApplicationClosesIt) {
  const std::string runtime = runtest::WindowsRuntime(17);
  if (runtime.empty()) PLB_SKIP_MISSING() << "no Windows runtime 17 (scripts/fetch-windows-runtimes.sh)";
  runtest::Jdk jdk = runtest::BuildJdk();
  runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/splash", dir_ / "probe", PLB_SUPPORT_JAR);
  runtest::MakeJar(jdk, dir_ / "probe.jar", dir_ / "probe");
  constexpr int width = 80, height = 60, left = (800 - width) / 2, top = (600 - height) / 2;
  testutil::WriteFile(dir_ / "splash.png", xtest::MakeSplashPng(width, height));
  testutil::WriteFile(dir_ / "splash.bmp", xtest::MakeSplashBmp(width, height));
  for (const char* picture : {"splash.png", "splash.bmp"}) {
    const bool runtimeSplash = std::string(picture) == "splash.png";
    std::vector<std::string> argv = {PLB_TOOL, "wrap", "-q", "--target", "windows", "--jar", dir_ / "probe.jar",
                                     "--main", "splash.SplashProbe", "--stub", PLB_WINDOWS_STUB, "--support",
                                     PLB_SUPPORT_JAR, "--splash", dir_ / picture, "-o", dir_ / "app.exe", "--set",
                                     "jvmdll " + runtest::WinPath(runtime + "/bin/server/jvm.dll")};
    runtest::MustRun(argv);
    for (const char* f : {"close", "end"}) unlink((dir_ / f).c_str());
    runtest::Child app({PLB_WINE, dir_ / "app.exe", runtest::WinPath(dir_ / "close"), runtest::WinPath(dir_ / "end")},
                       Env(), runtest::kNoisyEnv);
    ASSERT_TRUE(display().WaitForPixel(left, top, kGreen, 120)) << picture << ": " << app.Out() << app.Err();
    EXPECT_EQ(display().Pixel(left + width - 1, top + height - 1), kBlue) << picture;
    EXPECT_EQ(display().Pixel(left, top + height - 1), kRed) << picture;
    ASSERT_TRUE(app.WaitForOutput("plb=true", 120)) << picture << ": " << app.Out() << app.Err();
    EXPECT_NE(app.Out().find(runtimeSplash ? "awt=true" : "awt=false"), std::string::npos) << app.Out();
    EXPECT_EQ(display().Pixel(left, top), kGreen) << picture << ": closed before the application closed it";
    testutil::WriteFile(dir_ / "close", "");
    EXPECT_TRUE(app.WaitForOutput("closed awt=false", 60)) << picture << ": " << app.Out() << app.Err();
    for (int i = 0; i < 100 && display().Pixel(left, top) == kGreen; ++i) usleep(50000);
    EXPECT_NE(display().Pixel(left, top), kGreen) << picture;
    testutil::WriteFile(dir_ / "end", "");
    EXPECT_EQ(app.Wait(60), 0) << picture << ": " << app.Err();
  }
}

}  // namespace
