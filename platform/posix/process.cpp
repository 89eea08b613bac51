#include "platform/process.h"

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

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

namespace plat {

bool RunQuietly(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace plat
