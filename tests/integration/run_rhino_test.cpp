// A real application: Debian's Rhino JavaScript shell (package rhino), wrapped and run on a
// script that uses its standard library; its output must equal that of the same jar run
// with "java -cp".
#include <gtest/gtest.h>

#include "integration/run_support.h"

namespace {

const char* kRhinoJar = "/usr/share/java/js.jar";

const char* kScript = R"js(
var data = { name: "plumbox", sizes: [3, 1, 2], nested: { ok: true, when: null } };
var text = JSON.stringify(data);
print(text);
print(JSON.parse(text).sizes.sort().join("-"));
print([1, 2, 3, 4, 5].map(function (x) { return x * x; }).filter(function (x) { return x % 2; }).reduce(function (a, b) { return a + b; }, 0));
print("Hello, %s!".replace("%s", "world").toUpperCase().split("").reverse().join(""));
print(/(\d+)-(\d+)/.exec("range 10-20").slice(1).join(","));
print(Math.floor(Math.sqrt(2) * 1e6), Math.max.apply(null, [4, 9, 2]), (255).toString(16), parseInt("0x1f", 16));
print(new Date(Date.UTC(2020, 1, 29, 12, 0, 0)).toISOString());
var words = "the quick brown fox jumps over the lazy dog".split(" ");
var counts = {};
words.forEach(function (w) { counts[w] = (counts[w] || 0) + 1; });
print(Object.keys(counts).sort().map(function (k) { return k + "=" + counts[k]; }).join(" "));
print(typeof java, java.lang.Integer.toHexString(48879), new java.util.ArrayList().size());
try { null.x; } catch (e) { print(e.name); }
print(String.fromCharCode(0x48, 0x69), encodeURIComponent("a b&c"), escape("%"));
)js";

class RunRhino : public ::testing::TestWithParam<int> {};

INSTANTIATE_TEST_SUITE_P(Jdk, RunRhino, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(RunRhino, OutputEqualsTheSameJarRunByJava) {
  runtest::Jdk jdk = runtest::FindJdk(GetParam());
  if (!jdk.feature) PLB_SKIP_MISSING() << "JDK " << GetParam() << " is not installed";
  if (!testutil::FileExists(kRhinoJar)) PLB_SKIP_MISSING() << kRhinoJar << " is missing (Debian package rhino)";
  testutil::TempDir dir;
  testutil::WriteFile(dir / "script.js", kScript);

  runtest::Output expected = runtest::RunProgram(
      {jdk.Bin("java"), "-cp", kRhinoJar, "org.mozilla.javascript.tools.shell.Main", dir / "script.js"});
  ASSERT_EQ(expected.code, 0) << expected.err;
  ASSERT_NE(expected.out.find("plumbox"), std::string::npos);

  runtest::WrapRequest w;
  w.jar = kRhinoJar;
  w.mainClass = "org.mozilla.javascript.tools.shell.Main";
  runtest::Output wrapped = runtest::WrapAndRun(jdk, w, dir / "rhino", {dir / "script.js"});
  EXPECT_EQ(wrapped.code, 0) << wrapped.err;
  EXPECT_EQ(wrapped.out, expected.out);
  EXPECT_EQ(wrapped.err, expected.err);
}

}  // namespace
