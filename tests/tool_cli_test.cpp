#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/cli.h"

namespace {

bool Parse(std::vector<std::string> args, CommandLine& cl, std::string& err) { return ParseCommandLine(args, cl, err); }

}  // namespace

TEST(ParseCommandLine, WrapTakesEveryOptionInBothSpellings) {
  CommandLine cl;
  std::string err;
  ASSERT_TRUE(Parse({"wrap", "--target", "windows", "--jar=app.jar", "--main", "a.Main", "--lib", "x.jar", "--lib=y.jar",
                     "--config", "c.cfg", "--set", "option -Xmx1g", "--set=splash s.png", "-o", "out.exe", "--stub",
                     "s.exe", "--support", "p.jar", "-q", "--lib-dir", "deps", "--no-manifest-libs",
                     "--no-class-cache"},
                    cl, err))
      << err;
  EXPECT_EQ(cl.command, Command::kWrap);
  const WrapOptions& w = cl.wrap;
  EXPECT_EQ(w.target, "windows");
  EXPECT_EQ(w.jar, "app.jar");
  EXPECT_EQ(w.mainClass, "a.Main");
  EXPECT_EQ(w.libs, (std::vector<std::string>{"x.jar", "y.jar"}));
  EXPECT_EQ(w.configFiles, std::vector<std::string>{"c.cfg"});
  EXPECT_EQ(w.sets, (std::vector<std::string>{"option -Xmx1g", "splash s.png"}));
  EXPECT_EQ(w.out, "out.exe");
  EXPECT_EQ(w.stub, "s.exe");
  EXPECT_EQ(w.support, "p.jar");
  EXPECT_TRUE(w.quiet);
  EXPECT_EQ(w.libDirs, std::vector<std::string>{"deps"});
  EXPECT_FALSE(w.manifestLibs);
  EXPECT_FALSE(w.classCache);
}

TEST(ParseCommandLine, RefusesMistakesWithTheirName) {
  struct Case {
    std::vector<std::string> args;
    const char* mention;
  } cases[] = {
      {{"wrap", "--jar", "a.jar", "--frob"}, "--frob"},
      {{"wrap", "--jar"}, "--jar"},
      {{"wrap", "--jar", "a.jar", "--jar", "b.jar"}, "twice"},
      {{"wrap", "--main="}, "--main"},
      {{"wrap", "stray"}, "stray"},
      {{"inspect"}, "file"},
      {{"inspect", "a", "b"}, "one file"},
      {{"frobnicate"}, "frobnicate"},
  };
  for (const auto& c : cases) {
    CommandLine cl;
    std::string err;
    EXPECT_FALSE(Parse(c.args, cl, err)) << c.mention;
    EXPECT_NE(err.find(c.mention), std::string::npos) << err;
  }
}

TEST(ParseCommandLine, HelpVersionAndInspect) {
  CommandLine cl;
  std::string err;
  ASSERT_TRUE(Parse({}, cl, err));
  EXPECT_EQ(cl.command, Command::kUsage);
  ASSERT_TRUE(Parse({"--version"}, cl, err));
  EXPECT_EQ(cl.command, Command::kVersion);
  ASSERT_TRUE(Parse({"wrap", "--jar", "a.jar", "--help"}, cl, err));
  EXPECT_EQ(cl.command, Command::kWrapHelp);
  ASSERT_TRUE(Parse({"inspect", "app.exe"}, cl, err));
  EXPECT_EQ(cl.command, Command::kInspect);
  EXPECT_EQ(cl.inspectFile, "app.exe");
}
