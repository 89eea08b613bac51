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

bool StartDetached(const std::vector<std::string>& argv, const std::string& made, const std::string& final,
                   const std::string& leftover) {
  if (argv.empty()) return false;
  // The paths reach the script as positional parameters, never as script text.
  std::vector<std::string> words = {
      "/bin/sh", "-c", "m=$1 f=$2 l=$3; shift 3; \"$@\" && mv -f -- \"$m\" \"$f\"; rm -f -- \"$m\" ${l:+\"$l\"}",
      "sh", made, final, leftover};
  words.insert(words.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (auto& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  for (int fd = 0; fd < 3; ++fd)
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
  // Nothing else of this process's (a caller's pipe, a build's job tokens) stays open in it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A session of its own: the terminal's signals and hang-up do not reach it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t pid = -1;
  int started = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return started == 0;
}

}  // namespace plat
