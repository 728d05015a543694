#include "platform/checked_math.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace zv {
namespace {

TEST(CheckedMath, ProductsAndSumsRefuseOverflow) {
  int64_t out = -7;
  EXPECT_TRUE(CheckedMul<int64_t>(3, 4, out));
  EXPECT_EQ(out, 12);
  out = -7;
  EXPECT_FALSE(CheckedMul<int64_t>(INT64_MAX / 2 + 1, 2, out));
  EXPECT_EQ(out, -7) << "a refused product leaves the output alone";
  int32_t small = 0;
  EXPECT_FALSE(CheckedMul<int32_t>(0x10000, 0x8000, small));
  uint32_t u = 0;
  EXPECT_FALSE(CheckedAdd<uint32_t>(0xFFFFFFFFu, 1u, u));
  EXPECT_TRUE(CheckedAdd<uint32_t>(0xFFFFFFFEu, 1u, u));
  EXPECT_EQ(u, 0xFFFFFFFFu);
}

TEST(CheckedMath, SizesFromFileHeaders) {
  struct Case {
    std::initializer_list<int64_t> factors;
    bool ok;
    int64_t product;
  };
  const Case cases[] = {
      {{640, 480, 3}, true, 921600},
      {{0, 1 << 30, 1 << 30}, true, 0},
      {{0x6DA80005, 0x6DA80005, 4}, false, 0},  // a BMP row length times a large height
      {{INT32_MAX, INT32_MAX, 4}, false, 0},
      {{-1, 10}, false, 0},
      {{}, true, 1},
  };
  for (const Case& c : cases) {
    int64_t out = -1;
    EXPECT_EQ(CheckedSize(c.factors, out), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, c.product);
    }
  }
  int64_t out = 0;
  EXPECT_TRUE(CheckedSizeWithin({10, 10}, 100, out));
  EXPECT_FALSE(CheckedSizeWithin({10, 11}, 100, out));
}

}  // namespace
}  // namespace zv
