#include <gtest/gtest.h>

#include "payload/config.h"
#include "payload/encoding.h"
#include "payload/load.h"
#include "payload/payload.h"
#include "support/payload_builder.h"
#include "support/test_util.h"

namespace {

// A context whose text is `external` (plus CR LF) followed by `embedded` and its NUL.
LauncherContext Ctx(const std::string& embedded, const std::string& external = {}) {
  LauncherContext c;
  if (!external.empty()) c.configText = external + "\r\n";
  c.externalLength = static_cast<int32_t>(c.configText.size());
  c.configText += embedded;
  c.configText.push_back('\0');
  return c;
}

std::vector<std::string> All(const LauncherContext& c, const char* key, LookupOptions opt = {}) {
  std::vector<std::string> v;
  LookUpAll(c, key, opt, [&](const std::string& s) { v.push_back(s); });
  return v;
}

}  // namespace

TEST(ConfigGrammar, KeyMatchingAndValues) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  } cases[] = {
      {"MAINCLASS x", "mainclass", "x"},
      {"  mainclass x", "mainclass", "x"},
      {"mainclass=x", "mainclass", "x"},
      {"mainclass = x", "mainclass", "x"},
      {"mainclass==x", "mainclass", "=x"},
      {"\tmainclass x", "mainclass", ""},  // a tab is not skipped: no match
      {"mainclass\tx", "mainclass", "\tx"},
      {"mainclass", "mainclass", ""},
      {"splashtitle x", "splash", ""},
      {"splash_x y", "splash", ""},
      {"splash-x y", "splash", "-x y"},
      {"#splash x", "splash", ""},
      {"splash a.png  \t", "splash", "a.png  \t"},
      {"splash\xC3\xA9 x", "splash", "\xC3\xA9 x"},  // bytes above 0x7F do not extend a key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(LookUp(Ctx(c.text), c.key, {false, false, {}}), c.value);
  }
}

TEST(ConfigGrammar, LineEndsAndTheTerminatingNul) {
  for (const char* eol : {"\r\n", "\n", "\r", "\n\r"}) {
    SCOPED_TRACE(eol);
    std::string text = std::string("option a") + eol + "option b" + eol + eol + "option c";
    EXPECT_EQ(All(Ctx(text), "option"), (std::vector<std::string>{"a", "b", "c"}));
  }
  LauncherContext c = Ctx(std::string("option a\r\n") + std::string(1, '\0') + "option b\r\n");
  EXPECT_EQ(All(c, "option"), std::vector<std::string>{"a"});
}

TEST(ConfigLookup, FirstLineWinsAndMultiKeepsOrderAcrossParts) {
  LauncherContext c = Ctx("splash b.png\r\noption e1\r\noption e2\r\nmainclass B",
                          "splash a.png\r\noption x1\r\noption x2\r\noption x3\r\nmainclass A");
  EXPECT_EQ(CfgSplash(c).substr(CfgSplash(c).size() - 5), "a.png");
  EXPECT_EQ(CfgMainClass(c), "B") << "mainclass is read from the embedded text only";
  EXPECT_EQ(CfgOptions(c), (std::vector<std::string>{"x1", "x2", "x3", "e1", "e2"}));
  EXPECT_EQ(All(c, "option", {true, true, {}}), (std::vector<std::string>{"e1", "e2"}));
}

TEST(ConfigLookup, PrefixSelectsByValueStart) {
  LauncherContext c = Ctx("option -Xmx1g\r\noption -xstartonfirstthread\r\noption -XstartOnFirstThreadX");
  EXPECT_EQ(LookUp(c, "option", {false, true, "-XstartOnFirstThread"}), "-XstartOnFirstThreadX");
  EXPECT_EQ(LookUp(c, "option", {false, true, "-Xss"}), "");
}

TEST(ConfigLookup, SwitchesCompareWholeValuesIgnoringCase) {
  EXPECT_TRUE(ValueIs("TRUE", "true"));
  EXPECT_TRUE(ValueIs("Custom", "custom"));
  EXPECT_FALSE(ValueIs("true ", "true"));
  EXPECT_FALSE(ValueIs("", "false"));
}

