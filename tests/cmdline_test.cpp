#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "launcher/cmdline.h"
#include "launcher/startup.h"
#include "support/env_guard.h"
#include "support/test_util.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using Words = std::vector<std::string>;

Words Sorted(Words w) {
  std::sort(w.begin(), w.end());
  return w;
}

TEST(Split, QuotesBackslashesAndMarks) {
  struct Case {
    const char* line;
    Words words;
    std::vector<int32_t> marks;
  };
  const Case cases[] = {
      {"", {}, {}},
      {" \t ", {}, {}},
      {"a b\tc", {"a", "b", "c"}, {0, 0, 0}},
      {"  lead trail  ", {"lead", "trail"}, {0, 0}},
      {"\"a b\" c", {"a b", "c"}, {0, 0}},
      {"a\"b c\"d", {"ab cd"}, {0}},
      {"a\\\\\\\"b", {"a\\\"b"}, {0}},               // three backslashes, quote: one and a quote
      {"a\\\\\\\\\"b c\"", {"a\\\\b c"}, {0}},       // four: two, and the quote toggles
      {"C:\\dir\\ x", {"C:\\dir\\", "x"}, {0, 0}},  // no quote after it: kept
      {"\\\\server\\share", {"\\\\server\\share"}, {0}},
      {"\"\"", {""}, {0}},
      {"a \"\" b", {"a", "", "b"}, {0, 0, 0}},
      {"a\"\"b", {"ab"}, {0}},
      {"\"open quote", {"open quote"}, {0}},
      {"*.txt \"*.txt\" \"a\"* x?", {"*.txt", "*.txt", "a*", "x?"}, {1, -1, 1, 1}},
      {"\"*\"* *\"*\"", {"**", "**"}, {-1, -1}},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> marks;
    EXPECT_EQ(Split(c.line, &marks), c.words) << c.line;
    EXPECT_EQ(marks, c.marks) << c.line;
    EXPECT_EQ(Split(c.line), c.words) << c.line;
  }
}

TEST(Split, QuotedWordsComeBackUnchanged) {
  const Words words = {"plain", "with space", "tab\there", "q\"uote", "trail\\", "\\\\\"", "", "*.txt", "a\\b\\"};
  std::string line;
  for (const std::string& w : words) line += QuoteArgument(w) + " ";
  std::vector<int32_t> marks;
  EXPECT_EQ(Split(line, &marks), words);
  EXPECT_EQ(marks[7], -1);
}

TEST(WildcardMode, Keywords) {
  EXPECT_EQ(WildcardModeOf("TRUE"), WildcardMode::Unquoted);
  EXPECT_EQ(WildcardModeOf("auto"), WildcardMode::Unquoted);
  EXPECT_EQ(WildcardModeOf("All"), WildcardMode::All);
  EXPECT_EQ(WildcardModeOf("all "), WildcardMode::None);
  EXPECT_EQ(WildcardModeOf(""), WildcardMode::None);
}

// A directory tree, entered as the current directory.
class WildcardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"a.txt", "b.txt", "c.dat", "f.jar", "d1/x.jar", "d1/y.txt", "d2/x.jar", "d2/e/x.jar"})
      testutil::WriteFile(Mk(f), "");
    testutil::MakeDirs(tmp_ / "d3");
  }
  std::string Mk(const std::string& f) {
    testutil::MakeDirs(std::filesystem::path(tmp_ / f).parent_path().string());
    return tmp_ / f;
  }
  Words Expand(const std::string& pattern) {
    Words out;
    ExpandWildcard(pattern, out);
    return Sorted(out);
  }
  testutil::TempDir tmp_;
  testutil::CwdGuard cwd_{tmp_.path()};
};

TEST_F(WildcardTest, MatchesSegmentBySegment) {
  struct Case {
    std::string pattern;
    Words matches;
  };
  const Case cases[] = {
      {"*.txt", {"a.txt", "b.txt"}},
      {"?.txt", {"a.txt", "b.txt"}},
      {"*.none", {}},
      {"a.txt", {"a.txt"}},    // no wildcard: the name when it exists
      {"d1", {"d1"}},
      {"missing", {}},
      {"*/x.jar", {"d1/x.jar", "d2/x.jar"}},
      {"d?/*", {"d1/x.jar", "d1/y.txt", "d2/e", "d2/x.jar"}},
      {"*/*/x.jar", {"d2/e/x.jar"}},
      {"f*/x.jar", {}},        // files in a directory segment are not descended into
      {"d*", {"d1", "d2", "d3"}},
      {tmp_ / "d1/*.jar", {tmp_ / "d1/x.jar"}},
#ifdef _WIN32
      {"d1\\*.jar", {"d1\\x.jar"}},
      {"*\\e\\*", {"d2\\e\\x.jar"}},
#endif
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.pattern), Sorted(c.matches)) << c.pattern;
}

#ifdef _WIN32
TEST_F(WildcardTest, DriveRelativePatternGivesBareNames) {
  std::string drive = plat::CurrentDirectory().substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  EXPECT_EQ(Expand(drive + "*.txt"), (Words{"a.txt", "b.txt"}));
}
#endif

