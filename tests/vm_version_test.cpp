// Reading version numbers and checking a runtime against "minjre" and "maxjre".
#include <gtest/gtest.h>

#include "runtime/main_class.h"

namespace {

std::vector<int> Numbers(const char* text) {
  VersionNumbers v = ReadVersionNumbers(text);
  return std::vector<int>(v.value, v.value + v.count);
}

int Check(const char* minimum, const char* runtime, const char* maximum) {
  return CheckVersionBounds(ReadVersionNumbers(minimum), ReadVersionNumbers(runtime), ReadVersionNumbers(maximum));
}

TEST(VersionNumbers, ReadLikeTheFormattedInputPattern) {
  EXPECT_EQ(Numbers("1.6.0_45"), (std::vector<int>{1, 6, 0, 45}));
  EXPECT_EQ(Numbers("17.0.15"), (std::vector<int>{17, 0, 15}));
  EXPECT_EQ(Numbers("11-ea"), (std::vector<int>{11}));
  EXPECT_EQ(Numbers("1.8."), (std::vector<int>{1, 8}));
  EXPECT_EQ(Numbers("1.2.3.4.5"), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(Numbers("  -3..+2"), (std::vector<int>{-3, 2}));  // a sign only in front of the first
  EXPECT_EQ(Numbers("25+36-LTS"), (std::vector<int>{25, 36}));
  EXPECT_EQ(Numbers(""), std::vector<int>{});
  EXPECT_EQ(Numbers("abc"), std::vector<int>{});
  EXPECT_EQ(Numbers("99999999999.1"), (std::vector<int>{2147483647, 1}));
}

TEST(VersionNumbers, OnlyNumbersPresentOnBothSidesAreCompared) {
  EXPECT_EQ(Check("1.6", "1.6.0_45", ""), 0);
  EXPECT_EQ(Check("1.6", "1.5.0_22", ""), 6);
  EXPECT_EQ(Check("", "9", "1.8"), 12);
  EXPECT_EQ(Check("", "1.8.0_292", "1.8"), 0);
  EXPECT_EQ(Check("11", "11-ea", "11"), 0);
  EXPECT_EQ(Check("12", "11-ea", ""), 6);
  EXPECT_EQ(Check("none", "1.0", "none"), 0);  // a bound without digits accepts everything
  EXPECT_EQ(Check("17", "", "17"), 0);         // so does a runtime version without numbers
  EXPECT_EQ(Check("17.0.2", "17.0.15", "17.0.20"), 0);
  EXPECT_EQ(Check("17.0.16", "17.0.15", ""), 6);
  EXPECT_EQ(Check("1.6", "25.0.1", "1.8"), 12);
}

}  // namespace
