// Redirection of the process's own standard streams to files and commands.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "launcher/cmdline.h"
#include "platform/child_process.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "streams/redirect.h"
#include "support/test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using testutil::ReadFile;
using testutil::TempDir;

// What the Java runtime does: write to the process's current standard handle.
void WriteStdHandle(StdStream s, const std::string& bytes) {
#ifdef _WIN32
  DWORD done = 0;
  WriteFile(GetStdHandle(s == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE), bytes.data(),
            static_cast<DWORD>(bytes.size()), &done, nullptr);
#else
  ssize_t n = write(s == StdStream::Output ? 1 : 2, bytes.data(), bytes.size());
  (void)n;
#endif
}

#ifdef _WIN32
const char kNewline[] = "\r\n";  // the launcher's own stream is in text mode
#else
const char kNewline[] = "\n";
#endif

// Our helper program beside the test executable, as a command line for "|".
std::string DriverCommand(const std::string& args) {
  std::string exe = plat::ExecutablePath();
  std::string dir = exe.substr(0, exe.find_last_of("/\\") + 1);
#ifdef _WIN32
  return "\"" + dir + "plb_test_driver.exe\" " + args;
#else
  return "\"" + dir + "plb_test_driver\" " + args;
#endif
}

std::string WaitForFile(const std::string& path, size_t size) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string s;
  while ((s = ReadFile(path)).size() < size && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return s;
}

TEST(StreamsRedirect, FileTargetIsAppendedAndTakesStandardHandleAndOwnOutput) {
  TempDir dir;
  std::string log = dir / "out.log";
  testutil::WriteFile(log, "old|");
  Redirector r;
  RedirectStream(r, StdStream::Output, log);
  ASSERT_EQ(r.targets.size(), 1u);
  EXPECT_FALSE(r.needsJavaFallback[0]);
  EXPECT_FALSE(r.replaced[1]);  // standard error is left alone
  WriteStdHandle(StdStream::Output, "java|");
  fputs("own\n", stdout);
  plat::WriteStdout("raw|");
  ShutDownRedirection(r);
  WriteStdHandle(StdStream::Output, "");  // the old handle is back: nothing more lands
  EXPECT_EQ(ReadFile(log), std::string("old|java|own") + kNewline + "raw|");
}

TEST(StreamsRedirect, EqualValuesAndOnlyThoseShareOneTarget) {
  TempDir dir;
  std::string log = dir / "both.log";  // created, as it does not exist yet
  Redirector r;
  RedirectStream(r, StdStream::Error, log);
  RedirectStream(r, StdStream::Output, log);
  ASSERT_EQ(r.targets.size(), 1u);
  EXPECT_EQ(r.current[0], r.current[1]);
  WriteStdHandle(StdStream::Output, "1");
  WriteStdHandle(StdStream::Error, "2");
  fputs("3", stdout);
  fputs("4", stderr);
  WriteStdHandle(StdStream::Output, "5");
  ShutDownRedirection(r);
  EXPECT_EQ(ReadFile(log), "12345");

  // Only equal values share: a name in another letter case is another target.
  RedirectStream(r, StdStream::Error, dir / "Case.log");
  RedirectStream(r, StdStream::Output, dir / "case.log");
  EXPECT_EQ(r.targets.size(), 2u);
  ShutDownRedirection(r);
}

TEST(StreamsRedirect, TargetThatCannotBeOpenedLeavesTheStreamAlone) {
  TempDir dir;
  Redirector r;
  RedirectStream(r, StdStream::Error, dir / "missing/dir/err.log");
  RedirectStream(r, StdStream::Output, "|" + dir / "missing/program");
  EXPECT_FALSE(r.replaced[0]);
  EXPECT_FALSE(r.replaced[1]);
  EXPECT_FALSE(r.needsJavaFallback[0] || r.needsJavaFallback[1]);
  EXPECT_FALSE(testutil::FileExists(dir / "missing"));
  ShutDownRedirection(r);
}

TEST(StreamsRedirect, RefusedStandardHandleNeedsJavaFallbackButOwnOutputStillArrives) {
  TempDir dir;
  std::string log = dir / "out.log";
  Redirector r;
  r.refuseStdHandlesForTests = true;
  RedirectStream(r, StdStream::Output, log);
  EXPECT_TRUE(r.needsJavaFallback[0]);
  EXPECT_NE(r.current[0], plat::kNoOutput);
  WriteStdHandle(StdStream::Output, "");
  fputs("own\n", stdout);
  EXPECT_TRUE(plat::WriteOutput(r.current[0], "java", 4));
  ShutDownRedirection(r);
  EXPECT_EQ(ReadFile(log), std::string("own") + kNewline + "java");
}

// Two writers appending to one file (two launchers, or a launcher and another program)
// never overwrite each other.
TEST(StreamsRedirect, AppendsFromSeparateOpeningsDoNotOverwrite) {
  TempDir dir;
  std::string log = dir / "shared.log";
  plat::OutputHandle a = plat::OpenAppendFile(log), b = plat::OpenAppendFile(log);
  ASSERT_NE(a, plat::kNoOutput);
  ASSERT_NE(b, plat::kNoOutput);
  EXPECT_TRUE(plat::WriteOutput(a, "aaaa", 4));
  EXPECT_TRUE(plat::WriteOutput(b, "bb", 2));
  EXPECT_TRUE(plat::WriteOutput(a, "c", 1));
  plat::CloseOutput(a);
  plat::CloseOutput(b);
  EXPECT_EQ(ReadFile(log), "aaaabbc");
}

TEST(StreamsRedirect, CommandReadsTheOutputAndSeesItsEnd) {
  TempDir dir;
  std::string copy = dir / "copy.txt";
  Redirector r;
  std::string command = "|" + DriverCommand("copy-stdin \"" + copy + "\"");
  RedirectStream(r, StdStream::Error, command);
  RedirectStream(r, StdStream::Output, command);
  ASSERT_EQ(r.targets.size(), 1u);
  ASSERT_NE(r.current[0], plat::kNoOutput);
  WriteStdHandle(StdStream::Output, "out ");
  WriteStdHandle(StdStream::Error, "err ");
  fputs("own", stdout);
  ShutDownRedirection(r);  // closing the last write end ends the command's input
  EXPECT_EQ(WaitForFile(copy + ".done", 1), "x");
  EXPECT_EQ(ReadFile(copy), "out err own");
}

// A command that ends early must not leave the launcher blocked on a full pipe (or, on
// Linux, killed by SIGPIPE): writes then fail.
TEST(StreamsRedirect, WritesFailOnceTheCommandHasEnded) {
  std::string command = DriverCommand("exit");
  plat::OutputHandle h = plat::StartPipedCommand(command, Split(command));
  ASSERT_NE(h, plat::kNoOutput);
  auto failed = std::make_shared<std::promise<bool>>();
  std::future<bool> result = failed->get_future();
  std::thread([h, failed] {  // detached, so that a writer stuck for good cannot hang the suite
    std::string chunk(65536, 'x');
    bool sawFailure = false;
    for (int i = 0; i < 10000 && !sawFailure; ++i) sawFailure = !plat::WriteOutput(h, chunk.data(), chunk.size());
    failed->set_value(sawFailure);
  }).detach();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(result.get());
  plat::CloseOutput(h);
}

}  // namespace
