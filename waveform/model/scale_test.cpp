#include "waveform/model/scale.h"

#include <gtest/gtest.h>

#include <limits>
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
