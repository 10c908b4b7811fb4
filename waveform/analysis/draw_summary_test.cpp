// Block extremes against a direct pass over the points.

#include "waveform/analysis/draw_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "waveform/analysis/open_record.h"
#include "waveform/analysis/record_data.h"

namespace wave {
namespace {

PointEnvelope::Extremes direct(const std::vector<double>& b, std::int64_t offset, std::int64_t stride, std::int64_t k0,
                               std::int64_t k1) {
  PointEnvelope::Extremes e;
  double step = 0;
  for (std::int64_t k = k0; k <= k1; ++k) {
    const double v = b[static_cast<std::size_t>(offset + k * stride)];
    if (std::isfinite(v)) {
      e.lowest = std::min(e.lowest, v);
      e.highest = std::max(e.highest, v);
    } else {
      step = std::numeric_limits<double>::infinity();
    }
    if (k > k0) {
      const double d = v - b[static_cast<std::size_t>(offset + (k - 1) * stride)];
      step = std::max(step, std::isfinite(d) ? std::fabs(d) : std::numeric_limits<double>::infinity());
    }
  }
  e.largestStep = step;
  return e;
}

TEST(DrawSummaryTest, RangesMatchADirectPass) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> value(-1e4, 1e4);
  struct Case {
    std::int64_t offset, stride, count;
    bool holes;  // NaN and infinite values here and there
  };
  for (const Case c : {Case{0, 1, 5000, false}, Case{3, 2, 4099, false}, Case{0, 3, 70000, true}, Case{1, 1, 9, true}}) {
    std::vector<double> b(static_cast<std::size_t>(c.offset + c.count * c.stride));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = value(rng) + 1e9 * static_cast<double>(i % 1000 == 0);
    if (c.holes) {
      b[b.size() / 3] = std::numeric_limits<double>::quiet_NaN();
      b[b.size() / 2] = -std::numeric_limits<double>::infinity();
    }
    const PointEnvelope env(b, c.offset, c.stride, c.count);
    ASSERT_EQ(env.count(), c.count);
    std::uniform_int_distribution<std::int64_t> at(0, c.count - 1);
    for (int t = 0; t < 400; ++t) {
      std::int64_t k0 = at(rng), k1 = at(rng);
      if (t % 4 == 0) k1 = std::min(c.count - 1, k0 + t % 40);
      if (k1 < k0) std::swap(k0, k1);
      const auto got = env.over(b, k0, k1);
      const auto want = direct(b, c.offset, c.stride, k0, k1);
      SCOPED_TRACE(testing::Message() << c.count << " " << k0 << ".." << k1);
      // A value that is not finite marks the range (as may one just before it).
      const auto withBefore = direct(b, c.offset, c.stride, std::max<std::int64_t>(0, k0 - 8), k1);
      if (!want.allFinite()) {
        EXPECT_FALSE(got.allFinite());
      }
      if (!got.allFinite()) {
        EXPECT_FALSE(withBefore.allFinite());
        continue;
      }
      EXPECT_EQ(got.lowest, want.lowest);
      EXPECT_EQ(got.highest, want.highest);
      // A bound: never below the true largest step, and not far above it
      // (a block may count the step into its first point).
      EXPECT_GE(got.largestStep, want.largestStep);
      EXPECT_LE(got.largestStep, withBefore.largestStep * 1.0001);
    }
  }
}

// Pixel columns of 8 to 40 points, of a buffer read with
// a stride, with NaN, infinite and zero runs: each column's extent and its
// extremes, whole and but its last point, against a direct pass; a range that
// is not one of these gets nothing.
TEST(DrawSummaryTest, ColumnsMatchADirectPass) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> value(-50, 50);
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    std::int64_t offset, stride, count;
    PointX x;
  };
  const Case cases[] = {
      {"8 a column", 0, 1, 4000, PointX{0, 1.0 / 8, 10, 1, 0}},
      {"16.7 a column, strided", 5, 3, 5000, PointX{0, 0.02, 3.4, 3, 0}},
      {"40 a column, second rate", 0, 1, 6000, PointX{700.25, 0.025, 0, 1, 2000}},
      {"12.5 a column, left of x = 0", 2, 1, 3000, PointX{0, 1.0 / 12.5, -60, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> b(static_cast<std::size_t>(c.offset + c.count * c.stride));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = value(rng);
    const auto point = [&](std::int64_t k) -> double& { return b[static_cast<std::size_t>(c.offset + k * c.stride)]; };
    point(100) = kNaN;  // a column's first point
    point(333) = kInf;
    point(c.count - 1) = -kInf;  // the last column's last point
    point(1201) = kNaN;
    for (std::int64_t k = 1500; k < 1700; ++k) point(k) = k % 2 == 0 ? 0.0 : -0.0;
    const PointEnvelope env(b, c.offset, c.stride, c.count);
    const std::shared_ptr<const PointColumns> columns = env.columns(b, c.x);
    ASSERT_NE(columns, nullptr);
    EXPECT_EQ(env.columns(b, c.x), columns);  // kept
    std::int64_t checked = 0;
    for (std::int64_t k = 0; k < c.count;) {
      std::int64_t end = k;  // the column's last point
      while (end + 1 < c.count && c.x(end + 1) == c.x(k)) ++end;
      SCOPED_TRACE(testing::Message() << "column " << k << ".." << end);
      ASSERT_EQ(columns->columnEnd(k), end);
      ASSERT_EQ(columns->columnEnd(end), end);
      for (const std::int64_t last : {end - 1, end}) {
        const auto got = columns->extremes(b, k, last);
        if (end == k) {  // one point: it is read as it is
          EXPECT_FALSE(got);
          continue;
        }
        ASSERT_TRUE(got);
        const auto want = direct(b, c.offset, c.stride, k, last);
        EXPECT_EQ(got->allFinite(), want.allFinite());
        if (!want.allFinite()) continue;
        EXPECT_EQ(got->lowest, want.lowest);
        EXPECT_EQ(got->highest, want.highest);
        EXPECT_GE(got->largestStep, want.largestStep);
        EXPECT_LE(got->largestStep, want.largestStep * (1 + 1e-6));
        ++checked;
      }
      if (end - k >= 3) {  // parts of a column
        EXPECT_FALSE(columns->extremes(b, k + 1, end));
        EXPECT_FALSE(columns->extremes(b, k, end - 2));
      }
      if (end + 1 < c.count) {
        EXPECT_FALSE(columns->extremes(b, k, end + 1));
      }
      k = end + 1;
    }
    EXPECT_GT(checked, c.count / 40);
    // Another buffer of the same shape has columns of its own.
    const std::vector<double> other(b.size(), 1.0);
    EXPECT_FALSE(columns->extremes(other, 0, columns->columnEnd(0)));
  }
}

// Columns are kept for the last two mappings only, and not made where a
// column would hold fewer than PointColumns::kFewestPerColumn points.
TEST(DrawSummaryTest, ColumnsAreKeptForTwoMappings) {
  const std::vector<double> b(8000, 2.0);
  const PointEnvelope env(b, 0, 1, 8000);
  EXPECT_EQ(env.columns(b, PointX{0, 1.0 / 7.9, 0, 1, 0}), nullptr);
  const PointX zoom[] = {{0, 1.0 / 16, 0, 1, 0}, {0, 1.0 / 32, 0, 1, 0}, {0, 1.0 / 64, 0, 1, 0}};
  const auto first = env.columns(b, zoom[0]);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->bytes(), 501 * 12u);  // x = 0 .. 500
  const auto second = env.columns(b, zoom[1]);
  EXPECT_EQ(env.columns(b, zoom[0]), first);
  EXPECT_EQ(env.columns(b, zoom[1]), second);
  env.columns(b, zoom[2]);
  EXPECT_NE(env.columns(b, zoom[0]), first);  // made again
}

