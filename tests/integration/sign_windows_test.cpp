// A Windows executable written by plumbox wrap, Authenticode-signed afterwards with
// osslsigncode and a throw-away certificate: the signature verifies, inspect reports it, and
// under Wine the signed launcher still finds its payload (record echo, embedded configuration).
#include <gtest/gtest.h>

#include "integration/run_support.h"
#include "payload/payload.h"
#include "tools/wrap.h"

namespace {

std::string Tool(const std::string& name) {
  for (const char* dir : {"/usr/bin/", "/usr/local/bin/"})
    if (testutil::FileExists(dir + name)) return dir + name;
  return {};
}

TEST(SignedWindowsExecutable, VerifiesAndStillFindsItsPayload) {
  if (!testutil::FileExists(PLB_WINDOWS_STUB)) PLB_SKIP_MISSING() << "no Windows build at " << PLB_WINDOWS_STUB;
  const std::string osslsigncode = Tool("osslsigncode"), openssl = Tool("openssl");
  if (osslsigncode.empty() || openssl.empty())
    PLB_SKIP_MISSING() << "osslsigncode and openssl are needed (scripts/install-deps.sh installs them)";
  runtest::Jdk jdk = runtest::BuildJdk();
  if (!jdk.feature) PLB_SKIP_MISSING() << "no JDK to make the application jar";
  testutil::TempDir d;
  testutil::WriteFile(d / "Main.java", "public class Main { public static void main(String[] a) {} }");
  runtest::MustRun({jdk.Bin("javac"), "-d", d / "classes", d / "Main.java"});
  runtest::MakeJar(jdk, d / "app.jar", d / "classes");
  testutil::MakeDirs(d / "bad");
  testutil::WriteFile(d / "bad/jvm.dll", "not a library");
  // A VM library that cannot load: the run ends with code 2 and the system's reason in the
  // log, which shows that the embedded configuration was read.
  runtest::WrapRequest w;
  w.target = "windows";
  w.jar = d / "app.jar";
  w.mainClass = "Main";
  w.settings = {"jvmdll Z:" + d / "bad/jvm.dll", "stderr Z:" + d / "err.log"};
  runtest::Wrap(w, d / "app.exe", PLB_WINDOWS_STUB);

  runtest::MustRun({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Plumbox Test",
                    "-keyout", d / "key.pem", "-out", d / "cert.pem"});
  runtest::MustRun({osslsigncode, "sign", "-certs", d / "cert.pem", "-key", d / "key.pem", "-n", "Plumbox test", "-in",
                    d / "app.exe", "-out", d / "signed.exe"});
  testutil::RunResult verify = testutil::Run({osslsigncode, "verify", "-CAfile", d / "cert.pem", "-in", d / "signed.exe"});
  EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  size_t current = verify.out.find("Current message digest    : "), calculated = verify.out.find("Calculated message digest : ");
  ASSERT_NE(current, std::string::npos) << verify.out;
  ASSERT_NE(calculated, std::string::npos) << verify.out;
  EXPECT_EQ(verify.out.substr(current + 28, 64), verify.out.substr(calculated + 28, 64));

  // The payload lies where it was; only the signature follows it.
  const std::string plain = testutil::ReadFile(d / "app.exe"), signed_ = testutil::ReadFile(d / "signed.exe");
  size_t record = 0;
  std::string err;
  ASSERT_TRUE(FindPayloadRecord(plain, record, err)) << err;
  uint32_t length = static_cast<uint8_t>(plain[record]) | static_cast<uint8_t>(plain[record + 1]) << 8 |
                    static_cast<uint8_t>(plain[record + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(plain[record + 3])) << 24;
  auto bytes = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
  int32_t start = ArchiveStartOffset(bytes(plain), static_cast<uint32_t>(plain.size()), length);
  EXPECT_GT(start, 0);
  EXPECT_EQ(ArchiveStartOffset(bytes(signed_), static_cast<uint32_t>(signed_.size()), length), start);

  testutil::RunResult inspect = testutil::Run({PLB_TOOL, "inspect", d / "signed.exe"});
  ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
  EXPECT_NE(inspect.out.find("signature: Authenticode certificate table of "), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find("  jvmdll Z:"), std::string::npos) << inspect.out;
  EXPECT_NE(testutil::Run({PLB_TOOL, "inspect", d / "app.exe"}).out.find("signature: none"), std::string::npos);

  if (std::string(PLB_WINE).empty() || !testutil::FileExists(PLB_WINE)) PLB_SKIP_MISSING() << "Wine is not installed";
  runtest::Output run = runtest::RunProgram({PLB_WINE, d / "signed.exe"},
                                            {"WINEDEBUG=-all", std::string(kBinaryDebugVariable) + "=1"}, 300);
  std::string echo = RecordEcho(reinterpret_cast<const unsigned char*>(signed_.data() + record));
  echo.insert(echo.size() - 1, "\r");  // standard output is in text mode there
  EXPECT_EQ(run.out, echo);
  EXPECT_EQ(run.code, 2) << run.err;
  EXPECT_NE(testutil::ReadFile(d / "err.log").find("jvm.dll"), std::string::npos) << testutil::ReadFile(d / "err.log");
}

}  // namespace
