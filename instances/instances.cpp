#include "instances/instances.h"

#include <cstdio>

#include "launcher/messages.h"
#include "payload/config.h"

InstanceState* g_instance = nullptr;

namespace {

// Edits of the instance list are serialized between processes by the slot mutex, so that
// two registrations or a prune and a registration cannot overwrite each other. A mutex
// that cannot be had within this time leaves the edit unguarded rather than hanging.
constexpr int kListLockMs = 1000;

uint32_t* LockWord(InstanceState& s) { return SlotLockWord(s.storage.data); }

void ReplaceSlotObjects(InstanceState& s, plat::SlotObjects fresh, uint32_t owner) {
  std::lock_guard<std::mutex> lock(s.queueLock);
  plat::CloseSlotObjects(s.slot);
  s.slot = fresh;
  s.slotOwner = plat::HasSlotObjects(fresh) ? owner : 0;
}

void PublishSlotObjects(InstanceState& s) {
  Store(s.block->mutexHandle, s.slot.mutexValue);
  Store(s.block->eventHandle, s.slot.eventValue);
}

// Takes the objects the first instance published, in place of any we hold: after a
// take-over they may be new ones, and objects we created for an election we lost are not
// the ones the others use. Values published anew while we duplicated are not used.
void OpenPublishedSlotObjects(InstanceState& s) {
  SharedBlock& b = *s.block;
  uint64_t mutexValue = Load(b.mutexHandle), eventValue = Load(b.eventHandle);
  plat::SlotObjects fresh;
  if (!plat::OpenSlotObjects(s.firstProcess, mutexValue, eventValue, LockWord(s), &b.changeCounter, fresh)) return;
  if (Load(b.mutexHandle) != mutexValue || Load(b.eventHandle) != eventValue) {
    plat::CloseSlotObjects(fresh);
    return;
  }
  ReplaceSlotObjects(s, fresh, s.attachedFirst);
}

void BecomeAttachedToSelf(InstanceState& s) {
  s.attachedFirst = s.self;
  plat::CloseProcessWatch(s.firstProcess);
}

// This process becomes the first instance in place of `expected` (0, or a dead process).
// The field is swapped atomically, so of two processes electing at once only one wins.
bool TakeFirstRole(InstanceState& s, uint32_t expected) {
  SharedBlock& b = *s.block;
  if (!plat::HasSlotObjects(s.slot)) {
    plat::SlotObjects fresh;
    if (plat::CreateSlotObjects(LockWord(s), &b.changeCounter, fresh)) ReplaceSlotObjects(s, fresh, s.self);
  }
  if (!CompareExchange(b.firstInstance, expected, s.self)) return false;
  PublishSlotObjects(s);
  BecomeAttachedToSelf(s);
  return true;
}

void AttachToFirst(InstanceState& s, uint32_t first) {
  s.attachedFirst = first;
  plat::CloseProcessWatch(s.firstProcess);
  plat::OpenProcessWatch(first, &s.block->changeCounter, s.firstProcess);
  OpenPublishedSlotObjects(s);
}

// The queue lock keeps the instance thread from replacing the slot objects meanwhile.
template <typename Edit>
void EditInstanceList(InstanceState& s, Edit edit) {
  std::lock_guard<std::mutex> queue(s.queueLock);
  bool locked = plat::LockSlot(s.slot, kListLockMs);
  edit(*s.block);
  if (locked) plat::UnlockSlot(s.slot);
}

}  // namespace

std::string MappingName(const std::string& appId) {
  std::string name = appId;
  for (char& c : name)
    if (c == '\\') c = '.';
  return name + ".plb.mapping";
}

std::string MutexName(const std::string& appId, const std::string& exePath) {
  std::string name = appId.empty() ? exePath : appId;
  for (char& c : name)
    if (c == ':' || c == '\\') c = '.';
  return name + ".plb.mutex";
}

void AttachInstanceStorage(InstanceState& state, const std::string& appId) {
  bool attached = appId.empty() ? plat::AttachSectionMemory(state.storage)
                                : plat::AttachNamedMemory(MappingName(appId), kMappingBlockSize, state.storage);
  // Without shared memory the process runs on its own: not listed, no messages.
  state.block = attached ? BlockAt(state.storage.data) : nullptr;
}

void ElectFirstInstance(InstanceState& s) {
  SharedBlock& b = *s.block;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const uint32_t first = Load(b.firstInstance);
    if (first == s.self) {
      if (!plat::HasSlotObjects(s.slot)) TakeFirstRole(s, first);
      BecomeAttachedToSelf(s);
      return;
    }
    if (first != 0 && first == s.attachedFirst && plat::WatchedProcessRuns(s.firstProcess)) {
      if (s.slotOwner != first) OpenPublishedSlotObjects(s);
      return;
    }
    if (first != 0 && s.isAlive(first)) {
      AttachToFirst(s, first);
      return;
    }
    if (TakeFirstRole(s, first)) return;
    // Another process changed the field meanwhile: look again.
  }
}

void RegisterInstance(InstanceState& s) { RegisterInstanceAs(s, plat::CurrentProcessId()); }

void RegisterInstanceAs(InstanceState& s, uint32_t self) {
  s.self = self;
  s.running = 1;
  if (!s.block) return;
  ElectFirstInstance(s);
  EditInstanceList(s, [&](SharedBlock& b) {
    PruneInstanceList(b, s.isAlive);
    AddInstance(b, s.self);  // a full list leaves this process unlisted
  });
}

std::vector<uint32_t> PruneAndListInstances(InstanceState& s) {
  if (!s.block) return {};
  EditInstanceList(s, [&](SharedBlock& b) { PruneInstanceList(b, s.isAlive); });
  return ListInstances(*s.block);
}

void SingleInstanceCheck(const LauncherContext& ctx, InstanceState& state) {
  unsigned error = 0;
  plat::NamedMutexWait wait = plat::AcquireNamedMutex(MutexName(CfgAppId(ctx), ctx.exePath), 100, error);
  if (wait == plat::NamedMutexWait::Acquired) return;
  if (wait == plat::NamedMutexWait::Failed) std::printf("CreateMutex error: %d\n", static_cast<int>(error));
  ShowError(Message(ctx, kMessageAlreadyRunning));
  // Released as at any other exit, so that a table this process alone used goes away.
  ShutdownInstance(state);
  DetachInstanceStorage(state);
  plat::ExitProcessNow(kExitAlreadyRunning);
}

void ShutdownInstance(InstanceState& s) {
  s.started = false;
  s.running = 0;
  if (!s.block) return;
  StopInstanceThread(s);
  if (s.threadLeftRunning) return;  // it still owns the handles and the partial messages
  plat::CloseProcessWatch(s.firstProcess);
  ReplaceSlotObjects(s, plat::SlotObjects{}, 0);
  s.partials.clear();
  std::lock_guard<std::mutex> lock(s.queueLock);
  s.queue.clear();
}

void DetachInstanceStorage(InstanceState& s) {
  if (s.threadLeftRunning) return;  // never unmap memory that a running thread may touch
  s.block = nullptr;
  plat::DetachMemory(s.storage);
}
