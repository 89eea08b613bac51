// The shared instance table: registration, first-instance election, single instance, and
// the instance thread that carries object messages between the processes.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instances/block.h"
#include "instances/protocol.h"
#include "payload/context.h"
#include "platform/ipc.h"

// Called on the instance thread for every message completed for this process.
using DeliverFn = std::function<void(uint32_t sender, std::vector<uint8_t>& message)>;

struct InstanceState {
  plat::SharedMemory storage;
  SharedBlock* block = nullptr;  // null when no shared memory could be attached
  uint32_t self = 0;
  uint32_t attachedFirst = 0;      // the first instance this process has attached to
  plat::ProcessWatch firstProcess;  // a handle on it, unless it is this process
  plat::SlotObjects slot;           // replaced only under queueLock
  uint32_t slotOwner = 0;           // the process whose objects `slot` holds (0: none)
  uint32_t lastSeenChange = 0;

  std::mutex queueLock;  // guards `queue` and the replacement of `slot`
  std::deque<OutgoingMessage> queue;
  std::vector<PartialMessage> partials;  // instance thread only

  std::atomic<int> running{0};
  std::atomic<bool> started{false};  // the instance thread has been started
  DeliverFn deliver;
  std::thread thread;
  std::atomic<bool> threadEnded{false};
  bool threadLeftRunning = false;  // it did not stop at shut-down: the block stays mapped

  // The liveness test; tests replace it.
  bool (*isAlive)(uint32_t) = plat::ProcessIsAlive;
  // The first instance counts a waiting chunk at most this often, so that a target that
  // is busy for a moment (delivering, or asleep between two pulses) does not lose it.
  std::chrono::milliseconds waitCountInterval{100};
  std::chrono::steady_clock::time_point lastWaitCount{};
};

extern InstanceState* g_instance;

// Attaches the shared block: a named mapping for a non-empty appid, else the executable's
// own shared section.
void AttachInstanceStorage(InstanceState& state, const std::string& appId);

// The mapping name for an appid: "\" becomes ".", then ".plb.mapping".
std::string MappingName(const std::string& appId);
// The single-instance mutex name: the appid, or without one the executable's path, with
// ":" and "\" turned into ".", then ".plb.mutex".
std::string MutexName(const std::string& appId, const std::string& exePath);

// Registers this process in the table and takes part in the first-instance election.
void RegisterInstance(InstanceState& state);
// The same under a given id (tests play several processes in one).
void RegisterInstanceAs(InstanceState& state, uint32_t self);

// Makes sure the block names a live first instance, taking the role over from a dead one.
void ElectFirstInstance(InstanceState& state);

// Drops dead processes (and the first instance) from the list, then lists the first
// instance followed by the others.
std::vector<uint32_t> PruneAndListInstances(InstanceState& state);

// "singleinstance" true: exits with code 11 after message 13 when another instance runs.
void SingleInstanceCheck(const LauncherContext& ctx, InstanceState& state);

// "singleinstance" custom: starts the instance thread, which delivers through the Java
// receiver (instances/natives.cpp).
void StartInstanceThread(InstanceState& state);
// The same with another delivery; does nothing when already started or without a block.
void StartInstanceThreadWith(InstanceState& state, DeliverFn deliver);

// Appends a message for `target` to the outgoing queue and wakes the instance thread.
void QueueMessage(InstanceState& state, uint32_t target, std::vector<uint8_t> message);
bool OutgoingQueueEmpty(InstanceState& state);

// One pass of the instance thread after a wake-up: election, the chunk in the slot, one
// chunk of the head message, delivery. Tests drive it directly.
void InstancePass(InstanceState& state);

// Ends the instance thread: clears the running flag, wakes it and waits a moment for it.
// A thread that does not end in that time (stuck in a receiver) is left running, and the
// block stays mapped for it.
void StopInstanceThread(InstanceState& state);

void ShutdownInstance(InstanceState& state);
void DetachInstanceStorage(InstanceState& state);
