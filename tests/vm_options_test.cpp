// The VM options and the environment the launcher prepares for the VM.
#include <gtest/gtest.h>

#include "payload/config.h"
#include "platform/env.h"
#include "runtime/vm_options.h"
#include "support/env_guard.h"
#include "support/test_util.h"

namespace {

LauncherContext Context(const std::string& config) {
  LauncherContext ctx;
  ctx.exePath = "/apps/demo/demo";
  ctx.exeDir = "/apps/demo/";
  AppendText(ctx, config.data(), config.size());
  return ctx;
}

std::string EnvValue(const char* name) {
  std::string value;
  return plat::GetEnv(name, value) ? value : "<unset>";
}

TEST(VmOptions, FixedOptionsInstallTheLaunchersLoaderUnlessForbidden) {
  std::vector<std::string> expected = {
      "-Djava.class.path=/apps/demo/demo",
      "-Dplb.class.path=:a.jar",
      "-Dplb.app.path=/apps/demo/demo",
      "-Dapplication.home=/apps/demo/",
      "-Djava.protocol.handler.pkgs=com.quillmar",
      "-Djava.system.class.loader=com.quillmar.plb.PlumboxClassLoader",
  };
  EXPECT_EQ(FixedOptions(Context(""), "/apps/demo/demo", ":a.jar", false), expected);
  EXPECT_EQ(FixedOptions(Context("assystemclassloader false\r\n"), "/apps/demo/demo", ":a.jar", false),
            std::vector<std::string>(expected.begin(), expected.begin() + 4));
  EXPECT_EQ(FixedOptions(Context("assystemclassloader no\r\n"), "/apps/demo/demo", ":a.jar", false), expected);
  expected.push_back("-Dplb.is.elevated=true");
  EXPECT_EQ(FixedOptions(Context(""), "/apps/demo/demo", ":a.jar", true), expected);
  // With the launcher's agent, the agent names the loader at the start phase instead.
  expected.erase(expected.begin() + 5);
  EXPECT_EQ(FixedOptions(Context(""), "/apps/demo/demo", ":a.jar", true, true), expected);
}

TEST(VmOptions, ExportsSetTheEnvironmentAndToolOptionsAreDroppedUnlessExported) {
  testutil::EnvGuard env;
  env.Set("JAVA_TOOL_OPTIONS", "-Dfrom.caller=1");
  env.Set("PLB_TEST_GONE", "x");
  env.Unset("PLB_TEST_SET");
  ApplyExports(Context("export PLB_TEST_SET=a=b c\r\nexport PLB_TEST_GONE=\r\nexport NO_EQUALS_SIGN\r\n"));
  EXPECT_EQ(EnvValue("PLB_TEST_SET"), "a=b c");
  EXPECT_EQ(EnvValue("PLB_TEST_GONE"), "<unset>");
  EXPECT_EQ(EnvValue("NO_EQUALS_SIGN"), "<unset>");
  EXPECT_EQ(EnvValue("JAVA_TOOL_OPTIONS"), "<unset>");

  env.Set("JAVA_TOOL_OPTIONS", "-Dfrom.caller=1");
  ApplyExports(Context("export JAVA_TOOL_OPTIONS=-Dfrom.config=1\r\n"));
  EXPECT_EQ(EnvValue("JAVA_TOOL_OPTIONS"), "-Dfrom.config=1");
}

// A runtime home with a release file and the VM library where the platform keeps it.
std::string MakeRuntime(const testutil::TempDir& dir, const std::string& release) {
  testutil::MakeDirs(dir / "rt/lib/server");
  if (!release.empty()) testutil::WriteFile(dir / "rt/release", release);
  testutil::WriteFile(dir / "rt/lib/server/libjvm.so", "");
  return dir / "rt/lib/server/libjvm.so";
}

TEST(VmOptions, RuntimeVersionAndVariantComeFromTheReleaseFile) {
  testutil::TempDir a, b, c, d;
  RuntimeInfo info = ReadRuntimeInfo(MakeRuntime(a, "IMPLEMENTOR=\"X\"\nJAVA_VERSION=\"25.0.3\"\nJVM_VARIANT=\"Hotspot\"\n"));
  EXPECT_EQ(info.feature, 25);
  EXPECT_TRUE(info.hotspot);
  info = ReadRuntimeInfo(MakeRuntime(b, "JAVA_VERSION=\"1.8.0_292\"\r\nOS_NAME=\"Windows\"\r\n"));
  EXPECT_EQ(info.feature, 8);
  EXPECT_TRUE(info.hotspot);
  info = ReadRuntimeInfo(MakeRuntime(c, "JAVA_VERSION=\"21.0.1\"\nJVM_VARIANT=\"Openj9\"\n"));
  EXPECT_EQ(info.feature, 21);
  EXPECT_FALSE(info.hotspot);
  info = ReadRuntimeInfo(MakeRuntime(d, ""));
  EXPECT_EQ(info.feature, 0);
  EXPECT_FALSE(info.hotspot);
  EXPECT_FALSE(info.minimal);
  EXPECT_TRUE(ReadRuntimeInfo("/opt/jdk/lib/minimal/libjvm.so").minimal);
}

TEST(VmOptions, RuntimeOptionsOnlyForRuntimesThatKnowThem) {
  using V = std::vector<std::string>;
  // HotSpot from 9 on gets the agent, which binds the natives: no native access is needed.
  EXPECT_EQ(RuntimeOptions({25, true}, true), (V{"-Xlog:cds=off", "-agentlib:plumbox"}));
  EXPECT_EQ(RuntimeOptions({25, true}, false), (V{"-agentlib:plumbox"}));
  EXPECT_EQ(RuntimeOptions({21, true}, true), (V{"-Xlog:cds=off", "-agentlib:plumbox"}));
  EXPECT_EQ(RuntimeOptions({17, true}, true), (V{"-agentlib:plumbox"}));
  EXPECT_EQ(RuntimeOptions({9, true}, false), (V{"-agentlib:plumbox"}));
  EXPECT_EQ(RuntimeOptions({17, true, true}, false), V{});  // the minimal VM has no tool agents
  // Elsewhere the support classes load the executable, which needs native access from 22 on.
  EXPECT_EQ(RuntimeOptions({25, false}, true), (V{"--enable-native-access=ALL-UNNAMED"}));
  EXPECT_EQ(RuntimeOptions({8, true}, true), V{});
  EXPECT_EQ(RuntimeOptions({0, false}, true), V{});
}

}  // namespace
