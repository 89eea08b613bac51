// Helpers of the run tests: Java runtimes, test applications compiled at test time, wrapping
// with the plumbox tool, and child processes that can be waited for and signalled.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/test_util.h"

namespace runtest {

struct Jdk {
  int feature = 0;
  std::string home;
  std::string LibJvm() const { return home + "/lib/server/libjvm.so"; }
  std::string Bin(const std::string& tool) const { return home + "/bin/" + tool; }
};

inline const char* kJdkHomes[] = {"/usr/lib/jvm/java-17-openjdk-amd64", "/usr/lib/jvm/temurin-25-jdk-amd64"};

// The JDK of that feature version installed here, or none (feature 0).
inline Jdk FindJdk(int feature) {
  for (const char* home : kJdkHomes) {
    std::string release = testutil::ReadFile(std::string(home) + "/release");
    if (release.find("JAVA_VERSION=\"" + std::to_string(feature) + ".") != std::string::npos &&
        testutil::FileExists(std::string(home) + "/lib/server/libjvm.so"))
      return {feature, home};
  }
  return {};
}

// The JDK that compiles the test applications: the oldest one installed.
inline Jdk BuildJdk() {
  for (int feature : {17, 25})
    if (Jdk jdk = FindJdk(feature); jdk.feature) return jdk;
  return {};
}

// A child process with its output in files, which the test may watch while it runs.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& setEnv,
        const std::vector<std::string>& unsetEnv = {}) {
    outPath_ = dir_ / "out";
    errPath_ = dir_ / "err";
    pid_ = fork();
    if (pid_ != 0) return;
    int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    setpgid(0, 0);
    for (const auto& name : unsetEnv) unsetenv(name.c_str());
    for (const auto& e : setEnv) putenv(strdup(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  ~Child() {
    if (pid_ > 0 && !done_) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  std::string Out() const { return testutil::ReadFile(outPath_); }
  std::string Err() const { return testutil::ReadFile(errPath_); }

  // Waits until standard output holds `text`; false after the timeout or when the child ended.
  bool WaitForOutput(const std::string& text, int seconds) {
    for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;) {
      if (Out().find(text) != std::string::npos) return true;
      if (done_ || waitpid(pid_, &status_, WNOHANG) == pid_) {
        done_ = true;
        return Out().find(text) != std::string::npos;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void Signal(int sig) { kill(pid_, sig); }

  // The exit code, or -1 after a kill on timeout, or 128 + the signal that ended it.
  int Wait(int seconds) {
    for (auto end = Clock::now() + std::chrono::seconds(seconds); !done_ && Clock::now() < end;) {
      if (waitpid(pid_, &status_, WNOHANG) == pid_) done_ = true;
      else std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!done_) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      done_ = true;
      return -1;
    }
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    return WIFSIGNALED(status_) ? 128 + WTERMSIG(status_) : -1;
  }

 private:
  using Clock = std::chrono::steady_clock;
  testutil::TempDir dir_;
  std::string outPath_, errPath_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool done_ = false;
};

struct Output {
  int code = -1;
  std::string out, err;
};

// Environment variables that would change a run; removed for every child.
inline const std::vector<std::string> kNoisyEnv = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS",
                                                   "CLASSPATH", "CLASS_PATH", "DISPLAY"};

inline Output RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         int seconds = 120) {
  Child child(argv, env, kNoisyEnv);
  Output o;
  o.code = child.Wait(seconds);
  o.out = child.Out();
  o.err = child.Err();
  return o;
}

// Runs a command that must succeed (compilers, jar, the tool).
inline void MustRun(const std::vector<std::string>& argv, const std::string& cwd = {}) {
  testutil::RunResult r = testutil::Run(argv, {}, cwd);
  if (r.exitCode != 0) {
    std::string line;
    for (const auto& a : argv) line += a + " ";
    throw std::runtime_error("failed (" + std::to_string(r.exitCode) + "): " + line + "\n" + r.out + r.err);
  }
}

// Compiles every .java below `sourceDir` into `classDir` for Java 8 class files.
inline void CompileJava(const Jdk& jdk, const std::string& sourceDir, const std::string& classDir,
                        const std::string& classPath = {}) {
  testutil::RunResult found = testutil::Run({"/usr/bin/find", sourceDir, "-name", "*.java"});
  std::vector<std::string> argv = {jdk.Bin("javac"), "--release", "8", "-nowarn", "-Xlint:-options", "-encoding",
                                   "UTF-8", "-d", classDir};
  if (!classPath.empty()) argv.insert(argv.end(), {"-cp", classPath});
  size_t pos = 0;
  for (size_t nl; (nl = found.out.find('\n', pos)) != std::string::npos; pos = nl + 1)
    argv.push_back(found.out.substr(pos, nl - pos));
  testutil::MakeDirs(classDir);
  MustRun(argv);
}

// jar cf OUT -C DIR . (with a manifest when given)
inline void MakeJar(const Jdk& jdk, const std::string& out, const std::string& dir, const std::string& manifest = {}) {
  if (manifest.empty()) MustRun({jdk.Bin("jar"), "cf", out, "-C", dir, "."});
  else MustRun({jdk.Bin("jar"), "cfm", out, manifest, "-C", dir, "."});
}

struct WrapRequest {
  std::string target = "linux";
  std::string jar, mainClass;
  std::vector<std::string> libs;
  std::vector<std::string> settings;  // "key value" lines
  std::vector<std::string> options;    // further wrap options: "--flat", "--utf8"
  bool classCache = false;             // flat: keep "classdatacache auto" (else --no-class-cache)
};

inline void Wrap(const WrapRequest& w, const std::string& out, const std::string& stub) {
  std::vector<std::string> argv = {PLB_TOOL, "wrap", "-q", "--target", w.target, "--jar", w.jar, "--main",
                                   w.mainClass, "--stub", stub, "--support", PLB_SUPPORT_JAR, "-o", out};
  for (const auto& lib : w.libs) argv.insert(argv.end(), {"--lib", lib});
  for (const auto& s : w.settings) argv.insert(argv.end(), {"--set", s});
  argv.insert(argv.end(), w.options.begin(), w.options.end());
  // Flat executables of other tests leave the user's cache folder alone.
  if (!w.classCache && std::find(w.options.begin(), w.options.end(), "--flat") != w.options.end())
    argv.push_back("--no-class-cache");
  MustRun(argv);
  chmod(out.c_str(), 0755);
}

// Wraps for Linux with the given runtime as "jvmdll" and runs the result.
inline Output WrapAndRun(const Jdk& jdk, WrapRequest w, const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}) {
  w.settings.insert(w.settings.begin(), "jvmdll " + jdk.LibJvm());
  Wrap(w, exe, PLB_LINUX_STUB);
  std::vector<std::string> argv = {exe};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, env);
}

