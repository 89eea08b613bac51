// The user documentation keeps up with the code: every configuration key that the launcher
// looks up (read from the sources, so that a new key cannot be missed) has its entry in
// docs/configuration.md, and every option of plumbox wrap is in `plumbox wrap --help`.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "support/test_util.h"
#include "tools/config_text.h"

namespace {

// The keys named by the configuration accessors and by direct lookups anywhere in the launcher.
std::set<std::string> KeysInSources() {
  std::set<std::string> keys;
  const std::regex lookup(R"((?:Single|SingleExpanded|Multi|LookUp|LookUpAll)\(\s*\w+\s*,\s*"([A-Za-z_0-9]+)\")");
  for (const char* dir : {"payload", "launcher", "runtime", "loader", "splash", "instances", "streams"}) {
    for (const auto& e : std::filesystem::directory_iterator(std::string(PLB_SOURCE_DIR) + "/" + dir)) {
      if (e.path().extension() != ".cpp") continue;
      std::string source = testutil::ReadFile(e.path().string());
      for (std::sregex_iterator it(source.begin(), source.end(), lookup), end; it != end; ++it)
        keys.insert((*it)[1].str());
    }
  }
  return keys;
}

TEST(Documentation, EveryConfigurationKeyIsDescribed) {
  std::set<std::string> keys = KeysInSources();
  EXPECT_GE(keys.size(), 30u);  // a parse that finds too few is a broken test
  std::string doc = testutil::ReadFile(std::string(PLB_SOURCE_DIR) + "/docs/configuration.md");
  ASSERT_FALSE(doc.empty());
  for (const std::string& key : keys) {
    // Each key has a heading of its own: "### `key`".
    EXPECT_NE(doc.find("### `" + key + "`"), std::string::npos) << key << " is not described in docs/configuration.md";
    EXPECT_TRUE(IsKnownKey(key)) << key << " is unknown to plumbox wrap, which would warn about it";
  }
}

TEST(Documentation, WrapHelpNamesEveryOption) {
  testutil::RunResult help = testutil::Run({PLB_TOOL, "wrap", "--help"});
  ASSERT_EQ(help.exitCode, 0);
  std::string cli = testutil::ReadFile(std::string(PLB_SOURCE_DIR) + "/tools/cli.cpp");
  const std::regex option(R"re(\{"(--[a-z-]+)")re");
  int count = 0;
  for (std::sregex_iterator it(cli.begin(), cli.end(), option), end; it != end; ++it, ++count)
    EXPECT_NE(help.out.find((*it)[1].str()), std::string::npos) << (*it)[1].str() << " is missing from wrap --help";
  EXPECT_GE(count, 15);
  for (const char* flag : {"--no-manifest-libs", "--quiet", "--strict", "--verbose"}) EXPECT_NE(help.out.find(flag), std::string::npos) << flag;
}

}  // namespace
