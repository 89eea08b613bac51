#include "instances/protocol.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

uint32_t ChunkLengthAt(uint32_t messageLength, uint32_t index) {
  uint64_t start = uint64_t{index} * kChunkSize;
  if (start >= messageLength) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(messageLength - start, kChunkSize));
}

void DiscardPartial(std::vector<PartialMessage>& partials, uint32_t id, uint32_t sender) {
  std::erase_if(partials, [&](const PartialMessage& p) { return p.id == id && p.sender == sender; });
}

// Frees the slot if it still holds the chunk we looked at.
void FreeSlotIfUnchanged(SharedBlock& b, uint32_t self, uint32_t sequence) {
  if (Load(b.chunkSequence) == sequence && Load(b.target) == self) Store(b.slotBusy, 0);
}

}  // namespace

bool ReserveSlot(SharedBlock& b, uint32_t self) {
  if (Load(b.slotBusy) != 0) return false;
  // While we write the chunk the slot names us as its target: others see a live process
  // and leave it, and if we die meanwhile they drop it.
  Store(b.waitCount, 0);
  Store(b.target, self);
  Store(b.slotBusy, 1);
  return true;
}

bool WriteChunk(SharedBlock& b, uint32_t self, OutgoingMessage& message) {
  const auto length = static_cast<uint32_t>(message.bytes.size());
  if (message.offset == 0) message.id = TakeMessageId(b);
  const uint32_t chunkLength = ChunkLengthAt(length, message.offset / kChunkSize);
  Store(b.sender, self);
  Store(b.chunkSize, kChunkSize);
  Store(b.messageId, message.id);
  Store(b.chunkSequence, FetchIncrement(b.nextChunkSequence));
  Store(b.messageLength, length);
  Store(b.lastChunkIndex, LastChunkIndex(length));
  Store(b.chunkIndex, message.offset / kChunkSize);
  Store(b.chunkLength, chunkLength);
  Store(b.slotBusy, 1);
  Store(b.waitCount, 0);
  std::memcpy(b.chunkData, message.bytes.data() + message.offset, chunkLength);
  std::atomic_thread_fence(std::memory_order_release);
  Store(b.target, message.target);  // last: the chunk is now complete for its target
  bool last = length - message.offset <= kChunkSize;
  if (!last) message.offset += kChunkSize;
  return last;
}

bool ChunkIsConsistent(const SlotChunk& c) {
  return c.chunkSize == kChunkSize && c.messageLength != 0 && c.lastIndex == LastChunkIndex(c.messageLength) &&
         c.index <= c.lastIndex && c.length == ChunkLengthAt(c.messageLength, c.index);
}

bool ReadChunk(SharedBlock& b, uint32_t self, SlotChunk& out) {
  out.target = Load(b.target);
  out.sequence = Load(b.chunkSequence);
  out.sender = Load(b.sender);
  out.messageId = Load(b.messageId);
  out.index = Load(b.chunkIndex);
  out.lastIndex = Load(b.lastChunkIndex);
  out.chunkSize = Load(b.chunkSize);
  out.messageLength = Load(b.messageLength);
  out.length = Load(b.chunkLength);
  if (out.target != self || !ChunkIsConsistent(out)) return false;
  std::memcpy(out.data, b.chunkData, out.length);  // at most kChunkSize: checked above
  std::atomic_thread_fence(std::memory_order_acquire);
  // A slot taken over while we copied has a new sequence number (written before its data).
  return Load(b.chunkSequence) == out.sequence && Load(b.target) == self && Load(b.slotBusy) == 1;
}

bool Reassemble(std::vector<PartialMessage>& partials, const SlotChunk& chunk, CompletedMessage& out) {
  auto it = std::find_if(partials.begin(), partials.end(), [&](const PartialMessage& p) {
    return p.id == chunk.messageId && p.sender == chunk.sender;
  });
  if (chunk.index == 0) {
    if (it != partials.end()) partials.erase(it);
    if (partials.size() >= kMaxPartialMessages) partials.erase(partials.begin());
    PartialMessage fresh{chunk.messageId, chunk.sender, chunk.messageLength, 0, {}};
    fresh.bytes.reserve(std::min<uint32_t>(chunk.messageLength, 1u << 20));
    partials.push_back(std::move(fresh));
    it = partials.end() - 1;
  } else if (it == partials.end()) {
    return false;  // an orphan: its first chunk never came
  }
  if (chunk.index != it->expected || chunk.messageLength != it->length) {
    partials.erase(it);  // a chunk went missing: the message is lost
    return false;
  }
  it->bytes.insert(it->bytes.end(), chunk.data, chunk.data + chunk.length);
  ++it->expected;
  if (chunk.index != chunk.lastIndex) return false;
  out.sender = it->sender;
  out.bytes = std::move(it->bytes);
  partials.erase(it);
  return true;
}

bool TakeChunk(SharedBlock& b, uint32_t self, std::vector<PartialMessage>& partials, CompletedMessage& out) {
  SlotChunk chunk;
  bool read = ReadChunk(b, self, chunk);
  bool complete = read && Reassemble(partials, chunk, out);
  if (!read && chunk.target == self) DiscardPartial(partials, chunk.messageId, chunk.sender);
  FreeSlotIfUnchanged(b, self, chunk.sequence);
  return complete;
}

uint32_t InstanceCount(SharedBlock& b) { return std::min(Load(b.instanceCount), kMaxInstances); }

void PruneInstanceList(SharedBlock& b, bool (*alive)(uint32_t)) {
  const uint32_t first = Load(b.firstInstance);
  const uint32_t count = InstanceCount(b);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t id = Load(b.instances[i]);
    if (id != first && alive(id)) Store(b.instances[kept++], id);
  }
  Store(b.instanceCount, kept);
}

bool AddInstance(SharedBlock& b, uint32_t pid) {
  uint32_t count = InstanceCount(b);
  if (count >= kMaxInstances) return false;
  Store(b.instances[count], pid);
  Store(b.instanceCount, count + 1);
  return true;
}

std::vector<uint32_t> ListInstances(SharedBlock& b) {
  std::vector<uint32_t> ids{Load(b.firstInstance)};
  const uint32_t count = InstanceCount(b);
  for (uint32_t i = 0; i < count; ++i) ids.push_back(Load(b.instances[i]));
  return ids;
}
