#include "common/arith.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace common {
namespace {

TEST(Arith, RoundHalvesToEvenAndTruncCutsTowardZero) {
  struct Case {
    long double value;
    std::int64_t round, trunc;
  };
  const Case cases[] = {{0.5L, 0, 0},   {1.5L, 2, 1},     {2.5L, 2, 2},         {-2.5L, -2, -2},
                        {3.5L, 4, 3},   {-0.5L, 0, 0},    {2.4999L, 2, 2},      {-1.7L, -2, -1},
                        {1e15L + 0.5L, 1000000000000000, 1000000000000000}, {-9223372036854775808.0L, INT64_MIN, INT64_MIN}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<double>(c.value));
    EXPECT_EQ(Round(c.value), c.round);
    EXPECT_EQ(Trunc(c.value), c.trunc);
  }
}

TEST(Arith, RoundAndTruncThrowOutsideInt64) {
  const long double bad[] = {std::numeric_limits<long double>::quiet_NaN(), std::numeric_limits<long double>::infinity(),
                             -std::numeric_limits<long double>::infinity(), 9223372036854775808.0L, 1e30L, -1e19L};
  for (long double v : bad) {
    SCOPED_TRACE(static_cast<double>(v));
    EXPECT_THROW(Round(v), std::range_error);
    EXPECT_THROW(Trunc(v), std::range_error);
  }
}

TEST(Arith, DivAndModTruncateTowardZero) {
  EXPECT_EQ(div(7, 2), 3);
  EXPECT_EQ(div(-7, 2), -3);
  EXPECT_EQ(mod(-7, 2), -1);
  EXPECT_EQ(mod(7, -2), 1);
}

TEST(Arith, MulDivRoundsHalvesAwayFromZero) {
  struct Case {
    std::int32_t a, b, c, expected;
  };
  const Case cases[] = {
      {10, 10, 3, 33},   {5, 1, 2, 3},       {-5, 1, 2, -3},     {5, -1, 2, -3},   {-5, -1, 2, 3},
      {7, 1, 4, 2},      {1, 1, 0, -1},      {0, 5, 0, -1},      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MAX, 2, 1, -1}, {INT32_MIN, 1, 1, INT32_MIN}, {65536, 65536, 2, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << "*" << c.b << "/" << c.c);
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected);
  }
}

TEST(Arith, SaturateToInt32) {
  EXPECT_EQ(SaturateToInt32(1e12L), INT32_MAX);
  EXPECT_EQ(SaturateToInt32(-1e12L), INT32_MIN);
  EXPECT_EQ(SaturateToInt32(std::nanl("")), 0);
  EXPECT_EQ(SaturateToInt32(2.5L), 2);
  EXPECT_EQ(SaturateToInt32(-7.0L), -7);
}

}  // namespace
}  // namespace common
