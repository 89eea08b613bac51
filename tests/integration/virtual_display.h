// A private X display (Xvfb) whose screen the tests read pixel by pixel: Xvfb keeps its
// frame buffer in a file in XWD format ("-fbdir"), so no screenshot tool is needed.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/test_util.h"

namespace xtest {

class VirtualDisplay {
 public:
  VirtualDisplay(int width = 800, int height = 600) {
    for (int n = 90; n < 190 && pid_ < 0; ++n) {
      if (testutil::FileExists("/tmp/.X11-unix/X" + std::to_string(n)) ||
          testutil::FileExists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      Start(n, width, height);
    }
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Running() const { return pid_ > 0; }
  // "DISPLAY=:N"
  std::string EnvEntry() const { return "DISPLAY=:" + std::to_string(number_); }

  // The colour at (x, y) as 0xRRGGBB; 0xFFFFFFFF when the screen cannot be read.
  uint32_t Pixel(int x, int y) const {
    std::string fb = testutil::ReadFile(dir_ / "Xvfb_screen0");
    if (fb.size() < 100) return 0xFFFFFFFF;
    uint32_t headerSize = Field(fb, 0), width = Field(fb, 4), height = Field(fb, 5), byteOrder = Field(fb, 7);
    uint32_t bitsPerPixel = Field(fb, 11), bytesPerLine = Field(fb, 12), colours = Field(fb, 19);
    if (bitsPerPixel != 32 || x < 0 || y < 0 || uint32_t(x) >= width || uint32_t(y) >= height) return 0xFFFFFFFF;
    size_t at = headerSize + size_t(colours) * 12 + size_t(y) * bytesPerLine + size_t(x) * 4;
    if (at + 4 > fb.size()) return 0xFFFFFFFF;
    auto b = [&](size_t i) { return uint32_t(uint8_t(fb[at + i])); };
    uint32_t v = byteOrder == 0 ? b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24 : b(3) | b(2) << 8 | b(1) << 16 | b(0) << 24;
    return Masked(v, Field(fb, 14)) << 16 | Masked(v, Field(fb, 15)) << 8 | Masked(v, Field(fb, 16));
  }

  // Waits until (x, y) shows `rgb`, or the time is up.
  bool WaitForPixel(int x, int y, uint32_t rgb, int seconds) const {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
      if (Pixel(x, y) == rgb) return true;
    return false;
  }

 private:
  static uint32_t Field(const std::string& fb, int index) {
    auto b = [&](int i) { return uint32_t(uint8_t(fb[size_t(index) * 4 + size_t(i)])); };
    return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);  // XWD headers are big-endian
  }
  // The 8-bit value of one colour channel.
  static uint32_t Masked(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    uint32_t max = mask >> shift, value = (v & mask) >> shift;
    return max == 255 ? value : value * 255 / max;
  }

  void Start(int n, int width, int height) {
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      execl("/usr/bin/Xvfb", "Xvfb", (":" + std::to_string(n)).c_str(), "-screen", "0", screen.c_str(), "-fbdir",
            dir_.path().c_str(), "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid < 0) return;
    for (int i = 0; i < 200; ++i) {  // up to 10 s for the display to come up
      if (testutil::FileExists("/tmp/.X11-unix/X" + std::to_string(n)) && testutil::FileExists(dir_ / "Xvfb_screen0")) {
        pid_ = pid;
        number_ = n;
        return;
      }
      if (waitpid(pid, nullptr, WNOHANG) == pid) return;  // taken meanwhile: try the next number
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  testutil::TempDir dir_;
  pid_t pid_ = -1;
  int number_ = -1;
};

// Wine on a private display. Wine shows windows on the display of the first program of a
// Wine session (its desktop process), so these tests have a prefix of their own, one test
// at a time holds it (a lock across processes), and each begins and ends its own session.
class WineOnDisplay {
 public:
  explicit WineOnDisplay(const std::string& wine)
      : wine_(wine), prefix_(std::string(PLB_BINARY_DIR) + "/wineprefix-display") {
    std::string dir = wine.substr(0, wine.rfind('/') + 1);
    server_ = testutil::FileExists(dir + "wineserver") ? dir + "wineserver" : "/usr/lib/wine/wineserver";
    lock_ = open((prefix_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_ >= 0) flock(lock_, LOCK_EX);
    EndSession();
    if (!testutil::FileExists(prefix_ + ".prepared")) Prepare();
  }
  ~WineOnDisplay() {
    EndSession();
    if (lock_ >= 0) close(lock_);
  }
  WineOnDisplay(const WineOnDisplay&) = delete;
  WineOnDisplay& operator=(const WineOnDisplay&) = delete;

  bool Ready() const { return display_.Running() && lock_ >= 0; }
  const VirtualDisplay& display() const { return display_; }

  // The environment of a Wine program on this display, with `more` entries first.
  std::vector<std::string> Env(std::vector<std::string> more = {}) const {
    more.insert(more.end(), {display_.EnvEntry(), "WINEPREFIX=" + prefix_, "WINEDEBUG=-all"});
    return more;
  }

 private:
  // Without a window manager Wine waits two seconds for one whenever a managed window goes;
  // unmanaged windows close at once, as they do on Windows. A crash ends the program
  // instead of waiting in a dialog box.
  void Prepare() {
    RunWine({"reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N", "/f"});
    RunWine({"reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0",
             "/f"});
    testutil::WriteFile(prefix_ + ".prepared", "");
    EndSession();
  }

  void RunWine(std::vector<std::string> args) {
    args.insert(args.begin(), wine_);
    std::vector<std::string> env = Env();
    pid_t pid = fork();
    if (pid == 0) {
      for (auto& e : env) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (pid > 0) waitpid(pid, nullptr, 0);
  }

  void EndSession() {
    std::string prefix = "WINEPREFIX=" + prefix_;
    for (const char* flag : {"-k", "-w"}) {
      pid_t pid = fork();
      if (pid == 0) {
        putenv(const_cast<char*>(prefix.c_str()));
        execl(server_.c_str(), "wineserver", flag, static_cast<char*>(nullptr));
        _exit(127);
      }
      if (pid > 0) waitpid(pid, nullptr, 0);
    }
  }

  std::string wine_, prefix_, server_;
  int lock_ = -1;
  VirtualDisplay display_;
};

}  // namespace xtest
