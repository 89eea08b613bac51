#include "platform/ipc.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace plat {

namespace {

// The executable's own shared section: the system maps the same pages into every process
// started from this file. The section is marked shared, readable and writable, and holds
// zeros in the file.
__attribute__((section(".SHMMESS"), shared, aligned(64))) uint8_t g_sharedSection[3072] = {0};

HANDLE AsHandle(void* p) { return static_cast<HANDLE>(p); }
HANDLE AsHandle(uint64_t v) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(v)); }

DWORD WaitTime(int timeoutMs) { return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs); }

HANDLE Duplicate(HANDLE fromProcess, uint64_t value) {
  HANDLE out = nullptr;
  if (value == 0 ||
      !DuplicateHandle(fromProcess, AsHandle(value), GetCurrentProcess(), &out, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return out;
}

SlotObjects HeldObjects(HANDLE mutex, HANDLE event) {
  return SlotObjects{mutex, event, reinterpret_cast<uintptr_t>(mutex), reinterpret_cast<uintptr_t>(event)};
}

}  // namespace

bool AttachSectionMemory(SharedMemory& out) {
  out.data = g_sharedSection;
  out.size = sizeof g_sharedSection;
  out.mapping = nullptr;
  out.mapped = false;
  return true;
}

bool AttachNamedMemory(const std::string& name, size_t size, SharedMemory& out) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size),
                                      name.c_str());
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  out.data = static_cast<uint8_t*>(view);
  out.size = size;
  out.mapping = mapping;
  out.mapped = true;
  return true;
}

void DetachMemory(SharedMemory& memory) {
  if (memory.mapped && memory.data) UnmapViewOfFile(memory.data);
  if (memory.mapping) CloseHandle(AsHandle(memory.mapping));
  memory = SharedMemory{};
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessIsAlive(uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE, FALSE, pid);
  if (!process) return false;
  DWORD code = 0;
  bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return alive;
}

bool OpenProcessWatch(uint32_t pid, uint32_t*, ProcessWatch& out) {
  out = ProcessWatch{};
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE, FALSE, pid);
  if (!process) return false;
  out.pid = pid;
  out.impl = process;
  return true;
}

bool WatchedProcessRuns(const ProcessWatch& watch) {
  return watch.impl && WaitForSingleObject(AsHandle(watch.impl), 0) == WAIT_TIMEOUT;
}

void CloseProcessWatch(ProcessWatch& watch) {
  if (watch.impl) CloseHandle(AsHandle(watch.impl));
  watch = ProcessWatch{};
}

bool CreateSlotObjects(uint32_t*, uint32_t*, SlotObjects& out) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!mutex || !event) {
    if (mutex) CloseHandle(mutex);
    if (event) CloseHandle(event);
    return false;
  }
  out = HeldObjects(mutex, event);
  return true;
}

bool OpenSlotObjects(const ProcessWatch& first, uint64_t mutexValue, uint64_t eventValue, uint32_t*, uint32_t*,
                     SlotObjects& out) {
  if (!first.impl) return false;
  HANDLE mutex = Duplicate(AsHandle(first.impl), mutexValue);
  HANDLE event = mutex ? Duplicate(AsHandle(first.impl), eventValue) : nullptr;
  if (!event) {
    if (mutex) CloseHandle(mutex);
    return false;
  }
  out = HeldObjects(mutex, event);
  return true;
}

void CloseSlotObjects(SlotObjects& slot) {
  if (slot.mutex) CloseHandle(AsHandle(slot.mutex));
  if (slot.event) CloseHandle(AsHandle(slot.event));
  slot = SlotObjects{};
}

bool LockSlot(const SlotObjects& slot, int timeoutMs) {
  if (!slot.mutex) return false;
  DWORD r = WaitForSingleObject(AsHandle(slot.mutex), WaitTime(timeoutMs));
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

void UnlockSlot(const SlotObjects& slot) { ReleaseMutex(AsHandle(slot.mutex)); }

void PulseChange(const SlotObjects& slot, uint32_t* changeCounter) {
  if (slot.event) PulseEvent(AsHandle(slot.event));
  std::atomic_ref<uint32_t>(*changeCounter).fetch_add(1);
}

void WaitForChange(const SlotObjects& slot, uint32_t* changeCounter, uint32_t seen, const ProcessWatch& first,
                   int timeoutMs) {
  if (std::atomic_ref<uint32_t>(*changeCounter).load() != seen) return;
  HANDLE handles[2];
  DWORD count = 0;
  if (slot.event) handles[count++] = AsHandle(slot.event);
  if (first.impl) handles[count++] = AsHandle(first.impl);
  if (count == 0) Sleep(WaitTime(timeoutMs) == INFINITE ? 100 : WaitTime(timeoutMs));
  else WaitForMultipleObjects(count, handles, FALSE, WaitTime(timeoutMs));
}

NamedMutexWait AcquireNamedMutex(const std::string& name, int timeoutMs, unsigned& error) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (!mutex) {
    error = GetLastError();
    return NamedMutexWait::Failed;
  }
  // Held (or abandoned and so acquired): the handle stays open until the process ends.
  if (WaitForSingleObject(mutex, WaitTime(timeoutMs)) != WAIT_TIMEOUT) return NamedMutexWait::Acquired;
  ReleaseMutex(mutex);  // fails harmlessly: not owned
  return NamedMutexWait::TimedOut;
}

void ExitProcessNow(int code) {
  fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace plat