TEST(ConfigEncoding, AllFourEncodingsGiveTheSameUtf8) {
  const std::string expected = "splashtitle Caf\xC3\xA9";
  auto decoded = [](const std::string& bytes) {
    LauncherContext c;
    AppendText(c, bytes.data(), bytes.size());
    return c.configText;
  };
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char16_t u : std::u16string(u"splashtitle Caf\u00E9")) {
    le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
  }
  EXPECT_EQ(decoded("\xEF\xBB\xBF" + expected), expected);
  EXPECT_EQ(decoded(le), expected);
  EXPECT_EQ(decoded(be), expected);
  EXPECT_EQ(decoded(le + "x"), expected) << "an odd last byte is dropped";
  EXPECT_EQ(decoded(le + std::string("\0\0a\0b\0", 6)), expected) << "UTF-16 stops at a zero unit";
  EXPECT_EQ(decoded("splashtitle plain"), "splashtitle plain");
  EXPECT_EQ(decoded(std::string("\xEF\xBB\xBF" "a\0b", 6)), std::string("a\0b", 3)) << "UTF-8 keeps NUL bytes";
  EXPECT_GT(decoded("\xEF\xBBx").size(), 1u) << "a partial mark is read as narrow text, not dropped";
}

TEST(ConfigEncoding, SurrogatesAreEncodedUnitByUnit) {
  std::string out;
  AppendUnitsAsUtf8(out, std::u16string{0xD83D, 0xDE00});
  EXPECT_EQ(out, "\xED\xA0\xBD\xED\xB8\x80");
}

TEST(ConfigEncoding, LenientUtf8Decoding) {
  EXPECT_EQ(DecodeUtf8Lenient("a\xC3\xA9z"), (std::u16string{u'a', 0xE9, u'z'}));
  EXPECT_EQ(DecodeUtf8Lenient("\xF0\x9F\x98\x80"), u"????") << "four-byte sequences give one ? per byte";
  EXPECT_EQ(DecodeUtf8Lenient("\x80x"), u"?x");
  EXPECT_EQ(DecodeUtf8Lenient("\xE3\x41"), u"?A");
  EXPECT_EQ(DecodeUtf8Lenient("ab\xE3\x81"), u"ab") << "a cut-off sequence ends the decoding";
  EXPECT_EQ(Utf8ToAnsi("plain"), "plain");
#ifndef _WIN32
  // Narrow text is UTF-8 here: well-formed values keep every character, malformed ones are decoded.
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80 \xE2\x82\xAC\xC3\xA9"), "\xF0\x9F\x98\x80 \xE2\x82\xAC\xC3\xA9");
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80\x80"), "?????");
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80\xF4\x90\x80\x80"), "?????") << "a surrogate, beyond U+10FFFF";
#endif
}

TEST(ExternalConfig, CandidateNames) {
  EXPECT_EQ(ExternalConfigCandidates("D:\\App\\tool.exe"),
            (std::vector<std::string>{"D:\\App\\tool.exe.cfg", "D:\\App\\tool.exe.config", "D:\\App\\tool.cfg",
                                      "D:\\App\\tool.config"}));
  EXPECT_EQ(ExternalConfigCandidates("D:\\rel.2\\tool"),
            (std::vector<std::string>{"D:\\rel.2\\tool.cfg", "D:\\rel.2\\tool.config", "D:\\rel.2\\tool.cfg",
                                      "D:\\rel.2\\tool.config"}));
  EXPECT_EQ(WithTrailingSeparator("D:\\Work"), "D:\\Work/");
  EXPECT_EQ(WithTrailingSeparator("/home/u/"), "/home/u/");
}

class LoadTest : public ::testing::Test {
 protected:
  // Writes an executable-like file with `embedded` as its text block and loads it.
  LauncherContext Load(const std::string& embedded) {
    std::string zip = testutil::EmptyZip();
    std::string file = testutil::PayloadFile(std::string(200, 'I'), "\xEF\xBB\xBF" + embedded, zip);
    testutil::WriteFile(exe, file);
    LauncherContext c;
    c.archiveStart = ArchiveStartOffset(reinterpret_cast<const uint8_t*>(file.data()),
                                        static_cast<uint32_t>(file.size()), static_cast<uint32_t>(zip.size()));
    LoadConfigurationFrom(c, exe, dir.path());
    return c;
  }
  testutil::TempDir dir;
  std::string exe = dir / "tool.exe";
};

