// A wrapped application on a real Java runtime: start, failures, class loading, resources,
// configuration, threads and signals. Each test runs on JDK 17 and on JDK 25 and is skipped
// when that runtime is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "integration/probe_jars.h"
#include "integration/run_support.h"

using runtest::Answer;
using runtest::g_probe;
using runtest::Jdk;
using runtest::Output;
using runtest::WrapRequest;

namespace {

class RunApp : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_probe.dir) runtest::BuildProbeJars();
  }

  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
    if (!g_probe.dir) PLB_SKIP_MISSING() << "no JDK to compile the test application";
  }

  WrapRequest Probe(std::vector<std::string> settings = {}) const {
    WrapRequest w;
    w.jar = g_probe.app;
    w.mainClass = "probe.Probe";
    w.libs = {g_probe.lib1, g_probe.lib2};
    w.settings = std::move(settings);
    return w;
  }

  Output Run(const WrapRequest& w, const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return runtest::WrapAndRun(jdk_, w, exe(), args, env);
  }

  std::string exe() const { return dir_ / "app"; }

  Jdk jdk_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, RunApp, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(RunApp, StartsWithoutWarningsAndExitsWithTheApplicationsStatus) {
  // The natives of a support class that the start does not need are bound when the class is
  // first used, also without a warning.
  Output o = Run(Probe(), {"prop:java.specification.version", "native:Instances.getCurrentInstance"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(Answer(o.out, "prop:java.specification.version"), std::to_string(GetParam()));
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "prop:java.specification.version => " + std::to_string(GetParam()) +
                       "\nnative:Instances.getCurrentInstance => returned -1\n");

  o = Run(Probe(), {"exit:42"});
  EXPECT_EQ(o.code, 42);
}

TEST_P(RunApp, FailuresShowTheirMessageAndExitWithTheirNumber) {
  WrapRequest w = Probe({"minjre 99"});
  Output o = Run(w, {});
  EXPECT_EQ(o.code, 6);
  std::string version = GetParam() == 17 ? "17." : "25.";
  EXPECT_NE(o.err.find("Error: Java virtual machine version " + version), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(" is too low, require 99 or higher."), std::string::npos) << o.err;

  o = Run(Probe({"minjre 1.6", "maxjre 1.8"}), {});
  EXPECT_EQ(o.code, 12);
  EXPECT_NE(o.err.find(" is too high, version between 1.6 and 1.8 is required."), std::string::npos) << o.err;

  w = Probe();
  w.mainClass = "probe.Missing";
  o = Run(w, {});
  EXPECT_EQ(o.code, 7);
  EXPECT_NE(o.err.find("ClassNotFoundException: probe.Missing"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Error: The main startup class could not be found."), std::string::npos) << o.err;
  // A replaced message keeps the backslashes of the values put into it; its own escapes apply.
  w.settings = {"message 7=Not in %PLB_TEST_DIR%\\tfor\\n%PLB_TEST_ROOT%"};
  o = Run(w, {}, {"PLB_TEST_DIR=Z:\\tmp\\app", "PLB_TEST_ROOT=C:\\"});
  EXPECT_NE(o.err.find("Error: Not in Z:\\tmp\\app\tfor\nC:\\\n"), std::string::npos) << o.err;
  w.settings = {};

  w.mainClass = "probe.NoMain";
  o = Run(w, {});
  EXPECT_EQ(o.code, 8);
  EXPECT_NE(o.err.find("NoSuchMethodError"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("Error: The main startup class is not valid, main method missing."), std::string::npos);

  o = Run(Probe({"option -Xss1k"}), {});  // a stack too small for the runtime
  EXPECT_EQ(o.code, 4);
  EXPECT_NE(o.err.find("Error: Java Virtual Machine starts failed."), std::string::npos) << o.err;

  // A throwing main prints its stack trace, without a message; the status is 1 once the other
  // non-daemon threads have ended, unless one of them calls System.exit.
  o = Run(Probe(), {"thread:300", "throw"});
  EXPECT_EQ(o.code, 1);
  EXPECT_NE(o.err.find("java.lang.IllegalStateException: thrown by probe"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("at probe.Probe.main"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("Error:"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("thread done"), std::string::npos) << o.out;
  o = Run(Probe(), {"exitlater:3", "throw"});
  EXPECT_EQ(o.code, 3) << o.err;
}

TEST_P(RunApp, ClassesAndResourcesComeFromEveryArchive) {
  Output o = Run(Probe(), {"class:lib1.One", "class:lib2.Two", "class:inner.Inner", "pkgtitle:lib1.One",
                           "res:app.txt", "res:dir/my file.txt", "res:inner.txt", "resources:shared.txt", "services",
                           "sysres:shared.txt", "loaders"});
  ASSERT_EQ(o.code, 0) << o.err;
  const std::string loader = "com.quillmar.plb.PlumboxClassLoader";
  EXPECT_EQ(Answer(o.out, "class:lib1.One"), loader);
  EXPECT_EQ(Answer(o.out, "class:lib2.Two"), loader);
  EXPECT_EQ(Answer(o.out, "class:inner.Inner"), loader);
  EXPECT_EQ(Answer(o.out, "pkgtitle:lib1.One"), "Lib One");
  EXPECT_EQ(Answer(o.out, "res:app.txt"), "from app");
  EXPECT_EQ(Answer(o.out, "res:dir/my file.txt"), "spaced");
  EXPECT_EQ(Answer(o.out, "res:inner.txt"), "from inner");
  EXPECT_EQ(Answer(o.out, "resources:shared.txt"), "[from lib1][from lib2]");
  EXPECT_EQ(Answer(o.out, "services"), "one two");
  EXPECT_EQ(Answer(o.out, "sysres:shared.txt"), "from lib1");
  EXPECT_EQ(Answer(o.out, "loaders"), loader + " " + loader + " " + loader);
  EXPECT_EQ(o.err, "");
}

// Nested jars are read in place: nothing is copied to java.io.tmpdir, and resources load when
// it is missing. Their "jar:" connections offer the jar as a JarFile, as the runtime's do.
TEST_P(RunApp, NestedJarsAreReadInPlaceWithoutTemporaryFiles) {
  testutil::TempDir tmp;
  const std::vector<std::string> commands = {"res:shared.txt", "resources:shared.txt", "services", "res:inner.txt",
                                             "pkgtitle:lib1.One", "res:mr.txt", "tostring:lib2.Versioned",
                                             "jarview:shared.txt", "jarview:mr.txt", "tmpfiles:"};
  for (const std::string& dir : {tmp.path(), tmp / "missing"}) {
    Output o = Run(Probe({"option -Djava.io.tmpdir=" + dir}), commands);
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(Answer(o.out, "res:shared.txt"), "from lib1");
    EXPECT_EQ(Answer(o.out, "resources:shared.txt"), "[from lib1][from lib2]");
    EXPECT_EQ(Answer(o.out, "services"), "one two");
    EXPECT_EQ(Answer(o.out, "res:inner.txt"), "from inner");
    EXPECT_EQ(Answer(o.out, "pkgtitle:lib1.One"), "Lib One");
    EXPECT_EQ(Answer(o.out, "res:mr.txt"), "nine");  // the runtime's version of a multi-release jar
    EXPECT_EQ(Answer(o.out, "tostring:lib2.Versioned"), "nine");
    EXPECT_EQ(Answer(o.out, "jarview:shared.txt"),
              "entry=shared.txt listed=true entries=8 stream=8 title=Lib One length=10 modified=true text=from lib1 "
              "missing=not found");
    // A multi-release jar's resource URL names the versioned entry, as the runtime's class path names it.
    EXPECT_EQ(Answer(o.out, "jarview:mr.txt").substr(0, 62), "entry=META-INF/versions/9/mr.txt listed=true entries=14 stream");
    EXPECT_NE(Answer(o.out, "jarview:mr.txt").find("text=nine"), std::string::npos);
    EXPECT_EQ(Answer(o.out, "tmpfiles:"), "0");
    if (dir == tmp.path()) EXPECT_EQ(o.err, "");  // JDK 25 warns of a missing one, as under java -cp
  }
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

// "jar:" URLs that the application makes again from a resource's URL (from its text, its URI,
// relative to it) are read in place as well, with java.io.tmpdir missing; a "jar:file:" URL of
// a jar on disk still gets the runtime's own connection, jar file, resolution and errors. The
// answers equal those of "java -cp" over the same jars.
TEST_P(RunApp, RebuiltJarUrlsAreReadInPlace) {
  testutil::TempDir tmp;
  const std::string missing = tmp / "missing";
  const std::vector<std::string> commands = {"rebuilt:dir/my file.txt", "diskjar:" + g_probe.lib1, "tmpfiles:"};
  Output o = Run(Probe({"option -Djava.io.tmpdir=" + missing}), commands);
  ASSERT_EQ(o.code, 0) << o.err;
  std::vector<std::string> java = {jdk_.Bin("java"), "-Djava.io.tmpdir=" + missing, "-cp",
                                   g_probe.app + ":" + g_probe.lib1 + ":" + g_probe.lib2, "probe.Probe"};
  java.insert(java.end(), commands.begin(), commands.end());
  Output expected = runtest::RunProgram(java);
  ASSERT_EQ(expected.code, 0) << expected.err;
  EXPECT_EQ(Answer(expected.out, commands[0]), "spaced jar|spaced jar|from app jar|from app jar|not found|true true");
  for (const std::string& c : commands) EXPECT_EQ(Answer(o.out, c), Answer(expected.out, c)) << c;
  EXPECT_EQ(Answer(o.out, "tmpfiles:"), "0");
}

// What applications look at: their code source, their URLs as URIs, relative URLs, missing
// entries, package versions. The same answers as under "java -cp", in both modes.
TEST_P(RunApp, ApplicationsSeeTheirLocationAndUrlsAsUnderJavaCp) {
  const std::string dirOfExe = "dir=" + dir_.path();
  for (const char* mode : {"usejarprotocol true", "usejarprotocol false"}) {
    Output o = Run(Probe({mode}), {"codesource:probe.Probe", "codesource:lib1.One", "uris:dir/my file.txt",
                                   "uris:shared.txt", "missing:dir/", "relative:dir/my file.txt,../app.txt",
                                   "relative:dir/my file.txt,/app.txt", "pkgversion:lib2.Missing,lib2.Two"});
    ASSERT_EQ(o.code, 0) << mode << "\n" << o.err;
    EXPECT_EQ(Answer(o.out, "codesource:probe.Probe"), "file:" + exe() + " " + dirOfExe) << mode;
    EXPECT_EQ(Answer(o.out, "codesource:lib1.One"), "file:" + exe() + " " + dirOfExe) << mode;
    EXPECT_EQ(Answer(o.out, "uris:dir/my file.txt").substr(0, 3), "ok ") << mode;
    EXPECT_EQ(Answer(o.out, "uris:shared.txt").substr(0, 3), "ok ") << mode;
    // Since Java 25 the runtime's message names the entry only where jdk.includeInExceptions says so.
    EXPECT_EQ(Answer(o.out, "missing:dir/"), GetParam() < 25 ? "not found true" : "not found false") << mode;
    std::string up = Answer(o.out, "relative:dir/my file.txt,../app.txt");
    EXPECT_NE(up.find("app.jar!"), std::string::npos) << mode << ": " << up;
    EXPECT_EQ(up.substr(up.size() - 9), " from app") << mode;
    std::string root = Answer(o.out, "relative:dir/my file.txt,/app.txt");
    EXPECT_EQ(root.substr(root.size() - std::min<size_t>(root.size(), 9)), " from app") << mode;
    EXPECT_EQ(Answer(o.out, "pkgversion:lib2.Missing,lib2.Two"), "2.0") << mode;
  }
  Output o = Run(Probe({"usejarprotocol false"}), {"resurl:dir/my file.txt"});
  EXPECT_EQ(Answer(o.out, "resurl:dir/my file.txt"), "plb:app.jar!dir/my%20file.txt");
}

TEST_P(RunApp, ResourcesWithoutTheJarProtocolAreServedAsPlbUrls) {
  Output o = Run(Probe({"usejarprotocol false"}),
                 {"class:lib1.One", "pkgtitle:lib1.One", "res:app.txt", "res:dir/my file.txt",
                  "resources:shared.txt", "services", "resurl:lib1/One.class", "resbytes:lib1/One.class",
                  "class:inner.Inner"});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(Answer(o.out, "class:lib1.One"), "com.quillmar.plb.PlumboxClassLoader");
  EXPECT_EQ(Answer(o.out, "pkgtitle:lib1.One"), "Lib One");
  EXPECT_EQ(Answer(o.out, "res:app.txt"), "from app");
  EXPECT_EQ(Answer(o.out, "res:dir/my file.txt"), "spaced");
  EXPECT_EQ(Answer(o.out, "resources:shared.txt"), "[from lib1][from lib2]");
  EXPECT_EQ(Answer(o.out, "services"), "one two");
  EXPECT_EQ(Answer(o.out, "resurl:lib1/One.class"), "plb:libs/lib1.jar!lib1/One.class");
  // "lib1/One" is 8 bytes: a stand-in class file of 8 + 115 bytes, never the real one.
  EXPECT_EQ(Answer(o.out, "resbytes:lib1/One.class"), "123 bytes ca fe ba be");
  // Without the nested jars handed to the class loader, only the first nesting level is searched.
  EXPECT_EQ(Answer(o.out, "class:inner.Inner"), "error java.lang.ClassNotFoundException");
}

TEST_P(RunApp, ClassFilesReadThroughPlbUrlsFollowTheClassRule) {
  const std::string url = "url:plb:libs/lib1.jar!lib1/One.class";
  const std::string spaced = "url:plb:app.jar!dir/my%20file.txt";
  const std::string define = "defineurl:plb:libs/lib1.jar!lib1/One.class";
  Output o = Run(Probe(), {url, spaced, "url:plb:app.jar!no/such.txt", define});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(Answer(o.out, url), "123 bytes ca fe ba be");
  EXPECT_EQ(Answer(o.out, define), "lib1.One true");  // a valid class file, of the class named
  EXPECT_EQ(Answer(o.out, spaced), "7 bytes 73 70 61 63");
  EXPECT_EQ(Answer(o.out, "url:plb:app.jar!no/such.txt"), "error java.io.FileNotFoundException");

  o = Run(Probe({"fakeclassbytes False"}), {url});
  EXPECT_EQ(Answer(o.out, url), "0 bytes");

  o = Run(Probe({"compatible TRUE"}), {url});
  size_t real = testutil::ReadFile(g_probe.lib1Classes + "/lib1/One.class").size();
  EXPECT_EQ(Answer(o.out, url), std::to_string(real) + " bytes ca fe ba be");
}

TEST_P(RunApp, ConfiguredArgumentsOptionsPropertiesAndExports) {
  WrapRequest w = Probe({"argv \"argshex:one two\" argshex:three", "argv argshex:four argshex:\xF0\x9F\x98\x80",
                         "option -Dopt.value=a b", "option -Dplb.app.path=overridden",
                         "property greet=Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80 \xE4\xB8\xAD",
                         "property empty", "export MYVAR=exported"});
  Output o = Run(w, {"argshex:five", "prop:opt.value", "prophex:greet", "prop:empty", "env:MYVAR",
                     "prop:tool.value", "prop:plb.app.path", "prop:application.home",
                     "prop:java.protocol.handler.pkgs"},
                 {"JAVA_TOOL_OPTIONS=-Dtool.value=fromenv"});
  ASSERT_EQ(o.code, 0) << o.err;
  size_t one = o.out.find("argshex:one two =>"), three = o.out.find("argshex:three =>"),
         four = o.out.find("argshex:four =>"), five = o.out.find("argshex:five =>");
  EXPECT_TRUE(one < three && three < four && four < five && five != std::string::npos) << o.out;
  EXPECT_NE(o.out.find(" => f09f9880\n"), std::string::npos) << o.out;  // Linux keeps the UTF-8 of "argv" whole
  EXPECT_EQ(Answer(o.out, "prop:opt.value"), "a b");
  EXPECT_EQ(Answer(o.out, "prophex:greet"), "4772c3bcc39f6520e282ac20f09f988020e4b8ad");
  EXPECT_EQ(Answer(o.out, "prop:empty"), "");
  EXPECT_EQ(Answer(o.out, "env:MYVAR"), "exported");
  EXPECT_EQ(Answer(o.out, "prop:tool.value"), "null");  // JAVA_TOOL_OPTIONS of the caller is dropped
  EXPECT_EQ(Answer(o.out, "prop:plb.app.path"), exe());  // the fixed option comes after "option" lines
  EXPECT_EQ(Answer(o.out, "prop:application.home"), dir_.path() + "/");
  EXPECT_EQ(Answer(o.out, "prop:java.protocol.handler.pkgs"), "com.quillmar");

  o = Run(Probe({"export JAVA_TOOL_OPTIONS=-Dtool.value=exported"}), {"prop:tool.value"},
          {"JAVA_TOOL_OPTIONS=-Dtool.value=fromenv"});
  EXPECT_EQ(Answer(o.out, "prop:tool.value"), "exported");
}

TEST_P(RunApp, StartOnFirstThreadRunsTheVmOnTheMainThread) {
  Output o = Run(Probe(), {"mainthread"});
  EXPECT_EQ(Answer(o.out, "mainthread"), "false") << o.err;
  o = Run(Probe({"option -XstartOnFirstThread"}), {"mainthread"});
  EXPECT_EQ(Answer(o.out, "mainthread"), "true") << o.err;
  EXPECT_EQ(o.code, 0);
  o = Run(Probe({"option -xstartonfirstthread"}), {"mainthread"});
  EXPECT_EQ(Answer(o.out, "mainthread"), "false") << o.err;
}

TEST_P(RunApp, WithoutTheSystemClassLoaderANewLauncherLoaderRunsMain) {
  Output o = Run(Probe({"assystemclassloader FALSE"}),
                 {"loaders", "class:lib1.One", "res:inner.txt", "services", "prop:java.protocol.handler.pkgs",
                  "url:plb:app.jar!app.txt"});
  ASSERT_EQ(o.code, 0) << o.err;
  const std::string loader = "com.quillmar.plb.PlumboxClassLoader";
  EXPECT_EQ(Answer(o.out, "loaders"), "jdk.internal.loader.ClassLoaders$AppClassLoader " + loader + " " + loader);
  EXPECT_EQ(Answer(o.out, "class:lib1.One"), loader);
  EXPECT_EQ(Answer(o.out, "res:inner.txt"), "from inner");
  EXPECT_EQ(Answer(o.out, "services"), "one two");
  EXPECT_EQ(Answer(o.out, "prop:java.protocol.handler.pkgs"), "com.quillmar");
  EXPECT_EQ(Answer(o.out, "url:plb:app.jar!app.txt"), "9 bytes 66 72 6f 6d");
  EXPECT_EQ(o.err, "");
}

// A runtime that is not known to be HotSpot gets no agent: the loader is named by its option,
// and the support classes bind their natives by loading the launcher as a library.
TEST_P(RunApp, WithoutTheAgentTheSupportClassesLoadTheLauncher) {
  // A copy of the runtime's home with another release file, made of links; the directories
  // on the way to the VM library are real, so that the launcher finds that release file.
  testutil::TempDir rt;
  namespace fs = std::filesystem;
  for (const std::string sub : {"", "/lib", "/lib/server"}) {
    fs::create_directories(rt / sub.c_str());
    for (const auto& entry : fs::directory_iterator(jdk_.home + sub)) {
      std::string name = sub + "/" + entry.path().filename().string();
      if (name != "/release" && name != "/lib" && name != "/lib/server")
        fs::create_symlink(entry.path(), rt / name.c_str());
    }
  }
  testutil::WriteFile(rt / "release",
                      "JAVA_VERSION=\"" + std::to_string(GetParam()) + ".0.1\"\nJVM_VARIANT=\"Other\"\n");
  WrapRequest w = Probe({"jvmdll " + (rt / "lib/server/libjvm.so")});
  runtest::Wrap(w, exe(), PLB_LINUX_STUB);
  Output o = runtest::RunProgram({exe(), "loaders", "prop:java.system.class.loader", "class:lib1.One",
                                  "res:inner.txt", "native:Instances.getCurrentInstance"});
  ASSERT_EQ(o.code, 0) << o.err;
  const std::string loader = "com.quillmar.plb.PlumboxClassLoader";
  EXPECT_EQ(Answer(o.out, "loaders"), loader + " " + loader + " " + loader);
  EXPECT_EQ(Answer(o.out, "prop:java.system.class.loader"), loader);
  EXPECT_EQ(Answer(o.out, "class:lib1.One"), loader);
  EXPECT_EQ(Answer(o.out, "res:inner.txt"), "from inner");
  EXPECT_EQ(Answer(o.out, "native:Instances.getCurrentInstance"), "returned -1");
  EXPECT_EQ(o.err.find("restricted method"), std::string::npos) << o.err;  // native access is granted instead
}

TEST_P(RunApp, TheVmEndsAfterTheLastNonDaemonThread) {
  Output o = Run(Probe(), {"thread:300"});
  EXPECT_EQ(o.code, 0);
  EXPECT_NE(o.out.find("thread done"), std::string::npos);
}

TEST_P(RunApp, SignalsEndTheApplicationAfterItsShutdownHooks) {
  WrapRequest w = Probe({"jvmdll " + jdk_.LibJvm()});
  runtest::Wrap(w, exe(), PLB_LINUX_STUB);
  for (int sig : {SIGINT, SIGTERM}) {
    runtest::Child child({exe(), "hook:ran", "wait"}, {}, runtest::kNoisyEnv);
    ASSERT_TRUE(child.WaitForOutput("ready", 60)) << child.Err();
    child.Signal(sig);
    EXPECT_EQ(child.Wait(60), 0) << "signal " << sig << ": " << child.Err();
    EXPECT_NE(child.Out().find("hook ran"), std::string::npos) << child.Out();
  }
}

}  // namespace

namespace {

// Failures before any runtime runs: no runtime, a library that does not load, one without a
// creation function (a stand-in from tests/fakejvm).
TEST(RunAppWithoutRuntime, FailuresBeforeAVmExistGiveCodes1And2) {
  if (!g_probe.dir) runtest::BuildProbeJars();
  if (!g_probe.dir) PLB_SKIP_MISSING() << "no JDK to compile the test application";
  testutil::TempDir dir;
  auto run = [&](const std::string& setting) {
    WrapRequest w;
    w.jar = g_probe.app;
    w.mainClass = "probe.Probe";
    w.settings = {"jre_order c", setting};
    runtest::Wrap(w, dir / "app", PLB_LINUX_STUB);
    return runtest::RunProgram({dir / "app"}, {"JAVA_HOME=/nowhere"});
  };
  Output o = run("splashtitle none");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(o.err, "Error: Java Runtime Environment not found.\n");

  testutil::WriteFile(dir / "libjvm.so", "not a library");
  o = run("jvmdll " + dir / "libjvm.so");
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find(dir / "libjvm.so"), std::string::npos) << o.err;  // the system's reason
  EXPECT_NE(o.err.find("Error: Java Runtime Environment not valid.\n"), std::string::npos) << o.err;

  o = run("jvmdll " + std::string(PLB_BINARY_DIR) + "/tests/fakejvm/fake_jvm_none.so");
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.err, "Error: Java Runtime Environment not valid.\n");
}

}  // namespace
