// A small program that joins the instance table the way the launcher does, for the tests
// that need several real processes (on Linux, and on Windows under one Wine server). It
// delivers received messages to a log instead of a Java receiver.
//
//   node <dir> <name> <appid|-> [<count> <max-size> <seed>]
//       joins, starts the instance thread and logs to <dir>/<name>.log: "ready <pid>",
//       "first <pid>" whenever the first instance changes, "recv <sender> <origin> <seq>
//       ok|bad" per message. With a count it waits for <dir>/go (a list of target ids),
//       then sends that many messages of random sizes to random targets and logs "sent".
//       Ends, logging "bye", when <dir>/stop exists.
//   single <dir> <appid|->
//       joins the table, then the single-instance check: refused, it shows message 13 and
//       exits with 11; admitted, it logs "admitted <pid>" to <dir>/single.log and holds
//       until <dir>/stop.
//   hostile <dir> <appid|->
//       writes random values into the slot fields and the list count until <dir>/stop.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "instances/instances.h"
#include "payload/config.h"
#include "platform/fs.h"

namespace {

constexpr uint32_t kMagic = 0x54424C50;  // "PLBT"
constexpr size_t kHeader = 4 + 6 * 4;    // kind, then magic, origin, seq, target, length, hash

std::string g_dir;
std::mutex g_logLock;
FILE* g_log = nullptr;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_logLock);
  std::fprintf(g_log, "%s\n", line.c_str());
  std::fflush(g_log);
}

