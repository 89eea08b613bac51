#include <gtest/gtest.h>

#include "payload/payload.h"

TEST(EndRecordWindow, IsAHundredthOfTheFileButAtLeast51200) {
  EXPECT_EQ(EndRecordWindow(2832263), 51200u);
  EXPECT_EQ(EndRecordWindow(10000000), 100000u);
}
