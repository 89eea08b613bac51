#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include "platform/posix/descriptors.h"

extern char** environ;

namespace plat {

namespace {

// Standard input from the pipe, output and error to /dev/null, a process group of its own.
bool SpawnReader(const std::vector<std::string>& words, int readEnd) {
  if (words.empty()) return false;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  bool ok = posix_spawn_file_actions_adddup2(&actions, readEnd, 0) == 0 &&
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
            posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0 &&
            posix_spawnattr_setpgroup(&attr, 0) == 0 &&
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP) == 0;
  if (ok) {
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    ok = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0;
  }
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return ok;
}

}  // namespace

OutputHandle StartPipedCommand(const std::string&, const std::vector<std::string>& words) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return kNoOutput;
  ends[0] = AboveStdDescriptors(ends[0]);
  ends[1] = AboveStdDescriptors(ends[1]);
  if (ends[0] < 0 || ends[1] < 0) {
    if (ends[0] >= 0) close(ends[0]);
    if (ends[1] >= 0) close(ends[1]);
    return kNoOutput;
  }
  bool started = SpawnReader(words, ends[0]);
  close(ends[0]);
  if (!started) {
    close(ends[1]);
    return kNoOutput;
  }
  // A write after the reader has gone must fail with EPIPE, not end the launcher. The Java
  // runtime installs its own handling of SIGPIPE later.
  signal(SIGPIPE, SIG_IGN);
  return ends[1];
}

}  // namespace plat
