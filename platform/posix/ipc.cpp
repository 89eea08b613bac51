#include "platform/ipc.h"

#include "platform/posix/descriptors.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace plat {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic_ref<uint32_t> Word(uint32_t* p) { return std::atomic_ref<uint32_t>(*p); }

// Sleeps while *word == expected, at most `timeoutMs` (no limit when negative). The word
// lives in memory shared between processes, so the futex is not a private one.
void FutexWait(uint32_t* word, uint32_t expected, int timeoutMs) {
  timespec limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000000L};
  syscall(SYS_futex, word, FUTEX_WAIT, expected, timeoutMs < 0 ? nullptr : &limit, nullptr, 0);
}

void FutexWakeAll(uint32_t* word) { syscall(SYS_futex, word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0); }

int OpenPidfd(uint32_t pid) {
  if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return -1;
  return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

// A pidfd becomes readable when its process has ended, zombie or reaped.
bool PidfdExited(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// The lock word holds its owner's process id, 0 when free. An owner that no longer runs
// has died holding it: the lock then counts as acquired, like an abandoned mutex.
bool AcquireLockWord(uint32_t* word, int timeoutMs) {
  const uint32_t self = CurrentProcessId();
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    uint32_t owner = 0;
    if (Word(word).compare_exchange_strong(owner, self)) return true;
    // Our own id without our holding it is left from an earlier process with the same id.
    if (owner == self || !ProcessIsAlive(owner)) {
      if (Word(word).compare_exchange_strong(owner, self)) return true;
      continue;
    }
    int wait = 50;
    if (timeoutMs >= 0) {
      int left = RemainingMs(deadline);
      if (left == 0) return false;
      if (left < wait) wait = left;
    }
    FutexWait(word, owner, wait);
  }
}

void ReleaseLockWord(uint32_t* word) {
  uint32_t self = CurrentProcessId();
  Word(word).compare_exchange_strong(self, 0);
  FutexWakeAll(word);
}

// Threads of this process exclude each other here; the lock word only tells processes apart.
std::mutex g_localSlotLock;

bool LockLocally(Clock::time_point deadline, bool unlimited) {
  if (unlimited) {
    g_localSlotLock.lock();
    return true;
  }
  while (!g_localSlotLock.try_lock()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string UserPrefix() {
  char prefix[32];
  snprintf(prefix, sizeof prefix, "/%u.", static_cast<unsigned>(getuid()));
  return prefix;
}

// Opens (or creates) the object and takes a shared lock on it for as long as we use it.
// An object that its last user removed while we opened it is left for a fresh one.
int OpenSharedObject(const std::string& name) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    int fd = AboveStdDescriptors(shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd < 0) return -1;
    struct stat st {};
    if (flock(fd, LOCK_SH) == 0 && fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
    close(fd);
  }
  return -1;
}

// The objects this process uses. A process that ends without detaching (the application
// called System.exit) still removes an object it was the last user of, at exit; its views
// stay mapped for threads that may still run.
struct InUse {
  int descriptor;
  char name[256];
};
InUse g_inUse[4];
std::mutex g_inUseLock;

void RemoveIfLastUser(int fd, const char* name) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) shm_unlink(name);
}

void RemoveUnusedAtExit() {
  std::lock_guard<std::mutex> lock(g_inUseLock);
  for (InUse& u : g_inUse)
    if (u.descriptor >= 0) RemoveIfLastUser(u.descriptor, u.name);
}

void NoteInUse(int fd, const std::string& name) {
  std::lock_guard<std::mutex> lock(g_inUseLock);
  static bool registered = [] {
    for (InUse& u : g_inUse) u.descriptor = -1;
    return atexit(RemoveUnusedAtExit) == 0;
  }();
  (void)registered;
  for (InUse& u : g_inUse)
    if (u.descriptor < 0 && name.size() < sizeof u.name) {
      u.descriptor = fd;
      snprintf(u.name, sizeof u.name, "%s", name.c_str());
      return;
    }
}

void NoteNoLongerInUse(int fd) {
  std::lock_guard<std::mutex> lock(g_inUseLock);
  for (InUse& u : g_inUse)
    if (u.descriptor == fd) u.descriptor = -1;
}

bool MapSharedObject(const std::string& name, size_t size, SharedMemory& out) {
  int fd = OpenSharedObject(name);
  if (fd < 0) return false;
  struct stat st {};
  bool sized = fstat(fd, &st) == 0 && (static_cast<size_t>(st.st_size) >= size ||
                                       (ftruncate(fd, static_cast<off_t>(size)) == 0 && fstat(fd, &st) == 0));
  void* view = sized && static_cast<size_t>(st.st_size) >= size
                   ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                   : MAP_FAILED;
  if (view == MAP_FAILED) {
    close(fd);
    return false;
  }
  out.data = static_cast<uint8_t*>(view);
  out.size = size;
  out.mapping = nullptr;
  out.mapped = true;
  out.descriptor = fd;
  out.name = name;
  NoteInUse(fd, name);
  return true;
}

struct Watcher {
  int pidfd = -1;
  int stopFd = -1;
  std::thread thread;
};

// Turns the exit of the watched process into a change pulse, so that the instance thread,
// asleep on the change counter, wakes at once.
void WatchExit(Watcher* w, uint32_t* changeCounter) {
  pollfd fds[2] = {{w->pidfd, POLLIN, 0}, {w->stopFd, POLLIN, 0}};
  while (poll(fds, 2, -1) < 0 && errno == EINTR) {
  }
  if (fds[1].revents == 0 && fds[0].revents != 0) {
    Word(changeCounter).fetch_add(1);
    FutexWakeAll(changeCounter);
  }
}

}  // namespace

