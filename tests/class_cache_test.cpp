// The class-data cache's plan for a run: when there is none, which archive a run writes or
// maps, and what it does with stale or foreign files in the cache folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "payload/config.h"
#include "runtime/class_cache.h"
#include "support/env_guard.h"
#include "support/test_util.h"

namespace {

#ifdef _WIN32
constexpr char kCacheVariable[] = "LOCALAPPDATA", kJava[] = "bin/java.exe";
#else
constexpr char kCacheVariable[] = "XDG_CACHE_HOME", kJava[] = "bin/java";
#endif

LauncherContext Flat(const std::string& config, const std::string& exe) {
  LauncherContext ctx;
  ctx.exePath = exe;
  ctx.flatArchive = true;
  AppendText(ctx, config.data(), config.size());
  return ctx;
}

TEST(ClassCache, PlanWritesMapsAndReplaces) {
  testutil::TempDir dir;
  testutil::EnvGuard env;
  env.Set(kCacheVariable, dir.path());
  const std::string exe = dir / "app";
  testutil::WriteFile(exe, "executable");
  const RuntimeInfo jdk17{17, true};
  const std::string lib = dir / "lib/server/libjvm.so";
  testutil::MakeDirs(dir / "bin");
  testutil::MakeDirs(dir / "lib/server");
  testutil::WriteFile(dir / "release", "JAVA_VERSION=\"17\"\n");

  // Nothing unless flat, "auto", HotSpot 13 or later, and no archive of the user's own.
  LauncherContext nested = Flat("classdatacache auto\r\n", exe);
  nested.flatArchive = false;
  EXPECT_EQ(PlanClassCache(nested, jdk17, lib, exe).kind, ClassCacheKind::kNone);
  EXPECT_EQ(PlanClassCache(Flat("classdatacache off\r\n", exe), jdk17, lib, exe).kind, ClassCacheKind::kNone);
  EXPECT_EQ(PlanClassCache(Flat("", exe), jdk17, lib, exe).kind, ClassCacheKind::kNone);
  LauncherContext cache = Flat("classdatacache AUTO\r\n", exe);
  EXPECT_EQ(PlanClassCache(cache, {11, true}, lib, exe).kind, ClassCacheKind::kNone);
  EXPECT_EQ(PlanClassCache(cache, {17, false}, lib, exe).kind, ClassCacheKind::kNone);
  EXPECT_EQ(PlanClassCache(Flat("classdatacache auto\r\noption -XX:ArchiveClassesAtExit=a.jsa\r\n", exe), jdk17, lib,
                           exe)
                .kind,
            ClassCacheKind::kNone);
  // Nor for a runtime without its "java", which makes the archive.
  EXPECT_EQ(PlanClassCache(cache, jdk17, lib, exe).kind, ClassCacheKind::kNone);
  testutil::WriteFile(dir / kJava, "the runtime's java");
  EXPECT_FALSE(std::filesystem::exists(dir / "plumbox"));  // no folder made for them

  // The first run writes under a name of its own, beside an older archive of the same
  // executable (which goes) and another executable's (which stays).
  testutil::MakeDirs(dir / "plumbox");
  const std::string old = ClassCacheFileName(exe, "an older wrap", ClassCacheKind::kStatic);
  const std::string other = ClassCacheFileName(dir / "other", "x", ClassCacheKind::kStatic);
  testutil::WriteFile(dir / ("plumbox/" + old), "old");
  testutil::WriteFile(dir / ("plumbox/" + other), "other");
  const std::string killed = dir / ("plumbox/" + old + ".99.part"), writing = dir / ("plumbox/" + old + ".98.part");
  testutil::WriteFile(killed, "half");
  testutil::WriteFile(writing, "half");
  std::filesystem::last_write_time(killed, std::filesystem::file_time_type::clock::now() - std::chrono::hours(7));
  ClassCachePlan first = PlanClassCache(cache, jdk17, lib, exe);
  ASSERT_EQ(first.kind, ClassCacheKind::kStatic);
  EXPECT_NE(first.pending, first.archive);
  EXPECT_EQ(first.options.back(), "-XX:DumpLoadedClassList=" + first.record);
  EXPECT_FALSE(testutil::FileExists(dir / ("plumbox/" + old)));
  EXPECT_TRUE(testutil::FileExists(dir / ("plumbox/" + other)));
  EXPECT_FALSE(testutil::FileExists(killed));
  EXPECT_TRUE(testutil::FileExists(writing));

  // A whole archive is mapped; a file that is none is removed and written again.
  // The runtime refusing it removes it too.
  testutil::WriteFile(first.archive, std::string("\xa2\xab\x0b\xf0", 4) + "rest");
  ClassCachePlan later = PlanClassCache(cache, jdk17, lib, exe);
  EXPECT_TRUE(later.pending.empty());
  EXPECT_EQ(later.options.back(), "-XX:SharedArchiveFile=" + first.archive);
  ForgetRefusedArchive(later, "mixed mode, sharing");
  EXPECT_TRUE(testutil::FileExists(first.archive));
  ForgetRefusedArchive(later, "mixed mode");
  EXPECT_FALSE(testutil::FileExists(first.archive));
  testutil::WriteFile(first.archive, std::string("\xa8\xab\x0b\xf0", 4) + "dynamic, not static");
  EXPECT_FALSE(PlanClassCache(cache, jdk17, lib, exe).pending.empty());
  EXPECT_FALSE(testutil::FileExists(first.archive));

  // Another executable or runtime state, another name.
  EXPECT_NE(ClassCacheFileName(exe, "a", ClassCacheKind::kStatic), ClassCacheFileName(exe, "b", ClassCacheKind::kStatic));
  EXPECT_NE(ClassCacheFileName(exe, "a", ClassCacheKind::kStatic), ClassCacheFileName(exe, "a", ClassCacheKind::kAot));
}

}  // namespace
