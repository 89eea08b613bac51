#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_util.h"
#include "support/zip_writer.h"
#include "tools/jar_manifest.h"

namespace fs = std::filesystem;

namespace {

std::string Normal(const std::string& p) { return fs::path(p).lexically_normal().string(); }

}  // namespace

// The main section only, names without regard to case, continuation lines, any line end, the
// last of a repeated name; Main-Class in slash form becomes a binary name.
TEST(JarManifest, MainSectionAttributes) {
  testutil::TempDir dir;
  const std::string text =
      "Manifest-Version: 1.0\r\nmain-class: com/acme/App \r\nClass-Path: lib/a.jar lib/my%20\r\n b.jar\r\n"
      "Created-By:x\nCreated-By: y\r\rName: com/acme/\r\nMain-Class: not.This\r\n";
  testutil::WriteFile(dir / "app.jar", testzip::Build({{"meta-inf/Manifest.MF", text}, {"a.txt", "a"}}));
  JarManifest m;
  std::string err;
  ASSERT_TRUE(ReadJarManifest(dir / "app.jar", m, err)) << err;
  ASSERT_TRUE(m.present);
  EXPECT_EQ(m.text, text);
  EXPECT_EQ(ManifestValue(m, "CLASS-PATH"), "lib/a.jar lib/my%20b.jar");
  EXPECT_EQ(ManifestValue(m, "created-by"), "y");
  EXPECT_EQ(ManifestValue(m, "Name"), "");
  EXPECT_EQ(ManifestMainClass(m), "com.acme.App");

  testutil::WriteFile(dir / "bare.jar", testzip::Build({{"a.txt", "a"}}));
  ASSERT_TRUE(ReadJarManifest(dir / "bare.jar", m, err));
  EXPECT_FALSE(m.present);
  EXPECT_EQ(ManifestMainClass(m), "");
  testutil::WriteFile(dir / "text.jar", "not an archive");
  EXPECT_FALSE(ReadJarManifest(dir / "text.jar", m, err));
  EXPECT_NE(err.find("text.jar"), std::string::npos) << err;
}

// Class-Path words are URLs relative to the jar's folder: escapes decoded, "..", file: URLs;
// other schemes, directories and missing files skipped with a warning; a bad escape refused.
TEST(JarManifest, ClassPathResolvesAgainstTheJarsFolder) {
  testutil::TempDir dir;
  testutil::MakeDirs(dir / "app/lib");
  testutil::MakeDirs(dir / "app/classes");
  testutil::MakeDirs(dir / "shared");
  for (const char* f : {"app/lib/a.jar", "app/my lib.jar", "shared/s.jar"}) testutil::WriteFile(dir / f, "x");
  const std::string jar = dir / "app/app.jar";
  std::vector<std::string> files, warnings;
  std::string err;
  ASSERT_TRUE(ResolveClassPath(jar, " lib/a.jar\tmy%20lib.jar  ../shared/s.jar classes/ http://h/x.jar file:lib/a.jar#f",
                               files, warnings, err))
      << err;
  std::vector<std::string> expected = {dir / "app/lib/a.jar", dir / "app/my lib.jar", dir / "shared/s.jar",
                                       dir / "app/lib/a.jar"};
  ASSERT_EQ(files.size(), expected.size());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(fs::equivalent(files[i], expected[i])) << files[i];
  EXPECT_EQ(warnings.size(), 2u);  // the directory and the http: URL

  files.clear();
  ASSERT_TRUE(ResolveClassPath(jar, "lib/a.jar lib/gone.jar", files, warnings, err));
  EXPECT_EQ(files.size(), 1u);
  EXPECT_NE(warnings.back().find("'lib/gone.jar' does not exist"), std::string::npos) << warnings.back();
  EXPECT_FALSE(ResolveClassPath(jar, "a%2.jar", files, warnings, err));
#ifndef _WIN32
  files.clear();
  ASSERT_TRUE(ResolveClassPath(jar, "file://" + dir / "shared/s.jar", files, warnings, err)) << err;
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0], Normal(dir / "shared/s.jar"));
#endif
}

// The class path as java builds it: every jar followed at once by its Class-Path jars,
// depth first (the application jar's first, then --lib, then --lib-dir in name order), and a
// file already listed (the application jar included) is not added twice, cycles included.
TEST(JarManifest, DefaultLibrariesFollowTheGivenOnes) {
  testutil::TempDir dir;
  testutil::MakeDirs(dir / "lib/sub.jar");
  for (const char* f : {"lib/a.JAR", "lib/notes.txt", "lib/sub.jar/x.jar", "extra.jar"})
    testutil::WriteFile(dir / f, "x");
  testutil::WriteFile(dir / "lib/app.jar", testzip::Build({{"META-INF/MANIFEST.MF", "Class-Path: c.jar ../extra.jar\r\n"}}));
  testutil::WriteFile(dir / "lib/c.jar", testzip::Build({{"META-INF/MANIFEST.MF", "Class-Path: app.jar b.jar\r\n"}}));
  testutil::WriteFile(dir / "lib/b.jar", testzip::Build({{"META-INF/MANIFEST.MF", "Class-Path: sub.jar/x.jar\r\n"}}));
  WrapOptions opt;
  opt.jar = dir / "lib/app.jar";
  opt.libs = {dir / "lib/b.jar"};
  opt.libDirs = {dir.path() + "/lib"};
  std::string err;
  ASSERT_TRUE(AddDefaultLibraries(opt, err)) << err;
  std::vector<std::string> names;
  for (const auto& lib : opt.libs) names.push_back(fs::path(lib).filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"c.jar", "b.jar", "x.jar", "extra.jar", "a.JAR"}));

  opt.libs = {};
  opt.libDirs = {};
  opt.manifestLibs = false;
  ASSERT_TRUE(AddDefaultLibraries(opt, err));
  EXPECT_TRUE(opt.libs.empty());
  opt.libDirs = {dir / "extra.jar"};
  EXPECT_FALSE(AddDefaultLibraries(opt, err));
  EXPECT_NE(err.find("not a directory"), std::string::npos) << err;
}
