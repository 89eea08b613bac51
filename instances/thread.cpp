// The instance thread: it moves this process's queued messages through the shared slot
// chunk by chunk, collects the chunks meant for this process and hands the messages they
// complete to the delivery thread, which calls the application's receiver. A receiver that
// takes its time therefore never keeps the instance thread from the slot.
#include <chrono>

#include "instances/instances.h"

namespace {

// How long a thread sleeps at most while a chunk waits in the slot or our own queue is
// not empty (so that the wait count goes on, and a slot that was left busy, or freed
// without a pulse, is seen without anybody pulsing), and always on Windows, where a pulse
// of the change event can be missed: there a missed pulse while chunks are moving costs
// kBusyRecheckMs.
constexpr int kRecheckMs = 100;
constexpr int kBusyRecheckMs = 10;
// While a chunk for us waits for room in the delivery queue, we look again this often: to
// take it as soon as there is room, and to keep its wait count from running up.
constexpr int kHoldRecheckMs = 20;
constexpr auto kStopWait = std::chrono::seconds(1);

uint32_t* Counter(InstanceState& s) { return &s.block->changeCounter; }

void Pulse(InstanceState& s) {
  std::lock_guard<std::mutex> lock(s.queueLock);
  plat::PulseChange(s.slot, Counter(s));
}

int WaitTimeout(InstanceState& s) {
  if (s.holdingChunk) return plat::kPulsesCanBeMissed ? kBusyRecheckMs : kHoldRecheckMs;
  bool pending = Load(s.block->slotBusy) != 0 || !OutgoingQueueEmpty(s);
  if (!plat::kPulsesCanBeMissed) return pending ? kRecheckMs : -1;
  return pending ? kBusyRecheckMs : kRecheckMs;
}

// The first instance counts how often a chunk has waited for its (live) target.
void CountWait(InstanceState& s) {
  if (Load(s.block->firstInstance) != s.self) return;
  auto now = std::chrono::steady_clock::now();
  if (s.lastWaitCount != std::chrono::steady_clock::time_point{} && now - s.lastWaitCount < s.waitCountInterval)
    return;
  s.lastWaitCount = now;
  FetchIncrement(s.block->waitCount);
}

// Frees the slot of a chunk nobody will take. Under the slot mutex, and only if the slot
// still holds that chunk, so that a chunk placed meanwhile is not dropped in its stead.
void DropChunk(InstanceState& s, uint32_t sequence, uint32_t target) {
  SharedBlock& b = *s.block;
  bool locked = plat::LockSlot(s.slot, kRecheckMs * 10);
  if (Load(b.slotBusy) != 0 && Load(b.chunkSequence) == sequence && Load(b.target) == target) Store(b.slotBusy, 0);
  if (locked) plat::UnlockSlot(s.slot);
}

bool DeliveryQueueFull(InstanceState& s) {
  if (!s.delivery) return false;
  std::lock_guard<std::mutex> lock(s.delivery->lock);
  return s.delivery->messages.size() >= kMaxQueuedDeliveries || s.delivery->bytes >= kMaxQueuedDeliveryBytes;
}

// Leaves the chunk for us in the slot until the delivery queue has room. We are alive and
// will take it, so its wait count goes back to 0: the first instance drops a chunk only for
// a target that it has seen not take it for a while.
void HoldChunk(InstanceState& s) {
  s.holdingChunk = true;
  Store(s.block->waitCount, 0);
}

void Deliver(InstanceState& s, CompletedMessage& message) {
  if (!s.delivery) {
    if (s.deliver) s.deliver(message.sender, message.bytes);
    return;
  }
  DeliveryQueue& q = *s.delivery;
  try {
    std::lock_guard<std::mutex> lock(q.lock);
    if (q.stopping) return;
    q.messages.push_back(std::move(message));
    q.bytes += q.messages.back().bytes.size();
  } catch (...) {  // out of memory on our side: the message is lost
    return;
  }
  q.changed.notify_one();
}

void DeliveryLoop(std::shared_ptr<DeliveryQueue> q) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(q->lock);
      q->changed.wait(lock, [&] { return q->stopping || !q->messages.empty(); });
      if (q->stopping) break;
    }
    DeliverNext(*q);
  }
  std::lock_guard<std::mutex> lock(q->lock);
  q->ended = true;
  q->changed.notify_all();
}

OutgoingMessage* HeadMessage(InstanceState& s) {
  std::lock_guard<std::mutex> lock(s.queueLock);
  return s.queue.empty() ? nullptr : &s.queue.front();  // stays valid: only we remove
}