TEST_F(WildcardTest, BuildArgumentsPerMode) {
  const std::string line = "prog c.* \"c.*\" \"q\"* nomatch* \"plain word\"";
  struct Case {
    WildcardMode mode;
    Words args;
  };
  const Case cases[] = {
      {WildcardMode::None, {"prog", "c.*", "c.*", "q*", "nomatch*", "plain word"}},
      {WildcardMode::Unquoted, {"prog", "c.dat", "c.*", "q*", "nomatch*", "plain word"}},
      {WildcardMode::All, {"prog", "c.dat", "c.dat", "q*", "nomatch*", "plain word"}},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildArguments(line, c.mode), c.args);
  Words two = BuildArguments("*.txt", WildcardMode::Unquoted);
  EXPECT_EQ(Sorted(two), (Words{"a.txt", "b.txt"}));
}

TEST_F(WildcardTest, ApplicationArgumentsDropOnlyTheProgramName) {
  std::string p0 = "prog", p1 = "c.*", p2 = "with space";
  char* argv[] = {p0.data(), p1.data(), p2.data()};
  LauncherContext none;
  none.configText = std::string("appid x\0", 8);
  EXPECT_EQ(ApplicationArguments(none, 3, argv), (Words{"c.*", "with space"}));
#ifndef _WIN32
  // Without a raw command line the words come back as if quoted: "all" expands them.
  LauncherContext all, unquoted;
  all.configText = std::string("wildcard ALL\0", 13);
  unquoted.configText = std::string("wildcard true\0", 14);
  EXPECT_EQ(ApplicationArguments(all, 3, argv), (Words{"c.dat", "with space"}));
  EXPECT_EQ(ApplicationArguments(unquoted, 3, argv), (Words{"c.*", "with space"}));
#endif
}

// "forcecwd" against an executable directory app/ inside the temporary tree.
TEST_F(WildcardTest, ForceCwdResolvesAgainstTheExecutable) {
  testutil::MakeDirs(tmp_ / "app/sub");
  const std::string start = plat::CurrentDirectory();
  struct Case {
    std::string value;
    std::string expected;  // relative to the tree; "" = unchanged
  };
  std::vector<Case> cases = {
      {"sub", "app/sub"},
      {"../d1", "d1"},
      {tmp_ / "d2", "d2"},
      {"nowhere", ""},
#ifdef _WIN32
      {"..\\d3", "d3"},
      {plat::CurrentDirectory().substr(2) + "\\d1", "d1"},  // "\..." on the executable's drive
#endif
  };
  for (const Case& c : cases) {
    plat::ChangeDirectory(start);
    LauncherContext ctx;
    ctx.exeDir = tmp_ / "app/";
    ctx.workDir = "stale/";
    ctx.configText = "forcecwd " + c.value + std::string(1, '\0');
    ApplyForceCwd(ctx);
    std::string want = c.expected.empty() ? start : plat::FullPath(tmp_ / c.expected);
    EXPECT_EQ(std::filesystem::path(plat::CurrentDirectory()), std::filesystem::path(want)) << c.value;
    EXPECT_EQ(ctx.workDir, plat::CurrentDirectory() + "/") << c.value;
  }
}

#ifdef _WIN32
// Runs this test program again with `line` as its real command line and `mode` as its
// "wildcard" value; the child prints the application arguments it computes.
std::string RunChild(const std::string& line, const std::string& mode) {
  testutil::EnvGuard env;
  env.Set("PLBT_ARGS_CHILD", mode);
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return "no pipe";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi;
  std::string cmd = line;
  BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string out;
  if (started) {
    char buf[4096];
    DWORD got;
    while (ReadFile(readEnd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  return out;
}

TEST(RealCommandLine, Child) {
  std::string mode;
  if (!plat::GetEnv("PLBT_ARGS_CHILD", mode)) GTEST_SKIP() << "runs as a child only";
  LauncherContext ctx;
  ctx.configText = "wildcard " + mode + std::string(1, '\0');
  for (const std::string& a : ApplicationArguments(ctx, __argc, __argv)) printf("ARG<%s>\n", a.c_str());
  fflush(stdout);
}

TEST_F(WildcardTest, RealCommandLineGivesTheArguments) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string line = std::string("\"") + self + "\" --gtest_filter=RealCommandLine.Child c.* \"c.*\" " +
                           "a\\\\\\\"b \"x y\" C:\\dir\\ \"\"";
  const std::string tail = "ARG<a\\\"b>\nARG<x y>\nARG<C:\\dir\\>\nARG<>\n";
  const std::string head = "ARG<--gtest_filter=RealCommandLine.Child>\n";
  auto args = [](std::string out) {
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    std::string lines;
    for (size_t at = out.find("ARG<"); at != std::string::npos; at = out.find("ARG<", at + 1))
      lines += out.substr(at, out.find('\n', at) - at) + "\n";
    return lines;
  };
  EXPECT_EQ(args(RunChild(line, "true")), head + "ARG<c.dat>\nARG<c.*>\n" + tail);
  EXPECT_EQ(args(RunChild(line, "all")), head + "ARG<c.dat>\nARG<c.dat>\n" + tail);
}
#endif

}  // namespace
