// The instance table between real processes: election and take-over after a kill, the
// single-instance check, and messages between processes, with our own driver program on
// Linux and on Windows under one Wine server; a stress run and a process that scribbles
// over the slot; and the Java side through wrapped applications on real runtimes.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "integration/run_support.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kWindowsDriver = PLB_WINDOWS_INSTANCE_DRIVER;

bool WindowsDriverUsable() {
  return testutil::FileExists(kWindowsDriver) && testutil::FileExists(PLB_WINE);
}

bool WaitUntil(const std::function<bool()>& done, int seconds) {
  for (auto end = Clock::now() + std::chrono::seconds(seconds); Clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

std::vector<std::string> Lines(const std::string& path) {
  std::istringstream in(testutil::FileExists(path) ? testutil::ReadFile(path) : "");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The number after `word` on the last line that starts with it; 0 when there is none.
uint32_t LastNumber(const std::string& path, const std::string& word) {
  uint32_t value = 0;
  for (const auto& line : Lines(path))
    if (line.rfind(word + " ", 0) == 0) value = static_cast<uint32_t>(std::stoul(line.substr(word.size() + 1)));
  return value;
}

std::string UniqueAppId(const std::string& what) {
  static int n = 0;
  return "plbtest." + what + "." + std::to_string(getpid()) + "." + std::to_string(++n);
}

// Copies of the driver in a directory of their own, run natively or under Wine.
class Drivers {
 public:
  explicit Drivers(bool windows) : windows_(windows) {
    Copy("driver");
  }
  // Another file with the same contents: the system does not share its section.
  std::string Copy(const std::string& name) {
    std::string path = dir_ / (windows_ ? name + ".exe" : name);
    testutil::WriteFile(path, testutil::ReadFile(windows_ ? kWindowsDriver : PLB_INSTANCE_DRIVER));
    chmod(path.c_str(), 0755);
    return path;
  }
  std::string Path(const std::string& name = "driver") const { return dir_ / (windows_ ? name + ".exe" : name); }
  std::string Log(const std::string& name) const { return dir_ / (name + ".log"); }

  std::unique_ptr<runtest::Child> Start(std::vector<std::string> args, const std::string& exe = "driver") {
    args.insert(args.begin() + 1, HostPath(dir_.path()));
    args.insert(args.begin(), Path(exe));
    if (windows_) args.insert(args.begin(), PLB_WINE);
    return std::make_unique<runtest::Child>(args, Environment(), runtest::kNoisyEnv);
  }
  std::unique_ptr<runtest::Child> Node(const std::string& name, const std::string& appId,
                                       std::vector<std::string> sending = {}, const std::string& exe = "driver") {
    std::vector<std::string> args = {"node", name, appId};
    args.insert(args.end(), sending.begin(), sending.end());
    auto child = Start(args, exe);
    EXPECT_TRUE(WaitUntil([&] { return LastNumber(Log(name), "ready") != 0; }, 60)) << name << " did not start";
    return child;
  }
  void Go(const std::vector<uint32_t>& targets) {
    std::string text;
    for (uint32_t id : targets) text += std::to_string(id) + "\n";
    testutil::WriteFile(dir_ / "go.tmp", text);
    rename((dir_ / "go.tmp").c_str(), (dir_ / "go").c_str());
  }
  void Stop() { testutil::WriteFile(dir_ / "stop", ""); }
  bool windows() const { return windows_; }

 private:
  std::string HostPath(const std::string& path) const {
    if (!windows_) return path;
    std::string p = "Z:" + path;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  std::vector<std::string> Environment() const {
    if (!windows_) return {};
    const char* prefix = getenv("WINEPREFIX");
    return {"WINEPREFIX=" + std::string(prefix ? prefix : PLB_BINARY_DIR "/wineprefix"), "WINEDEBUG=-all"};
  }

  bool windows_;
  testutil::TempDir dir_;
};

struct Traffic {
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> sent;                   // (origin, seq) -> target
  std::map<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>> received;  // (origin, seq) -> receivers
  int bad = 0;
};

// Reads the "send" and "recv" lines of the nodes' logs.
Traffic ReadTraffic(const Drivers& d, const std::vector<std::string>& names) {
  Traffic t;
  for (const auto& name : names) {
    uint32_t self = LastNumber(d.Log(name), "ready");
    for (const auto& line : Lines(d.Log(name))) {
      std::istringstream in(line);
      std::string word, verdict;
      uint32_t a = 0, b = 0, c = 0;
      in >> word >> a >> b;
      if (word == "send") t.sent[{self, b}] = a;
      if (word != "recv") continue;
      in >> c >> verdict;
      t.received[{b, c}].push_back(self);
      if (verdict != "ok" || a != b) ++t.bad;
    }
  }
  return t;
}

// Every message arrived intact, once, at its target; and every message sent between the
// processes in `reliable` arrived.
void ExpectDelivered(const Traffic& t, const std::set<uint32_t>& reliable) {
  EXPECT_EQ(t.bad, 0) << "messages corrupted or attributed to the wrong sender";
  for (const auto& [key, receivers] : t.received) {
    auto sent = t.sent.find(key);
    ASSERT_NE(sent, t.sent.end()) << "received a message nobody sent: " << key.first << "/" << key.second;
    EXPECT_EQ(receivers, std::vector<uint32_t>{sent->second}) << key.first << "/" << key.second;
  }
  int missing = 0;
  for (const auto& [key, target] : t.sent)
    if (reliable.count(key.first) && reliable.count(target) && !t.received.count(key)) ++missing;
  EXPECT_EQ(missing, 0) << "messages between live processes lost";
}

bool FinishedSending(const Drivers& d, const std::string& name) {
  auto lines = Lines(d.Log(name));
  return std::find(lines.begin(), lines.end(), "sent") != lines.end();
}

class InstanceProcesses : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && !WindowsDriverUsable()) PLB_SKIP_MISSING() << "no Windows driver build or no Wine";
  }
};

INSTANTIATE_TEST_SUITE_P(Targets, InstanceProcesses, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Windows" : "Linux"; });

TEST_P(InstanceProcesses, OneFirstInstanceAndATakeOverWhenItIsKilled) {
  for (std::string appId : {std::string("-"), UniqueAppId("elect")}) {
    SCOPED_TRACE(appId == "-" ? "the executable's own section" : "a named mapping");
    Drivers d(GetParam());
    auto a = d.Node("a", appId);
    auto b = d.Node("b", appId);
    auto c = d.Node("c", appId);
    uint32_t pa = LastNumber(d.Log("a"), "ready");
    for (const char* n : {"a", "b", "c"}) EXPECT_EQ(LastNumber(d.Log(n), "first"), pa) << n;
    // A copy under another name shares the table only through an appid.
    d.Copy("other");
    auto other = d.Node("o", appId, {}, "other");
    uint32_t po = LastNumber(d.Log("o"), "ready");
    EXPECT_EQ(LastNumber(d.Log("o"), "first"), appId == "-" ? po : pa);

    a->Signal(SIGKILL);
    a->Wait(10);
    uint32_t pb = LastNumber(d.Log("b"), "ready"), pc = LastNumber(d.Log("c"), "ready");
    ASSERT_TRUE(WaitUntil([&] {
      uint32_t fb = LastNumber(d.Log("b"), "first"), fc = LastNumber(d.Log("c"), "first");
      return fb == fc && (fb == pb || fb == pc || (appId != "-" && fb == po));
    }, 20)) << "no survivor took the role over";
    auto e = d.Node("e", appId);  // a later start joins the new first instance
    EXPECT_EQ(LastNumber(d.Log("e"), "first"), LastNumber(d.Log("b"), "first"));
    d.Stop();
    for (auto* child : {b.get(), c.get(), e.get(), other.get()}) EXPECT_EQ(child->Wait(30), 0);
  }
}

TEST_P(InstanceProcesses, SecondStartIsRefusedWithMessage13AndCode11) {
  Drivers d(GetParam());
  d.Copy("other");
  const std::string appId = UniqueAppId("single");
  auto first = d.Start({"single", "-"});
  ASSERT_TRUE(WaitUntil([&] { return LastNumber(d.Log("single"), "admitted") != 0; }, 60));

  auto second = d.Start({"single", "-"});
  EXPECT_EQ(second->Wait(60), 11);
  if (!GetParam()) EXPECT_NE(second->Err().find("There is already an instance of this program running."), std::string::npos);
  auto copy = d.Start({"single", "-"}, "other");  // another file: another mutex name
  ASSERT_TRUE(WaitUntil([&] { return Lines(d.Log("single")).size() == 2; }, 60)) << "the copy was refused";

  // With one appid the copy and the original exclude each other; a killed holder does not
  // keep the next start out.
  auto holder = d.Start({"single", appId}, "other");
  ASSERT_TRUE(WaitUntil([&] { return Lines(d.Log("single")).size() == 3; }, 60));
  EXPECT_EQ(d.Start({"single", appId})->Wait(60), 11);
  // Refused with ":" where the holder has ".": the same mutex but a table of its own, which
  // must not outlive it.
  std::string colon = appId;
  colon[colon.find('.')] = ':';
  EXPECT_EQ(d.Start({"single", colon})->Wait(60), 11);
  if (!GetParam())
    EXPECT_FALSE(testutil::FileExists("/dev/shm/" + std::to_string(getuid()) + "." + colon + ".plb.mapping"));
  holder->Signal(SIGKILL);
  holder->Wait(10);
  auto next = d.Start({"single", appId});
  EXPECT_TRUE(WaitUntil([&] { return Lines(d.Log("single")).size() == 4; }, 60)) << "a dead holder blocks";
  d.Stop();
  for (auto* child : {first.get(), copy.get(), next.get()}) EXPECT_EQ(child->Wait(30), 0);
}

// Three processes send each other (and themselves) messages of up to 20 KB.
TEST_P(InstanceProcesses, MessagesReachTheirTargetsIntact) {
  Drivers d(GetParam());
  const std::string appId = GetParam() ? "-" : UniqueAppId("messages");
  std::vector<std::string> names = {"a", "b", "c"};
  std::vector<std::unique_ptr<runtest::Child>> nodes;
  std::vector<uint32_t> ids;
  for (size_t i = 0; i < names.size(); ++i) {
    nodes.push_back(d.Node(names[i], appId, {"40", "20000", std::to_string(i + 1)}));
    ids.push_back(LastNumber(d.Log(names[i]), "ready"));
  }
  d.Go(ids);
  EXPECT_TRUE(WaitUntil([&] {
    int received = 0;
    for (const auto& n : names) received += static_cast<int>(ReadTraffic(d, {n}).received.size());
    return received == 3 * 40;
  }, 120));
  d.Stop();
  for (auto& n : nodes) EXPECT_EQ(n->Wait(30), 0);
  ExpectDelivered(ReadTraffic(d, names), {ids.begin(), ids.end()});
}

// A receiver and four processes that each send 500 objects of 0 to 200 KB to it and to
// each other. Bound: 240 seconds for all of them (about 10 on a quiet machine).
TEST(InstanceStress, FourSendersAndAReceiver) {
  Drivers d(false);
  const std::string appId = UniqueAppId("stress");
  std::vector<std::string> names = {"r", "a", "b", "c", "d"};
  std::vector<std::unique_ptr<runtest::Child>> nodes;
  std::vector<uint32_t> ids;
  for (size_t i = 0; i < names.size(); ++i) {
    std::vector<std::string> sending;
    if (i > 0) sending = {"500", "204800", std::to_string(100 + i)};
    nodes.push_back(d.Node(names[i], appId, sending));
    ids.push_back(LastNumber(d.Log(names[i]), "ready"));
  }
  d.Go(ids);
  bool finished = WaitUntil([&] { return ReadTraffic(d, names).received.size() == 4 * 500; }, 240);
  EXPECT_TRUE(finished) << "not all messages arrived within the bound";
  d.Stop();
  for (auto& n : nodes) EXPECT_EQ(n->Wait(30), 0);
  Traffic t = ReadTraffic(d, names);
  EXPECT_EQ(t.sent.size(), 4u * 500);
  ExpectDelivered(t, {ids.begin(), ids.end()});
}

// The first instance sends and receives too, and is killed halfway: another process takes
// the role over and the messages between the survivors all arrive.
TEST(InstanceStress, KillingTheFirstInstanceMidway) {
  Drivers d(false);
  const std::string appId = UniqueAppId("kill");
  std::vector<std::string> names = {"a", "b", "c", "d"};
  std::vector<std::unique_ptr<runtest::Child>> nodes;
  std::vector<uint32_t> ids;
  for (size_t i = 0; i < names.size(); ++i) {
    nodes.push_back(d.Node(names[i], appId, {"300", "50000", std::to_string(200 + i)}));
    ids.push_back(LastNumber(d.Log(names[i]), "ready"));
  }
  d.Go(ids);
  ASSERT_TRUE(WaitUntil([&] { return ReadTraffic(d, names).received.size() >= 300; }, 120));
  nodes[0]->Signal(SIGKILL);
  nodes[0]->Wait(10);
  std::vector<std::string> survivors(names.begin() + 1, names.end());
  EXPECT_TRUE(WaitUntil([&] {
    for (const auto& n : survivors)
      if (!FinishedSending(d, n)) return false;
    return true;
  }, 180)) << "the survivors did not finish sending";
  // Give the last messages time to arrive, then check the role has moved.
  WaitUntil([&] {
    Traffic t = ReadTraffic(d, names);
    for (const auto& [key, target] : t.sent)
      if (key.first != ids[0] && target != ids[0] && !t.received.count(key)) return false;
    return true;
  }, 60);
  uint32_t first = LastNumber(d.Log("b"), "first");
  EXPECT_TRUE(first == ids[1] || first == ids[2] || first == ids[3]) << first;
  d.Stop();
  for (size_t i = 1; i < nodes.size(); ++i) EXPECT_EQ(nodes[i]->Wait(30), 0);
  ExpectDelivered(ReadTraffic(d, names), {ids.begin() + 1, ids.end()});
}

// A process writes random values into the slot fields while two instances exchange
// messages: neither crashes (under AddressSanitizer: neither touches memory outside its
// buffers). Messages may be lost or spoiled; the point is that the processes survive.
TEST(InstanceStress, ScribblingOverTheSlotDoesNoHarm) {
  Drivers d(false);
  const std::string appId = UniqueAppId("hostile");
  auto a = d.Node("a", appId, {"200", "20000", "1"});
  auto b = d.Node("b", appId, {"200", "20000", "2"});
  auto hostile = d.Start({"hostile", appId});
  d.Go({LastNumber(d.Log("a"), "ready"), LastNumber(d.Log("b"), "ready")});
  EXPECT_TRUE(WaitUntil([&] { return FinishedSending(d, "a") && FinishedSending(d, "b"); }, 120));
  d.Stop();
  EXPECT_EQ(hostile->Wait(30), 0);
  EXPECT_EQ(a->Wait(30), 0) << a->Err();
  EXPECT_EQ(b->Wait(30), 0) << b->Err();
}

}  // namespace

namespace {

// The word that follows `key` in `text` ("" when there is none).
std::string ValueAfter(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  return text.substr(at, text.find_first_of(" \r\n", at) - at);
}

// The Java side: a wrapped application on a real runtime uses com.quillmar.plb.Instances. On
// Linux with JDK 17 and 25, and on Windows under one Wine server with a Windows runtime 17.
struct JavaTarget {
  int feature;
  bool windows;
};

class InstancesJava : public ::testing::TestWithParam<JavaTarget> {
 protected:
  static void SetUpTestSuite() {
    runtest::Jdk jdk = runtest::BuildJdk();
    if (!jdk.feature) return;
    jarDir_ = std::make_unique<testutil::TempDir>();
    runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/instances", *jarDir_ / "classes",
                         PLB_SUPPORT_JAR);
    runtest::MakeJar(jdk, *jarDir_ / "app.jar", *jarDir_ / "classes");
  }
  static void TearDownTestSuite() { jarDir_.reset(); }
  void SetUp() override {
    windows_ = GetParam().windows;
    if (!jarDir_) PLB_SKIP_MISSING() << "no JDK to compile the test application";
    if (windows_) {
      runtime_ = runtest::WindowsRuntime(GetParam().feature);
      if (runtime_.empty() || !testutil::FileExists(PLB_WINDOWS_STUB) || std::string(PLB_WINE).empty())
        PLB_SKIP_MISSING() << "no Windows stub, Wine or Windows runtime " << GetParam().feature;
      runtime_ = runtest::WinPath(runtime_ + "/bin/server/jvm.dll");
    } else {
      runtest::Jdk jdk = runtest::FindJdk(GetParam().feature);
      if (!jdk.feature) PLB_SKIP_MISSING() << "JDK " << GetParam().feature << " not installed";
      runtime_ = jdk.LibJvm();
    }
    stop_ = dir_ / "stop";
  }

  std::string WrapApp(const std::string& name, const std::vector<std::string>& settings) {
    runtest::WrapRequest w;
    w.target = windows_ ? "windows" : "linux";
    w.jar = *jarDir_ / "app.jar";
    w.mainClass = "inst.Main";
    w.settings = {"jvmdll " + runtime_};
    w.settings.insert(w.settings.end(), settings.begin(), settings.end());
    std::string exe = dir_ / (windows_ ? name + ".exe" : name);
    runtest::Wrap(w, exe, windows_ ? PLB_WINDOWS_STUB : PLB_LINUX_STUB);
    return exe;
  }

  // The command line of a wrapped application (under Wine for Windows); "STOP" stands for the
  // file whose creation ends the waiting instances.
  std::vector<std::string> Argv(const std::string& exe, std::vector<std::string> args) const {
    for (auto& a : args)
      if (a == "STOP") a = windows_ ? runtest::WinPath(stop_) : stop_;
    args.insert(args.begin(), exe);
    if (windows_) args.insert(args.begin(), PLB_WINE);
    return args;
  }
  std::vector<std::string> Env() const { return windows_ ? runtest::WineEnv() : std::vector<std::string>{}; }
  std::unique_ptr<runtest::Child> Start(const std::string& exe, const std::vector<std::string>& args) const {
    return std::make_unique<runtest::Child>(Argv(exe, args), Env(), runtest::kNoisyEnv);
  }
  runtest::Output RunApp(const std::string& exe, const std::vector<std::string>& args) const {
    return runtest::RunProgram(Argv(exe, args), Env(), 300);
  }

  // The shared block's chunk sequence counter, read from the appid's shared-memory object
  // (Linux only); 0 on Windows.
  uint32_t ChunksPlaced(const std::string& appId) const {
    if (windows_) return 0;
    std::string block = testutil::ReadFile("/dev/shm/" + std::to_string(getuid()) + "." + appId + ".plb.mapping");
    uint32_t value = 0;
    if (block.size() >= 12) std::memcpy(&value, block.data() + 8, 4);
    return value;
  }

  static inline std::unique_ptr<testutil::TempDir> jarDir_;
  bool windows_ = false;
  std::string runtime_, stop_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Runtimes, InstancesJava,
                         ::testing::Values(JavaTarget{17, false}, JavaTarget{25, false}, JavaTarget{17, true}),
                         [](const auto& info) {
                           return std::string(info.param.windows ? "Windows" : "Linux") + "Jdk" +
                                  std::to_string(info.param.feature);
                         });

// A second start hands its arguments to the first instance and ends; objects of 10,004,
// 1024 and 1025 message bytes take 10, 1 and 2 chunks and arrive intact.
TEST_P(InstancesJava, SecondStartSendsItsArgumentsToTheFirstInstance) {
  const std::string appId = UniqueAppId("java");
  std::string exe = WrapApp("app", {"singleinstance custom", "appid " + appId});
  auto first = Start(exe, {"receive", "STOP"});
  ASSERT_TRUE(first->WaitForOutput("ready ", 60)) << first->Err();
  const std::string self = ValueAfter(first->Out(), "first=");
  EXPECT_EQ(ValueAfter(first->Out(), "me="), self);  // the first instance is the current one
  EXPECT_TRUE(first->WaitForOutput("got sender=" + self + " to myself", 30));

  runtest::Output second = RunApp(exe, {"args", "one", "two three"});
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(ValueAfter(second.out, "first="), self);
  const std::string sender = ValueAfter(second.out, "me=");
  EXPECT_NE(sender, self);
  EXPECT_TRUE(first->WaitForOutput("got sender=" + sender + " args:one,two three", 30)) << first->Out();

  // byte[n] serializes to 27 + n bytes; the message adds the 4-byte kind.
  for (auto [length, chunks] : {std::pair{9973, 10u}, {993, 1u}, {994, 2u}}) {
    uint32_t before = ChunksPlaced(appId);
    ASSERT_EQ(RunApp(exe, {"bytes", std::to_string(length)}).code, 0);
    EXPECT_TRUE(first->WaitForOutput("bytes:" + std::to_string(length) + ":ok", 30)) << first->Out();
    if (!windows_) EXPECT_EQ(ChunksPlaced(appId) - before, chunks) << length;
  }
  testutil::WriteFile(stop_, "");
  EXPECT_EQ(first->Wait(60), 0) << first->Err();
  EXPECT_EQ(first->Out().find(":bad"), std::string::npos);
}

// Lines "got sender=S msg ..." of the receiver, in the order they came.
std::vector<std::string> Received(const std::string& out) {
  std::vector<std::string> got;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows runtime's line end
    if (line.rfind("got sender=", 0) == 0 && line.find(" msg ") != std::string::npos) got.push_back(line.substr(4));
  }
  return got;
}

