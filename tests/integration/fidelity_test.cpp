// Names, duplicates and sizes that the Java runtime reads in its own way: one crafted
// application, run wrapped (nested with and without the jar protocol, and flat) and under
// "java -cp" with the same jars, must print the same. On JDK 17 and on JDK 25, each skipped
// when that runtime is not installed.
#include <gtest/gtest.h>

#include <memory>

#include "integration/run_support.h"
#include "support/zip_writer.h"

using runtest::Jdk;
using runtest::Output;

namespace {

struct FidelityJars {
  std::unique_ptr<testutil::TempDir> dir;
  std::vector<std::string> libs;  // class-path order
  std::string app, wrappedOnly;
};

FidelityJars g_jars;

// The raw deflate data of `mebibytes` MiB of zero bytes, and its CRC-32: one compressed MiB
// (flushed to a byte boundary, referring to nothing before it) repeated, then a last block.
std::string DeflatedZeros(uint64_t mebibytes, uint32_t& crc) {
  const std::string zeros(1 << 20, '\0');
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string one(deflateBound(&z, zeros.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = reinterpret_cast<Bytef*>(one.data());
  z.avail_out = static_cast<uInt>(one.size());
  deflate(&z, Z_SYNC_FLUSH);
  one.resize(one.size() - z.avail_out);
  deflateEnd(&z);
  const uLong mib = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size()));
  uLong all = mib;
  std::string out = one;
  for (uint64_t i = 1; i < mebibytes; ++i) {
    out += one;
    all = crc32_combine(all, mib, 1 << 20);
  }
  crc = static_cast<uint32_t>(all);
  return out + std::string("\x03\x00", 2);  // a last, empty block
}

void BuildFidelityJars() {
  Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) return;
  g_jars.dir = std::make_unique<testutil::TempDir>();
  testutil::TempDir& d = *g_jars.dir;
  runtest::CompileJava(jdk, std::string(PLB_SOURCE_DIR) + "/tests/java/fidelity", d / "classes");
  auto write = [&](const std::string& name, const std::vector<testzip::Entry>& entries,
                   const testzip::Options& opt = {}) {
    testutil::WriteFile(d / name, testzip::Build(entries, opt));
    return d / name;
  };
  g_jars.app = write("app.jar", {{"fidelity/Probe.class", testutil::ReadFile(d / "classes/fidelity/Probe.class")}});
  // '+' and '%' in jar and entry names, each next to the name a wrong decoding would reach.
  g_jars.libs.push_back(write("both x+1.jar", {{"plus.txt", "plus"},
                                               {"a+b c.txt", "plus and space"},
                                               {"a b c.txt", "spaces"},
                                               {"x%20y.txt", "percent"},
                                               {"x y.txt", "space"},
                                               {"common.txt", "both"}}));
  g_jars.libs.push_back(write("a!b.jar", {{"bang.txt", "bang"}, {"common.txt", "bang"}}));
  // Two copies of a name (the second in the directory is served), a '\' in a name, and a name
  // whose segment only contains "..".
  g_jars.libs.push_back(write("dups.jar",
                              {{"dup.txt", "first"},
                               {"dup.txt", "second"},
                               {"bs\\res.txt", "backslash"},
                               {"y.txt", "why"},
                               {"d/z.txt", "zed"},
                               {"secret.properties", "secret"},
                               {"common.txt", "dups"}}));
  // A nested jar whose stored name is not UTF-8, which the runtime itself refuses to read: only
  // wrapped nested, where every URL of the class path must lead back to its archive (a flat
  // merge refuses such a name).
  g_jars.wrappedOnly = write("latin.jar", {{"n\xE9.jar", testzip::Build({{"inner.txt", "inner"}})}});
  // A jar index naming its own jar; a jar that says it is multi-release but has no versions.
  g_jars.libs.push_back(write("indexed-1.0.jar", {{"META-INF/INDEX.LIST", "JarIndex-Version: 1.0\n\nindexed-1.0.jar\nix\n\n"},
                                                 {"ix/i.txt", "indexed"},
                                                 {"common.txt", "indexed"}}));
  g_jars.libs.push_back(write("flag.jar", {{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMulti-Release: true\r\n\r\n"},
                                          {"flag.txt", "flag"}}));
  g_jars.libs.push_back(write("mr.jar", {{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMulti-Release: true\r\n\r\n"},
                                         {"mr.txt", "base"},
                                         {"META-INF/versions/9/mr.txt", "nine"}}));
  // Entries read as they are consumed: one of more than 4 GiB (ZIP64 sizes), a stored one of 3 MiB.
  uint32_t crc = 0;
  std::string zeros = DeflatedZeros(4352, crc);
  std::string stored;
  for (int i = 0; stored.size() < (3u << 20); ++i) stored += std::to_string(i * 7919) + ",";
  testzip::Options huge;
  huge.zip64 = true;
  g_jars.libs.push_back(write("huge.jar",
                              {{"huge/zeros.bin", zeros, true, false, 0, uint64_t{4352} << 20, crc},
                               {"huge/stored.txt", stored, false}},
                              huge));
  // More than 65535 entries, with ZIP64 end records.
  std::vector<testzip::Entry> many;
  for (int i = 0; i < 70000; ++i) many.push_back({"last/" + std::to_string(i) + ".txt", i == 69999 ? "the last" : "", false});
  testzip::Options zip64;
  zip64.zip64 = true;
  g_jars.libs.push_back(write("big.jar", many, zip64));
}

class Fidelity : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    if (!g_jars.dir) BuildFidelityJars();
  }
  void SetUp() override {
    jdk_ = runtest::FindJdk(GetParam());
    if (!jdk_.feature) GTEST_SKIP() << "JDK " << GetParam() << " is not installed";
    if (!g_jars.dir) GTEST_SKIP() << "no JDK to compile the test application";
  }

