#include "splash/splash.h"

#include <atomic>
#include <cstdint>

#include "launcher/messages.h"
#include "payload/config.h"
#include "platform/dynlib.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "platform/splash.h"
#include "runtime/discovery.h"
#include "runtime/vm.h"

namespace {

// 1 once a close delay has been set for the own window (by the launcher or from Java).
std::atomic<int> g_closeRequested{0};

using SplashInitFn = void (*)();
using SplashLoadFileFn = int (*)(const char*);
using SplashLoadMemoryFn = int (*)(void*, int);

std::string DirectoryOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/") + 1); }

// The library, or with its directory appended to "PATH" on a second try; null when both fail.
void* LoadSplashLibrary(const std::string& path) {
  if (void* lib = plat::LoadDynamicLibrary(path)) return lib;
  std::string dir = DirectoryOf(path);
  if (!dir.empty()) dir.pop_back();
  std::string value;
  plat::GetEnv("PATH", value);
  plat::SetEnv("PATH", value.empty() ? dir : value + plat::kPathListSeparator + dir);
  return plat::LoadDynamicLibrary(path);
}

// The picture comes from the "splash" file when it names one, else from RCDATA 100. Without
// a picture nothing is loaded (the library and the windowing libraries it pulls in would
// only cost start-up time) and the answer is false. The library's answers are not inspected:
// what it shows is the runtime's business.
bool ShowRuntimeSplash(LauncherContext& ctx, const std::string& vmLibrary, const std::string& splashLibrary) {
  std::string picture = CfgSplash(ctx);
  bool fromFile = !picture.empty() && plat::PathExists(picture) && !plat::IsDirectory(picture);
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!fromFile && !(plat::SplashPictureResource(data, size) && size > 0 && size <= INT32_MAX)) return false;
  plat::QuietLibraryErrors();
  if (g_vm) LoadVmLibrary(*g_vm, vmLibrary);
  void* lib = LoadSplashLibrary(splashLibrary);
  if (!lib) return true;
  auto init = reinterpret_cast<SplashInitFn>(plat::FindSymbol(lib, "SplashInit"));
  auto loadMemory = reinterpret_cast<SplashLoadMemoryFn>(plat::FindSymbol(lib, "SplashLoadMemory"));
  auto loadFile = reinterpret_cast<SplashLoadFileFn>(plat::FindSymbol(lib, "SplashLoadFile"));
  if (!init) return true;
  init();
  if (fromFile) {
    if (loadFile) loadFile(picture.c_str());
  } else if (loadMemory) {
    loadMemory(const_cast<uint8_t*>(data), static_cast<int>(size));
  }
  return true;
}

void SplashCloseSoon(unsigned ms) { SetSplashAutoClose(static_cast<int>(ms)); }

void ShowOwnSplash(void* bitmap, const std::string& caption) {
  SetErrorBoxOwner(SplashOwnerWindow, SplashCloseSoon);
  plat::ShowSplashWindow(bitmap, caption);
}

}  // namespace

std::string FindRuntimeSplashLibrary(const std::string& vmLibrary) {
  if (vmLibrary.empty()) return {};
  std::string path = DirectoryOf(vmLibrary) + "../" + plat::SplashLibraryName();
  return plat::PathExists(path) ? path : std::string();
}

void SplashStep(LauncherContext& ctx) {
  std::string vmLibrary = FindRuntimeLibrary(ctx);
  std::string splashLibrary = FindRuntimeSplashLibrary(vmLibrary);
  // A runtime with a splash library but no picture for it leaves the stored bitmap to the
  // launcher's own window, as a runtime without one does.
  if (!splashLibrary.empty() && ShowRuntimeSplash(ctx, vmLibrary, splashLibrary)) return;
  if (void* bitmap = plat::LoadSplashBitmap()) ShowOwnSplash(bitmap, CfgSplashTitle(ctx));
}

void* SplashOwnerWindow() { return plat::SplashWindow(); }

bool SetSplashAutoClose(int ms) {
  if (!plat::SplashWindow()) return false;
  g_closeRequested = 1;
  return plat::SetSplashTimer(ms);
}

bool SplashCloseRequested() { return g_closeRequested != 0; }

void SplashAutoCloseUnlessRequested(unsigned ms, bool keepUnrequested) {
  if (!plat::SplashWindow() || g_closeRequested) return;
  SetSplashAutoClose(static_cast<int>(ms));
  if (keepUnrequested) g_closeRequested = 0;
}
