// Kernel services shared between the launcher processes of one application: the memory
// that holds the instance table, the slot mutex and the change event, handles on other
// processes, and the named single-instance mutex.
//
// Windows uses the executable's shared section or a named page-file mapping, an unnamed
// mutex and a manual-reset event duplicated out of the first instance, and process handles.
// Linux uses a POSIX shared-memory object, a lock word in that memory that records its
// owner's process id (an owner that died leaves it acquirable), the change counter itself
// as a futex, and pidfds. The README describes the Linux side.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

struct SharedMemory {
  uint8_t* data = nullptr;
  size_t size = 0;
  void* mapping = nullptr;  // the mapping handle (Windows); none for the own section
  bool mapped = false;      // a view this process made and unmaps when it detaches
  // Linux: the open object, on which every user holds a shared lock, and its name, so
  // that the last user to detach removes it, as Windows drops a mapping nobody holds.
  int descriptor = -1;
  std::string name;
};

// The memory shared by every process started from the same executable file, zero-filled
// at first: the section ".SHMMESS" on Windows (3072 bytes); on Linux a shared-memory object
// of the same size named after the user and the executable file's device and inode.
bool AttachSectionMemory(SharedMemory& out);

// A named shared memory of `size` bytes, created or opened, zero-filled when new. The name
// is used as it stands on Windows; on Linux "/" becomes "." and the user's id goes first.
bool AttachNamedMemory(const std::string& name, size_t size, SharedMemory& out);

// Unmaps a view made by one of the above and closes its mapping (nothing for the section).
void DetachMemory(SharedMemory& memory);

uint32_t CurrentProcessId();

// True while process `pid` runs. A process that cannot be opened (gone, no access) or has
// ended (a zombie included) is dead; so are ids that cannot name a process.
bool ProcessIsAlive(uint32_t pid);

// A handle on another process: it tells whether the process still runs, and while it is
// open the process's exit counts as a change for WaitForChange of this process.
struct ProcessWatch {
  uint32_t pid = 0;
  void* impl = nullptr;  // the process handle (Windows); the pidfd and its watcher (Linux)
};

// `changeCounter` is the block's change counter, pulsed on Linux when the process exits;
// it must stay mapped until CloseProcessWatch.
bool OpenProcessWatch(uint32_t pid, uint32_t* changeCounter, ProcessWatch& out);
bool WatchedProcessRuns(const ProcessWatch& watch);
void CloseProcessWatch(ProcessWatch& watch);

// The slot mutex and the change event as this process holds them, and the values that the
// block publishes for them when this process is the first instance: handle values on
// Windows; 0 on Linux, where the objects are words of the block itself.
struct SlotObjects {
  void* mutex = nullptr;  // mutex handle (Windows); the lock word in the block (Linux)
  void* event = nullptr;  // event handle (Windows); the change counter (Linux)
  uint64_t mutexValue = 0;
  uint64_t eventValue = 0;
};

inline bool HasSlotObjects(const SlotObjects& s) { return s.mutex && s.event; }

// Creates the slot mutex and change event for a new first instance. `lockWord` and
// `changeCounter` are the block's words that Linux uses for them.
bool CreateSlotObjects(uint32_t* lockWord, uint32_t* changeCounter, SlotObjects& out);

// Takes the objects that the first instance published: duplicated out of its process on
// Windows, the words of the block on Linux.
bool OpenSlotObjects(const ProcessWatch& first, uint64_t mutexValue, uint64_t eventValue, uint32_t* lockWord,
                     uint32_t* changeCounter, SlotObjects& out);
void CloseSlotObjects(SlotObjects& slot);

// Waits for the slot mutex, without limit when `timeoutMs` is negative. A mutex whose owner
// died while holding it counts as acquired. False on a time-out or a failure.
bool LockSlot(const SlotObjects& slot, int timeoutMs);
void UnlockSlot(const SlotObjects& slot);

// Wakes every thread waiting for a change, in every process, and increments the counter.
void PulseChange(const SlotObjects& slot, uint32_t* changeCounter);

// Waits until the change counter differs from `seen`, a pulse arrives, the watched
// process ends or `timeoutMs` passes (no limit when negative). On Linux no pulse can be
// lost between the counter check and the wait; a Windows event pulse can be, so callers
// keep a time-out there (kPulsesCanBeMissed).
void WaitForChange(const SlotObjects& slot, uint32_t* changeCounter, uint32_t seen, const ProcessWatch& first,
                   int timeoutMs);

#ifdef _WIN32
inline constexpr bool kPulsesCanBeMissed = true;
#else
inline constexpr bool kPulsesCanBeMissed = false;
#endif

enum class NamedMutexWait { Acquired, TimedOut, Failed };

// Creates or opens the named mutex and waits for it up to `timeoutMs`. An acquired mutex
// (an abandoned one included) stays held until the process ends. On Failed, `error` holds
// the system's error code.
NamedMutexWait AcquireNamedMutex(const std::string& name, int timeoutMs, unsigned& error);

// Ends the process at once with `code`.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace plat
