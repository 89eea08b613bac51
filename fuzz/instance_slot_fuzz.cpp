// Feeds slot contents that other processes might have written to the receiving side:
// every 40 bytes of input set the slot's fields (sender, message id, chunk index, last
// index, chunk size, message length, chunk length, one data byte) for one chunk meant for
// us, which is then taken. Partial messages carry over from chunk to chunk.
#include <cstdint>
#include <cstring>
#include <vector>

#include "instances/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kSelf = 7;
  alignas(64) static uint8_t memory[kMappingBlockSize];
  SharedBlock& b = *BlockAt(memory);
  std::vector<PartialMessage> partials;
  for (size_t at = 0; at + 40 <= size; at += 40) {
    uint32_t f[10];
    std::memcpy(f, data + at, sizeof f);
    Store(b.slotBusy, 1);
    Store(b.target, kSelf);
    Store(b.sender, f[0] % 4);
    Store(b.messageId, f[1] % 8);
    Store(b.chunkIndex, f[2]);
    Store(b.lastChunkIndex, f[3]);
    Store(b.chunkSize, f[4]);
    Store(b.messageLength, f[5]);
    Store(b.chunkLength, f[6]);
    Store(b.chunkSequence, f[7]);
    b.chunkData[f[8] % kChunkSize] = static_cast<uint8_t>(f[9]);
    CompletedMessage out;
    if (TakeChunk(b, kSelf, partials, out) && out.bytes.empty()) __builtin_trap();
    if (partials.size() > kMaxPartialMessages || Load(b.slotBusy) != 0) __builtin_trap();
  }
  return 0;
}
