#include "platform/signals.h"

#include <signal.h>

namespace plat {

namespace {

using Handler = void (*)(int);
void (*g_onSignal)(int) = nullptr;
Handler g_previousInt = SIG_DFL;
Handler g_previousTerm = SIG_DFL;

// The C runtime calls this on the thread that the system starts for a console control
// event (SIGINT) or on the raising thread (SIGTERM): ordinary threads, free to attach.
void Handle(int signal) {
  g_onSignal(signal);
  Handler previous = signal == SIGINT ? g_previousInt : g_previousTerm;
  auto value = reinterpret_cast<intptr_t>(previous);
  if (previous == SIG_DFL || previous == SIG_IGN || previous == SIG_ERR || (value >= 2 && value <= 4)) return;
  previous(signal);
}

}  // namespace

void HandleTerminationSignals(void (*onSignal)(int)) {
  if (g_onSignal) return;
  g_onSignal = onSignal;
  g_previousInt = signal(SIGINT, Handle);
  g_previousTerm = signal(SIGTERM, Handle);
}

}  // namespace plat
