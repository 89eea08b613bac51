// Shared pieces of the benchmarks: timing, temporary files and synthetic archive contents.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <ctime>
#include <unistd.h>
#include <vector>

#include "tests/support/zip_writer.h"

namespace bench {

// The median of samples (the upper one of an even count).
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// In a forked child: runs argv[0] with argv (no search in PATH); 127 when it cannot.
[[noreturn]] inline void ExecChild(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

// Best wall time of `runs` runs, in seconds.
inline double BestOf(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

// The calling thread's CPU time in seconds: short loops measured with it are not skewed by
// other processes taking the processor away.
inline double ThreadCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

inline double BestCpuOf(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = ThreadCpuSeconds();
    work();
    best = std::min(best, ThreadCpuSeconds() - t0);
  }
  return best;
}

// Text shaped like class files and resources: words from a small vocabulary, so that it
// deflates at typical ratios.
inline std::string ClassLikeBytes(std::mt19937& rng, size_t n) {
  static const char* const kWords[] = {"java/lang/Object", "<init>", "()V", "Code", "LineNumberTable", "this",
                                       "Ljava/lang/String;", "get", "set", "value", "com/example/app/", "I",
                                       "append", "toString", "StackMapTable", "SourceFile", "\xCA\xFE\xBA\xBE"};
  std::string s;
  s.reserve(n + 32);
  while (s.size() < n) {
    s += kWords[rng() % (sizeof kWords / sizeof *kWords)];
    s += static_cast<char>(rng() % 32);
  }
  s.resize(n);
  return s;
}

inline bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace bench
