// The configuration load: payload, paths, external file and embedded text.
#pragma once
#include <string>
#include <vector>

#include "payload/context.h"

// The four external configuration file names for an executable path, in the order tried.
std::vector<std::string> ExternalConfigCandidates(const std::string& exePath);

// "D:\Work" -> "D:\Work/": a directory with a trailing separator added when it has none.
std::string WithTrailingSeparator(const std::string& dir);

// Builds the launcher context for this executable.
void LoadConfiguration(LauncherContext& ctx);

// The same from explicit parts; used by LoadConfiguration and by tests.
void LoadConfigurationFrom(LauncherContext& ctx, const std::string& exePath, const std::string& workDir);
