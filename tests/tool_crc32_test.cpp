#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "tools/crc32.h"

// The folding path agrees with zlib for every length around its 64- and 16-byte steps, at
// every alignment, and for large buffers.
TEST(Crc32Of, AgreesWithZlibAtEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(3 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t n = 0; n < 300; ++n)
      ASSERT_EQ(Crc32Of(data.data() + offset, n), crc32(0, data.data() + offset, static_cast<uInt>(n)))
          << offset << " " << n;
  for (size_t n : {size_t(4095), size_t(65536), size_t(1 << 20) + 13, data.size() - 3})
    EXPECT_EQ(Crc32Of(data.data() + 3, n), crc32(0, data.data() + 3, static_cast<uInt>(n))) << n;
  EXPECT_EQ(Crc32Of(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}
