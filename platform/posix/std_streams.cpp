#include "platform/std_streams.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/descriptors.h"

namespace plat {

namespace {
int StdFd(StdStream s) { return s == StdStream::Output ? 1 : 2; }

bool SameFile(int a, int b) {
  struct stat sa, sb;
  return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

OutputHandle OpenAppendFile(const std::string& path) {
  int fd;
  do fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  fd = AboveStdDescriptors(fd);
  return fd < 0 ? kNoOutput : fd;
}

void CloseOutput(OutputHandle h) {
  if (h >= 0) close(static_cast<int>(h));
}

bool WriteOutput(OutputHandle h, const void* bytes, size_t n) {
  if (h < 0) return false;
  const char* p = static_cast<const char*>(bytes);
  while (n > 0) {
    ssize_t done = write(static_cast<int>(h), p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    p += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

// The standard descriptor keeps its number; the target is duplicated onto it, and a
// private copy of the old descriptor is kept for the restore.
bool ReplaceStdHandle(StdStream s, OutputHandle target, OutputHandle& previous) {
  int fd = StdFd(s);
  previous = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (previous < 0) previous = kNoOutput;
  int r;
  do r = dup2(static_cast<int>(target), fd);
  while (r < 0 && errno == EINTR);
  if (r == fd) return true;
  CloseOutput(previous);
  previous = kNoOutput;
  return false;
}

void RestoreStdHandle(StdStream s, OutputHandle previous) {
  int fd = StdFd(s);
  if (previous < 0) {
    close(fd);
    return;
  }
  dup2(static_cast<int>(previous), fd);
  close(static_cast<int>(previous));
}

// stdio writes to descriptors 1 and 2, which ReplaceStdHandle normally points at the
// target already. Where that was refused, the C library's stream variable (assignable in
// glibc) gets a stream over a descriptor of the target of its own; the old stream is kept.
intptr_t BindRuntimeStream(StdStream s, OutputHandle target) {
  FILE*& stream = s == StdStream::Output ? stdout : stderr;
  fflush(stream);
  FILE* old = nullptr;
  if (target >= 0 && !SameFile(StdFd(s), static_cast<int>(target))) {
    int copy = fcntl(static_cast<int>(target), F_DUPFD_CLOEXEC, 3);
    FILE* own = copy >= 0 ? fdopen(copy, "a") : nullptr;
    if (own) {
      old = stream;
      stream = own;
    } else if (copy >= 0) {
      close(copy);
    }
  }
  setvbuf(stream, nullptr, _IONBF, 0);
  return reinterpret_cast<intptr_t>(old);
}

void UnbindRuntimeStream(StdStream s, intptr_t saved) {
  if (!saved) return;
  FILE*& stream = s == StdStream::Output ? stdout : stderr;
  FILE* own = stream;
  stream = reinterpret_cast<FILE*>(saved);
  fclose(own);
}

void FlushRuntimeStreams() {
  fflush(stdout);
  fflush(stderr);
}

}  // namespace plat