// A frame whose time for columns is spent makes none, but uses those kept;
// once its budget ends, the next frame makes the rest.
TEST(DrawSummaryTest, ASpentBudgetMakesNoColumnsButUsesThoseKept) {
  const std::vector<double> b(8000, 2.0);
  const PointEnvelope env(b, 0, 1, 8000);
  const PointX zoom[] = {{0, 1.0 / 16, 0, 1, 0}, {0, 1.0 / 32, 0, 1, 0}};
  const auto kept = env.columns(b, zoom[0]);
  ASSERT_NE(kept, nullptr);
  {
    const ColumnTimeBudget spent(std::chrono::nanoseconds(0));
    EXPECT_TRUE(ColumnTimeBudget::Spent());
    EXPECT_EQ(env.columns(b, zoom[1]), nullptr);
    EXPECT_EQ(env.columns(b, zoom[0]), kept);
    {
      const ColumnTimeBudget inner(std::chrono::hours(1));
      EXPECT_FALSE(ColumnTimeBudget::Spent());
    }
    EXPECT_TRUE(ColumnTimeBudget::Spent());
  }
  EXPECT_FALSE(ColumnTimeBudget::Spent());
  EXPECT_NE(env.columns(b, zoom[1]), nullptr);
}

TEST(DrawSummaryTest, OpeningARecordBuildsItForEveryCurve) {
  TcfgInfo record;
  record.A = 2;
  record.D = 0;
  record.TT = 2;
  record.lf = 50;
  record.nrates = 2;
  record.samp1 = 1000;  // N 20, f1 2
  record.endsamp1 = 100;
  record.samp2 = 4000;  // N2 80, f2 1
  record.endsamp2 = 300;
  record.AInfo = {{"A1", "V"}, {"A2", "V"}};
  auto created = RecordData::Create(record);
  ASSERT_TRUE(created.data);
  RecordData& data = *created.data;
  data.NoNegativeSamples = 1;  // only the stored samples count: every f1-th point of the first rate
  BuildDrawSummary(data);
  ASSERT_NE(data.drawSummary(), nullptr);
  const DrawSummary& s = *data.drawSummary();
  ASSERT_EQ(s.rate1.size(), 2u);
  EXPECT_EQ(s.rate1[0].count(), 100);
  EXPECT_EQ(s.rate2[0].count(), 200);
  EXPECT_EQ(s.rms[1].count(), 300);
  data.samples(0)[2] = 5;   // a stored sample
  data.samples(0)[3] = 99;  // between stored samples: not drawn
  BuildDrawSummary(data);
  EXPECT_EQ(data.drawSummary()->rate1[0].over(data.samples(0), 0, 99).highest, 5);
  data.clearSamples();
  EXPECT_EQ(data.drawSummary(), nullptr);
}

