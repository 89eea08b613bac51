#include "platform/std_streams.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace plat {

namespace {
DWORD StdId(StdStream s) { return s == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE; }
FILE* RuntimeStream(StdStream s) { return s == StdStream::Output ? stdout : stderr; }
HANDLE AsHandle(OutputHandle h) { return reinterpret_cast<HANDLE>(h); }
bool Valid(OutputHandle h) { return h != kNoOutput && h != 0; }
}  // namespace

// Append-only access: the system puts every write at the end of the file, whoever else
// writes to it. The pointer is moved to the end as well, for readers of the position.
OutputHandle OpenAppendFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_ARCHIVE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoOutput;
  SetFilePointer(h, 0, nullptr, FILE_END);
  return reinterpret_cast<OutputHandle>(h);
}

void CloseOutput(OutputHandle h) {
  if (Valid(h)) CloseHandle(AsHandle(h));
}

bool WriteOutput(OutputHandle h, const void* bytes, size_t n) {
  if (!Valid(h)) return false;
  const char* p = static_cast<const char*>(bytes);
  while (n > 0) {
    DWORD chunk = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n), done = 0;
    if (!WriteFile(AsHandle(h), p, chunk, &done, nullptr) || done == 0) return false;
    p += done;
    n -= done;
  }
  return true;
}

bool ReplaceStdHandle(StdStream s, OutputHandle target, OutputHandle& previous) {
  HANDLE old = GetStdHandle(StdId(s));
  previous = old == INVALID_HANDLE_VALUE ? kNoOutput : reinterpret_cast<OutputHandle>(old);
  SetStdHandle(StdId(s), AsHandle(target));
  return GetStdHandle(StdId(s)) == AsHandle(target);
}

void RestoreStdHandle(StdStream s, OutputHandle previous) {
  SetStdHandle(StdId(s), previous == kNoOutput ? nullptr : AsHandle(previous));
}

// The C runtime's stream writes to its descriptor (1 or 2), whose system handle was fixed
// at start-up, in a windowed program usually to nothing. The descriptor is pointed at a
// duplicate of the target, in append text mode; the duplicate is kept from child processes
// so that a command reading the target sees its end when the launcher exits. The old
// descriptor is kept as a duplicate (-1 when it had none).
intptr_t BindRuntimeStream(StdStream s, OutputHandle target) {
  FILE* stream = RuntimeStream(s);
  fflush(stream);
  HANDLE copy = nullptr;
  if (!Valid(target) ||
      !DuplicateHandle(GetCurrentProcess(), AsHandle(target), GetCurrentProcess(), &copy, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return -1;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_APPEND | _O_TEXT | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(copy);
    return -1;
  }
  if (_fileno(stream) < 0) freopen("NUL", "a", stream);
  int streamFd = _fileno(stream);
  int saved = streamFd >= 0 ? _dup(streamFd) : -1;
  if (saved >= 0) SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(saved)), HANDLE_FLAG_INHERIT, 0);
  if (streamFd >= 0 && _dup2(fd, streamFd) == 0) {
    SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(streamFd)), HANDLE_FLAG_INHERIT, 0);
    setvbuf(stream, nullptr, _IONBF, 0);
  }
  _close(fd);
  return saved;
}

void UnbindRuntimeStream(StdStream s, intptr_t saved) {
  FILE* stream = RuntimeStream(s);
  fflush(stream);
  int streamFd = _fileno(stream);
  if (streamFd < 0) return;
  if (saved >= 0) {
    _dup2(static_cast<int>(saved), streamFd);
    _close(static_cast<int>(saved));
  } else {
    _close(streamFd);
  }
}

void FlushRuntimeStreams() {
  fflush(stdout);
  fflush(stderr);
}

}  // namespace plat
