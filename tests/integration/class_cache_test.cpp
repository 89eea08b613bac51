// The class-data cache of flat executables ("classdatacache auto"), and archives that
// "option" lines ask for, on JDK 17 (static archive) and JDK 25 (AOT cache).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "integration/run_support.h"

namespace fs = std::filesystem;
using runtest::Jdk;
using runtest::Output;

namespace {

std::unique_ptr<testutil::TempDir> g_dir;
std::string g_jar;

void BuildJar() {
  Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) return;
  g_dir = std::make_unique<testutil::TempDir>();
  runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/classcache", *g_dir / "classes");
  g_jar = *g_dir / "cc.jar";
  runtest::MakeJar(jdk, g_jar, *g_dir / "classes");
}

class ClassCache : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_dir) BuildJar();
  }

  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
    ASSERT_TRUE(g_dir) << "no JDK to compile the test application";
  }

  void Wrap(const std::string& exe, std::vector<std::string> settings, std::vector<std::string> options = {}) {
    runtest::WrapRequest w;
    w.jar = g_jar;
    w.mainClass = "cc.Main";
    w.settings = std::move(settings);
    w.settings.insert(w.settings.begin(), "jvmdll " + jdk_.LibJvm());
    w.options = std::move(options);
    w.options.push_back("--flat");
    w.classCache = true;
    runtest::Wrap(w, exe, PLB_LINUX_STUB);
  }

  Output Run(const std::string& exe, const std::vector<std::string>& args = {}) {
    std::vector<std::string> argv = {exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return runtest::RunProgram(argv, {"XDG_CACHE_HOME=" + cache_});
  }

  std::vector<std::string> Files() const { return runtest::CacheFiles(cache_ + "/plumbox"); }
  std::vector<std::string> Made() const { return runtest::MadeCacheFiles(cache_ + "/plumbox"); }

  // Whether a run maps the main class out of the archive: the runtime's class-loading log,
  // asked for by the external configuration file beside the executable.
  bool MapsMainClass(const std::string& exe) {
    const std::string log = dir_ / "load.log";
    testutil::WriteFile(exe + ".cfg", "option -Xlog:class+load=info:file=" + log + "\n");
    Output o = Run(exe);
    fs::remove(exe + ".cfg");
    EXPECT_EQ(o.code, 0) << o.err;
    return testutil::ReadFile(log).find("cc.Main source: shared objects file") != std::string::npos;
  }

  Jdk jdk_;
  testutil::TempDir dir_;
  std::string cache_ = dir_ / "cache";
};

