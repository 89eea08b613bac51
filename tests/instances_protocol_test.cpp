// The message slot and the instance list over a plain block in memory: chunking,
// reassembly of interleaved messages, and chunks and lists that other processes wrote
// wrongly or maliciously.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "instances/protocol.h"

namespace {

constexpr uint32_t kSender = 100, kReceiver = 200;

struct Memory {
  alignas(64) uint8_t bytes[kMappingBlockSize] = {};
  SharedBlock& block() { return *BlockAt(bytes); }
};

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Places one chunk and returns what the slot then says about it.
SlotChunk PlaceOne(SharedBlock& b, uint32_t self, OutgoingMessage& m, bool& last) {
  EXPECT_TRUE(ReserveSlot(b, self));
  last = WriteChunk(b, self, m);
  SlotChunk c;
  EXPECT_TRUE(ReadChunk(b, m.target, c));
  return c;
}

std::vector<SlotChunk> ChunksOf(size_t length) {
  Memory mem;
  OutgoingMessage m{kReceiver, RandomBytes(length, 1)};
  std::vector<SlotChunk> chunks;
  for (bool last = false; !last;) {
    chunks.push_back(PlaceOne(mem.block(), kSender, m, last));
    Store(mem.block().slotBusy, 0);
  }
  return chunks;
}

TEST(InstanceSlot, ChunkCountsAndLengths) {
  auto ten = ChunksOf(10004);
  ASSERT_EQ(ten.size(), 10u);
  EXPECT_EQ(ten.back().index, 9u);
  EXPECT_EQ(ten.back().lastIndex, 9u);
  EXPECT_EQ(ten.back().length, 788u);
  EXPECT_EQ(ten[3].length, 1024u);
  EXPECT_EQ(ten[3].messageLength, 10004u);

  auto exact = ChunksOf(1024);
  ASSERT_EQ(exact.size(), 1u);
  EXPECT_EQ(exact[0].length, 1024u);

  auto overflow = ChunksOf(1025);
  ASSERT_EQ(overflow.size(), 2u);
  EXPECT_EQ(overflow[1].length, 1u);
  EXPECT_EQ(overflow[1].index, 1u);

  auto tiny = ChunksOf(4);
  ASSERT_EQ(tiny.size(), 1u);
  EXPECT_EQ(tiny[0].length, 4u);
}

TEST(InstanceSlot, ChunkFieldsAreWrittenAsPeersExpectThem) {
  Memory mem;
  SharedBlock& b = mem.block();
  Store(b.nextMessageId, 41);
  Store(b.nextChunkSequence, 7);
  OutgoingMessage m{kReceiver, RandomBytes(2000, 2)};
  bool last = false;
  SlotChunk first = PlaceOne(b, kSender, m, last);
  EXPECT_FALSE(last);
  EXPECT_EQ(first.messageId, 41u);
  EXPECT_EQ(first.sequence, 7u);
  EXPECT_EQ(first.sender, kSender);
  EXPECT_EQ(first.chunkSize, 1024u);
  EXPECT_EQ(Load(b.slotBusy), 1u);
  EXPECT_EQ(Load(b.target), kReceiver);
  EXPECT_EQ(0, std::memcmp(b.chunkData, m.bytes.data(), 1024));
  Store(b.slotBusy, 0);
  SlotChunk second = PlaceOne(b, kSender, m, last);
  EXPECT_TRUE(last);
  EXPECT_EQ(second.messageId, 41u);  // the id is taken once per message
  EXPECT_EQ(second.sequence, 8u);
  EXPECT_EQ(Load(b.nextMessageId), 42u);
}

TEST(InstanceSlot, ReservationKeepsOthersOutAndNamesTheWriter) {
  Memory mem;
  SharedBlock& b = mem.block();
  Store(b.waitCount, 11);  // left over from a chunk that was dropped
  ASSERT_TRUE(ReserveSlot(b, kSender));
  EXPECT_FALSE(ReserveSlot(b, kReceiver));
  EXPECT_EQ(Load(b.target), kSender);
  EXPECT_EQ(Load(b.waitCount), 0u);
}

// Two senders' messages travel chunk by chunk in turns; the receiver puts both together.
TEST(InstanceSlot, InterleavedMessagesReassembleIntact) {
  Memory mem;
  SharedBlock& b = mem.block();
  std::vector<OutgoingMessage> out = {{kReceiver, RandomBytes(5000, 3)}, {kReceiver, RandomBytes(3100, 4)},
                                      {kReceiver, RandomBytes(1, 5)}};
  std::vector<PartialMessage> partials;
  std::vector<CompletedMessage> done;
  std::vector<bool> finished(out.size());
  while (std::count(finished.begin(), finished.end(), true) < static_cast<long>(out.size())) {
    for (size_t i = 0; i < out.size(); ++i) {
      if (finished[i]) continue;
      ASSERT_TRUE(ReserveSlot(b, kSender + i));
      finished[i] = WriteChunk(b, kSender + static_cast<uint32_t>(i), out[i]);
      CompletedMessage m;
      if (TakeChunk(b, kReceiver, partials, m)) done.push_back(std::move(m));
      EXPECT_EQ(Load(b.slotBusy), 0u);
    }
  }
  ASSERT_EQ(done.size(), 3u);
  EXPECT_TRUE(partials.empty());
  for (const auto& m : done) EXPECT_EQ(m.bytes, out[m.sender - kSender].bytes);
}

// A valid chunk, placed for kReceiver, for the tests to spoil.
struct Placed {
  Memory mem;
  OutgoingMessage message{kReceiver, RandomBytes(3000, 6)};
  Placed() {
    ReserveSlot(mem.block(), kSender);
    WriteChunk(mem.block(), kSender, message);
  }
};

TEST(InstanceSlotHostile, InconsistentChunksAreDroppedAndFreeTheSlot) {
  struct Case {
    const char* what;
    void (*spoil)(SharedBlock&);
  } cases[] = {
      {"chunk length above 1024", [](SharedBlock& b) { Store(b.chunkLength, 1025); }},
      {"huge chunk length", [](SharedBlock& b) { Store(b.chunkLength, 0xFFFFFFFF); }},
      {"chunk size other than 1024", [](SharedBlock& b) { Store(b.chunkSize, 4096); }},
      {"message length 0", [](SharedBlock& b) { Store(b.messageLength, 0); }},
      {"last index disagrees with the length", [](SharedBlock& b) { Store(b.lastChunkIndex, 7); }},
      {"index beyond the last", [](SharedBlock& b) { Store(b.chunkIndex, 3); }},
      {"chunk length disagrees with the index", [](SharedBlock& b) { Store(b.chunkLength, 500); }},
  };
  for (const auto& c : cases) {
    Placed p;
    SharedBlock& b = p.mem.block();
    c.spoil(b);
    std::vector<PartialMessage> partials;
    CompletedMessage out;
    EXPECT_FALSE(TakeChunk(b, kReceiver, partials, out)) << c.what;
    EXPECT_EQ(Load(b.slotBusy), 0u) << c.what;
  }
}

TEST(InstanceSlotHostile, ChunksOutOfTurnDiscardTheirMessage) {
  Memory mem;
  SharedBlock& b = mem.block();
  OutgoingMessage m{kReceiver, RandomBytes(4000, 7)};  // 4 chunks
  std::vector<PartialMessage> partials;
  CompletedMessage out;
  auto place = [&](uint32_t offset) {
    m.offset = offset;
    ReserveSlot(b, kSender);
    WriteChunk(b, kSender, m);
    return TakeChunk(b, kReceiver, partials, out);
  };
  EXPECT_FALSE(place(1024));  // an orphan: no first chunk seen
  EXPECT_TRUE(partials.empty());
  EXPECT_FALSE(place(0));
  EXPECT_EQ(partials.size(), 1u);
  EXPECT_FALSE(place(2048));  // chunk 1 lost: the message is discarded
  EXPECT_TRUE(partials.empty());
  EXPECT_FALSE(place(3072));  // and its later chunks are orphans
  EXPECT_TRUE(partials.empty());

  // A continuation that announces another length than its first chunk.
  EXPECT_FALSE(place(0));
  m.bytes.resize(5000);
  EXPECT_FALSE(place(1024));
  EXPECT_TRUE(partials.empty());
}

TEST(InstanceSlotHostile, ChunksForOthersOrOverwrittenAreNotTaken) {
  Placed p;
  SharedBlock& b = p.mem.block();
  SlotChunk chunk;
  EXPECT_FALSE(ReadChunk(b, kSender, chunk));  // not ours
  Store(b.target, kSender);                    // taken over by a new writer
  std::vector<PartialMessage> partials;
  CompletedMessage out;
  EXPECT_FALSE(TakeChunk(b, kReceiver, partials, out));
  EXPECT_EQ(Load(b.slotBusy), 1u);  // the new writer's slot is left alone
}

// First chunks that never get a second: the list of partial messages stays bounded.
TEST(InstanceSlotHostile, AbandonedMessagesAreBounded) {
  Memory mem;
  SharedBlock& b = mem.block();
  std::vector<PartialMessage> partials;
  CompletedMessage out;
  for (uint32_t i = 0; i < 1000; ++i) {
    OutgoingMessage m{kReceiver, std::vector<uint8_t>(2048, 1)};
    ReserveSlot(b, kSender + i);
    WriteChunk(b, kSender + i, m);
    TakeChunk(b, kReceiver, partials, out);
  }
  EXPECT_EQ(partials.size(), kMaxPartialMessages);
}

// Random values in every slot field: nothing is read or written outside the buffers
// (run under AddressSanitizer), and whatever completes stays within what arrived.
TEST(InstanceSlotHostile, RandomSlotContents) {
  Memory mem;
  SharedBlock& b = mem.block();
  std::mt19937 rng(8);
  std::vector<PartialMessage> partials;
  uint64_t received = 0, completedBytes = 0;
  auto pick = [&](uint32_t small) {
    switch (rng() % 4) {
      case 0: return static_cast<uint32_t>(rng());
      case 1: return static_cast<uint32_t>(rng() % (small + 1));
      case 2: return 1024u;
      default: return 0xFFFFFFFFu - static_cast<uint32_t>(rng() % 3);
    }
  };
  for (int i = 0; i < 200000; ++i) {
    Store(b.slotBusy, 1);
    Store(b.target, kReceiver);
    Store(b.sender, kSender + rng() % 3);
    Store(b.messageId, rng() % 5);
    Store(b.chunkIndex, pick(12));
    Store(b.lastChunkIndex, pick(12));
    Store(b.chunkSize, rng() % 8 ? 1024u : pick(2048));
    Store(b.messageLength, pick(13000));
    Store(b.chunkLength, pick(1100));
    CompletedMessage out;
    SlotChunk c;
    if (ReadChunk(b, kReceiver, c)) received += c.length;
    if (TakeChunk(b, kReceiver, partials, out)) completedBytes += out.bytes.size();
    ASSERT_LE(partials.size(), kMaxPartialMessages);
  }
  EXPECT_LE(completedBytes, received);
}

bool OddIsAlive(uint32_t pid) { return pid % 2 == 1; }

TEST(InstanceList, PruneKeepsLiveOthersInOrder) {
  Memory mem;
  SharedBlock& b = mem.block();
  Store(b.firstInstance, 5);
  for (uint32_t id : {3u, 4u, 5u, 7u, 0u, 9u}) AddInstance(b, id);
  PruneInstanceList(b, OddIsAlive);
  EXPECT_EQ(ListInstances(b), (std::vector<uint32_t>{5, 3, 7, 9}));
}

TEST(InstanceList, FullAndOverstatedLists) {
  Memory mem;
  SharedBlock& b = mem.block();
  for (uint32_t i = 0; i < kMaxInstances; ++i) ASSERT_TRUE(AddInstance(b, 2 * i + 1));
  EXPECT_FALSE(AddInstance(b, 1001));  // the 251st is not listed
  EXPECT_EQ(ListInstances(b).size(), kMaxInstances + 1);

  Store(b.instanceCount, 0xFFFFFFFF);  // another process claims more than the list holds
  EXPECT_EQ(InstanceCount(b), kMaxInstances);
  EXPECT_EQ(ListInstances(b).size(), kMaxInstances + 1);
  EXPECT_FALSE(AddInstance(b, 1003));
  PruneInstanceList(b, OddIsAlive);
  EXPECT_EQ(Load(b.instanceCount), kMaxInstances);
}

// Processes take message ids at the same moment: each id is handed out once.
TEST(InstanceCounters, MessageIdsAreUniqueUnderContention) {
  Memory mem;
  SharedBlock& b = mem.block();
  constexpr int kThreads = 4, kEach = 50000;
  std::vector<std::vector<uint32_t>> taken(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) taken[t].push_back(TakeMessageId(b));
    });
  for (auto& t : threads) t.join();
  std::set<uint32_t> all;
  for (auto& v : taken) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), size_t{kThreads} * kEach);
  EXPECT_EQ(Load(b.nextMessageId), uint32_t{kThreads} * kEach);
}

}  // namespace
