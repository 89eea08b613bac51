#include "platform/signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace plat {

namespace {

// The handler only writes the signal number into a pipe: everything else (attaching to the
// VM, running Java code) happens on the waiting thread, where it is allowed.
int g_pipe[2] = {-1, -1};
void (*g_onSignal)(int) = nullptr;
struct sigaction g_previous[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

void Notify(int signal) {
  int saved = errno;
  unsigned char b = static_cast<unsigned char>(signal);
  ssize_t ignored = write(g_pipe[1], &b, 1);
  (void)ignored;
  errno = saved;
}

// Gives the signal to the handler that was there before ours: restore it and send the
// signal again, so that it runs (or the default action happens) in a proper signal context.
void PassOn(int signal) {
  for (int i = 0; i < 2; ++i) {
    if (kSignals[i] != signal) continue;
    sigaction(signal, &g_previous[i], nullptr);
    kill(getpid(), signal);
  }
}

void* WaitForSignals(void*) {
  for (;;) {
    unsigned char b = 0;
    ssize_t n = read(g_pipe[0], &b, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1) return nullptr;
    g_onSignal(b);
    PassOn(b);
  }
}

}  // namespace

void HandleTerminationSignals(void (*onSignal)(int)) {
  if (g_onSignal || pipe2(g_pipe, O_CLOEXEC) != 0) return;
  g_onSignal = onSignal;
  // The waiting thread takes no signals itself.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  pthread_t thread;
  bool started = pthread_create(&thread, nullptr, WaitForSignals, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (!started) return;
  pthread_detach(thread);
  struct sigaction action = {};
  action.sa_handler = Notify;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

}  // namespace plat
