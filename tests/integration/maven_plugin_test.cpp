// plumbox-maven-plugin in a real offline Maven build: a two-module sample project (an application
// and the library it calls, tests/java/maven) wrapped for both targets during `mvn install`.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "integration/run_support.h"
#include "support/test_util.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

const char kDebianRepo[] = "/usr/share/maven-repo";

// What the offline build needs from Debian's Maven repository, and the packages that bring it.
std::string MissingFromDebianRepo() {
  const char* needed[][2] = {
      {"org/apache/maven/plugins/maven-compiler-plugin/3.1", "libmaven-compiler-plugin-java"},
      {"org/apache/maven/plugins/maven-resources-plugin/2.6", "libmaven-resources-plugin-java"},
      {"org/apache/maven/plugins/maven-jar-plugin/2.4", "libmaven-jar-plugin-java"},
      {"org/apache/maven/plugins/maven-install-plugin/2.4", "libmaven-install-plugin-java"},
      {"org/junit/junit-bom", "junit5"},
      {"org/codehaus/plexus/plexus-utils/3.4.2", "libplexus-utils2-java"}};
  std::string missing;
  for (const auto& n : needed)
    if (!fs::exists(std::string(kDebianRepo) + "/" + n[0])) missing += std::string(" ") + n[1];
  return missing;
}

std::string Utf16(const std::string& ascii) {
  std::string s;
  for (char c : ascii) s += std::string(1, c) + '\0';
  return s;
}

std::string Tail(const std::string& text, size_t n = 4000) {
  return text.size() > n ? text.substr(text.size() - n) : text;
}

TEST(MavenPlugin, WrapsBothTargetsInThePackagePhaseAndFailsOnPlumboxErrors) {
  std::string mvn = testutil::FindOnPath("mvn");
  if (mvn.empty()) PLB_SKIP_MISSING() << "mvn is not installed (apt-get install maven)";
  if (std::string missing = MissingFromDebianRepo(); !missing.empty())
    PLB_SKIP_MISSING() << "Debian's Maven repository lacks what the offline build needs; install" << missing;
  fs::path pluginJar;
  if (fs::is_directory(PLB_BINARY_DIR "/maven"))
    for (const auto& e : fs::directory_iterator(PLB_BINARY_DIR "/maven"))
      if (e.path().extension() == ".jar") pluginJar = e.path();
  fs::path pluginPom = fs::path(pluginJar).replace_extension(".pom");
  if (pluginJar.empty() || !fs::exists(pluginPom))
    PLB_SKIP_MISSING() << "plumbox-maven-plugin is not built (needs an installed Maven)";
  if (!fs::exists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "the Windows stub is not built";
  runtest::Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK 17 or 25 to run the Linux executable";

  testutil::TempDir dir;
  // An installation prefix as cmake --install lays it out; plumbox finds the stubs through it.
  std::string prefix = dir / "prefix";
  testutil::MakeDirs(prefix + "/bin");
  testutil::MakeDirs(prefix + "/share/plumbox");
  fs::copy_file(PLB_TOOL, prefix + "/bin/plumbox");
  fs::copy_file(PLB_LINUX_STUB, prefix + "/share/plumbox/stub-linux-x86_64");
  fs::copy_file(PLB_WINDOWS_STUB, prefix + "/share/plumbox/stub-windows-x86_64.exe");
  fs::copy_file(PLB_SUPPORT_JAR, prefix + "/share/plumbox/plumbox-support.jar");

  // The plugin goes into a fresh local repository as install:install-file puts it; everything
  // else comes from Debian's repository, which offline mode may read through file: URLs.
  std::string version = pluginJar.stem().string().substr(std::string("plumbox-maven-plugin-").size());
  std::string repo = dir / "repo";
  std::string pluginDir = repo + "/com/quillmar/plumbox/plumbox-maven-plugin/" + version;
  testutil::MakeDirs(pluginDir);
  for (const auto& f : {pluginJar, pluginPom}) fs::copy_file(f, pluginDir + "/" + f.filename().string());
  std::string remote = std::string("<url>file://") + kDebianRepo +
                       "</url><releases><checksumPolicy>ignore</checksumPolicy></releases>"
                       "<snapshots><enabled>false</enabled></snapshots>";
  WriteFile(dir / "settings.xml",
            "<settings><localRepository>" + repo + "</localRepository><offline>true</offline>"
            "<profiles><profile><id>debian</id>"
            "<repositories><repository><id>debian</id>" + remote + "</repository></repositories>"
            "<pluginRepositories><pluginRepository><id>debian</id>" + remote + "</pluginRepository>"
            "</pluginRepositories></profile></profiles>"
            "<activeProfiles><activeProfile>debian</activeProfile></activeProfiles></settings>\n");
  std::string project = dir / "sample";
  fs::copy(PLB_SOURCE_DIR "/tests/java/maven", project, fs::copy_options::recursive);
  auto Maven = [&](const std::string& pom, const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {mvn, "-o", "-B", "-s", dir / "settings.xml", "-f", pom,
                                     "-Daether.offline.protocols=file", "-Dplumbox.version=" + version,
                                     "-Dplumbox.home=" + prefix};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return testutil::Run(argv, {"MAVEN_OPTS=-Xmx256m"});
  };

  testutil::RunResult built = Maven(project + "/pom.xml", {"install"});
  ASSERT_EQ(built.exitCode, 0) << Tail(built.out + built.err);
  std::string target = project + "/app/target/sample-app-1.2.3-SNAPSHOT";

  // The Linux executable runs the application with its dependency.
  runtest::Output ran = runtest::RunProgram({target, "Maven"}, {"JAVA_HOME=" + jdk.home});
  EXPECT_EQ(ran.code, 0) << ran.err;
  EXPECT_EQ(ran.out, "Hello, Maven, from the greeting library\n") << ran.err;

  // The Windows one carries the version texts taken from the project.
  std::string exe = ReadFile(target + ".exe");
  ASSERT_EQ(exe.substr(0, 2), "MZ");
  for (const char* text : {"Sample App", "Example Org", "A sample application", "1.2.3"})
    EXPECT_NE(exe.find(Utf16(text)), std::string::npos) << text;

  // Both were attached, so install carried them.
  std::string installed = repo + "/com/example/sample/sample-app/1.2.3-SNAPSHOT/sample-app-1.2.3-SNAPSHOT";
  EXPECT_TRUE(fs::exists(installed + "-linux-x86_64.bin"));
  EXPECT_TRUE(fs::exists(installed + "-windows-x86_64.exe"));

  // A main class that plumbox refuses fails the build with plumbox's own message.
  testutil::RunResult bad = Maven(project + "/app/pom.xml", {"package", "-Dplumbox.mainClass=app..Main"});
  EXPECT_NE(bad.exitCode, 0);
  EXPECT_NE(bad.out.find("BUILD FAILURE"), std::string::npos) << Tail(bad.out);
  EXPECT_NE(bad.out.find("plumbox wrap failed (exit 1): plumbox: error:"), std::string::npos) << Tail(bad.out);
  EXPECT_NE(bad.out.find("not a Java class name"), std::string::npos) << Tail(bad.out);
}

}  // namespace