bool Exists(const std::string& name) { return plat::PathExists(g_dir + "/" + name); }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t Fnv(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

void Put(std::vector<uint8_t>& m, size_t at, uint32_t v) { std::memcpy(m.data() + at, &v, 4); }
uint32_t Get(const std::vector<uint8_t>& m, size_t at) {
  uint32_t v;
  std::memcpy(&v, m.data() + at, 4);
  return v;
}

std::vector<uint8_t> MakeMessage(uint32_t origin, uint32_t seq, uint32_t target, size_t length, std::mt19937& rng) {
  std::vector<uint8_t> m(kHeader + length, 0);
  for (size_t i = kHeader; i < m.size(); ++i) m[i] = static_cast<uint8_t>(rng());
  Put(m, 4, kMagic);
  Put(m, 8, origin);
  Put(m, 12, seq);
  Put(m, 16, target);
  Put(m, 20, static_cast<uint32_t>(length));
  Put(m, 24, Fnv(m.data() + kHeader, length));
  return m;
}

// Checks a received message against its header: intact, sent by its origin, meant for us.
void Receive(uint32_t self, uint32_t sender, std::vector<uint8_t>& m) {
  bool ok = m.size() >= kHeader && Get(m, 4) == kMagic && Get(m, 20) == m.size() - kHeader &&
            Get(m, 24) == Fnv(m.data() + kHeader, m.size() - kHeader) && Get(m, 8) == sender && Get(m, 16) == self;
  uint32_t origin = m.size() >= kHeader ? Get(m, 8) : 0, seq = m.size() >= kHeader ? Get(m, 12) : 0;
  Log("recv " + std::to_string(sender) + " " + std::to_string(origin) + " " + std::to_string(seq) +
      (ok ? " ok" : " bad"));
}

bool Attach(InstanceState& state, const std::string& appId) {
  AttachInstanceStorage(state, appId == "-" ? "" : appId);
  return state.block != nullptr;
}

std::vector<uint32_t> ReadTargets() {
  std::string text;
  plat::ReadWholeFile(g_dir + "/go", text);
  std::istringstream in(text);
  std::vector<uint32_t> ids;
  for (uint32_t id; in >> id;) ids.push_back(id);
  return ids;
}

void SendAll(InstanceState& state, int count, size_t maxSize, uint32_t seed) {
  while (!Exists("go"))
    if (Exists("stop")) return;
    else Sleep(20);
  std::vector<uint32_t> targets = ReadTargets();
  std::mt19937 rng(seed);
  for (int seq = 0; seq < count && !targets.empty() && !Exists("stop"); ++seq) {
    uint32_t target = targets[rng() % targets.size()];
    size_t length = rng() % (maxSize + 1);
    Log("send " + std::to_string(target) + " " + std::to_string(seq));
    QueueMessage(state, target, MakeMessage(state.self, seq, target, length, rng));
    while (!OutgoingQueueEmpty(state) && !Exists("stop")) Sleep(1);  // keep the log in step with the slot
  }
  Log("sent");
}

int Node(const std::string& name, const std::string& appId, int count, size_t maxSize, uint32_t seed) {
  g_log = std::fopen((g_dir + "/" + name + ".log").c_str(), "w");
  InstanceState state;
  if (!g_log || !Attach(state, appId)) return 2;
  RegisterInstance(state);
  StartInstanceThreadWith(state, [&](uint32_t sender, std::vector<uint8_t>& m) { Receive(state.self, sender, m); });
  Log("ready " + std::to_string(state.self));
  std::thread sender;
  if (count > 0) sender = std::thread(SendAll, std::ref(state), count, maxSize, seed);
  uint32_t first = 0;
  while (!Exists("stop")) {
    uint32_t now = Load(state.block->firstInstance);
    if (now != first) Log("first " + std::to_string(first = now));
    Sleep(20);
  }
  if (sender.joinable()) sender.join();
  ShutdownInstance(state);
  DetachInstanceStorage(state);
  Log("bye");
  return 0;
}

int Single(const std::string& appId) {
  LauncherContext ctx;
  ctx.exePath = plat::ExecutablePath();
  if (appId != "-") ctx.configText = "appid " + appId + "\n";
  InstanceState state;
  if (!Attach(state, appId)) return 2;
  RegisterInstance(state);
  SingleInstanceCheck(ctx, state);  // returns only when admitted
  g_log = std::fopen((g_dir + "/single.log").c_str(), "a");
  if (!g_log) return 2;
  Log("admitted " + std::to_string(plat::CurrentProcessId()));
  while (!Exists("stop")) Sleep(20);
  ShutdownInstance(state);
  DetachInstanceStorage(state);
  return 0;
}

int Hostile(const std::string& appId) {
  InstanceState state;
  if (!Attach(state, appId)) return 2;
  SharedBlock& b = *state.block;
  std::mt19937 rng(plat::CurrentProcessId());
  uint32_t* fields[] = {&b.sender,     &b.target,     &b.chunkSequence,  &b.slotBusy,  &b.waitCount,
                        &b.messageId,  &b.chunkIndex, &b.lastChunkIndex, &b.chunkSize, &b.messageLength,
                        &b.chunkLength, &b.instanceCount};
  auto value = [&]() -> uint32_t {
    switch (rng() % 4) {
      case 0: return rng();
      case 1: return rng() % 2048;
      case 2: return 0xFFFFFFFFu - rng() % 4;
      default: return rng() % 2;
    }
  };
  for (long i = 0; !(i % 4096 == 0 && Exists("stop")); ++i) {
    Store(*fields[rng() % std::size(fields)], value());
    if (i % 16 == 0) b.chunkData[rng() % kChunkSize] = static_cast<uint8_t>(rng());
    if (i % 64 == 0) std::this_thread::yield();
  }
  DetachInstanceStorage(state);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 3) return 2;
  g_dir = args[1];
  if (args[0] == "node") {
    int count = args.size() > 4 ? std::stoi(args[4]) : 0;
    size_t maxSize = args.size() > 5 ? std::stoul(args[5]) : 0;
    uint32_t seed = args.size() > 6 ? static_cast<uint32_t>(std::stoul(args[6])) : 1;
    return args.size() > 3 ? Node(args[2], args[3], count, maxSize, seed) : 2;
  }
  if (args[0] == "single") return Single(args[2]);
  if (args[0] == "hostile") return Hostile(args[2]);
  return 2;
}
