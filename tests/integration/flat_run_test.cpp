// Flat executables (plumbox wrap --flat) on real Java runtimes: a probe application with two
// merged libraries, Debian's Ant and H2 against their own commands, and the archive that
// both targets carry. The run tests go on JDK 17 and on JDK 25 and are skipped when that
// runtime is not installed.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <regex>

#include "integration/run_support.h"

using runtest::Answer;
using runtest::Jdk;
using runtest::Output;

namespace {

// app.jar (the probe and the Plugin service), liba.jar (provider A, shared.txt, a
// multi-release flata.Version with versions 11 and 21) and libb.jar (provider B, another
// shared.txt, signature files).
struct FlatJars {
  std::unique_ptr<testutil::TempDir> dir;
  std::string app, liba, libb;
};

FlatJars g_jars;

void BuildFlatJars() {
  Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) return;
  g_jars.dir = std::make_unique<testutil::TempDir>();
  testutil::TempDir& d = *g_jars.dir;
  const std::string src = std::string(PLB_SOURCE_DIR) + "/tests/java/flat/";
  runtest::CompileJava(jdk, src + "app", d / "app");
  g_jars.app = d / "app.jar";
  runtest::MakeJar(jdk, g_jars.app, d / "app");

  runtest::CompileJava(jdk, src + "liba", d / "liba", d / "app");
  for (const std::string v : {"11", "21"}) {
    testutil::MakeDirs(d / ("v" + v + "/flata"));
    testutil::WriteFile(d / ("v" + v + "/flata/Version.java"),
                        "package flata;\npublic class Version {\n  public static String name() { return \"" + v +
                            "\"; }\n}\n");
    runtest::CompileJava(jdk, d / ("v" + v), d / ("liba/META-INF/versions/" + v));
  }
  testutil::MakeDirs(d / "liba/META-INF/services");
  testutil::WriteFile(d / "liba/META-INF/services/flat.Plugin", "# provider of liba\nflata.A\n");
  testutil::WriteFile(d / "liba/shared.txt", "from liba\n");
  testutil::WriteFile(d / "liba.mf", "Multi-Release: true\n");
  g_jars.liba = d / "liba.jar";
  runtest::MakeJar(jdk, g_jars.liba, d / "liba", d / "liba.mf");

  runtest::CompileJava(jdk, src + "libb", d / "libb", d / "app");
  testutil::MakeDirs(d / "libb/META-INF/services");
  testutil::WriteFile(d / "libb/META-INF/services/flat.Plugin", "flatb.B\nflata.A\n");
  testutil::WriteFile(d / "libb/shared.txt", "from libb\n");
  testutil::WriteFile(d / "libb/META-INF/LIBB.SF", "Signature-Version: 1.0\n");
  testutil::WriteFile(d / "libb/META-INF/LIBB.RSA", "not a real signature block");
  g_jars.libb = d / "libb.jar";
  runtest::MakeJar(jdk, g_jars.libb, d / "libb");
}

// plumbox wrap --flat; the tool must succeed, its warnings are in `err`.
testutil::RunResult WrapFlat(const std::string& target, const std::string& jar, const std::string& mainClass,
                             const std::vector<std::string>& libs, const std::vector<std::string>& settings,
                             const std::string& out) {
  std::vector<std::string> argv = {PLB_TOOL,   "wrap", "-q", "--flat", "--no-manifest-libs", "--target", target,
                                   "--jar",    jar,    "--main", mainClass, "--support", PLB_SUPPORT_JAR, "-o", out,
                                   "--stub",   target == "linux" ? PLB_LINUX_STUB : PLB_WINDOWS_STUB};
  for (const auto& lib : libs) argv.insert(argv.end(), {"--lib", lib});
  for (const auto& s : settings) argv.insert(argv.end(), {"--set", s});
  testutil::RunResult r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  chmod(out.c_str(), 0755);
  return r;
}

std::string Inspect(const std::string& exe) { return testutil::Run({PLB_TOOL, "inspect", exe}).out; }

