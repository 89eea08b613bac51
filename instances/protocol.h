// The message slot and the instance list of the shared block, as operations on the block
// alone: placing a chunk, taking one and putting messages together again, and keeping
// the list. Whatever other processes wrote is checked before it is used: a chunk that does
// not add up is dropped, and nothing is read or written outside the block and our buffers.
#pragma once
#include <cstdint>
#include <vector>

#include "instances/block.h"

// A message waiting in this process's outgoing queue.
struct OutgoingMessage {
  uint32_t target = 0;
  std::vector<uint8_t> bytes;  // kind (u32, little-endian) and payload
  uint32_t offset = 0;         // bytes already placed in the slot, a multiple of 1024
  uint32_t id = 0;             // taken from the block with the first chunk
};

// A message of which some chunks have arrived.
struct PartialMessage {
  uint32_t id = 0;
  uint32_t sender = 0;
  uint32_t length = 0;    // the whole message, as its first chunk announced it
  uint32_t expected = 0;  // index of the next chunk
  std::vector<uint8_t> bytes;
};

struct CompletedMessage {
  uint32_t sender = 0;
  std::vector<uint8_t> bytes;
};

// One chunk copied out of the slot.
struct SlotChunk {
  uint32_t sender = 0, target = 0, sequence = 0, messageId = 0, index = 0, lastIndex = 0;
  uint32_t chunkSize = 0, messageLength = 0, length = 0;
  uint8_t data[kChunkSize];
};

// Partial messages kept at most; a sender that died mid-message leaves one behind.
constexpr size_t kMaxPartialMessages = 64;

inline uint32_t LastChunkIndex(uint32_t messageLength) { return (messageLength - 1) / kChunkSize; }

// The message ids and chunk sequence numbers come from the block's counters, taken with an
// atomic read-modify-write so that no two processes ever get the same one.
inline uint32_t TakeMessageId(SharedBlock& b) { return FetchIncrement(b.nextMessageId); }

// Claims a free slot for `self` (the caller holds the slot mutex): resets the wait count
// and marks the slot busy with `self` as the target until the chunk is written. False when
// the slot is busy.
bool ReserveSlot(SharedBlock& b, uint32_t self);

// Writes the next chunk of `message` into the reserved slot, the target last. Returns true
// when that was the message's last chunk.
bool WriteChunk(SharedBlock& b, uint32_t self, OutgoingMessage& message);

// Copies the chunk meant for `self` out of the slot. False when it changed while being
// copied or its fields do not add up; the chunk is then to be dropped.
bool ReadChunk(SharedBlock& b, uint32_t self, SlotChunk& out);

// True when the fields of a chunk agree with each other and with the chunk rules.
bool ChunkIsConsistent(const SlotChunk& c);

// Adds a consistent chunk to its partial message. True when the message is complete
// (`out` then holds it and its entry is gone). A chunk out of order discards its message.
bool Reassemble(std::vector<PartialMessage>& partials, const SlotChunk& chunk, CompletedMessage& out);

// Takes the chunk for `self` out of the slot and frees the slot. True when it completed a
// message. A chunk that fails the checks is dropped along with its partial message.
bool TakeChunk(SharedBlock& b, uint32_t self, std::vector<PartialMessage>& partials, CompletedMessage& out);

// The instance list. The count is clamped to the list's size wherever it is read.
uint32_t InstanceCount(SharedBlock& b);
// Keeps, in order, the ids that are not the first instance and pass `alive`.
void PruneInstanceList(SharedBlock& b, bool (*alive)(uint32_t));
// Appends `pid`; false when the list is full.
bool AddInstance(SharedBlock& b, uint32_t pid);
// The first-instance id followed by the list.
std::vector<uint32_t> ListInstances(SharedBlock& b);
