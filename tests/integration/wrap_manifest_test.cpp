// plumbox wrap with what the application jar's manifest says: its Main-Class and the jars of
// its Class-Path (followed through the libraries as java follows it), plus --lib-dir, run for
// real; and what happens when the manifest falls short.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/run_support.h"

namespace {

TEST(WrapManifest, MainClassAndLibrariesComeFromTheJar) {
  runtest::Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK installed";
  testutil::TempDir d;
  testutil::MakeDirs(d / "greet/g");
  testutil::MakeDirs(d / "extra/g");
  testutil::MakeDirs(d / "app/app");
  testutil::WriteFile(d / "greet/g/Greet.java", "package g; public class Greet { public static String hi() { return \"hi\"; } }");
  testutil::WriteFile(d / "extra/g/Extra.java", "package g; public class Extra { public static String more() { return \"more\"; } }");
  testutil::WriteFile(d / "app/app/Main.java",
                      "package app; public class Main { public static void main(String[] a) {"
                      " System.out.println(g.Greet.hi() + \" \" + g.Extra.more()); } }");
  runtest::CompileJava(jdk, d / "greet", d / "greet-classes");
  runtest::CompileJava(jdk, d / "extra", d / "extra-classes");
  runtest::CompileJava(jdk, d / "app", d / "app-classes", d / "greet-classes:" + d / "extra-classes");
  testutil::MakeDirs(d / "my libs");
  testutil::MakeDirs(d / "deps");
  // greet.jar's own Class-Path brings in extra.jar, as it would under java -cp.
  testutil::WriteFile(d / "greet.txt", "Class-Path: ../deps/extra.jar\n");
  runtest::MakeJar(jdk, d / "my libs/greet.jar", d / "greet-classes", d / "greet.txt");
  runtest::MakeJar(jdk, d / "deps/extra.jar", d / "extra-classes");
  // A continued Class-Path line with an escaped blank, and the JDK's slash form of Main-Class.
  testutil::WriteFile(d / "manifest.txt", "Main-Class: app/Main\nClass-Path: my%20libs/gre\n et.jar\n");
  runtest::MakeJar(jdk, d / "app.jar", d / "app-classes", d / "manifest.txt");
  testutil::WriteFile(d / "bad.txt", "Class-Path: deps/extra.jar gone.jar\n");
  runtest::MakeJar(jdk, d / "bad.jar", d / "app-classes", d / "bad.txt");

  auto wrap = [&](const std::string& jar, std::vector<std::string> more) {
    std::vector<std::string> argv = {PLB_TOOL, "wrap", "-q", "--target", "linux", "--stub", PLB_LINUX_STUB,
                                     "--support", PLB_SUPPORT_JAR, "--jar", jar, "-o", d / "out",
                                     "--set", "jvmdll " + jdk.LibJvm()};
    argv.insert(argv.end(), more.begin(), more.end());
    return testutil::Run(argv);
  };
  testutil::RunResult r = wrap(d / "app.jar", {"-v"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("greet.jar's Class-Path adds " + d / "deps/extra.jar"), std::string::npos) << r.out;
  runtest::Output run = runtest::RunProgram({d / "out"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "hi more\n") << run.err;
  testutil::RunResult inspect = testutil::Run({PLB_TOOL, "inspect", d / "out"});
  EXPECT_NE(inspect.out.find("  mainclass app.Main\n"), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("\ntarget: linux (ELF)\nstub version: 0."), std::string::npos) << inspect.out;
  EXPECT_LT(inspect.out.find("libs/greet.jar"), inspect.out.find("libs/extra.jar")) << inspect.out;

  // A Class-Path entry that is missing is skipped with a warning, as java skips it; without a
  // Main-Class, --main is asked for, and the refusal writes nothing.
  std::filesystem::remove(d / "out");
  r = wrap(d / "bad.jar", {});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("bad.jar: Class-Path entry 'gone.jar' does not exist"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("no main class: give --main CLASS (bad.jar names no Main-Class"), std::string::npos) << r.err;
  EXPECT_FALSE(testutil::FileExists(d / "out"));
  r = wrap(d / "bad.jar", {"--no-manifest-libs", "--main", "app.Main", "--lib", d / "my libs/greet.jar", "--lib-dir", d / "deps"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(runtest::RunProgram({d / "out"}).out, "hi more\n");
}

}  // namespace
