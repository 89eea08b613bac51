// Applications on real frameworks from Maven Central (tests/apps), built offline by Maven against
// the local repository that scripts/install-deps.sh primed, wrapped by plumbox-maven-plugin during
// the build, and run wrapped three ways (nested jars with jar: URLs, with plb: URLs, flat) on each
// JDK: standard output and exit code must be those of the same jars under java -cp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "integration/run_support.h"
#include "integration/virtual_display.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using runtest::Output;

namespace {

struct AppCase {
  const char* module;
  const char* mainClass;
  std::vector<std::string> args;
  // Frameworks that list a class-path folder only through jar: URLs (JarURLConnection) find
  // nothing in plb: ones ("usejarprotocol false"): that run must differ, not pass by chance.
  bool scansJarUrls = false;
};

const AppCase kCases[] = {
    {"cli", "cli.Main", {"--name", "Ada", "--count", "2", "red", "green", "blue"}},
    {"flyway", "migrate.Main", {}, true},
    {"natives", "natives.Main", {}},
    {"spring", "web.WebApp", {}, true},
};

const char* const kLayouts[] = {"nested", "plb-urls", "flat"};

std::string AppsRepository() {
  if (const char* repo = getenv("PLB_APPS_M2")) return repo;
  if (const char* cache = getenv("XDG_CACHE_HOME")) return std::string(cache) + "/plumbox/m2";
  return std::string(getenv("HOME") ? getenv("HOME") : "/root") + "/.cache/plumbox/m2";
}

std::string Tail(const std::string& text, size_t n = 4000) {
  return text.size() > n ? text.substr(text.size() - n) : text;
}

// What a build is made from: the projects' files and the plumbox it wraps with, by size and time.
std::string BuildStamp(const std::vector<std::string>& tools) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(PLB_SOURCE_DIR "/tests/apps"))
    if (e.is_regular_file()) files[e.path().string()] = "";
  for (const auto& tool : tools) files[tool] = "";
  std::string stamp;
  for (const auto& [path, unused] : files) {
    std::error_code ec;
    auto size = fs::file_size(path, ec);
    auto time = fs::last_write_time(path, ec).time_since_epoch().count();
    stamp += path + " " + std::to_string(ec ? 0 : size) + " " + std::to_string(ec ? 0 : time) + "\n";
  }
  return stamp;
}

// One offline Maven build of every application, shared by the tests (each of which ctest runs in
// a process of its own) under the build tree, made again when its inputs change.
class AppsBuild {
 public:
  static AppsBuild& Get() {
    static AppsBuild build;
    return build;
  }

  std::string missing;  // what the machine lacks to build; the suite cannot run
  std::string failed;   // the build's own failure
  std::string windowsJdk;  // the Windows runtime the Windows executables name, when built

  std::string Dir(const std::string& module) const { return root_ + "/apps/" + module + "/target"; }

  // The project jar and its libraries, as the plugin passes them and java -cp takes them.
  std::vector<std::string> ClassPath(const std::string& module) const {
    std::vector<std::string> jars = {Dir(module) + "/" + module + "-1.0.jar"};
    std::stringstream libs(testutil::ReadFile(Dir(module) + "/classpath.txt"));
    for (std::string jar; std::getline(libs, jar, ':');)
      if (!jar.empty() && jar != "\n") jars.push_back(jar);
    return jars;
  }

