// The launcher-wide rule for configured relative paths.
#pragma once
#include <string>

#include "payload/context.h"

// "" stays ""; a path beginning with "\" or "/", or with ":" as its second character, is
// used unchanged; otherwise the executable directory form if it exists and is readable,
// else the working directory form if it exists, else the executable directory form.
std::string ResolvePath(const LauncherContext& ctx, const std::string& path);
