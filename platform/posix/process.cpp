#include "platform/process.h"

#include <pthread.h>

namespace plat {

namespace {
struct ThreadCall {
  int (*fn)(void*);
  void* arg;
  int result;
};
void* Trampoline(void* p) {
  auto* call = static_cast<ThreadCall*>(p);
  call->result = call->fn(call->arg);
  return nullptr;
}
}  // namespace

bool RunOnNewThread(int (*fn)(void*), void* arg, int& exitCode) {
  ThreadCall call{fn, arg, 0};
  pthread_t thread;
  if (pthread_create(&thread, nullptr, Trampoline, &call) != 0 &&
      pthread_create(&thread, nullptr, Trampoline, &call) != 0)
    return false;
  pthread_join(thread, nullptr);
  exitCode = call.result;
  return true;
}

void InitCommonControls() {}

}  // namespace plat

namespace plat {

bool RawCommandLine(std::string&) { return false; }

}  // namespace plat
