// "stdout" and "stderr" of a wrapped application on a real Java runtime: files, commands,
// the launcher's own output, the Java-side fallback, and nothing lost however the
// application ends. The application is tests/java/redirect (redirect.Writer).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "integration/run_support.h"

using runtest::Jdk;
using runtest::Output;
using runtest::WrapRequest;

namespace {

std::unique_ptr<testutil::TempDir> g_jarDir;
std::string g_jar;

void BuildWriterJar() {
  Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) return;
  g_jarDir = std::make_unique<testutil::TempDir>();
  runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/redirect", *g_jarDir / "classes");
  g_jar = *g_jarDir / "writer.jar";
  runtest::MakeJar(jdk, g_jar, *g_jarDir / "classes");
}

// "out 0\nerr 0\nout 1\n..." as the application writes them to one shared target.
std::string Interleaved(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "out " + std::to_string(i) + "\nerr " + std::to_string(i) + "\n";
  return s;
}

std::string Numbered(const std::string& prefix, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += prefix + " " + std::to_string(i) + "\n";
  return s;
}

// Waits until `path` holds `text` (a command may finish after the launcher has ended).
std::string WaitForText(const std::string& path, const std::string& text, int seconds = 30) {
  std::string s;
  for (int i = 0; i < seconds * 50; ++i) {
    if ((s = testutil::ReadFile(path)).find(text) != std::string::npos) return s;
    usleep(20000);
  }
  return s;
}

// "line 0" ... "line N" with no gap, nothing torn, and the hook's line naming a written one.
void ExpectCompleteLines(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  int next = 0, hookLast = -2;
  while (std::getline(lines, line)) {
    if (line.rfind("hook last=", 0) == 0) hookLast = std::atoi(line.c_str() + 10);
    else ASSERT_EQ(line, "line " + std::to_string(next++)) << "a line is missing or torn";
  }
  EXPECT_GE(hookLast, 0) << "the shutdown hook's line is missing";
  EXPECT_LT(hookLast, next);
}

class Redirect : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_jarDir) BuildWriterJar();
  }

  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
    if (g_jar.empty()) PLB_SKIP_MISSING() << "no JDK to compile the test application";
  }

  WrapRequest App(std::vector<std::string> settings, const std::string& mainClass = "redirect.Writer") const {
    WrapRequest w;
    w.jar = g_jar;
    w.mainClass = mainClass;
    w.settings = std::move(settings);
    w.settings.insert(w.settings.begin(), "jvmdll " + jdk_.LibJvm());
    return w;
  }

  std::vector<std::string> Wrap(const WrapRequest& w, const std::string& stub = PLB_LINUX_STUB) {
    runtest::Wrap(w, exe(), stub);
    return {exe()};
  }

  Output Run(const WrapRequest& w, std::vector<std::string> args, const std::string& stub = PLB_LINUX_STUB) {
    std::vector<std::string> argv = Wrap(w, stub);
    argv.insert(argv.end(), args.begin(), args.end());
    return runtest::RunProgram(argv);
  }

  std::string exe() const { return dir_ / "app"; }

  Jdk jdk_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, Redirect, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(Redirect, BothStreamsShareOneAppendedFileWithTheLaunchersOwnOutput) {
  std::string log = dir_ / "app.log";
  testutil::WriteFile(log, "before\n");
  Output o = Run(App({"stdout " + log, "stderr " + log}), {"return", "500"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out + o.err, "");
  EXPECT_EQ(testutil::ReadFile(log), "before\n" + Interleaved(500));

  // A failure: the launcher's own message and the VM's stack trace land there too.
  testutil::WriteFile(log, "");
  // The message line also reaches the terminal, where a message box would show.
  o = Run(App({"stdout " + log, "stderr " + log}, "redirect.Missing"), {});
  EXPECT_EQ(o.code, 7);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "Error: The main startup class could not be found.\n");
  std::string text = testutil::ReadFile(log);
  EXPECT_NE(text.find("ClassNotFoundException: redirect.Missing"), std::string::npos) << text;
  EXPECT_NE(text.find("Error: The main startup class could not be found."), std::string::npos) << text;
}

TEST_P(Redirect, TargetThatCannotBeOpenedLeavesItsStreamAlone) {
  std::string log = dir_ / "out.log";
  Output o = Run(App({"stdout " + log, "stderr " + dir_ / "missing/err.log"}), {"return", "50"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(testutil::ReadFile(log), Numbered("out", 50));
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, Numbered("err", 50));
  EXPECT_FALSE(testutil::FileExists(dir_ / "missing"));
}

TEST_P(Redirect, CommandReadsTheOutputAndSeesItsEnd) {
  std::string sorted = dir_ / "sorted.txt";
  Output o = Run(App({"stdout |sort -o \"" + sorted + "\""}), {"unsorted"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(WaitForText(sorted, "c\n"), "a\nb\nc\n");  // sort writes only after its input ended
}

TEST_P(Redirect, NothingIsLostWhenTheApplicationCallsExit) {
  std::string log = dir_ / "app.log";
  Output o = Run(App({"stdout " + log, "stderr " + log}), {"exit", "20000", "3"});
  EXPECT_EQ(o.code, 3) << o.err;
  EXPECT_EQ(testutil::ReadFile(log), Interleaved(20000));
}

TEST_P(Redirect, NothingIsLostWhenTheApplicationIsTerminated) {
  for (bool command : {false, true}) {
    std::string log = dir_ / (command ? "tee.log" : "file.log");
    std::vector<std::string> argv = Wrap(App({command ? "stdout |tee \"" + log + "\"" : "stdout " + log}));
    argv.push_back("forever");
    runtest::Child app(argv, {}, runtest::kNoisyEnv);
    ASSERT_NE(WaitForText(log, "line 300\n").find("line 300\n"), std::string::npos) << app.Err();
    app.Signal(SIGTERM);
    EXPECT_EQ(app.Wait(60), 0) << app.Err();
    ExpectCompleteLines(WaitForText(log, "hook last="));
  }
}

// The system keeps its standard handles: System.out and System.err go through
// RedirOutputStream, byte by byte, and still nothing is lost at System.exit.
TEST_P(Redirect, JavaFallbackCarriesSystemOutAndErr) {
  std::string log = dir_ / "app.log";
  Output o = Run(App({"stdout " + log, "stderr " + log}), {"exit", "300", "5"}, PLB_REFUSING_STUB);
  EXPECT_EQ(o.code, 5) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(testutil::ReadFile(log), Interleaved(300));
}

}  // namespace
