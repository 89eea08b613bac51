// The instance state over a block in memory, with several "processes" played by instance
// states in this one: election and take-over, the slot protocol of the instance thread
// pass by pass, and the fate of chunks whose target does not take them.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>

#include "instances/instances.h"

namespace {

std::set<uint32_t> g_alive;
bool FakeAlive(uint32_t pid) { return g_alive.count(pid) != 0; }

const uint32_t kSelf = plat::CurrentProcessId();  // a process whose handle can be opened
constexpr uint32_t kOther = 0x7FFF0001, kThird = 0x7FFF0002, kDead = 0x7FFF0003;

struct Memory {
  alignas(64) uint8_t bytes[kMappingBlockSize] = {};
  SharedBlock& block() { return *BlockAt(bytes); }
};

struct Instance {
  InstanceState s;
  std::vector<CompletedMessage> received;
  Instance(Memory& mem, uint32_t self) {
    s.storage.data = mem.bytes;
    s.storage.size = sizeof mem.bytes;
    s.block = &mem.block();
    s.isAlive = FakeAlive;
    s.waitCountInterval = std::chrono::milliseconds(0);
    s.deliver = [this](uint32_t sender, std::vector<uint8_t>& m) { received.push_back({sender, m}); };
    g_alive.insert(self);
    RegisterInstanceAs(s, self);
  }
  ~Instance() {
    ShutdownInstance(s);
    g_alive.erase(s.self);
  }
};

std::vector<uint8_t> Message(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

TEST(InstanceElection, FirstRegistrationTakesTheRoleOthersAttach) {
  Memory mem;
  Instance a(mem, kSelf);
  EXPECT_EQ(Load(mem.block().firstInstance), kSelf);
  EXPECT_TRUE(plat::HasSlotObjects(a.s.slot));
  Instance b(mem, kOther);
  EXPECT_EQ(Load(mem.block().firstInstance), kSelf);
  EXPECT_EQ(b.s.attachedFirst, kSelf);
  EXPECT_TRUE(plat::HasSlotObjects(b.s.slot));  // duplicated out of the first instance
  // The first instance is reported on its own after a prune.
  EXPECT_EQ(PruneAndListInstances(b.s), (std::vector<uint32_t>{kSelf, kOther}));
}

TEST(InstanceElection, DeadFirstInstanceIsTakenOver) {
  Memory mem;
  Instance a(mem, kSelf);
  Instance b(mem, kOther);
  Store(mem.block().firstInstance, kDead);  // as if the role had passed to a process that died
  ElectFirstInstance(b.s);
  EXPECT_EQ(Load(mem.block().firstInstance), kOther);
  EXPECT_EQ(b.s.attachedFirst, kOther);
  EXPECT_EQ(Load(mem.block().mutexHandle), b.s.slot.mutexValue);
  ElectFirstInstance(a.s);  // a live first instance is left alone
  EXPECT_EQ(Load(mem.block().firstInstance), kOther);
}

TEST(InstanceElection, ListIsFullAt250) {
  Memory mem;
  Store(mem.block().instanceCount, kMaxInstances);
  for (uint32_t i = 0; i < kMaxInstances; ++i) {
    Store(mem.block().instances[i], 0x10000000 + i);
    g_alive.insert(0x10000000 + i);
  }
  Instance a(mem, kSelf);
  auto ids = PruneAndListInstances(a.s);
  EXPECT_EQ(ids.size(), kMaxInstances + 1);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), kSelf), 1);  // only as the first instance
  for (uint32_t i = 0; i < kMaxInstances; ++i) g_alive.erase(0x10000000 + i);
}

// Runs the instances' passes in turns until nothing changes any more.
void RunPasses(std::vector<Instance*> all, int rounds = 200) {
  for (int i = 0; i < rounds; ++i)
    for (Instance* p : all) InstancePass(p->s);
}

TEST(InstanceMessaging, MessagesCrossInBothDirectionsAndToSelf) {
  Memory mem;
  Instance a(mem, kSelf), b(mem, kOther);
  auto toB = Message(10004, 1), toA = Message(1025, 2), toSelf = Message(4, 3);
  QueueMessage(a.s, kOther, toB);
  QueueMessage(b.s, kSelf, toA);
  QueueMessage(a.s, kSelf, toSelf);
  RunPasses({&a, &b});
  ASSERT_EQ(b.received.size(), 1u);
  EXPECT_EQ(b.received[0].sender, kSelf);
  EXPECT_EQ(b.received[0].bytes, toB);
  ASSERT_EQ(a.received.size(), 2u);
  for (const auto& m : a.received) EXPECT_EQ(m.bytes, m.sender == kSelf ? toSelf : toA);
  EXPECT_TRUE(OutgoingQueueEmpty(a.s));
  EXPECT_EQ(Load(mem.block().slotBusy), 0u);
}

