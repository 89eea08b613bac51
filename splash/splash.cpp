#include "splash/splash.h"

// The splash screen arrives with the splash subsystem; until then no splash is shown.
void SplashStep(LauncherContext&) {}
