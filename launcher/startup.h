// The launcher's entry function and the steps of its start-up sequence.
#pragma once
#include <string>
#include <vector>

#include "payload/context.h"

// The whole start-up and shut-down; returns the process exit code.
int Entry(int argc, char** argv);

// Step 8: the working directory from "forcecwd".
void ApplyForceCwd(LauncherContext& ctx);

// Step 11: the application arguments (program name dropped), wildcard-expanded when
// "wildcard" asks for it.
std::vector<std::string> ApplicationArguments(const LauncherContext& ctx, int argc, char** argv);

// Step 13: true when an "option" line begins with "-XstartOnFirstThread".
bool RunsOnFirstThread(const LauncherContext& ctx);
