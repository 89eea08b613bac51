#include <gtest/gtest.h>

#include <filesystem>

#include "platform/runtime.h"
#include "runtime/discovery.h"
#include "support/env_guard.h"
#include "support/test_util.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using testutil::TempDir;

// Path of the VM library inside a runtime directory, with the platform's layouts:
// "server" the modern one (bin\server, lib/server), "legacy" the Java 8 development kit
// (jre\bin\server, jre/lib/amd64/server).
std::string Layout(const std::string& kind, const std::string& vm = "server") {
  std::string lib = plat::VmLibraryName();
#ifdef _WIN32
  if (kind == "legacy") return "jre/bin/" + vm + "/" + lib;
  return "bin/" + vm + "/" + lib;
#else
  if (kind == "legacy") return "jre/lib/amd64/" + vm + "/" + lib;
  return "lib/" + vm + "/" + lib;
#endif
}

// The probe's own spelling of a found library: directory, pass subdirectory, then "/".
std::string Normal(const std::string& p) {
  std::string s = p;
  for (char& c : s)
    if (c == '\\') c = '/';
  return std::filesystem::path(s).lexically_normal().generic_string();
}

void Touch(const std::string& path) {
  testutil::MakeDirs(std::filesystem::path(path).parent_path().string());
  testutil::WriteFile(path, "not a library");
}

LauncherContext Ctx(const std::string& config, const std::string& exeDir) {
  LauncherContext c;
  c.configText = config;
  c.configText.push_back('\0');
  c.exeDir = exeDir;
  c.exePath = exeDir + "tool.exe";
  c.workDir = exeDir;
  return c;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Unset("JRE_HOME");
    env_.Unset("JAVA_HOME");
    plat::SetSystemRootForTests(tmp_ / "system");
    ResetRuntimeSearchForTests();
  }
  void TearDown() override {
    plat::SetSystemRootForTests("");
    ResetRuntimeSearchForTests();
  }
  std::string Find(const std::string& config) {
    ResetRuntimeSearchForTests();
    LauncherContext c = Ctx(config, app_);
    return FindRuntimeLibrary(c);
  }
  TempDir tmp_;
  std::string app_ = tmp_ / "app/";
  testutil::EnvGuard env_;
};

TEST_F(DiscoveryTest, DirectoryProbeFindsEachLayout) {
  struct Case {
    std::string tree;  // where the library lies below the runtime directory
    std::string vm;    // configured "vm"
    std::string probed;  // the directory handed to the probe, relative to the runtime
  };
  const std::string lib = plat::VmLibraryName();
  const Case cases[] = {
      {lib, "", ""},
      {Layout("server"), "", ""},
      {Layout("legacy"), "", ""},
      {Layout("server", "client"), "", ""},
      {Layout("server", "client"), "client", ""},
      {Layout("legacy"), "", "bin"},  // named one level too deep: ../jre/...
  };
  for (const Case& c : cases) {
    TempDir rt;
    Touch(rt / c.tree);
    testutil::MakeDirs(rt / "bin");
    LauncherContext ctx = Ctx(c.vm.empty() ? "" : "vm " + c.vm, app_);
    std::string found = ProbeRuntimeDirectory(ctx, c.probed.empty() ? rt.path() : rt / c.probed);
    EXPECT_EQ(Normal(found), Normal(rt / c.tree)) << c.tree << " vm=" << c.vm;
  }
}

TEST_F(DiscoveryTest, ConfiguredVmIsPreferredOverOtherSubdirectories) {
  TempDir rt;
  for (const char* vm : {"client", "server", "zero"}) Touch(rt / Layout("server", vm));
  LauncherContext ctx = Ctx("vm server", app_);
  EXPECT_EQ(Normal(ProbeRuntimeDirectory(ctx, rt.path())), Normal(rt / Layout("server", "server")));
}

