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

// Starts a program (`argv[0]` a full path) that outlives this process: no standard input or
// output, no console window, out of the terminal's reach, not waited for. When it exits with
// status 0, the file `made` is renamed to `final` (one step: a reader sees the old file or the
// whole new one); then `made` and `leftover` (unless "") are removed, whatever the status.
// The system's command interpreter takes these steps (/bin/sh, cmd.exe). False when it could
// not be started.
bool StartDetached(const std::vector<std::string>& argv, const std::string& made, const std::string& final,
                   const std::string& leftover);

}  // namespace plat
