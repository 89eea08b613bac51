// The interrupt and termination signals (SIGINT, SIGTERM).
#pragma once

namespace plat {

// Installs the launcher's handling of SIGINT and SIGTERM, remembering the handlers that
// were set before. `onSignal` runs on an ordinary thread that may attach to the VM, never
// inside a signal handler: on Windows the thread that the system starts for a console
// event, on Linux a thread of ours that waits for the signal. When `onSignal` returns, the
// earlier handler gets the signal, unless it was the default action or "ignore" and the
// signal then has its default effect. Call once; later calls do nothing.
void HandleTerminationSignals(void (*onSignal)(int signal));

}  // namespace plat
