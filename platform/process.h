// Threads and process-level user-interface set-up.
#pragma once
#include <string>
#include <vector>

namespace plat {

// Starts `fn(arg)` on a new thread (default stack size, reserved), retrying once without
// flags, and waits for it. False when no thread could be started; `exitCode` is then unset.
bool RunOnNewThread(int (*fn)(void*), void* arg, int& exitCode);

// Initialises the common controls library (Windows); nothing elsewhere.
void InitCommonControls();

// The process's command line as one narrow string, program name included, as the system
// keeps it (Windows). False where the system hands over only the split words (Linux).
bool RawCommandLine(std::string& out);

// Runs a program (`argv[0]` a full path) with no standard input or output and waits for it.
// True when it ran and exited with status 0.
bool RunQuietly(const std::vector<std::string>& argv);

}  // namespace plat
