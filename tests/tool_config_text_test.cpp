#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload/config.h"
#include "tools/config_text.h"

namespace {

std::vector<std::string> Texts(const std::vector<ConfigLine>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.text);
  return out;
}

std::vector<ConfigLine> Lines(std::initializer_list<const char*> texts) {
  std::vector<ConfigLine> out;
  int n = 0;
  for (const char* t : texts) out.push_back({t, "f:" + std::to_string(++n)});
  return out;
}

}  // namespace

// What the tool writes is what the launcher reads: lookups on the text block give the
// values in order, the first single-valued line winning.
TEST(TextBlock, ReadsBackThroughTheLaunchersLookups) {
  auto lines = Lines({"mainclass a.Main", "option -Xmx64m", "splash one.png", "", "#splash no.png",
                      "option -Dx=\xC3\xA9", "SPLASH two.png"});
  std::string block = TextBlock(lines);
  EXPECT_EQ(block.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(block.back(), '\0');
  EXPECT_NE(block.find("a.Main\r\noption"), std::string::npos);
  LauncherContext ctx;
  AppendText(ctx, block.data(), block.size());
  EXPECT_EQ(CfgMainClass(ctx), "a.Main");
  EXPECT_EQ(LookUp(ctx, "splash", {false, false}), "one.png");
  std::vector<std::string> options;
  LookUpAll(ctx, "option", {false, false}, [&](const std::string& v) { options.push_back(v); });
  EXPECT_EQ(options, (std::vector<std::string>{"-Xmx64m", "-Dx=\xC3\xA9"}));
}

TEST(ConfigFileLines, AcceptsEveryLineEndAndEncoding) {
  std::vector<ConfigLine> lines;
  std::string err;
  ASSERT_TRUE(ConfigFileLines("a 1\rb 2\nc 3\r\nd 4\n\re 5\n\nf 6", "x.cfg", lines, err)) << err;
  EXPECT_EQ(Texts(lines), (std::vector<std::string>{"a 1", "b 2", "c 3", "d 4", "e 5", "", "f 6"}));
  EXPECT_EQ(lines[4].origin, "x.cfg:5");

  const std::string utf16le("\xFF\xFE" "a\0 \0\xE9\0\r\0\n\0b\0", 14);
  const std::string utf16be("\xFE\xFF\0a\0 \0\xE9\0\r\0\n\0b", 14);
  for (const std::string& bytes : {utf16le, utf16be, std::string("\xEF\xBB\xBF" "a \xC3\xA9\r\nb")}) {
    lines.clear();
    ASSERT_TRUE(ConfigFileLines(bytes, "u.cfg", lines, err)) << err;
    EXPECT_EQ(Texts(lines), (std::vector<std::string>{"a \xC3\xA9", "b"}));
  }
}

TEST(ConfigFileLines, RefusesTextThatWouldBeMisread) {
  std::vector<ConfigLine> lines;
  std::string err;
  EXPECT_FALSE(ConfigFileLines(std::string("a 1\nb \0 2\n", 10), "n.cfg", lines, err));
  EXPECT_NE(err.find("n.cfg:2"), std::string::npos) << err;
  EXPECT_FALSE(ConfigFileLines("a 1\nsplashtitle caf\xE9\n", "l.cfg", lines, err));  // Latin-1
  EXPECT_NE(err.find("l.cfg:2"), std::string::npos) << err;
  EXPECT_FALSE(ConfigFileLines("\xFF\xFE" "a\0b", "o.cfg", lines, err));  // odd UTF-16
  EXPECT_TRUE(lines.empty());
}

TEST(IsValidUtf8, RejectsMalformedSequences) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"})
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(SetOptionLine, TakesOneKeyedLine) {
  ConfigLine line;
  std::string err;
  EXPECT_TRUE(SetOptionLine("option -Xss2m", line, err));
  EXPECT_EQ(line.text, "option -Xss2m");
  EXPECT_FALSE(SetOptionLine("option a\r\nmainclass Evil", line, err));
  EXPECT_FALSE(SetOptionLine(std::string("option a\0b", 10), line, err));
  EXPECT_FALSE(SetOptionLine("=value", line, err));
  EXPECT_FALSE(SetOptionLine("\tmainclass x", line, err));  // a tab hides the key from the launcher
}

TEST(LineKey, FollowsTheLaunchersKeyRule) {
  EXPECT_EQ(LineKey("  MainClass=x"), "mainclass");
  EXPECT_EQ(LineKey("splash-x y"), "splash");
  EXPECT_EQ(LineKey("java_libs x"), "java_libs");
  EXPECT_EQ(LineKey("#splash x"), "");
  EXPECT_EQ(MainClassOf(Lines({"option x", "mainclass  = a.B", "mainclass c.D"})), "a.B");
  EXPECT_EQ(MainClassOf(Lines({"mainclasses a.B"})), "");
}

TEST(ConfigWarnings, NameShadowedSingleKeysAndUnknownKeys) {
  auto warnings = ConfigWarnings(Lines({"splash a", "option -a", "Splash b", "option -b", "spalsh c", "# note"}));
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("f:3"), std::string::npos);
  EXPECT_NE(warnings[0].find("f:1"), std::string::npos);
  EXPECT_NE(warnings[1].find("spalsh"), std::string::npos);
}

// Every value that the launcher would ignore, or read otherwise than the line seems to say,
// gets one warning naming its line; values it reads as written get none.
TEST(ConfigWarnings, ValuesTheLauncherWouldReadOtherwise) {
  const struct {
    const char* line;
    const char* warning;  // "" = none
  } cases[] = {
      {"singleinstance yes", "is not 'true' or 'custom'"},
      {"singleinstance CUSTOM", ""},
      {"wildcard All", ""},
      {"disableexternal true ", "ends with a blank"},
      {"assystemclassloader no", "is not 'false'"},
      {"minjre seventeen", "holds no version number"},
      {"maxjre 21.0.2", ""},
      {"minjre 1.8.0_292", ""},
      {"option", "has an empty value"},
      {"splash", "has no value"},
      {"option Xmx1g", "does not start with '-'"},
      {"option -Xmx1g", ""},
      {"\tsplash a.png", "starts with a tab"},
      {"splash\ta.png", "a tab after 'splash'"},
      {"stdout: out.log", "starts with ':'"},
      {"stdout=out.log", ""},
      {"jre_order xyz", "names no runtime source"},
      {"jre_order eq", "letters other than"},
      {"jre_order EB", ""},
      {"property -Dk=v", "without -D"},
      {"property k=v", ""},
      {"export PATH", "the launcher ignores 'PATH'"},
      {"message 0=zero", "positive number"},
      {"message seven", "positive number"},
      {"message 7=Gone\\n", ""},
      {"#jre_order e", ""},
  };
  for (const auto& c : cases) {
    auto warnings = ConfigWarnings(Lines({c.line}));
    if (*c.warning == '\0') {
      EXPECT_TRUE(warnings.empty()) << c.line << ": " << (warnings.empty() ? "" : warnings[0]);
      continue;
    }
    ASSERT_EQ(warnings.size(), 1u) << c.line;
    EXPECT_EQ(warnings[0].rfind("f:1: ", 0), 0u) << warnings[0];
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
  }
}
