// Small helpers over file descriptors shared by the POSIX side of the platform layer.
#pragma once
#include <fcntl.h>
#include <unistd.h>

namespace plat {

// Moves a descriptor that landed on 0, 1 or 2 (because the process was started with that
// standard stream closed) above them, close-on-exec, so that it never doubles as a
// standard stream. -1 stays -1, and so does a failed move.
inline int AboveStdDescriptors(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  close(fd);
  return moved;
}

}  // namespace plat