 private:
  AppsBuild() {
    std::string mvn = testutil::FindOnPath("mvn");
    std::string repo = AppsRepository();
    fs::path pluginJar;
    if (fs::is_directory(PLB_BINARY_DIR "/maven"))
      for (const auto& e : fs::directory_iterator(PLB_BINARY_DIR "/maven"))
        if (e.path().extension() == ".jar") pluginJar = e.path();
    if (mvn.empty()) missing = "mvn is not installed (apt-get install maven)";
    else if (pluginJar.empty()) missing = "plumbox-maven-plugin is not built (needs an installed Maven)";
    else if (!fs::exists(repo + "/info/picocli/picocli"))
      missing = repo + " is not primed: run scripts/install-deps.sh";
    else if (!runtest::FindJdk(17).feature) missing = "JDK 17 is not installed";
    if (!missing.empty()) return;

    // One process builds while the others wait for it, then they all take its result.
    int lock = open((root_ + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
    if (lock >= 0) flock(lock, LOCK_EX);
    std::string runtime = runtest::WindowsRuntime(17);
    bool windows = fs::exists(PLB_WINDOWS_STUB) && !runtime.empty();
    std::string stamp = BuildStamp({PLB_TOOL, PLB_LINUX_STUB, PLB_SUPPORT_JAR, pluginJar.string(),
                                    windows ? PLB_WINDOWS_STUB : "no Windows executables"});
    if (windows) windowsJdk = runtime;
    if (testutil::ReadFile(root_ + "/stamp") != stamp) {
      Build(mvn, repo, pluginJar, runtime, windows);
      if (failed.empty()) testutil::WriteFile(root_ + "/stamp", stamp);
    }
    if (lock >= 0) close(lock);
  }

  void Build(const std::string& mvn, const std::string& repo, const fs::path& pluginJar, const std::string& runtime,
             bool windows) {
    fs::remove_all(root_);
    testutil::MakeDirs(root_);
    // The plugin goes into the repository as install:install-file would put it.
    std::string version = pluginJar.stem().string().substr(std::string("plumbox-maven-plugin-").size());
    std::string pluginDir = repo + "/com/quillmar/plumbox/plumbox-maven-plugin/" + version;
    testutil::MakeDirs(pluginDir);
    fs::path pluginPom = fs::path(pluginJar).replace_extension(".pom");
    for (const auto& f : {pluginJar, pluginPom})
      fs::copy_file(f, pluginDir + "/" + f.filename().string(), fs::copy_options::overwrite_existing);

    // An installation prefix as cmake --install lays it out.
    std::string prefix = root_ + "/prefix";
    testutil::MakeDirs(prefix + "/bin");
    fs::copy_file(PLB_TOOL, prefix + "/bin/plumbox");
    testutil::MakeDirs(prefix + "/share/plumbox");
    fs::copy_file(PLB_LINUX_STUB, prefix + "/share/plumbox/stub-linux-x86_64");
    fs::copy_file(PLB_SUPPORT_JAR, prefix + "/share/plumbox/plumbox-support.jar");
    std::vector<std::string> argv = {mvn, "-o", "-B", "-q", "-Dmaven.repo.local=" + repo, "-f",
                                     root_ + "/apps/pom.xml", "-Pwrap", "-Dplumbox.version=" + version,
                                     "-Dplumbox.home=" + prefix, "package"};
    if (windows) {
      fs::copy_file(PLB_WINDOWS_STUB, prefix + "/share/plumbox/stub-windows-x86_64.exe");
      argv.insert(argv.end(), {"-Dapps.windows.skip=false",
                               "-Dapps.windows.jvm=" + runtest::WinPath(runtime + "/bin/server/jvm.dll")});
    }
    fs::copy(PLB_SOURCE_DIR "/tests/apps", root_ + "/apps", fs::copy_options::recursive);
    testutil::RunResult built =
        testutil::Run(argv, {"MAVEN_OPTS=-Xmx384m", "JAVA_HOME=" + runtest::FindJdk(17).home});
    if (built.exitCode != 0) failed = Tail(built.out + built.err);
  }

  std::string root_ = PLB_BINARY_DIR "/apps-test";
};

struct Param {
  AppCase app;
  int jdk;
};

class Apps : public testing::TestWithParam<Param> {};

TEST_P(Apps, RunWrappedAsUnderJavaCp) {
  const AppCase& app = GetParam().app;
  runtest::Jdk jdk = runtest::FindJdk(GetParam().jdk);
  if (!jdk.feature) PLB_SKIP_MISSING() << "JDK " << GetParam().jdk << " is not installed";
  AppsBuild& build = AppsBuild::Get();
  if (!build.missing.empty()) PLB_SKIP_MISSING() << build.missing;
  ASSERT_EQ(build.failed, "") << "the Maven build failed";

  std::string classPath;
  for (const auto& jar : build.ClassPath(app.module)) classPath += (classPath.empty() ? "" : ":") + jar;
  std::vector<std::string> java = {jdk.Bin("java"), "-cp", classPath, app.mainClass};
  java.insert(java.end(), app.args.begin(), app.args.end());
  Output expected = runtest::RunProgram(java);
  ASSERT_FALSE(expected.out.empty()) << expected.err;

  for (const char* layout : kLayouts) {
    std::vector<std::string> argv = {build.Dir(app.module) + "/plumbox/" + layout};
    argv.insert(argv.end(), app.args.begin(), app.args.end());
    Output wrapped = runtest::RunProgram(argv, {"JAVA_HOME=" + jdk.home});
    if (app.scansJarUrls && std::string(layout) == "plb-urls") {
      EXPECT_NE(wrapped.code, expected.code) << layout << "\n" << wrapped.out;
      continue;
    }
    EXPECT_EQ(wrapped.code, expected.code) << layout << "\n" << wrapped.err;
    EXPECT_EQ(wrapped.out, expected.out) << layout << "\n" << wrapped.err;
  }
}

std::vector<Param> AllParams() {
  std::vector<Param> params;
  for (const auto& app : kCases)
    for (int jdk : {17, 25}) params.push_back({app, jdk});
  return params;
}

INSTANTIATE_TEST_SUITE_P(Maven, Apps, testing::ValuesIn(AllParams()), [](const auto& info) {
  return std::string(info.param.app.module) + "_jdk" + std::to_string(info.param.jdk);
});

// A JavaFX window on a private X display: its colour on the screen, then the same output and
// exit code as under java -cp once it closes itself.
class AppsFx : public testing::TestWithParam<int> {};

TEST_P(AppsFx, ShowsItsWindow) {
  runtest::Jdk jdk = runtest::FindJdk(GetParam());
  if (!jdk.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
  if (!testutil::FileExists("/usr/bin/Xvfb")) PLB_SKIP_MISSING() << "Xvfb is not installed (apt-get install xvfb)";
  AppsBuild& build = AppsBuild::Get();
  if (!build.missing.empty()) PLB_SKIP_MISSING() << build.missing;
  ASSERT_EQ(build.failed, "") << "the Maven build failed";

  std::string classPath;
  for (const auto& jar : build.ClassPath("javafx")) classPath += (classPath.empty() ? "" : ":") + jar;
  std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
      {"java -cp", {jdk.Bin("java"), "-cp", classPath, "fx.Main"}}};
  for (const char* layout : kLayouts) runs.push_back({layout, {build.Dir("javafx") + "/plumbox/" + layout}});
  Output expected;
  for (const auto& [name, argv] : runs) {
    xtest::VirtualDisplay display;
    ASSERT_TRUE(display.Running());
    runtest::Child child(argv, {display.EnvEntry(), "JAVA_HOME=" + jdk.home}, runtest::kNoisyEnv);
    EXPECT_TRUE(child.WaitForOutput("shown", 90)) << name << "\n" << child.Err();
    EXPECT_TRUE(display.WaitForPixel(10, 10, 0x2080E0, 20)) << name << std::hex << " 0x" << display.Pixel(10, 10);
    Output o;
    o.code = child.Wait(60);
    o.out = child.Out();
    if (name == "java -cp") {
      expected = o;
      continue;
    }
    EXPECT_EQ(o.code, expected.code) << name << "\n" << child.Err();
    EXPECT_EQ(o.out, expected.out) << name << "\n" << child.Err();
  }
}

INSTANTIATE_TEST_SUITE_P(Maven, AppsFx, testing::Values(17, 25),
                         [](const auto& info) { return "jdk" + std::to_string(info.param); });

// The command-line tool and the web application on the Windows target under Wine with the real
// Windows runtime 17 (their modules make a Windows executable too), nested jars.
class AppsWindows : public testing::TestWithParam<AppCase> {};

TEST_P(AppsWindows, RunWrappedAsUnderJavaCp) {
  if (!fs::exists(PLB_WINE)) PLB_SKIP_MISSING() << "wine is not installed";
  if (!fs::exists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "the Windows stub is not built";
  if (runtest::WindowsRuntime(17).empty())
    PLB_SKIP_MISSING() << "no Windows runtime 17: run scripts/fetch-windows-runtimes.sh";
  AppsBuild& build = AppsBuild::Get();
  if (!build.missing.empty()) PLB_SKIP_MISSING() << build.missing;
  ASSERT_EQ(build.failed, "") << "the Maven build failed";
  ASSERT_FALSE(build.windowsJdk.empty());

  const AppCase& app = GetParam();
  std::string classPath;
  for (const auto& jar : build.ClassPath(app.module))
    classPath += (classPath.empty() ? "" : ";") + runtest::WinPath(jar);
  std::vector<std::string> java = {build.windowsJdk + "/bin/java.exe", "-cp", classPath, app.mainClass};
  java.insert(java.end(), app.args.begin(), app.args.end());
  Output expected = runtest::RunWine(java);
  ASSERT_FALSE(expected.out.empty()) << expected.err;

  std::vector<std::string> argv = {build.Dir(app.module) + "/plumbox/windows.exe"};
  argv.insert(argv.end(), app.args.begin(), app.args.end());
  Output wrapped = runtest::RunWine(argv);
  EXPECT_EQ(wrapped.code, expected.code) << wrapped.err;
  EXPECT_EQ(wrapped.out, expected.out) << wrapped.err;
}

INSTANTIATE_TEST_SUITE_P(Maven, AppsWindows, testing::Values(kCases[0], kCases[3]),
                         [](const auto& info) { return std::string(info.param.module); });

}  // namespace