// Places one chunk of the head message if the slot is free. True when a chunk was placed.
bool PlaceNextChunk(InstanceState& s) {
  SharedBlock& b = *s.block;
  OutgoingMessage* head = HeadMessage(s);
  if (!head || Load(b.slotBusy) != 0) return false;
  if (!plat::LockSlot(s.slot, -1)) return false;
  bool reserved = ReserveSlot(b, s.self);
  plat::UnlockSlot(s.slot);
  if (!reserved) return false;
  if (WriteChunk(b, s.self, *head)) {
    std::lock_guard<std::mutex> lock(s.queueLock);
    s.queue.pop_front();
  }
  Pulse(s);
  return true;
}

void InstanceLoop(InstanceState* s) {
  while (s->running) {
    plat::WaitForChange(s->slot, Counter(*s), s->lastSeenChange, s->firstProcess, WaitTimeout(*s));
    if (!s->running) break;
    s->lastSeenChange = Load(s->block->changeCounter);
    InstancePass(*s);
  }
  s->threadEnded = true;
}

// Starts the delivery thread; without one, the instance thread delivers itself.
void StartDeliveryThread(InstanceState& s) {
  auto queue = std::make_shared<DeliveryQueue>();
  queue->deliver = s.deliver;
  try {
    s.deliveryThread = std::thread(DeliveryLoop, queue);
  } catch (...) {
    return;
  }
  s.delivery = std::move(queue);
}

void StopDeliveryThread(InstanceState& s, std::chrono::steady_clock::time_point deadline) {
  if (!s.delivery) return;
  DeliveryQueue& q = *s.delivery;
  std::unique_lock<std::mutex> lock(q.lock);
  q.stopping = true;
  q.messages.clear();
  q.bytes = 0;
  q.changed.notify_all();
  if (!s.deliveryThread.joinable()) return;
  bool ended = q.changed.wait_until(lock, deadline, [&] { return q.ended; });
  lock.unlock();
  // One stuck in a receiver keeps its queue (shared with it) and is left to the VM.
  if (ended) s.deliveryThread.join();
  else s.deliveryThread.detach();
}

}  // namespace

bool DeliverNext(DeliveryQueue& q) {
  CompletedMessage message;
  {
    std::lock_guard<std::mutex> lock(q.lock);
    if (q.stopping || q.messages.empty()) return false;
    message = std::move(q.messages.front());
    q.messages.pop_front();
    q.bytes -= message.bytes.size();
  }
  if (q.deliver) q.deliver(message.sender, message.bytes);
  return true;
}

void InstancePass(InstanceState& s) {
  SharedBlock& b = *s.block;
  ElectFirstInstance(s);
  s.holdingChunk = false;
  bool slotChanged = false, completed = false;
  CompletedMessage message;
  if (Load(b.slotBusy) != 0) {
    const uint32_t target = Load(b.target), sequence = Load(b.chunkSequence);
    if (target == s.self && DeliveryQueueFull(s)) {
      HoldChunk(s);
      return;
    }
    if (target == s.self) {
      completed = TakeChunk(b, s.self, s.partials, message);
      slotChanged = true;
    } else if (Load(b.waitCount) <= kMaxWaitCount && s.isAlive(target)) {
      CountWait(s);
      return;  // leave the chunk to its target
    } else {
      DropChunk(s, sequence, target);
      slotChanged = true;
    }
  }
  if (PlaceNextChunk(s)) slotChanged = false;  // placing has pulsed already
  if (slotChanged) Pulse(s);
  if (completed) Deliver(s, message);
}

void StartInstanceThreadWith(InstanceState& s, DeliverFn deliver) {
  if (s.started || !s.block || !s.running) return;
  s.deliver = std::move(deliver);
  s.lastSeenChange = Load(s.block->changeCounter) - 1;  // look at the slot once at the start
  StartDeliveryThread(s);
  try {
    s.thread = std::thread(InstanceLoop, &s);
  } catch (...) {
    StopDeliveryThread(s, std::chrono::steady_clock::now() + kStopWait);
    s.delivery.reset();
    return;  // no thread: the process stays "not started"
  }
  s.started = true;
}

void QueueMessage(InstanceState& s, uint32_t target, std::vector<uint8_t> message) {
  if (!s.block || message.empty() || message.size() > UINT32_MAX) return;
  std::lock_guard<std::mutex> lock(s.queueLock);
  s.queue.push_back(OutgoingMessage{target, std::move(message), 0, 0});
  plat::PulseChange(s.slot, Counter(s));
}

bool OutgoingQueueEmpty(InstanceState& s) {
  std::lock_guard<std::mutex> lock(s.queueLock);
  return s.queue.empty();
}

void StopInstanceThread(InstanceState& s) {
  s.running = 0;
  auto deadline = std::chrono::steady_clock::now() + kStopWait;
  if (s.thread.joinable()) {
    Pulse(s);
    while (!s.threadEnded && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (s.threadEnded) {
      s.thread.join();
    } else {
      s.threadLeftRunning = true;
      s.thread.detach();
    }
  }
  StopDeliveryThread(s, deadline);
}
