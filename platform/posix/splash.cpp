#include "platform/splash.h"

namespace plat {

const char* SplashLibraryName() { return "libsplashscreen.so"; }

bool SplashPictureResource(const uint8_t*&, size_t&) { return false; }

void* LoadSplashBitmap() { return nullptr; }

void ShowSplashWindow(void*, const std::string&) {}

void* SplashWindow() { return nullptr; }

bool SetSplashTimer(int) { return false; }

void CloseSplashWindow() {}

}  // namespace plat