bool AttachSectionMemory(SharedMemory& out) {
  struct stat st {};
  if (stat("/proc/self/exe", &st) != 0) return false;
  char name[96];
  snprintf(name, sizeof name, "plb.%llx.%llx.section", static_cast<unsigned long long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino));
  return MapSharedObject(UserPrefix() + name, 3072, out);
}

bool AttachNamedMemory(const std::string& name, size_t size, SharedMemory& out) {
  std::string flat = name;
  for (char& c : flat)
    if (c == '/') c = '.';
  // A name the file system cannot hold (a deep executable path) is shortened, keeping it
  // distinct by a hash of the whole.
  if (flat.size() > 200) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : flat) hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    snprintf(tail, sizeof tail, ".%016llx", static_cast<unsigned long long>(hash));
    flat = flat.substr(flat.size() - 100) + tail;
  }
  return MapSharedObject(UserPrefix() + flat, size, out);
}

void DetachMemory(SharedMemory& memory) {
  if (memory.mapped && memory.data) munmap(memory.data, memory.size);
  if (memory.descriptor >= 0) {
    NoteNoLongerInUse(memory.descriptor);
    RemoveIfLastUser(memory.descriptor, memory.name.c_str());
    close(memory.descriptor);
  }
  memory = SharedMemory{};
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

bool ProcessIsAlive(uint32_t pid) {
  int fd = OpenPidfd(pid);
  if (fd < 0) return false;
  bool alive = !PidfdExited(fd);
  close(fd);
  return alive;
}

bool OpenProcessWatch(uint32_t pid, uint32_t* changeCounter, ProcessWatch& out) {
  out = ProcessWatch{};
  auto* w = new Watcher;
  w->pidfd = OpenPidfd(pid);
  w->stopFd = eventfd(0, EFD_CLOEXEC);
  if (w->pidfd < 0 || w->stopFd < 0 || PidfdExited(w->pidfd)) {
    if (w->pidfd >= 0) close(w->pidfd);
    if (w->stopFd >= 0) close(w->stopFd);
    delete w;
    return false;
  }
  try {
    w->thread = std::thread(WatchExit, w, changeCounter);
  } catch (...) {  // no thread: the process can still be asked whether it runs
  }
  out.pid = pid;
  out.impl = w;
  return true;
}

bool WatchedProcessRuns(const ProcessWatch& watch) {
  auto* w = static_cast<Watcher*>(watch.impl);
  return w && !PidfdExited(w->pidfd);
}

void CloseProcessWatch(ProcessWatch& watch) {
  auto* w = static_cast<Watcher*>(watch.impl);
  watch = ProcessWatch{};
  if (!w) return;
  uint64_t one = 1;
  if (write(w->stopFd, &one, sizeof one) < 0) {
  }
  if (w->thread.joinable()) w->thread.join();
  close(w->pidfd);
  close(w->stopFd);
  delete w;
}

// Nothing to publish: every process finds the objects in the block.
bool CreateSlotObjects(uint32_t* lockWord, uint32_t* changeCounter, SlotObjects& out) {
  out = SlotObjects{lockWord, changeCounter, 0, 0};
  return true;
}

bool OpenSlotObjects(const ProcessWatch&, uint64_t, uint64_t, uint32_t* lockWord, uint32_t* changeCounter,
                     SlotObjects& out) {
  out = SlotObjects{lockWord, changeCounter, 0, 0};
  return true;
}

void CloseSlotObjects(SlotObjects& slot) { slot = SlotObjects{}; }

bool LockSlot(const SlotObjects& slot, int timeoutMs) {
  if (!slot.mutex) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  if (!LockLocally(deadline, timeoutMs < 0)) return false;
  int left = timeoutMs < 0 ? -1 : RemainingMs(deadline);
  if (AcquireLockWord(static_cast<uint32_t*>(slot.mutex), left)) return true;
  g_localSlotLock.unlock();
  return false;
}

void UnlockSlot(const SlotObjects& slot) {
  ReleaseLockWord(static_cast<uint32_t*>(slot.mutex));
  g_localSlotLock.unlock();
}

void PulseChange(const SlotObjects&, uint32_t* changeCounter) {
  Word(changeCounter).fetch_add(1);
  FutexWakeAll(changeCounter);
}

// The futex compares the counter with `seen` and sleeps in one step, so a pulse between
// the caller's check and the sleep is not lost. The watcher thread of `first` pulses when
// that process ends.
void WaitForChange(const SlotObjects&, uint32_t* changeCounter, uint32_t seen, const ProcessWatch&,
                   int timeoutMs) {
  FutexWait(changeCounter, seen, timeoutMs);
}

NamedMutexWait AcquireNamedMutex(const std::string& name, int timeoutMs, unsigned& error) {
  // The memory stays for the life of the process, like the handle of the mutex it stands
  // for; at an orderly exit the last user removes it.
  static struct Held {
    SharedMemory memory;
    ~Held() { DetachMemory(memory); }
  } held;
  errno = 0;
  if (held.memory.data || !AttachNamedMemory(name, sizeof(uint32_t), held.memory)) {
    error = static_cast<unsigned>(errno);
    return NamedMutexWait::Failed;
  }
  auto* word = reinterpret_cast<uint32_t*>(held.memory.data);
  return AcquireLockWord(word, timeoutMs) ? NamedMutexWait::Acquired : NamedMutexWait::TimedOut;
}

// Like ExitProcess, which drops every mapping the process held: objects it was the last
// user of go, although _exit runs no atexit handler.
void ExitProcessNow(int code) {
  fflush(nullptr);
  RemoveUnusedAtExit();
  _exit(code);
}

}  // namespace plat
