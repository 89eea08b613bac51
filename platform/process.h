// Threads and process-level user-interface set-up.
#pragma once

namespace plat {

// Starts `fn(arg)` on a new thread (default stack size, reserved), retrying once without
// flags, and waits for it. False when no thread could be started; `exitCode` is then unset.
bool RunOnNewThread(int (*fn)(void*), void* arg, int& exitCode);

// Initialises the common controls library (Windows); nothing elsewhere.
void InitCommonControls();

}  // namespace plat