TEST(InstanceMessaging, ChunkForALiveTargetThatNeverTakesItIsDroppedAfterTheWaitCount) {
  Memory mem;
  Instance a(mem, kSelf), b(mem, kOther);
  g_alive.insert(kThird);  // runs, but has no instance thread
  QueueMessage(b.s, kThird, Message(3000, 4));
  InstancePass(b.s);  // places chunk 0
  ASSERT_EQ(Load(mem.block().target), kThird);
  for (int i = 0; i < 50; ++i) InstancePass(b.s);  // not the first instance: never counts
  EXPECT_EQ(Load(mem.block().waitCount), 0u);
  for (uint32_t i = 1; i <= kMaxWaitCount + 1; ++i) {
    InstancePass(a.s);
    EXPECT_EQ(Load(mem.block().waitCount), i);
  }
  EXPECT_EQ(Load(mem.block().slotBusy), 1u);
  InstancePass(b.s);  // the next process to wake drops it and places its next chunk
  EXPECT_EQ(Load(mem.block().chunkIndex), 1u);
  EXPECT_EQ(Load(mem.block().waitCount), 0u);
  g_alive.erase(kThird);
}

// A receiver whose delivery queue is full leaves its chunk in the slot and keeps the first
// instance's wait count from dropping it; once the queue drains, everything arrives in order.
TEST(InstanceMessaging, FullDeliveryQueueHoldsTheChunkWithoutLosingIt) {
  Memory mem;
  Instance a(mem, kSelf), b(mem, kOther);
  auto queue = std::make_shared<DeliveryQueue>();
  queue->deliver = b.s.deliver;
  b.s.delivery = queue;
  std::vector<std::vector<uint8_t>> sent;
  for (uint32_t i = 0; i < kMaxQueuedDeliveries + 3; ++i) {
    sent.push_back(Message(1500, 100 + i));
    QueueMessage(a.s, kOther, sent.back());
  }
  RunPasses({&a, &b});
  EXPECT_EQ(queue->messages.size(), kMaxQueuedDeliveries);
  EXPECT_TRUE(b.received.empty());
  EXPECT_EQ(Load(mem.block().target), kOther);  // the next chunk waits, counted and reset
  EXPECT_LE(Load(mem.block().waitCount), 1u);
  for (int i = 0; i < 1000 && (DeliverNext(*queue) || !OutgoingQueueEmpty(a.s) || Load(mem.block().slotBusy)); ++i)
    RunPasses({&a, &b}, 1);
  while (DeliverNext(*queue)) {
  }
  ASSERT_EQ(b.received.size(), sent.size());
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(b.received[i].bytes, sent[i]) << i;
}

TEST(InstanceMessaging, FirstInstanceCountsAWaitingChunkAtMostOncePerInterval) {
  Memory mem;
  Instance a(mem, kSelf), b(mem, kOther);
  a.s.waitCountInterval = std::chrono::hours(1);
  QueueMessage(a.s, kOther, Message(100, 5));
  for (int i = 0; i < 50; ++i) InstancePass(a.s);  // b is busy elsewhere
  EXPECT_EQ(Load(mem.block().waitCount), 1u);
  InstancePass(b.s);
  ASSERT_EQ(b.received.size(), 1u);
}

TEST(InstanceMessaging, ChunksForTheDeadAndAbandonedReservationsAreDropped) {
  Memory mem;
  Instance a(mem, kSelf), b(mem, kOther);
  QueueMessage(a.s, kDead, Message(3000, 6));
  QueueMessage(a.s, kOther, Message(10, 7));
  RunPasses({&a, &b}, 10);
  ASSERT_EQ(b.received.size(), 1u);  // the message behind the dead one still arrives

  // A writer that died after reserving the slot: busy, its own id as the target.
  ASSERT_TRUE(ReserveSlot(mem.block(), kDead));
  InstancePass(b.s);
  EXPECT_EQ(Load(mem.block().slotBusy), 0u);
}

TEST(InstanceNames, MappingAndMutexNames) {
  EXPECT_EQ(MappingName("a\\b"), "a.b.plb.mapping");
  EXPECT_EQ(MappingName("C:x"), "C:x.plb.mapping");  // the mapping keeps ":"
  EXPECT_EQ(MutexName("a\\b:c", "ignored"), "a.b.c.plb.mutex");
  EXPECT_EQ(MutexName("", "C:\\apps\\tool.exe"), "C..apps.tool.exe.plb.mutex");
}

}  // namespace
