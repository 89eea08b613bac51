#include <gtest/gtest.h>

#include "payload/encoding.h"
#include "payload/expand.h"
#include "support/env_guard.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

LauncherContext Paths() {
  LauncherContext c;
  c.exePath = "/opt/app/tool.exe";
  c.exeDir = "/opt/app/";
  c.workDir = "/home/u/work/";
  return c;
}

struct ExpandCase {
  const char* in;
  const char* out;
};

class ExpandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("PLBT_A", "alpha");
    env_.Set("PLBT_B", "%PLBT_A%");
    env_.Set("PLBT_NOPE", "from-env");
    env_.Set("UNCLOSED", "open");
    env_.Unset("PLBT_MISSING");
    env_.Unset("PWD");
    env_.Unset("APPLICATION_HOME");
    env_.Unset("PLB_APP_PATH");
  }
  testutil::EnvGuard env_;
  LauncherContext ctx_ = Paths();
};

TEST_F(ExpandTest, ReferenceFormsAndLiterals) {
  const ExpandCase cases[] = {
      // literals and lone delimiters
      {"100%", "100%"},
      {"50%% off", "50% off"},
      {"$$5", "$5"},
      {"ends in $", "ends in $"},
      {"%", "%"},
      {"a % b $ c", "a % b $ c"},
      // the four reference forms
      {"%PLBT_A%", "alpha"},
      {"%{PLBT_A}%", "alpha"},
      {"$PLBT_A", "alpha"},
      {"${PLBT_A}", "alpha"},
      {"x$PLBT_A.y", "xalpha.y"},          // an unbraced name ends at the first other character
      {"%PLBT_A%%PLBT_A%", "alphaalpha"},
      {"[${PLBT_MISSING|}]", "[]"},             // an empty default
      // references nothing answers stay as written
      {"%PLBT_MISSING%", "%PLBT_MISSING%"},
      {"%PLBT_MISSING%PLBT_A%", "%PLBT_MISSING%PLBT_A%"},
      {"%PLBT_A", "%PLBT_A"},
      {"%{PLBT_A}", "%{PLBT_A}"},           // braced "%" form needs its closing "%"
      {"$PLBT_MISSING", "$PLBT_MISSING"},
      {"${UNCLOSED", "open"},                // the name runs to the end of the value
      // inserted text is not scanned again
      {"%PLBT_B%", "%PLBT_A%"},
      // the launcher's special names, in any case
      {"%APPLICATION_HOME%lib\\a.jar", "/opt/app/lib\\a.jar"},
      {"$PWD", "/home/u/work/"},
      {"${plb_app_path}", "/opt/app/tool.exe"},
      {"%Application_Home%", "/opt/app/"},
      // defaults: the whole name is used for every source
      {"${PLBT_NOPE|fallback}", "fallback"},
      {"${hklm\\SOFTWARE\\Acme\\Dir}", "${hklm\\SOFTWARE\\Acme\\Dir}"},
      {"${HKLM\\SOFTWARE\\PlumboxTest\\Missing|D:\\Acme}", "D:\\Acme"},
      {"${HKLM\\SOFTWARE\\PlumboxTest\\Missing}", "${HKLM\\SOFTWARE\\PlumboxTest\\Missing}"},
  };
  for (const ExpandCase& c : cases) EXPECT_EQ(Expand(ctx_, c.in), c.out) << c.in;
}

TEST_F(ExpandTest, EnvironmentOverridesSpecialNames) {
  env_.Set("PWD", "elsewhere");
  EXPECT_EQ(Expand(ctx_, "%PWD%"), "elsewhere");
}

TEST_F(ExpandTest, ToUtf8ConvertsInsertedTextOnly) {
  std::string high = "caf\xc3\xa9";  // valid as UTF-8 and as a single-byte code page
  env_.Set("PLBT_HIGH", high);
  std::string literal = "\xe9=";
  EXPECT_EQ(Expand(ctx_, literal + "%PLBT_HIGH%", true), literal + AnsiToUtf8(high));
  EXPECT_EQ(Expand(ctx_, literal + "%PLBT_HIGH%", false), literal + high);
}

TEST_F(ExpandTest, HomeIsBuiltOnceFromDriveAndPath) {
  env_.Unset("HOME");
  env_.Unset("HOMEDRIVE");
  env_.Set("HOMEPATH", "\\Users\\u");
  ResetExpansionStateForTests();
  EXPECT_EQ(Expand(ctx_, "[%HOME%]"), "[]");  // answered, empty, while a part is missing
  env_.Set("HOMEDRIVE", "C:");
  EXPECT_EQ(Expand(ctx_, "%HOME%"), "C:\\Users\\u");
  env_.Set("HOMEPATH", "\\Other");
  EXPECT_EQ(Expand(ctx_, "%HOME%"), "C:\\Users\\u");  // kept
  env_.Set("HOME", "/from/env");
  EXPECT_EQ(Expand(ctx_, "%HOME%"), "/from/env");
  ResetExpansionStateForTests();
}