// Windows runtimes, as scripts/fetch-windows-runtimes.sh leaves them, run under Wine.
inline std::string WindowsRuntimeRoot() {
  if (const char* root = getenv("PLB_WINDOWS_RUNTIMES")) return root;
  if (const char* cache = getenv("XDG_CACHE_HOME")) return std::string(cache) + "/plumbox/windows-runtimes";
  return std::string(getenv("HOME") ? getenv("HOME") : "/root") + "/.cache/plumbox/windows-runtimes";
}

// The Windows runtime of that feature version (its home, a host path), or "" when missing.
inline std::string WindowsRuntime(int feature) {
  std::string home = WindowsRuntimeRoot() + "/" + std::to_string(feature);
  return testutil::FileExists(home + "/bin/server/jvm.dll") ? home : std::string();
}

// A host path as the Windows side under Wine sees it: "Z:\tmp\x".
inline std::string WinPath(const std::string& path) {
  std::string w = "Z:" + path;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

// The files of a class-data cache folder whose names start with `prefix`: archives, and
// anything half-made left behind.
inline std::vector<std::string> CacheFiles(const std::string& folder, const std::string& prefix = "") {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  return names;
}

// The same, once the runtime that the runs so far started in the background has made their
// archives: nothing half-made left (or three minutes gone).
inline std::vector<std::string> MadeCacheFiles(const std::string& folder, const std::string& prefix = "") {
  auto partial = [](const std::string& n) {
    std::string ext = std::filesystem::path(n).extension().string();
    return ext == ".part" || ext == ".classlist" || ext == ".conf";
  };
  std::vector<std::string> names;
  for (int i = 0; i < 1800; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    names = CacheFiles(folder, prefix);
    if (std::none_of(names.begin(), names.end(), partial)) break;
  }
  return names;
}

inline std::string WinePrefix() {
  const char* prefix = getenv("WINEPREFIX");
  return prefix ? prefix : std::string(PLB_BINARY_DIR) + "/wineprefix";
}

inline std::vector<std::string> WineEnv(std::vector<std::string> more = {}) {
  more.insert(more.begin(), {"WINEPREFIX=" + WinePrefix(), "WINEDEBUG=-all"});
  return more;
}

// Runs a Windows program under Wine.
inline Output RunWine(std::vector<std::string> argv, const std::vector<std::string>& env = {}, int seconds = 300) {
  argv.insert(argv.begin(), PLB_WINE);
  return RunProgram(argv, WineEnv(env), seconds);
}

// The answer of one probe command ("cmd => answer" lines), or "<missing>".
inline std::string Answer(const std::string& out, const std::string& command) {
  std::string key = command + " => ";
  size_t at = out.find(key);
  if (at == std::string::npos) return "<missing>";
  at += key.size();
  std::string answer = out.substr(at, out.find('\n', at) - at);
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();  // a Windows runtime's line end
  return answer;
}

}  // namespace runtest
