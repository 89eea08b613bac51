// The shared instance table: registration, first-instance election, single instance, and
// the instance thread that carries object messages between the processes.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instances/block.h"
#include "instances/protocol.h"
#include "payload/context.h"
#include "platform/ipc.h"

// Called for every message completed for this process: on the delivery thread, or on the
// instance thread when there is none.
using DeliverFn = std::function<void(uint32_t sender, std::vector<uint8_t>& message)>;

// Complete messages waiting for the application's receiver. The instance thread appends;
// the delivery thread takes them in order and calls the receiver, however long it takes.
// While the queue is full the instance thread leaves further chunks for this process in the
// slot, and their senders wait. Shared with the delivery thread, which may outlive the
// instance state when a receiver does not return.
struct DeliveryQueue {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<CompletedMessage> messages;
  size_t bytes = 0;
  bool stopping = false;
  bool ended = false;  // the delivery thread has left its loop
  DeliverFn deliver;
};

constexpr size_t kMaxQueuedDeliveries = 32;
constexpr size_t kMaxQueuedDeliveryBytes = size_t{16} << 20;

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
  DeliverFn deliver;  // used by the instance thread itself while `delivery` is null
  std::shared_ptr<DeliveryQueue> delivery;
  std::thread deliveryThread;
  bool holdingChunk = false;  // a chunk for us waits in the slot until the queue has room
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
// chunk of the head message, delivery (or handing the message to the delivery queue).
// Tests drive it directly.
void InstancePass(InstanceState& state);

// Delivers the oldest message of the delivery queue, if any; true when there was one. The
// delivery thread's step; tests call it in its place.
bool DeliverNext(DeliveryQueue& queue);

// Ends the instance thread and the delivery thread: clears the running flag, wakes them
// and waits a moment for them. Messages not yet delivered are dropped. A delivery thread
// that does not end in that time (stuck in a receiver) is left running with its queue; an
// instance thread that does not is left too, and the block stays mapped for it.
void StopInstanceThread(InstanceState& state);

void ShutdownInstance(InstanceState& state);
void DetachInstanceStorage(InstanceState& state);