// A receiver that is not the first instance and is slow in onReceive gets every chunk:
// with 1.6 s per object, three objects of three chunks arrive in order; sleeping 5 s while
// four senders send 50 objects each, it gets all 200 once each, in each sender's order. A
// chunk for a process without instance service holds the slot only for a short while.
TEST_P(InstancesJava, ASlowReceiverLosesNothing) {
  if (GetParam().feature != 17) GTEST_SKIP() << "timing test: one runtime is enough";
  const std::string appId = UniqueAppId("slow");
  std::string app = WrapApp("app", {"singleinstance custom", "appid " + appId});
  std::string plain = WrapApp("plain", {"appid " + appId});
  auto first = Start(app, {"hold", "STOP"});
  ASSERT_TRUE(first->WaitForOutput("running ", 60)) << first->Err();
  auto receiver = Start(app, {"receive", "STOP", "1600,1600,1600,0,5000"});
  auto idle = Start(plain, {"hold", "STOP"});
  ASSERT_TRUE(receiver->WaitForOutput("ready ", 60)) << receiver->Err();
  ASSERT_TRUE(idle->WaitForOutput("running ", 60)) << idle->Err();
  const std::string target = ValueAfter(receiver->Out(), "me=");
  ASSERT_NE(target, ValueAfter(receiver->Out(), "first="));

  runtest::Output slow = RunApp(app, {"burst", "3", "3000", target});
  ASSERT_EQ(slow.code, 0) << slow.err;
  runtest::Output skip = RunApp(app, {"burst", "1", "100", ValueAfter(idle->Out(), "pid="), target});
  ASSERT_EQ(skip.code, 0) << skip.err;
  EXPECT_LT(std::stoi(ValueAfter(skip.out, "ms=")), 2000) << "a chunk for a process without service held the slot";
  const std::string s1 = ValueAfter(slow.out, "me="), s2 = ValueAfter(skip.out, "me=");
  ASSERT_TRUE(receiver->WaitForOutput("msg " + s2 + "/4.0", 30)) << receiver->Out();
  std::vector<std::string> expected;
  for (const char* i : {"0", "1", "2"}) expected.push_back("sender=" + s1 + " msg " + s1 + "/3." + i + " len=3000");
  expected.push_back("sender=" + s2 + " msg " + s2 + "/4.0 len=100");
  EXPECT_EQ(Received(receiver->Out()), expected);

  std::vector<std::unique_ptr<runtest::Child>> senders;
  for (int i = 0; i < 4; ++i)
    senders.push_back(Start(app, {"burst", "50", "1500", target}));
  std::map<std::string, std::vector<std::string>> bySender;
  for (auto& s : senders) {
    ASSERT_EQ(s->Wait(120), 0) << s->Err();
    bySender[ValueAfter(s->Out(), "me=")];
  }
  EXPECT_TRUE(WaitUntil([&] { return Received(receiver->Out()).size() >= 204; }, 60));
  testutil::WriteFile(stop_, "");
  EXPECT_EQ(receiver->Wait(60), 0);
  for (auto* c : {first.get(), idle.get()}) EXPECT_EQ(c->Wait(60), 0);
  std::vector<std::string> got = Received(receiver->Out());
  for (size_t i = 4; i < got.size(); ++i) {
    std::string sender = ValueAfter(got[i], "sender=");
    ASSERT_TRUE(bySender.count(sender)) << got[i];
    bySender[sender].push_back(got[i].substr(got[i].find(" msg ") + 1));
  }
  for (const auto& [sender, lines] : bySender) {
    expected.clear();
    for (int i = 0; i < 50; ++i) expected.push_back("msg " + sender + "/3." + std::to_string(i) + " len=1500");
    EXPECT_EQ(lines, expected) << "from " << sender;
  }
}

