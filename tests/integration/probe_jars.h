// The probe application of the run tests (tests/java/probe), compiled once per test program.
#pragma once
#include <memory>
#include <string>

#include "integration/run_support.h"

namespace runtest {

// The probe application: app.jar (the probe, two resources), libs lib1.jar (a service, a
// manifest with a title, a shared resource and the nested inner.jar) and lib2.jar (a second
// service and shared resource).
struct ProbeJars {
  std::unique_ptr<testutil::TempDir> dir;
  std::string app, lib1, lib2, lib1Classes;
};

inline ProbeJars g_probe;

inline void BuildProbeJars() {
  Jdk jdk = BuildJdk();
  if (!jdk.feature) return;
  g_probe.dir = std::make_unique<testutil::TempDir>();
  testutil::TempDir& d = *g_probe.dir;
  std::string src = std::string(PLB_SOURCE_DIR) + "/tests/java/probe/";
  CompileJava(jdk, src + "app", d / "app");
  testutil::MakeDirs(d / "app/dir");
  testutil::WriteFile(d / "app/app.txt", "from app\n");
  testutil::WriteFile(d / "app/dir/my file.txt", "spaced\n");
  g_probe.app = d / "app.jar";
  MakeJar(jdk, g_probe.app, d / "app");

  CompileJava(jdk, src + "inner", d / "inner");
  testutil::WriteFile(d / "inner/inner.txt", "from inner\n");
  MakeJar(jdk, d / "inner.jar", d / "inner");

  for (const char* lib : {"lib1", "lib2"}) {
    std::string classes = d / lib;
    CompileJava(jdk, src + lib, classes, d / "app");
    testutil::MakeDirs(classes + "/META-INF/services");
    testutil::WriteFile(classes + "/META-INF/services/probe.Service", std::string(lib) + (lib[3] == '1' ? ".One\n" : ".Two\n"));
    testutil::WriteFile(classes + "/shared.txt", std::string("from ") + lib + "\n");
  }
  g_probe.lib1Classes = d / "lib1";
  testutil::WriteFile(d / "lib1/inner.jar", testutil::ReadFile(d / "inner.jar"));
  testutil::WriteFile(d / "lib1.mf", "Implementation-Title: Lib One\n");
  // lib2 is a multi-release jar with a class and a resource of their own in version 9.
  CompileJava(jdk, src + "lib2v9", d / "lib2/META-INF/versions/9");
  testutil::WriteFile(d / "lib2/mr.txt", "base\n");
  testutil::WriteFile(d / "lib2/META-INF/versions/9/mr.txt", "nine\n");
  testutil::WriteFile(d / "lib2.mf", "Multi-Release: true\nImplementation-Version: 2.0\n");
  g_probe.lib1 = d / "lib1.jar";
  g_probe.lib2 = d / "lib2.jar";
  MakeJar(jdk, g_probe.lib1, d / "lib1", d / "lib1.mf");
  MakeJar(jdk, g_probe.lib2, d / "lib2", d / "lib2.mf");
}

}  // namespace runtest
