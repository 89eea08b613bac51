// Helpers shared by the tests: temporary directories, files and running commands.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Skips a test whose tool, runtime or package is missing, with the reason streamed after it.
// Under CI (CI=true) the test fails instead, naming what is missing: there the project's own
// scripts install everything, and a skip would hide a missing install step.
#define PLB_SKIP_MISSING()                                                                            \
  return ::testing::internal::AssertHelper(                                                          \
             testutil::UnderCi() ? ::testing::TestPartResult::kFatalFailure                         \
                                 : ::testing::TestPartResult::kSkip,                             \
             __FILE__, __LINE__, testutil::UnderCi() ? "missing under CI" : "Skipped") = ::testing::Message()

namespace testutil {

inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci && std::strcmp(ci, "true") == 0;
}

// A fresh directory removed (with its contents) when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void MakeDirs(const std::string& path);

// Result of running a command: exit code (or -1) and what it printed.
struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

#ifndef _WIN32
// Runs argv[0] with the arguments (no shell), with extra environment entries "NAME=VALUE".
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& cwd = {});

// The path of an executable program found on PATH, or "".
std::string FindOnPath(const std::string& name);
#endif

}  // namespace testutil
