#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "payload/classpath.h"
#include "support/env_guard.h"
#include "support/test_util.h"

namespace {

using Elements = std::vector<std::string>;

// The elements of a launcher-form class path, each of which is preceded by the separator.
Elements Split(const std::string& cp) {
  Elements out;
  if (cp.empty()) return out;
  EXPECT_EQ(cp[0], plat::kPathListSeparator) << cp;
  size_t start = 1;
  for (;;) {
    size_t end = cp.find(plat::kPathListSeparator, start);
    out.push_back(cp.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return out;
    start = end + 1;
  }
}

Elements Sorted(Elements e) {
  std::sort(e.begin(), e.end());
  return e;
}

// app/ holds the executable; work/ is the current directory.
class ClassPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Unset("CLASSPATH");
    env_.Unset("CLASS_PATH");
    testutil::MakeDirs(work_);
    testutil::MakeDirs(app_);
    plat::ChangeDirectory(work_);
  }
  void File(const std::string& path) {
    testutil::MakeDirs(std::filesystem::path(path).parent_path().string());
    testutil::WriteFile(path, "");
  }
  LauncherContext Ctx(const std::string& config) {
    LauncherContext c;
    c.configText = config + std::string(1, '\0');
    c.exeDir = app_;
    c.exePath = app_ + "tool.exe";
    c.workDir = work_;
    return c;
  }
  Elements Launcher(const std::string& config) { return Split(BuildClassPath(Ctx(config), ClassPathForm::Launcher)); }

  testutil::TempDir tmp_;
  std::string app_ = tmp_ / "app/", work_ = tmp_ / "work/";
  testutil::EnvGuard env_;
  testutil::CwdGuard cwd_;
};

TEST_F(ClassPathTest, NothingConfigured) {
  EXPECT_EQ(BuildClassPath(Ctx(""), ClassPathForm::Vm), app_ + "tool.exe");
  EXPECT_EQ(BuildClassPath(Ctx(""), ClassPathForm::Launcher), "");
}

TEST_F(ClassPathTest, EntriesInConfigurationOrder) {
  File(app_ + "a.jar");
  File(work_ + "b.jar");
  env_.Set("PLBT_TWO", "p;q");
  struct Case {
    std::string config;
    Elements elements;
  };
  const Case cases[] = {
      {"classpath a.jar;;b.jar", {app_ + "a.jar", work_ + "b.jar"}},
      {"classpath x.jar\nclasspath x.jar", {app_ + "x.jar", app_ + "x.jar"}},
      {"classpath ;c.jar;", {app_ + "c.jar"}},
      {"classpath ${PLBT_MISSING|}", {""}},  // expands to nothing: an empty element
      {"classpath " + tmp_ / "abs.jar", {tmp_ / "abs.jar"}},
      {"classpath lib/*.jar", {}},                // no lib below the current directory
      {"libs", {}},                               // an empty directory value is skipped
      {"java_classpath a.jar", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Launcher(c.config), c.elements) << c.config;
  // Split before expansion: the ";" an inserted value brings stays inside one element.
  EXPECT_EQ(BuildClassPath(Ctx("classpath ${PLBT_TWO}"), ClassPathForm::Launcher),
            plat::kPathListSeparator + app_ + "p;q");
}

TEST_F(ClassPathTest, WildcardEntriesMatchTheCurrentDirectory) {
  for (const char* f : {"a/x.jar", "b/x.jar", "c/y.jar", "lib/k.jar", "lib/k.txt"}) File(work_ + f);
  File(app_ + "lib/app.jar");
  EXPECT_EQ(Sorted(Launcher("classpath */x.jar")), (Elements{"a/x.jar", "b/x.jar"}));
  EXPECT_EQ(Launcher("classpath lib/*.jar"), (Elements{"lib/k.jar"}));
}

TEST_F(ClassPathTest, LibraryDirectoriesAreScannedRecursively) {
  for (const char* f : {"lib/a.JAR", "lib/b.zip", "lib/notes.txt", "lib/sub/d.jar", "lib/x.jar.bak", "lib/.jar"})
    File(app_ + f);
  EXPECT_EQ(Sorted(Launcher("libs lib")),
            Sorted({app_ + "lib/a.JAR", app_ + "lib/b.zip", app_ + "lib/sub/d.jar", app_ + "lib/.jar"}));
  std::string vm = BuildClassPath(Ctx("java_libs lib\njava_classpath v.jar"), ClassPathForm::Vm);
  std::string exe = app_ + "tool.exe";
  ASSERT_EQ(vm.compare(0, exe.size(), exe), 0);
  Elements rest = Split(vm.substr(exe.size()));
  ASSERT_EQ(rest.size(), 5u);
  EXPECT_EQ(rest[0], app_ + "v.jar");  // entries before scanned archives
  EXPECT_EQ(Launcher("libs missing"), Elements{});
}

#ifndef _WIN32
TEST_F(ClassPathTest, LinkBackIntoTheTreeIsNotFollowed) {
  File(app_ + "lib/a.jar");
  File(app_ + "lib/sub/b.jar");
  std::filesystem::create_directory_symlink(app_ + "lib", app_ + "lib/sub/up");
  std::filesystem::create_directory_symlink(app_ + "lib", app_ + "lib/again");
  EXPECT_EQ(Sorted(Launcher("libs lib")), Sorted({app_ + "lib/a.jar", app_ + "lib/sub/b.jar"}));
}
#endif

TEST_F(ClassPathTest, EnvironmentEndsTheLauncherFormOnly) {
  env_.Set("CLASSPATH", "P1");
  env_.Set("CLASS_PATH", "P2");
  EXPECT_EQ(Launcher("classpath z.jar"), (Elements{app_ + "z.jar", "P1", "P2"}));
  EXPECT_EQ(BuildClassPath(Ctx(""), ClassPathForm::Vm), app_ + "tool.exe");
}

}  // namespace
