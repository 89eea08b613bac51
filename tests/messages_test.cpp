#include <gtest/gtest.h>

#include "launcher/messages.h"
#include "support/env_guard.h"

namespace {

LauncherContext Config(const std::string& text) {
  LauncherContext c;
  c.configText = text;
  c.configText.push_back('\0');
  return c;
}

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetMessageOverridesForTests(); }
  void TearDown() override { ResetMessageOverridesForTests(); }
};

TEST_F(MessagesTest, StringTableHoldsTheTexts) {
  const std::pair<int, const char*> table[] = {
      {1, "Java Runtime Environment not found."},
      {2, "Java Runtime Environment not valid."},
      {3, "Java Virtual Machine initialize failed."},
      {4, "Java Virtual Machine starts failed."},
      {5, "Can not get the virtual machine version."},
      {6, "Java virtual machine version %s is too low, require %s or higher."},
      {7, "The main startup class could not be found."},
      {8, "The main startup class is not valid, main method missing."},
      {10, "Error"},
      {12, "Java virtual machine version %s is too high, version between %s and %s is required."},
      {13, "There is already an instance of this program running."},
      {14, "Java virtual machine version %s is too high, require %s or lower."},
      {9, ""}, {11, ""}, {15, ""}, {16, ""}, {0, ""}, {-1, ""},
  };
  LauncherContext none = Config("");
  for (auto [n, text] : table) EXPECT_EQ(Message(none, n), text) << n;
}

TEST_F(MessagesTest, OverridesWithEscapesFirstOneWins) {
  testutil::EnvGuard env;
  env.Set("PLBT_WHO", "the admin");
  LauncherContext c = Config(
      "message 7=First\\nline\n"
      "message 7=Second\n"
      "message 0=zero\n"
      "message -3=negative\n"
      "message =no number\n"
      "message x1=not a number\n"
      "message 12 without an equals sign\n"
      "message 10=Fehler\n"
      "message   +5 =five\n"
      "message 4=ask %PLBT_WHO%\n"
      "message 6=t\\tr\\rb\\\\q\\qend\\\n"
      "message 99999999999=huge\n");
  const std::pair<int, std::string> expected[] = {
      {7, "First\nline"}, {10, "Fehler"}, {5, "five"}, {4, "ask the admin"}, {6, "t\tr\rb\\qqend"},
      {12, "Java virtual machine version %s is too high, version between %s and %s is required."},
      {2147483647, "huge"}, {1, "Java Runtime Environment not found."},
  };
  for (const auto& [n, text] : expected) EXPECT_EQ(Message(c, n), text) << n;
  // Built once: a later configuration does not reach the kept overrides.
  EXPECT_EQ(Message(Config("message 7=Other"), 7), "First\nline");
}

TEST_F(MessagesTest, EscapesApplyToTheConfiguredTextNotToInsertedValues) {
  testutil::EnvGuard env;
  env.Set("PLBT_ROOT", "C:\\");
  env.Set("PLBT_DIR", "tmp\\new");
  env.Set("PLBT_NUM", "5");
  env.Set("PLBT_LINE", "8=a\\tb");
  LauncherContext c = Config(
      "message 7=Home %APPLICATION_HOME%\\n%PLBT_ROOT%|\\t|\\\\\n"
      "message 4=In C:\\%PLBT_DIR%\\\n"
      "message %PLBT_NUM%=x\\ty\n"
      "message %PLBT_LINE%\n");
  c.exeDir = "Z:\\tmp\\app\\";
  EXPECT_EQ(Message(c, 7), "Home Z:\\tmp\\app\\\nC:\\|\t|\\");
  EXPECT_EQ(Message(c, 4), "In C:\\tmp\\new");  // before an inserted value a backslash escapes nothing
  EXPECT_EQ(Message(c, 5), "x\ty");
  EXPECT_EQ(Message(c, 8), "a\\tb");  // the whole line inserted, its "=" included
}

TEST_F(MessagesTest, VersionFormatsReadOnlyTheirStrings) {
  struct Case {
    const char* format;
    const char* out;
  };
  const Case cases[] = {
      {"Java virtual machine version %s is too low, require %s or higher.",
       "Java virtual machine version 1.5.0_22 is too low, require 1.6 or higher."},
      {"Java virtual machine version %s is too high, version between %s and %s is required.",
       "Java virtual machine version 1.5.0_22 is too high, version between 1.6 and 1.8 is required."},
      {"%s/%s/%s/%s/%s/%s/%s/%s/%s/%s", "1.5.0_22/1.6/1.8///////"},
      {"100%% %s", "100% 1.5.0_22"},
      {"%n%d%x%p%S%ls%5s%-s%", "%n%d%x%p%S%ls%5s%-s%"},
      {"%%s %", "%s %"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatVersionMessage(c.format, "1.5.0_22", "1.6", "1.8"), c.out) << c.format;
}

TEST_F(MessagesTest, ResultMessageFillsOnlyTheVersionMessages) {
  LauncherContext c = Config("message 6=low %s<%s\nmessage 7=class %s missing");
  EXPECT_EQ(ResultMessage(c, 6, "9", "11", "17"), "low 9<11");
  EXPECT_EQ(ResultMessage(c, 7, "9", "11", "17"), "class %s missing");
  // Message 12 with the upper bound alone reads whole; an override of 12 is kept as written.
  LauncherContext none = Config("");
  EXPECT_EQ(ResultMessage(none, 12, "21.0.1", "", "17"),
            "Java virtual machine version 21.0.1 is too high, require 17 or lower.");
  EXPECT_EQ(ResultMessage(none, 12, "21.0.1", "11", "17"),
            "Java virtual machine version 21.0.1 is too high, version between 11 and 17 is required.");
  ResetMessageOverridesForTests();
  EXPECT_EQ(ResultMessage(Config("message 12=high %s [%s-%s]"), 12, "21", "", "17"), "high 21 [-17]");
}

#ifndef _WIN32
TEST_F(MessagesTest, ErrorLineOnStandardErrorWithCaptionAndSplashHooks) {
  static int asked = 0;
  static unsigned closeDelay = 0;
  SetErrorBoxOwner([]() -> void* { ++asked; return nullptr; }, [](unsigned ms) { closeDelay = ms; });
  LauncherContext c = Config("message 10=Fehler");
  testing::internal::CaptureStderr();
  ShowError("first");
  g_launcher = &c;
  ShowError("second\nline");
  g_launcher = nullptr;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: first\nFehler: second\nline\n");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(closeDelay, 100u);
  SetErrorBoxOwner(nullptr, nullptr);
}
#endif

}  // namespace
