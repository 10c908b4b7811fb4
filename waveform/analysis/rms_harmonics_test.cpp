#include "waveform/analysis/rms_harmonics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

using testing::MakeRecord;

// The RMS curve exactly as written: a fresh sum for every n, in extended
// precision, each partial sum rounded to a double.
std::vector<double> referenceRms(const RecordLayout& layout, std::span<const double> channel) {
  const std::int64_t count = layout.sampleCount;
  const std::int32_t m = layout.rmsCycle;
  const auto x = [&](std::int64_t j) { return static_cast<long double>(channel[static_cast<std::size_t>(layout.pointOf(j))]); };
  std::vector<double> rms(static_cast<std::size_t>(count));
  for (std::int64_t n = 0; n < count; ++n) {
    double sum = 0;
    if (n < m)
      for (std::int64_t j = 0; j <= n; ++j) sum = static_cast<double>(sum + x(j) * x(j));
    else
      for (std::int64_t j = n; j > n - m; --j) sum = static_cast<double>(sum + x(j) * x(j));
    rms[static_cast<std::size_t>(n)] = static_cast<double>(std::sqrt(static_cast<long double>(sum) / m));
  }
  return rms;
}

TEST(RmsCurve, OfAConstant) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1000, 100));  // M = 20
  ASSERT_TRUE(data);
  const RecordLayout& layout = data->layout();
  for (std::int64_t k = 0; k < 100; ++k) data->samples(0)[static_cast<std::size_t>(layout.pointOf(k))] = 1.0;
  CalcRmsCurve(layout, data->samples(0), data->rms(0));
  const auto rms = data->rms(0);
  for (std::size_t n = 0; n < 100; ++n) {
    const double expected = n < 20 ? std::sqrt((static_cast<double>(n) + 1) / 20) : 1.0;
    EXPECT_NEAR(rms[n], expected, 1e-15) << n;
  }
  EXPECT_EQ(rms[19], 1.0);
}

TEST(RmsCurve, OfASine) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 3200, 640));  // M = 64
  ASSERT_TRUE(data);
  for (std::size_t k = 0; k < 640; ++k)
    data->samples(0)[k] = std::numbers::sqrt2 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / 64 + 0.4);
  CalcRmsCurve(data->layout(), data->samples(0), data->rms(0));
  for (std::size_t n = 63; n < 640; ++n) EXPECT_NEAR(data->rms(0)[n], 1.0, 1e-12) << n;
}

TEST(RmsCurve, MatchesTheDirectSum) {
  struct Case {
    const char* name;
    int samp1, endsamp1, samp2, endsamp2;
  };
  const Case cases[] = {
      {"one rate, f 1", 10000, 1037, 0, 0},
      {"one rate, f 2", 1000, 333, 0, 0},
      {"two rates", 1200, 120, 600, 401},
      {"shorter than a cycle", 3200, 50, 0, 0},
      {"several blocks of squares", 10000, 9001, 0, 0},
      {"two rates, several blocks", 3200, 3000, 1600, 12000},
      {"a cycle longer than a block", 225000, 9500, 0, 0},
  };
  std::mt19937 random(3);
  std::uniform_real_distribution<double> value(-3000, 3000);
  for (const auto& c : cases) {
    const auto data = testing::Allocate(MakeRecord(1, 0, c.samp1, c.endsamp1, c.samp2, c.endsamp2));
    ASSERT_TRUE(data) << c.name;
    const RecordLayout& layout = data->layout();
    for (double& point : data->samples(0)) point = value(random);
    CalcRmsCurve(layout, data->samples(0), data->rms(0));
    const auto expected = referenceRms(layout, data->samples(0));
    ASSERT_EQ(data->rms(0).size(), expected.size()) << c.name;
    for (std::size_t n = 0; n < expected.size(); ++n)
      ASSERT_NEAR(data->rms(0)[n], expected[n], 1e-9 * expected[n]) << c.name << " n = " << n;
  }
}

TEST(Harmonics, OfASignalWithThirdAndFifthHarmonics) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1000, 20));  // one cycle of 20 samples, f1 2
  ASSERT_TRUE(data);
  const RecordLayout& layout = data->layout();
  ASSERT_TRUE(layout.oneCycle);
  const auto buffer = data->samples(0);
  for (std::size_t p = 0; p < buffer.size(); ++p) buffer[p] = 1e6;  // points between samples must not count
  for (std::int64_t k = 0; k < 20; ++k) {
    const double wt = 2 * std::numbers::pi * static_cast<double>(k) / 20;
    buffer[static_cast<std::size_t>(layout.pointOf(k))] =
        100 * std::sin(wt + 0.3) + 10 * std::sin(3 * wt + 1.0) + 5 * std::sin(5 * wt - 0.5);
  }
  const auto values = data->harmonics();
  ASSERT_EQ(values.size(), 9u);
  CalcHarmonics(layout, buffer, values);
  for (std::size_t i = 0; i < 9; ++i) {
    const int order = static_cast<int>(i) + 2;
    const double expected = order == 3 ? 10.0 : order == 5 ? 5.0 : 0.0;
    EXPECT_NEAR(values[i], expected, 1e-3) << "order " << order;
  }
}

TEST(Harmonics, ZeroChannelAndTooFewSamples) {
  const auto zero = testing::Allocate(MakeRecord(1, 0, 1000, 20));
  ASSERT_TRUE(zero);
  std::fill(zero->harmonics().begin(), zero->harmonics().end(), -1.0);
  CalcHarmonics(zero->layout(), zero->samples(0), zero->harmonics());
  for (double v : zero->harmonics()) EXPECT_EQ(v, 0.0);

  const auto three = testing::Allocate(MakeRecord(1, 0, 150, 5));  // N1 = 3: no order above 1
  ASSERT_TRUE(three);
  std::vector<double> values(4, -1.0);
  CalcHarmonics(three->layout(), three->samples(0), values);
  EXPECT_EQ(values, std::vector<double>(4, -1.0));
}

TEST(AnalyseRecord, OneCycleGetsHarmonicsAndLongerRecordsRmsCurves) {
  for (const int endsamp1 : {20, 30, 40, 10}) {  // N1 = 20
    const auto data = testing::Allocate(MakeRecord(2, 0, 1000, endsamp1));
    ASSERT_TRUE(data);
    for (std::size_t slot = 0; slot < 2; ++slot)
      for (double& point : data->samples(slot)) point = 1.0;
    AnalyseRecord(*data);
    const bool oneCycle = endsamp1 / 20 == 1;
    EXPECT_EQ(data->harmonics().empty(), !oneCycle) << endsamp1;
    EXPECT_EQ(data->rms(1).empty(), oneCycle) << endsamp1;
    if (!oneCycle) {
      EXPECT_NEAR(data->rms(1)[static_cast<std::size_t>(endsamp1 - 1)], std::sqrt(std::min(endsamp1, 20) / 20.0),
                  1e-15);
    }
  }
}

}  // namespace
}  // namespace wave
