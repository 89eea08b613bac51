// Splash screen: the runtime's splash library, or the launcher's own window (Windows).
#pragma once
#include <string>

#include "payload/context.h"

// Start-up step: finds the runtime (first discovery), then shows the runtime's splash when
// its library lies beside the VM library, else the executable's own bitmap, if any.
void SplashStep(LauncherContext& ctx);

// The VM run's splash timers: asks the launcher's own splash window, if one is open and no
// close has been requested for it, to close after `ms` milliseconds. With `keepUnrequested`
// the window still counts as having no close request afterwards.
void SplashAutoCloseUnlessRequested(unsigned ms, bool keepUnrequested);

// The runtime's splash library for the VM library at `vmLibrary`: the VM library's
// directory, "../" and the library's name, when that file exists; else "".
std::string FindRuntimeSplashLibrary(const std::string& vmLibrary);

// The own splash window while it is open (the owner of message boxes), else null.
void* SplashOwnerWindow();

// Asks the own splash window to close after `ms` milliseconds (a negative delay only
// cancels a pending close) and marks a close as requested. False without a window.
bool SetSplashAutoClose(int ms);

// Whether a close has been requested for the own window since the last unmarking.
bool SplashCloseRequested();