TEST_P(InstancesJava, SingleInstanceRefusesASecondStart) {
  // With the standard error sent to a file, the refusal still reaches the user.
  const std::string log = dir_ / "err.log";
  std::string exe = WrapApp("app", {"singleinstance TRUE", "stderr " + (windows_ ? runtest::WinPath(log) : log)});
  auto first = Start(exe, {"hold", "STOP"});
  ASSERT_TRUE(first->WaitForOutput("running ", 60)) << first->Err();
  // Without "custom" the process is not started: no first or current instance, yet listed.
  EXPECT_NE(first->Out().find("first=-1 me=-1 instances="), std::string::npos) << first->Out();
  EXPECT_EQ(first->Out().find("instances=0"), std::string::npos);

  runtest::Output refused = RunApp(exe, {"hold", "STOP"});
  EXPECT_EQ(refused.code, 11);
  if (!windows_)  // Windows shows it in a message box, which the user sees anyway
    EXPECT_NE(refused.err.find("There is already an instance of this program running."), std::string::npos)
        << refused.err;

  // A copy under another name is another application.
  const std::string copyExe = dir_ / (windows_ ? "copy.exe" : "copy");
  testutil::WriteFile(copyExe, testutil::ReadFile(exe));
  chmod(copyExe.c_str(), 0755);
  auto copy = Start(copyExe, {"hold", "STOP"});
  EXPECT_TRUE(copy->WaitForOutput("running ", 60)) << copy->Err();

  // A first instance killed outright does not keep the next start out.
  first->Signal(SIGKILL);
  first->Wait(10);
  auto next = Start(exe, {"hold", "STOP"});
  EXPECT_TRUE(next->WaitForOutput("running ", 60)) << next->Err();
  testutil::WriteFile(stop_, "");
  EXPECT_EQ(next->Wait(60), 0);
  EXPECT_EQ(copy->Wait(60), 0);
}

}  // namespace