// A buffer whose tail no sample wrote: summarised only up to it, every range
// gives what the summary of all points gives.
TEST(DrawSummaryTest, AZeroTailIsKnownWithoutBeingRead) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> value(-1e4, 1e4);
  const std::int64_t count = 9000;
  for (const std::int64_t zeroFrom : {0, 1, 15, 16, 17, 1000, 4097, 8999}) {
    std::vector<double> b(static_cast<std::size_t>(count));
    for (std::int64_t k = 0; k < zeroFrom; ++k) b[static_cast<std::size_t>(k)] = value(rng) + (k % 3 == 0 ? 2e4 : 0);
    const PointEnvelope all(b, 0, 1, count);
    const PointEnvelope known(b, 0, 1, count, zeroFrom);
    EXPECT_LE(known.bytes(), all.bytes());
    std::uniform_int_distribution<std::int64_t> at(0, count - 1);
    for (int t = 0; t < 300; ++t) {
      std::int64_t k0 = at(rng), k1 = at(rng);
      if (t % 3 == 0) k0 = std::max<std::int64_t>(0, zeroFrom - t % 20), k1 = std::min(count - 1, zeroFrom + t % 7);
      if (k1 < k0) std::swap(k0, k1);
      const auto want = all.over(b, k0, k1), got = known.over(b, k0, k1);
      SCOPED_TRACE(testing::Message() << zeroFrom << ": " << k0 << ".." << k1);
      EXPECT_EQ(got.lowest, want.lowest);
      EXPECT_EQ(got.highest, want.highest);
      EXPECT_GE(got.largestStep, direct(b, 0, 1, k0, k1).largestStep);
    }
    // Nothing in the tail is read: a value planted there is not seen.
    b[static_cast<std::size_t>(count - 1)] = 1e12;
    EXPECT_EQ(known.over(b, zeroFrom, count - 1).highest, 0.0);
  }
}

}  // namespace
}  // namespace wave
