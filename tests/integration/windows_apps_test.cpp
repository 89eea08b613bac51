// Real applications from Debian's packages wrapped for Windows and run under Wine on a real
// Windows runtime: Rhino, Groovy and Clojure nested, Ant's launcher and H2 flat. Each must
// print what the same jars print under "wine java.exe -cp" on the same runtime, with the same
// exit status.
#include <gtest/gtest.h>

#include <regex>

#include "integration/run_support.h"

using runtest::Output;
using runtest::WinPath;

namespace {

struct App {
  const char* name;
  std::vector<std::string> jars;  // the application jar first
  const char* main;
  std::vector<std::string> args;  // "@FILE" is the Windows path of FILE in the test's folder
  bool flat;
  const char* exe;  // relative to the test's folder
};

const std::string kAnt = "/usr/share/ant/lib/";
const std::string kGroovy = "/usr/share/groovy/lib/";

const App kApps[] = {
    {"rhino", {"/usr/share/java/js.jar"}, "org.mozilla.javascript.tools.shell.Main", {"@script.js"}, false, "rhino.exe"},
    {"groovy",
     {kGroovy + "groovy-2.4.21.jar", kGroovy + "antlr.jar", kGroovy + "asm.jar", kGroovy + "asm-tree.jar",
      kGroovy + "asm-commons.jar", kGroovy + "asm-analysis.jar", kGroovy + "asm-util.jar", kGroovy + "commons-cli.jar"},
     "groovy.ui.GroovyMain", {"@script.groovy", "one", "two"}, false, "groovy.exe"},
    {"clojure",
     {"/usr/share/java/clojure.jar", "/usr/share/java/spec.alpha.jar", "/usr/share/java/core.specs.alpha.jar"},
     "clojure.main", {"@script.clj"}, false, "clojure.exe"},
    {"ant", {kAnt + "ant-launcher.jar", kAnt + "ant.jar"}, "org.apache.tools.ant.launch.Launcher",
     {"-f", "@build.xml", "all"}, true, "bin/ant.exe"},
    {"ant (failing build)", {kAnt + "ant-launcher.jar", kAnt + "ant.jar"}, "org.apache.tools.ant.launch.Launcher",
     {"-f", "@build.xml", "broken"}, true, "bin/ant.exe"},
    {"h2", {"/usr/share/java/h2.jar"}, "org.h2.tools.RunScript",
     {"-url", "jdbc:h2:mem:win", "-script", "@script.sql", "-showResults"}, true, "runscript.exe"},
};

const char* kScripts[][2] = {
    {"script.js",
     "var data = { name: 'plumbox', sizes: [3, 1, 2] };\n"
     "print(JSON.stringify(data), JSON.parse(JSON.stringify(data)).sizes.sort().join('-'));\n"
     "print(java.lang.System.getProperty('java.specification.version'), java.lang.Integer.toHexString(48879));\n"
     "try { null.x; } catch (e) { print(e.name); }\n"},
    {"script.groovy",
     "def words = ('the quick brown fox jumps over the lazy dog ' * 20).split(' ')\n"
     "println \"words ${words.size()} distinct ${words.countBy { it }.size()} args ${args.join(',')}\"\n"
     "println([3, 1, 2].sort().collect { it * 2 }.inject(0) { a, b -> a + b })\n"},
    {"script.clj",
     "(println (reduce + (map #(* % %) (range 10))) (clojure.string/upper-case \"plumbox\"))\n"
     "(require '[clojure.spec.alpha :as s])\n"
     "(println (s/valid? int? 42) (s/conform (s/cat :a int? :b string?) [1 \"x\"]))\n"},
    {"build.xml",
     "<project name=\"win\" default=\"all\">\n"
     "  <target name=\"all\"><mkdir dir=\"out\"/><echo file=\"out/data.txt\" message=\"written\"/>\n"
     "    <loadfile property=\"data\" srcFile=\"out/data.txt\"/><echo message=\"read ${data}\"/><delete dir=\"out\"/>\n"
     "  </target>\n"
     "  <target name=\"broken\"><fail message=\"broken on purpose\"/></target>\n"
     "</project>\n"},
    {"script.sql",
     "CREATE TABLE T(ID INT PRIMARY KEY, NAME VARCHAR(20));\n"
     "INSERT INTO T VALUES (1, 'one'), (2, 'two');\n"
     "SELECT ID * 2, NAME, UPPER(NAME) FROM T ORDER BY ID;\n"},
};

// Ant prints how long the build took; runtimes from 21 on warn under Wine about a missing call.
std::string Comparable(const std::string& text) {
  std::string s = std::regex_replace(text, std::regex("Total time: [^\n]*"), "Total time: T");
  return std::regex_replace(s, std::regex("[^\n]*Attempt to get process group affinity failed[^\n]*\n"), "");
}

TEST(WindowsApps, OutputEqualsTheSameJarsUnderJavaExe) {
  if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
  if (std::string(PLB_WINE).empty()) PLB_SKIP_MISSING() << "Wine is not installed";
  const std::string runtime = runtest::WindowsRuntime(17);
  if (runtime.empty()) PLB_SKIP_MISSING() << "no Windows runtime 17 (scripts/fetch-windows-runtimes.sh)";
  testutil::TempDir dir;
  for (const auto& [name, text] : kScripts) testutil::WriteFile(dir / name, text);
  testutil::MakeDirs(dir / "bin");
  for (const App& app : kApps) {
    bool present = true;
    for (const std::string& jar : app.jars) present = present && testutil::FileExists(jar);
    if (!present) PLB_SKIP_MISSING() << app.jars[0] << " is missing (scripts/install-deps.sh installs it)";
    std::vector<std::string> args;
    for (const std::string& a : app.args) args.push_back(a[0] == '@' ? WinPath(dir / a.substr(1)) : a);

    std::string classPath;
    for (const std::string& jar : app.jars) classPath += (classPath.empty() ? "" : ";") + WinPath(jar);
    std::vector<std::string> java = {runtime + "/bin/java.exe", "-cp", classPath};
    if (std::string(app.name).rfind("ant", 0) == 0)  // the ant command's own properties
      java.insert(java.end(), {"-Dant.home=" + WinPath("/usr/share/ant"), "-Dant.library.dir=" + WinPath("/usr/share/ant/lib")});
    java.push_back(app.main);
    java.insert(java.end(), args.begin(), args.end());
    Output expected = runtest::RunWine(java);

    runtest::WrapRequest w;
    w.target = "windows";
    w.jar = app.jars[0];
    w.libs.assign(app.jars.begin() + 1, app.jars.end());
    w.mainClass = app.main;
    if (app.flat) w.options = {"--flat", "--no-manifest-libs"};
    w.settings = {"jvmdll " + WinPath(runtime + "/bin/server/jvm.dll")};
    const std::string exe = dir / app.exe;
    runtest::Wrap(w, exe, PLB_WINDOWS_STUB);
    args.insert(args.begin(), exe);
    Output wrapped = runtest::RunWine(args);

    EXPECT_NE(expected.out, "") << app.name << ": " << expected.err;
    EXPECT_EQ(wrapped.code, expected.code) << app.name << "\n" << wrapped.err;
    EXPECT_EQ(Comparable(wrapped.out), Comparable(expected.out)) << app.name;
    EXPECT_EQ(Comparable(wrapped.err), Comparable(expected.err)) << app.name;
  }
}

}  // namespace