// Ant prints how long the build took.
std::string WithoutTimes(const std::string& text) {
  return std::regex_replace(text, std::regex("Total time: [^\n]*"), "Total time: T");
}

class FlatRun : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_jars.dir) BuildFlatJars();
  }

  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
  }

  std::vector<std::string> Jvm() const { return {"jvmdll " + jdk_.LibJvm()}; }

  Jdk jdk_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, FlatRun, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

// The classes run from the executable as from a jar on the class path: their code source is
// the executable, their resources jar:file: URLs into it; the services of both libraries are
// found, each once; the multi-release library serves the version for the runtime; the first
// of two equal names wins; the tool warned about the duplicate and the signature.
TEST_P(FlatRun, ProbeRunsFromTheTopLevel) {
  ASSERT_TRUE(g_jars.dir) << "no JDK to compile the test application";
  const std::string exe = dir_ / "probe";
  testutil::RunResult wrap = WrapFlat("linux", g_jars.app, "flat.Main", {g_jars.liba, g_jars.libb}, Jvm(), exe);
  EXPECT_NE(wrap.err.find("dropped, as an earlier jar on the class path holds the same name: shared.txt (libb.jar)"),
            std::string::npos)
      << wrap.err;
  EXPECT_NE(wrap.err.find("libb.jar is signed: the signature files are dropped"), std::string::npos) << wrap.err;
  EXPECT_NE(Inspect(exe).find("\nlayout: flat"), std::string::npos);

  Output o = runtest::RunProgram({exe, "services", "version", "where:flat.Main", "where:flatb.B", "resurl:shared.txt",
                                  "res:shared.txt", "res:META-INF/LIBB.SF"});
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(Answer(o.out, "services"), "A B");
  EXPECT_EQ(Answer(o.out, "version"), GetParam() == 17 ? "11" : "21");
  EXPECT_EQ(Answer(o.out, "where:flat.Main"), "file:" + exe);
  EXPECT_EQ(Answer(o.out, "where:flatb.B"), "file:" + exe);
  EXPECT_EQ(Answer(o.out, "resurl:shared.txt"), "jar:file:" + exe + "!/shared.txt");
  EXPECT_EQ(Answer(o.out, "res:shared.txt"), "from liba");
  EXPECT_EQ(Answer(o.out, "res:META-INF/LIBB.SF"), "null");
}

// Ant's launcher finds its own jar by the URL of its classes. Wrapped flat as bin/ant (so
// that its home is the directory above, without a lib/), it runs a build as the ant command
// does: same output, same exit status, for a passing and for a failing build. Debian's ant
// command asks for a security manager, which JDK 24 and later refuse to start with; there
// the comparison is with the command's java line without that option.
TEST_P(FlatRun, AntBuildsAsTheAntCommandDoes) {
  const std::string lib = "/usr/share/ant/lib/";
  if (!testutil::FileExists(lib + "ant.jar") || !testutil::FileExists("/usr/bin/ant"))
    PLB_SKIP_MISSING() << "Ant is not installed (Debian package ant)";
  testutil::MakeDirs(dir_ / "bin");
  const std::string exe = dir_ / "bin/ant";
  WrapFlat("linux", lib + "ant-launcher.jar", "org.apache.tools.ant.launch.Launcher", {lib + "ant.jar"}, Jvm(), exe);
  testutil::WriteFile(dir_ / "build.xml", R"(<project name="flat" default="all">
  <target name="prepare"><mkdir dir="out"/><echo file="out/data.txt" message="written"/></target>
  <target name="all" depends="prepare">
    <loadfile property="data" srcFile="out/data.txt"/>
    <echo message="read ${data} with ${ant.project.name}"/>
    <delete dir="out"/>
  </target>
  <target name="broken"><fail message="broken on purpose"/></target>
</project>
)");
  for (const char* target : {"all", "broken"}) {
    Output expected = runtest::RunProgram({"/usr/bin/ant", "-f", dir_ / "build.xml", target}, {"JAVA_HOME=" + jdk_.home});
    if (expected.out.find("Enabling a Security Manager is not supported") != std::string::npos) {
      std::cout << "the ant command does not start on JDK " << GetParam() << "; comparing with its java line\n";
      expected = runtest::RunProgram({jdk_.Bin("java"), "-classpath", lib + "ant-launcher.jar", "-Dant.home=/usr/share/ant",
                                      "-Dant.library.dir=" + lib.substr(0, lib.size() - 1),
                                      "org.apache.tools.ant.launch.Launcher", "-f", dir_ / "build.xml", target});
    }
    Output wrapped = runtest::RunProgram({exe, "-f", dir_ / "build.xml", target});
    EXPECT_EQ(wrapped.code, expected.code) << target << "\n" << wrapped.out << wrapped.err;
    EXPECT_EQ(WithoutTimes(wrapped.out), WithoutTimes(expected.out)) << target;
    EXPECT_EQ(WithoutTimes(wrapped.err), WithoutTimes(expected.err)) << target;
  }
}

