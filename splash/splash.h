// Splash screen: the runtime's splash library, or the launcher's own window.
#pragma once
#include "payload/context.h"

// Start-up step: finds the runtime (first discovery), then shows the splash if one exists.
void SplashStep(LauncherContext& ctx);
