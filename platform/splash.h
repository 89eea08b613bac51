// Splash screen services: the name of the runtime's splash library, the picture resources
// of the executable, and the launcher's own splash window.
//
// The own window exists on Windows only. On Linux, where executables carry no resources,
// LoadSplashBitmap and SplashPictureResource answer nothing and the window functions do
// nothing, so only the runtime's splash library is ever used.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// File name of the Java runtime's splash library: "splashscreen.dll", "libsplashscreen.so".
const char* SplashLibraryName();

// The bytes of the executable's RCDATA resource 100 (a picture for the runtime's splash
// library); false when there is none or it is empty. The bytes stay valid while the
// process runs.
bool SplashPictureResource(const uint8_t*& data, size_t& size);

// The executable's BITMAP resource 100, or null.
void* LoadSplashBitmap();

// Starts the splash thread, which takes over `bitmap`, shows it in a borderless window of
// class "PLBSPLASH" centred on the primary screen (with `caption` as its title; without
// one the window gets no taskbar button) and runs the window's message loop until the
// window is destroyed. Returns once the window is up or could not be created, or after
// 30 seconds at most.
void ShowSplashWindow(void* bitmap, const std::string& caption);

// The window while it is open, else null.
void* SplashWindow();

// Asks the window (through its own thread) to close after `ms` milliseconds, replacing
// any earlier delay; a negative delay only cancels the pending one. False without a window.
bool SetSplashTimer(int ms);

// Posts a close request to the window, if there is one.
void CloseSplashWindow();

}  // namespace plat
