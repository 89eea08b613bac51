#include "platform/std_streams.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <type_traits>

namespace plat {

namespace {
DWORD StdId(StdStream s) { return s == StdStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE; }
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

namespace {

// The functions of one C runtime that binding its stream needs: the launcher's own, or the
// universal C runtime that the VM library prints through (the runtime's own messages, "Picked
// up ...", an uncaught exception's first line), which keeps descriptors of its own.
struct Crt {
  FILE* (*stream)(int fd);  // 1 or 2
  int (*flush)(FILE*);
  int (*fileno)(FILE*);
  int (*openOsfhandle)(intptr_t, int);
  intptr_t (*getOsfhandle)(int);
  int (*dup)(int);
  int (*dup2)(int, int);
  int (*close)(int);
  int (*setvbuf)(FILE*, char*, int, size_t);
  FILE* (*freopen)(const char*, const char*, FILE*);
};

const Crt kOwnCrt = {[](int fd) { return fd == 1 ? stdout : stderr; }, fflush, _fileno, _open_osfhandle,
                     _get_osfhandle, _dup, _dup2, _close, setvbuf, freopen};

FILE*(__cdecl* g_ucrtIob)(unsigned) = nullptr;

// The universal C runtime's functions when that library is loaded; when it is loaded only later,
// it takes the standard handles, already replaced, as its own.
bool FindUcrt(Crt& crt) {
  HMODULE m = GetModuleHandleA("ucrtbase.dll");
  if (!m) return false;
  auto find = [m](auto& fn, const char* name) { fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(GetProcAddress(m, name)); return fn != nullptr; };
  if (!find(g_ucrtIob, "__acrt_iob_func")) return false;
  crt.stream = [](int fd) { return g_ucrtIob(static_cast<unsigned>(fd)); };
  return find(crt.flush, "fflush") && find(crt.fileno, "_fileno") && find(crt.openOsfhandle, "_open_osfhandle") &&
         find(crt.getOsfhandle, "_get_osfhandle") && find(crt.dup, "_dup") && find(crt.dup2, "_dup2") &&
         find(crt.close, "_close") && find(crt.setvbuf, "setvbuf") && find(crt.freopen, "freopen");
}

// What the universal C runtime's descriptors 1 and 2 were before they were bound (-1: none,
// -2: not bound).
intptr_t g_ucrtSaved[3] = {-2, -2, -2};

// Points a C runtime's stream at a duplicate of the target, in append text mode; the duplicate
// is kept from child processes so that a command reading the target sees its end when the
// launcher exits. The old descriptor is kept as a duplicate (-1 when it had none).
intptr_t Bind(const Crt& crt, int fd, HANDLE target) {
  FILE* stream = crt.stream(fd);
  crt.flush(stream);
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), target, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return -1;
  int bound = crt.openOsfhandle(reinterpret_cast<intptr_t>(copy), _O_APPEND | _O_TEXT | _O_WRONLY);
  if (bound < 0) {
    CloseHandle(copy);
    return -1;
  }
  if (crt.fileno(stream) < 0) crt.freopen("NUL", "a", stream);
  int streamFd = crt.fileno(stream);
  int saved = streamFd >= 0 ? crt.dup(streamFd) : -1;
  if (saved >= 0) SetHandleInformation(reinterpret_cast<HANDLE>(crt.getOsfhandle(saved)), HANDLE_FLAG_INHERIT, 0);
  if (streamFd >= 0 && crt.dup2(bound, streamFd) == 0) {
    SetHandleInformation(reinterpret_cast<HANDLE>(crt.getOsfhandle(streamFd)), HANDLE_FLAG_INHERIT, 0);
    crt.setvbuf(stream, nullptr, _IONBF, 0);
  }
  crt.close(bound);
  return saved;
}

void Unbind(const Crt& crt, int fd, intptr_t saved) {
  FILE* stream = crt.stream(fd);
  crt.flush(stream);
  int streamFd = crt.fileno(stream);
  if (streamFd < 0) return;
  if (saved >= 0) {
    crt.dup2(static_cast<int>(saved), streamFd);
    crt.close(static_cast<int>(saved));
  } else {
    crt.close(streamFd);
  }
}

int Fd(StdStream s) { return s == StdStream::Output ? 1 : 2; }

}  // namespace

// The C runtimes' streams write to their descriptors (1 or 2), whose system handles were fixed
// when each runtime started, in a windowed program usually to nothing.
intptr_t BindRuntimeStream(StdStream s, OutputHandle target) {
  if (!Valid(target)) return -1;
  Crt ucrt;
  intptr_t own = Bind(kOwnCrt, Fd(s), AsHandle(target));
  if (FindUcrt(ucrt)) g_ucrtSaved[Fd(s)] = Bind(ucrt, Fd(s), AsHandle(target));
  return own;
}

void UnbindRuntimeStream(StdStream s, intptr_t saved) {
  Crt ucrt;
  if (g_ucrtSaved[Fd(s)] != -2 && FindUcrt(ucrt)) Unbind(ucrt, Fd(s), g_ucrtSaved[Fd(s)]);
  g_ucrtSaved[Fd(s)] = -2;
  Unbind(kOwnCrt, Fd(s), saved);
}

void FlushRuntimeStreams() {
  fflush(stdout);
  fflush(stderr);
  Crt ucrt;
  if (FindUcrt(ucrt)) ucrt.flush(nullptr);
}

}  // namespace plat