TEST_F(LoadTest, OnlyTheFirstCandidateIsRead) {
  testutil::WriteFile(dir / "tool.exe.config", "splashtitle second");
  testutil::WriteFile(dir / "tool.cfg", "splashtitle third");
  EXPECT_EQ(CfgSplashTitle(Load("splashtitle embedded\r\n")), "second");
  testutil::WriteFile(dir / "tool.exe.cfg", "splashtitle first");
  LauncherContext c = Load("splashtitle embedded\r\n");
  EXPECT_EQ(CfgSplashTitle(c), "first");
  EXPECT_EQ(c.exeDir, dir.path() + "/");
  EXPECT_EQ(c.workDir, dir.path() + "/");
}

TEST_F(LoadTest, ExternalLinesComeFirstAndAreEndedByTheAddedLineEnd) {
  testutil::WriteFile(dir / "tool.cfg", "option -Dx=1\r\noption -Dy=2");  // no final line end
  LauncherContext c = Load("option -De=3\r\n");
  EXPECT_EQ(CfgOptions(c), (std::vector<std::string>{"-Dx=1", "-Dy=2", "-De=3"}));
  EXPECT_EQ(c.externalLength, static_cast<int32_t>(std::string("option -Dx=1\r\noption -Dy=2\r\n").size()));
}

TEST_F(LoadTest, EmptyExternalFileCountsAsNone) {
  testutil::WriteFile(dir / "tool.cfg", "");
  LauncherContext c = Load("option e\r\n");
  EXPECT_EQ(c.externalLength, 0);
  EXPECT_EQ(CfgOptions(c), std::vector<std::string>{"e"});
}

TEST_F(LoadTest, DisableExternalWorksOnlyFromTheEmbeddedText) {
  testutil::WriteFile(dir / "tool.cfg", "disableexternal true\r\nsplashtitle ext");
  EXPECT_EQ(CfgSplashTitle(Load("splashtitle emb\r\n")), "ext");

  testutil::WriteFile(dir / "tool.cfg", "splashtitle ext\r\noption x");
  LauncherContext c = Load("disableexternal TRUE\r\nsplashtitle emb\r\n");
  EXPECT_EQ(CfgSplashTitle(c), "emb");
  EXPECT_EQ(c.externalLength, 0);
  EXPECT_TRUE(CfgOptions(c).empty());

  EXPECT_EQ(CfgSplashTitle(Load("disableexternal true \r\nsplashtitle emb\r\n")), "ext")
      << "a trailing space makes the value something other than true";
}

TEST_F(LoadTest, NulInExternalUtf8HidesLaterLinesFromWholeTextLookups) {
  testutil::WriteFile(dir / "tool.cfg", std::string("\xEF\xBB\xBF" "option a\r\n\0option b", 21));
  LauncherContext c = Load("option e\r\nmainclass M\r\n");
  EXPECT_EQ(CfgOptions(c), std::vector<std::string>{"a"});
  EXPECT_EQ(CfgMainClass(c), "M");
}

TEST_F(LoadTest, Utf16ExternalFileMatchesUtf8) {
  std::string le = "\xFF\xFE";
  for (char16_t u : std::u16string(u"splashtitle \u00C5ngstr\u00F6m\r\n")) {
    le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
  }
  testutil::WriteFile(dir / "tool.cfg", le);
  LauncherContext c = Load("");
  EXPECT_EQ(LookUp(c, "splashtitle", {false, false, {}}), "\xC3\x85ngstr\xC3\xB6m");
}

TEST_F(LoadTest, NoPayloadMeansNoEmbeddedText) {
  testutil::WriteFile(exe, "just an executable, nothing appended");
  LauncherContext c;
  c.archiveStart = -1;
  LoadConfigurationFrom(c, exe, dir.path());
  EXPECT_EQ(c.configText, "");
  EXPECT_EQ(CfgMainClass(c), "");
}
