// The block of memory that the launcher processes of one application share: the first
// instance, the message slot and the instance list. Every process maps the same bytes, so
// this layout is the one format exchanged between processes; it is little-endian on both
// targets. Other processes write the block at any moment: every field is read and written
// through the atomic helpers below, and nothing read from it is trusted.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr uint32_t kChunkSize = 1024;      // bytes of data one slot carries
constexpr uint32_t kMaxInstances = 250;    // entries of the instance list
constexpr uint32_t kMaxWaitCount = 10;     // a chunk may wait this often for a live target
constexpr size_t kSectionBlockSize = 3072;  // the executable's shared section
constexpr size_t kMappingBlockSize = 4096;  // the named mapping of an "appid"

struct SharedBlock {
  uint32_t firstInstance;      // process id of the first instance, 0 while there is none
  uint32_t nextMessageId;      // counter: the id of the next message
  uint32_t nextChunkSequence;  // counter: the sequence number of the next chunk placed
  uint32_t reserved;
  uint64_t mutexHandle;  // slot mutex, as a handle value valid in the first instance
  uint64_t eventHandle;  // change event, likewise
  uint32_t changeCounter;  // incremented after every pulse of the change event
  // The message slot: one chunk at a time.
  uint32_t sender;
  uint32_t target;
  uint32_t chunkSequence;
  uint32_t slotBusy;
  uint32_t waitCount;  // how often the first instance saw the chunk wait for a live target
  uint32_t messageId;
  uint32_t chunkIndex;
  uint32_t lastChunkIndex;  // (message length - 1) / 1024
  uint32_t chunkSize;       // always 1024
  uint32_t messageLength;
  uint32_t chunkLength;
  uint8_t chunkData[kChunkSize];
  uint32_t instanceCount;
  uint32_t instances[kMaxInstances];
};

static_assert(offsetof(SharedBlock, firstInstance) == 0);
static_assert(offsetof(SharedBlock, nextMessageId) == 4);
static_assert(offsetof(SharedBlock, nextChunkSequence) == 8);
static_assert(offsetof(SharedBlock, mutexHandle) == 16);
static_assert(offsetof(SharedBlock, eventHandle) == 24);
static_assert(offsetof(SharedBlock, changeCounter) == 32);
static_assert(offsetof(SharedBlock, sender) == 36);
static_assert(offsetof(SharedBlock, target) == 40);
static_assert(offsetof(SharedBlock, chunkSequence) == 44);
static_assert(offsetof(SharedBlock, slotBusy) == 48);
static_assert(offsetof(SharedBlock, waitCount) == 52);
static_assert(offsetof(SharedBlock, messageId) == 56);
static_assert(offsetof(SharedBlock, chunkIndex) == 60);
static_assert(offsetof(SharedBlock, lastChunkIndex) == 64);
static_assert(offsetof(SharedBlock, chunkSize) == 68);
static_assert(offsetof(SharedBlock, messageLength) == 72);
static_assert(offsetof(SharedBlock, chunkLength) == 76);
static_assert(offsetof(SharedBlock, chunkData) == 80);
static_assert(offsetof(SharedBlock, instanceCount) == 1104);
static_assert(offsetof(SharedBlock, instances) == 1108);
static_assert(sizeof(SharedBlock) == 2112);  // 2108 bytes of fields, padded to 8
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);

// Where the POSIX side keeps its slot lock word, after the fields (both block sizes have room).
constexpr size_t kSlotLockOffset = sizeof(SharedBlock);
static_assert(kSlotLockOffset + sizeof(uint32_t) <= kSectionBlockSize);

inline uint32_t Load(uint32_t& field) { return std::atomic_ref<uint32_t>(field).load(); }
inline uint64_t Load(uint64_t& field) { return std::atomic_ref<uint64_t>(field).load(); }
inline void Store(uint32_t& field, uint32_t value) { std::atomic_ref<uint32_t>(field).store(value); }
inline void Store(uint64_t& field, uint64_t value) { std::atomic_ref<uint64_t>(field).store(value); }
// Atomic read-modify-write: returns the value before the increment.
inline uint32_t FetchIncrement(uint32_t& field) { return std::atomic_ref<uint32_t>(field).fetch_add(1); }
inline bool CompareExchange(uint32_t& field, uint32_t expected, uint32_t desired) {
  return std::atomic_ref<uint32_t>(field).compare_exchange_strong(expected, desired);
}

inline SharedBlock* BlockAt(uint8_t* memory) { return reinterpret_cast<SharedBlock*>(memory); }
inline uint32_t* SlotLockWord(uint8_t* memory) { return reinterpret_cast<uint32_t*>(memory + kSlotLockOffset); }