// H2 compiles the Java source of an alias in process, against the class path; the alias
// uses org.h2 classes.
TEST_P(FlatRun, H2CompilesAnAliasThatUsesH2) {
  const std::string h2 = "/usr/share/java/h2.jar";
  if (!testutil::FileExists(h2)) PLB_SKIP_MISSING() << h2 << " is missing (Debian package libh2-java)";
  testutil::WriteFile(dir_ / "script.sql",
                      "CREATE ALIAS H2_BUILD AS 'String build() { return org.h2.engine.Constants.VERSION; }';\n"
                      "CREATE ALIAS TWICE AS 'int twice(int x) { return 2 * x; }';\n"
                      "CREATE TABLE T(ID INT PRIMARY KEY, NAME VARCHAR(20));\n"
                      "INSERT INTO T VALUES (1, 'one'), (2, 'two');\n"
                      "SELECT TWICE(ID), NAME, H2_BUILD() = H2VERSION() FROM T ORDER BY ID;\n");
  const std::vector<std::string> args = {"-url", "jdbc:h2:mem:flat", "-script", dir_ / "script.sql", "-showResults"};
  std::vector<std::string> java = {jdk_.Bin("java"), "-cp", h2, "org.h2.tools.RunScript"};
  java.insert(java.end(), args.begin(), args.end());
  Output expected = runtest::RunProgram(java);
  ASSERT_EQ(expected.code, 0) << expected.err;
  ASSERT_NE(expected.out.find("--> 4 two TRUE"), std::string::npos) << expected.out;

  const std::string exe = dir_ / "runscript";
  WrapFlat("linux", h2, "org.h2.tools.RunScript", {}, Jvm(), exe);
  std::vector<std::string> argv = {exe};
  argv.insert(argv.end(), args.begin(), args.end());
  Output wrapped = runtest::RunProgram(argv);
  EXPECT_EQ(wrapped.code, 0) << wrapped.err;
  EXPECT_EQ(wrapped.out, expected.out);
  EXPECT_EQ(wrapped.err, expected.err);
}

// Both targets carry the same embedded archive, byte for byte.
TEST(FlatWrap, BothTargetsCarryTheSameArchive) {
  if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows stub at " << PLB_WINDOWS_STUB;
  if (!g_jars.dir) BuildFlatJars();
  if (!g_jars.dir) PLB_SKIP_MISSING() << "no JDK to compile the test application";
  testutil::TempDir dir;
  std::string archives[2];
  const char* targets[] = {"linux", "windows"};
  for (int i = 0; i < 2; ++i) {
    const std::string exe = dir / (std::string("probe-") + targets[i]);
    WrapFlat(targets[i], g_jars.app, "flat.Main", {g_jars.liba, g_jars.libb}, {}, exe);
    std::smatch m;
    const std::string report = Inspect(exe);
    ASSERT_TRUE(std::regex_search(report, m, std::regex("embedded archive at offset ([0-9]+)"))) << report;
    archives[i] = testutil::ReadFile(exe).substr(std::stoul(m[1].str()));
  }
  EXPECT_GT(archives[0].size(), 1000u);
  EXPECT_TRUE(archives[0] == archives[1]);
}

}  // namespace