INSTANTIATE_TEST_SUITE_P(Jdk, ClassCache, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

// The first start makes the archive (whether main returns or calls System.exit), with the
// application's output, hook order and exit status untouched and nothing of the cache on the
// console; later starts map it; a rewrap makes a new one in place of the old; a file that is
// no archive is replaced; two first starts at once leave one whole archive; a cache folder
// that cannot be written is passed over silently.
TEST_P(ClassCache, MadeUsedReplacedSharedAndSkipped) {
  const std::string exe = dir_ / "app";
  Wrap(exe, {});
  const std::string expected = "from file:" + exe + "\nresource jar:file:" + exe + "!/cc/Main.class\nhook\n";
  Output first = Run(exe, {"exit"});
  EXPECT_EQ(first.code, 3);
  EXPECT_EQ(first.out, expected);
  EXPECT_EQ(first.err, "main done\n");
  std::vector<std::string> made = Made();
  ASSERT_EQ(made.size(), 1u) << testing::PrintToString(made);
  EXPECT_EQ(fs::path(made[0]).extension(), GetParam() >= 25 ? ".aot" : ".jsa");
  EXPECT_TRUE(MapsMainClass(exe));
  Output second = Run(exe);
  EXPECT_EQ(second.code, 0);
  EXPECT_EQ(second.out, expected);
  EXPECT_EQ(second.err, "main done\n");

  Wrap(exe, {"property cc.rewrapped=true"});
  EXPECT_EQ(Run(exe).code, 0);
  std::vector<std::string> remade = Made();
  ASSERT_EQ(remade.size(), 1u) << testing::PrintToString(remade);
  EXPECT_NE(remade[0], made[0]);
  EXPECT_TRUE(MapsMainClass(exe));

  testutil::WriteFile(cache_ + "/plumbox/" + remade[0], "not an archive");
  EXPECT_EQ(Run(exe).code, 0);
  Made();
  EXPECT_TRUE(MapsMainClass(exe));
  // One the runtime refuses goes too, and is made again.
  testutil::WriteFile(cache_ + "/plumbox/" + remade[0], std::string("\xa2\xab\x0b\xf0", 4) + "refused");
  EXPECT_EQ(Run(exe).code, 0);
  EXPECT_TRUE(Made().empty());
  EXPECT_EQ(Run(exe).code, 0);
  EXPECT_EQ(Made().size(), 1u);
  EXPECT_TRUE(MapsMainClass(exe));

  // Another runtime (the other JDK, named by the file beside the executable), another archive
  // in place of this one's; and back.
  Jdk other = runtest::FindJdk(GetParam() >= 25 ? 17 : 25);
  if (other.feature) {
    testutil::WriteFile(exe + ".cfg", "jvmdll " + other.LibJvm() + "\n");
    EXPECT_EQ(Run(exe).code, 0);
    fs::remove(exe + ".cfg");
    std::vector<std::string> switched = Made();
    ASSERT_EQ(switched.size(), 1u) << testing::PrintToString(switched);
    EXPECT_EQ(fs::path(switched[0]).extension(), other.feature >= 25 ? ".aot" : ".jsa");
    EXPECT_EQ(Run(exe).code, 0);
    EXPECT_EQ(Made().size(), 1u);
    EXPECT_TRUE(MapsMainClass(exe));
  }

  // Options that decide whether an archive can be mapped are those it is made with.
  Wrap(exe, {"option -XX:-UseCompressedOops"});
  EXPECT_EQ(Run(exe).code, 0);
  EXPECT_EQ(Made().size(), 1u);
  EXPECT_TRUE(MapsMainClass(exe));

  fs::remove_all(cache_);
  runtest::Child a({exe}, {"XDG_CACHE_HOME=" + cache_}, runtest::kNoisyEnv);
  runtest::Child b({exe}, {"XDG_CACHE_HOME=" + cache_}, runtest::kNoisyEnv);
  EXPECT_EQ(a.Wait(120), 0);
  EXPECT_EQ(b.Wait(120), 0);
  EXPECT_EQ(a.Out(), expected);
  EXPECT_EQ(b.Out(), expected);
  EXPECT_EQ(Made().size(), 1u) << testing::PrintToString(Files());
  EXPECT_TRUE(MapsMainClass(exe));

  cache_ = "/proc/self/plumbox-cache";  // no one may make a folder here, not even root
  Output skipped = Run(exe, {"exit"});
  EXPECT_EQ(skipped.code, 3);
  EXPECT_EQ(skipped.out, expected);
  EXPECT_EQ(skipped.err, "main done\n");
}

// An archive that an "option" line asks for is written as under java, on a return from main
// and on System.exit, with the shutdown hook's output and the exit status as without it.
TEST_P(ClassCache, OptionLineArchiveIsWrittenAtExit) {
  const bool aot = GetParam() >= 25;
  const std::string exe = dir_ / "app", archive = dir_ / (aot ? "app.aot" : "app.jsa");
  Wrap(exe, {std::string("option ") + (aot ? "-XX:AOTCacheOutput=" : "-XX:ArchiveClassesAtExit=") + archive},
       {"--no-class-cache"});
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"exit"}}) {
    fs::remove(archive);
    Output o = Run(exe, args);
    EXPECT_EQ(o.code, args.empty() ? 0 : 3) << o.err;
    EXPECT_NE(o.out.find("hook\n"), std::string::npos) << o.out;
    EXPECT_TRUE(fs::exists(archive)) << o.err;
  }
  EXPECT_TRUE(Files().empty());
}

}  // namespace
