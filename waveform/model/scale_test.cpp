#include "waveform/model/scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "recordmodel/record.h"

namespace wave {
namespace {

TEST(GetMaxAbsValue, Table) {
  struct Case {
    std::vector<double> values;
    double expected;
  };
  const Case cases[] = {
      {{}, 0.05},
      {{kNoValueMarker, kNoValueMarker}, 0.05},
      {{0.01, -0.02}, 0.05},
      {{3, -7}, 7},
      {{-7, 3}, 7},
      {{kNoValueMarker, -2, 5, kNoValueMarker}, 5},  // the marker first does not start Max/Min
      {{-4, -9, -1}, 9},                             // all negative: Max stays below 0
      {{2.5, 1, 0.2}, 2.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.values));
    EXPECT_DOUBLE_EQ(GetMaxAbsValue(c.values), c.expected);
  }
}

// The search as one plain loop, value after value: the two-at-a-time search
// must give the same bits on any values.
double maxAbsOneByOne(const std::vector<double>& values) {
  bool started = false;
  double maxValue = 0, minValue = 0;
  for (const double v : values) {
    if (v == kNoValueMarker) continue;
    if (!started) {
      maxValue = minValue = v;
      started = true;
    } else if (v > maxValue) {
      maxValue = v;
    } else if (v < minValue) {
      minValue = v;
    }
  }
  const double result = std::fmax(std::fabs(maxValue), std::fabs(minValue));
  return result > 0.05 ? result : 0.05;
}

TEST(GetMaxAbsValue, SameBitsAsOneValueAfterTheOther) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const double specials[] = {kNoValueMarker, nan, inf, -inf, 0.0, -0.0};
  for (int t = 0; t < 400; ++t) {
    std::vector<double> values(static_cast<std::size_t>(t % 37));
    for (double& v : values) v = rng() % 6 == 0 ? specials[rng() % 6] : value(rng) / static_cast<double>(1 + t % 5);
    const double want = maxAbsOneByOne(values), got = GetMaxAbsValue(values);
    SCOPED_TRACE(::testing::PrintToString(values));
    if (std::isnan(want))
      EXPECT_TRUE(std::isnan(got));
    else
      EXPECT_EQ(got, want);
  }
}

TEST(RoundUpScale, Table) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    double value;
    std::int32_t expected;
  };
  const Case cases[] = {
      {-5, 1},   {0.3, 1},   {0.999, 1}, {1, 2},       {5, 6},         {99.5, 100},
      {100, 100}, {100.5, 110}, {101, 110}, {110, 120}, {115, 120},     {125, 130},
      {1e12, kMax}, {std::numeric_limits<double>::infinity(), kMax},
      {std::numeric_limits<double>::quiet_NaN(), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(RoundUpScale(c.value), c.expected);
  }
}

}  // namespace
}  // namespace wave