#ifdef _WIN32

// Values written under HKCU and HKLM in the test's own Wine prefix.
class RegistryExpandTest : public ExpandTest {
 protected:
  static constexpr const char* kKey = "Software\\PlumboxTest\\Expand";
  void SetUp() override {
    ExpandTest::SetUp();
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      HKEY k;
      ASSERT_EQ(RegCreateKeyExA(root, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
      keys_.push_back({root, k});
    }
  }
  void TearDown() override {
    for (auto& [root, k] : keys_) {
      RegCloseKey(k);
      RegDeleteTreeA(root, "Software\\PlumboxTest");
    }
  }
  void Put(HKEY root, const char* name, DWORD type, const void* data, DWORD size) {
    for (auto& [r, k] : keys_)
      if (r == root) ASSERT_EQ(RegSetValueExA(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  void PutString(HKEY root, const char* name, DWORD type, const std::string& s) {
    Put(root, name, type, s.c_str(), static_cast<DWORD>(s.size() + 1));
  }
  std::vector<std::pair<HKEY, HKEY>> keys_;
};

TEST_F(RegistryExpandTest, ValueTypesAndRoots) {
  PutString(HKEY_CURRENT_USER, "Str", REG_SZ, "hello");
  PutString(HKEY_CURRENT_USER, "", REG_SZ, "default-value");
  PutString(HKEY_CURRENT_USER, "Exp", REG_EXPAND_SZ, "%PLBT_A%\\x");
  PutString(HKEY_CURRENT_USER, "Sys", REG_EXPAND_SZ, "%SystemRoot%\\x");
  PutString(HKEY_LOCAL_MACHINE, "Dir", REG_SZ, "D:\\FromMachine");
  DWORD all = 0xFFFFFFFF;
  Put(HKEY_CURRENT_USER, "Dw", REG_DWORD, &all, 4);
  const unsigned char be[4] = {0, 0, 1, 0};
  Put(HKEY_CURRENT_USER, "Be", REG_DWORD_BIG_ENDIAN, be, 4);
  const unsigned char shortDword[2] = {0x34, 0x12};
  Put(HKEY_CURRENT_USER, "Short", REG_DWORD, shortDword, 2);
  Put(HKEY_CURRENT_USER, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
  unsigned long long q = 7;
  Put(HKEY_CURRENT_USER, "Qw", REG_QWORD, &q, 8);
  const char embedded[] = "up\0to";
  Put(HKEY_CURRENT_USER, "Nul", REG_SZ, embedded, sizeof embedded);

  std::string systemRoot;
  ASSERT_TRUE(plat::GetEnv("SystemRoot", systemRoot));
  const ExpandCase cases[] = {
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Str}", "hello"},
      {"%{HKEY_CURRENT_USER\\Software\\PlumboxTest\\Expand\\Str}%", "hello"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\}", "default-value"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Exp}", "alpha\\x"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Dw}", "-1"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Be}", "256"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Short}", "4660"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Multi|dflt}", ""},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Qw|dflt}", ""},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Nul}", "up"},
      {"${HKCU\\Software\\PlumboxTest\\Expand\\Missing|dflt}", "dflt"},
      {"${HKCU\\Software\\PlumboxTest\\NoKey\\Str|dflt}", "dflt"},
      {"${HKLM\\SOFTWARE\\PlumboxTest\\Expand\\Dir|D:\\Acme}", "D:\\FromMachine"},
      {"${HKEY_LOCAL_MACHINE\\SOFTWARE\\PlumboxTest\\Expand\\Dir}", "D:\\FromMachine"},
      {"${hkcu\\Software\\PlumboxTest\\Expand\\Str}", "${hkcu\\Software\\PlumboxTest\\Expand\\Str}"},
  };
  for (const ExpandCase& c : cases) EXPECT_EQ(Expand(ctx_, c.in), c.out) << c.in;
  EXPECT_EQ(Expand(ctx_, "${HKCU\\Software\\PlumboxTest\\Expand\\Sys}"), systemRoot + "\\x");
}

TEST_F(RegistryExpandTest, SelfReferringExpandableValuesEnd) {
  const std::string ref = "${HKCU\\Software\\PlumboxTest\\Expand\\Loop}";
  PutString(HKEY_CURRENT_USER, "Loop", REG_EXPAND_SZ, "<" + ref + ">");
  std::string out = Expand(ctx_, ref);
  EXPECT_EQ(out.find("<<<<"), 0u);
  EXPECT_NE(out.find(ref), std::string::npos);  // the innermost level is inserted as stored
  // Ten references to itself at every level: bounded work, bounded text.
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += ref;
  PutString(HKEY_CURRENT_USER, "Loop", REG_EXPAND_SZ, ten);
  EXPECT_LT(Expand(ctx_, ref).size(), 1000u * ten.size());
}

#endif

}  // namespace