TEST_F(DiscoveryTest, SourcesAnswerInTheConfiguredOrder) {
  // c: a configured library; b: the runtime beside the executable; e: JRE_HOME; s and i:
  // the runtimes the system registers.
  Touch(tmp_ / "c/" + plat::VmLibraryName());
  Touch(app_ + "jre/" + Layout("server"));
  Touch(tmp_ / "env/" + Layout("server"));
  env_.Set("JRE_HOME", tmp_ / "env");
  std::string s, i;
#ifdef _WIN32
  // The registry of this throwaway prefix: RuntimeLib for the standard vendor, JavaHome for
  // the second one.
  Touch(tmp_ / "s/" + Layout("server"));
  Touch(tmp_ / "i/" + Layout("server"));
  auto put = [](const std::string& key, const char* name, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(k);
  };
  put("SOFTWARE\\JavaSoft\\Java Runtime Environment", "CurrentVersion", "1.8");
  put("SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8", "RuntimeLib", tmp_ / "s/" + Layout("server"));
  put("SOFTWARE\\IBM\\Java2 Runtime Environment", "CurrentVersion", "8.0");
  put("SOFTWARE\\IBM\\Java2 Runtime Environment\\8.0", "JavaHome", tmp_ / "i");
  s = tmp_ / "s/" + Layout("server");
  i = tmp_ / "i/" + Layout("server");
#else
  Touch(tmp_ / "system/usr/lib/jvm/default-java/" + Layout("server"));
  Touch(tmp_ / "ibm/" + Layout("legacy"));
  testutil::MakeDirs(tmp_ / "system/etc/alternatives");
  testutil::MakeDirs(tmp_ / "ibm/jre/bin");
  testutil::WriteFile(tmp_ / "ibm/jre/bin/java", "");
  std::filesystem::create_symlink(tmp_ / "ibm/jre/bin/java", tmp_ / "system/etc/alternatives/java");
  s = tmp_ / "system/usr/lib/jvm/default-java/" + Layout("server");
  i = std::filesystem::canonical(tmp_ / "ibm").string() + "/jre/" + Layout("legacy").substr(4);
#endif
  const std::string c = tmp_ / "c/" + plat::VmLibraryName(), b = app_ + "jre/" + Layout("server"),
                    e = tmp_ / "env/" + Layout("server");
  const std::string jvmdll = "jvmdll " + tmp_ / "c/" + plat::VmLibraryName() + "\n";
  struct Case {
    std::string order;
    std::string expected;
  };
  const Case cases[] = {
      {"", c}, {"cbsie", c}, {"xyz", c}, {"E", e},   {"bq", b},  {"s", s},
      {"i", i}, {"ie", i},   {"zzb", b}, {"SE", s}, {"Ibe", i}, {"eb", e},
  };
  for (const Case& k : cases) {
    std::string config = jvmdll + (k.order.empty() ? "" : "jre_order " + k.order + "\n");
    EXPECT_EQ(Normal(Find(config)), Normal(k.expected)) << "order " << k.order;
  }
#ifdef _WIN32
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\IBM");
#endif
}

TEST_F(DiscoveryTest, JreHomeBeatsJavaHome) {
  Touch(tmp_ / "jre/" + Layout("server"));
  Touch(tmp_ / "jdk/" + Layout("server"));
  env_.Set("JAVA_HOME", tmp_ / "jdk");
  env_.Set("JRE_HOME", tmp_ / "jre");
  EXPECT_EQ(Normal(Find("jre_order e")), Normal(tmp_ / "jre/" + Layout("server")));
  env_.Set("JRE_HOME", "");
  EXPECT_EQ(Normal(Find("jre_order e")), Normal(tmp_ / "jdk/" + Layout("server")));
}

TEST_F(DiscoveryTest, ConfiguredPathsResolveAgainstTheApplication) {
  Touch(app_ + "rt/" + Layout("server"));
  Touch(app_ + "lib/" + plat::VmLibraryName());
  EXPECT_EQ(Normal(Find("jre_order b\njre rt")), Normal(app_ + "rt/" + Layout("server")));
  EXPECT_EQ(Normal(Find("jre_order c\njvmdll lib/" + std::string(plat::VmLibraryName()))),
            Normal(app_ + "lib/" + plat::VmLibraryName()));
  EXPECT_EQ(Normal(Find("jre_order c\njvmdll rt")), Normal(app_ + "rt"));  // a directory passes the test
  EXPECT_EQ(Find("jre_order c\njvmdll missing.dll"), "");
}

TEST_F(DiscoveryTest, TheFirstAnswerIsKept) {
  const std::string lib = tmp_ / "c/" + plat::VmLibraryName();
  Touch(lib);
  LauncherContext ctx = Ctx("jre_order c\njvmdll " + lib, app_);
  EXPECT_EQ(FindRuntimeLibrary(ctx), lib);
  std::filesystem::remove(lib);
  EXPECT_EQ(FindRuntimeLibrary(ctx), lib);

  ResetRuntimeSearchForTests();
  EXPECT_EQ(FindRuntimeLibrary(ctx), "");  // a failed search is kept too
  Touch(lib);
  EXPECT_EQ(FindRuntimeLibrary(ctx), "");
}

#ifdef _WIN32
TEST_F(DiscoveryTest, RegistryProbeFollowsRuntimeLibAndVm) {
  const std::string key = "SOFTWARE\\PlumboxTest\\Vendor";
  auto put = [&](const std::string& sub, const char* name, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (key + sub).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr),
              0);
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
    RegCloseKey(k);
  };
  Touch(tmp_ / "rt/bin/client/jvm.dll");
  Touch(tmp_ / "rt/bin/server/jvm.dll");
  const std::string client = tmp_ / "rt\\bin\\client\\jvm.dll";
  LauncherContext plain = Ctx("", app_), withVm = Ctx("vm server", app_);
  EXPECT_EQ(ProbeRuntimeRegistry(plain, key), "");  // no key
  put("", "CurrentVersion", "9");
  EXPECT_EQ(ProbeRuntimeRegistry(plain, key), "");  // no version subkey
  put("\\9", "RuntimeLib", client);
  EXPECT_EQ(ProbeRuntimeRegistry(plain, key), client);
  EXPECT_EQ(Normal(ProbeRuntimeRegistry(withVm, key)), Normal(tmp_ / "rt/bin/server/jvm.dll"));
  put("\\9", "RuntimeLib", tmp_ / "rt\\bin\\gone\\jvm.dll");  // missing file: probe two levels up
  EXPECT_NE(ProbeRuntimeRegistry(plain, key), "");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PlumboxTest");
}
#endif

}  // namespace