  Output JavaCp(const std::vector<std::string>& groups) {
    std::string cp = g_jars.app;
    for (const std::string& lib : g_jars.libs) cp += ":" + lib;
    std::vector<std::string> argv = {jdk_.Bin("java"), "-cp", cp, "fidelity.Probe"};
    argv.insert(argv.end(), groups.begin(), groups.end());
    return runtest::RunProgram(argv);
  }

  Output Wrapped(const std::vector<std::string>& groups, const std::vector<std::string>& settings, bool flat) {
    std::vector<std::string> argv = {PLB_TOOL, "wrap", "-q", "--target", "linux", "--jar", g_jars.app, "--main",
                                     "fidelity.Probe", "--stub", PLB_LINUX_STUB, "--support", PLB_SUPPORT_JAR,
                                     "-o", dir_ / "app", "--set", "jvmdll " + jdk_.LibJvm()};
    if (flat) argv.push_back("--flat");
    for (const std::string& lib : g_jars.libs) argv.insert(argv.end(), {"--lib", lib});
    if (!flat) argv.insert(argv.end(), {"--lib", g_jars.wrappedOnly});
    for (const std::string& s : settings) argv.insert(argv.end(), {"--set", s});
    runtest::MustRun(argv);
    std::vector<std::string> run = {dir_ / "app"};
    run.insert(run.end(), groups.begin(), groups.end());
    return runtest::RunProgram(run);
  }

  Jdk jdk_;
  testutil::TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(Jdk, Fidelity, ::testing::Values(17, 25), [](const auto& info) {
  return "Jdk" + std::to_string(info.param);
});

TEST_P(Fidelity, NamesDuplicatesAndSizesReadAsUnderJavaCp) {
  const std::vector<std::string> groups = {"names", "dotted", "index", "relative", "all", "jarview", "large",
                                           "classpath"};
  Output expected = JavaCp(groups);
  ASSERT_EQ(expected.code, 0) << expected.err;
  ASSERT_NE(expected.out.find("res dup.txt => second\n"), std::string::npos) << expected.out;

  Output o = Wrapped(groups, {}, false);
  EXPECT_EQ(o.out, expected.out) << "nested\n" << o.err;
  EXPECT_EQ(o.code, 0);

  // Without the jar protocol there is no jar view to look at, and the launcher's own lookup
  // takes "." and ".." steps out of a name.
  const std::vector<std::string> plain = {"names", "index", "relative", "all"};
  expected = JavaCp(plain);
  o = Wrapped(plain, {"usejarprotocol false"}, false);
  EXPECT_EQ(o.out, expected.out) << "usejarprotocol false\n" << o.err;

  // A flat merge keeps one copy of a name for all jars, and no jar index: only the names (and
  // the large entries, which the runtime reads itself there) are compared.
  const std::vector<std::string> names = {"names", "dotted", "relative", "large"};
  expected = JavaCp(names);
  o = Wrapped(names, {}, true);
  EXPECT_EQ(o.out, expected.out) << "flat\n" << o.err;
}

}  // namespace
