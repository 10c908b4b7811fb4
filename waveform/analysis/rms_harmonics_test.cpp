#include "waveform/analysis/rms_harmonics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <functional>
#include <numbers>
#include <random>

#include "waveform/analysis/interpolate.h"
#include "waveform/analysis/parallel.h"
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

// The curve against the direct sum on random samples: noise around zero,
// large offsets (where a running sum that subtracts would cancel), and steps
// from large values to small ones and to exact zeros (where what leaves the
// window is much larger than what stays). Every value within 1e-12 of the
// direct sum, relative, or absolute below 1.
TEST(RmsCurve, MatchesTheDirectSum) {
  struct Case {
    const char* name;
    int samp1, endsamp1, samp2, endsamp2;
  };
  const Case records[] = {
      {"one rate, f 1", 10000, 1037, 0, 0},
      {"one rate, f 2", 1000, 333, 0, 0},
      {"two rates", 1200, 120, 600, 401},
      {"shorter than a cycle", 3200, 50, 0, 0},
      {"many cycles", 10000, 9001, 0, 0},
      {"two rates, many cycles", 3200, 3000, 1600, 12000},
      {"a long cycle", 225000, 9500, 0, 0},
  };
  struct Signal {
    const char* name;
    std::function<double(std::mt19937&, std::size_t)> sample;
  };
  std::uniform_real_distribution<double> noise(-1, 1);
  const Signal signals[] = {
      {"noise", [&](std::mt19937& r, std::size_t) { return 3000 * noise(r); }},
      {"offset", [&](std::mt19937& r, std::size_t) { return 1e6 + 0.5 * noise(r); }},
      {"steps",
       [&](std::mt19937& r, std::size_t p) {
         switch (p / 700 % 4) {
           case 0: return 1e5 + noise(r);
           case 1: return 0.0;
           case 2: return -4e7 + 10 * noise(r);
           default: return 1e-3 * noise(r);
         }
       }},
  };
  std::mt19937 random(3);
  for (const auto& c : records) {
    const auto data = testing::Allocate(MakeRecord(1, 0, c.samp1, c.endsamp1, c.samp2, c.endsamp2));
    ASSERT_TRUE(data) << c.name;
    const RecordLayout& layout = data->layout();
    for (const auto& signal : signals) {
      const auto points = data->samples(0);
      for (std::size_t p = 0; p < points.size(); ++p) points[p] = signal.sample(random, p);
      CalcRmsCurve(layout, points, data->rms(0));
      const auto expected = referenceRms(layout, points);
      ASSERT_EQ(data->rms(0).size(), expected.size()) << c.name;
      for (std::size_t n = 0; n < expected.size(); ++n)
        ASSERT_NEAR(data->rms(0)[n], expected[n], 1e-12 * std::max(1.0, expected[n]))
            << c.name << ", " << signal.name << ", n = " << n;
    }
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

// |H_h| exactly as the transform is written: a fresh sine and cosine in
// extended precision for every term, single-precision sums.
long double referenceMagnitude(const std::vector<double>& x, std::int32_t h) {
  const auto n = static_cast<std::int32_t>(x.size());
  const long double angleStep = static_cast<long double>(2 * h) * 3.1415926L / n;
  const long double weight = static_cast<long double>(2.0f) / n;
  float re = 0;
  float im = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    const long double angle = angleStep * (k + 1);
    re = static_cast<float>(re + std::cos(angle) * weight * x[static_cast<std::size_t>(k)]);
    im = static_cast<float>(im + std::sin(angle) * weight * x[static_cast<std::size_t>(k)]);
  }
  return std::sqrt(static_cast<long double>(re) * re + static_cast<long double>(im) * im);
}

// The percentage of order h as the harmonic list prints it.
std::string printed(long double magnitude, long double fundamental) {
  const double value = static_cast<float>(fundamental) == 0.0f
                           ? 0.0
                           : static_cast<float>(magnitude / static_cast<float>(fundamental) * 100.0f);
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// The fast transform prints the same values as the direct one on one-cycle
// records from 12 to 40 000 samples: a fault current with harmonics, noise and
// an offset. Large records compare the low orders, the highest and a spread
// between them (the direct transform of every order of 40 000 samples would
// take minutes).
TEST(Harmonics, PrintTheSameValuesAsTheDirectTransform) {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 0.7);
  for (const std::int32_t n : {12, 13, 20, 31, 64, 100, 255, 1000, 4001, 12800, 40000}) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < x.size(); ++k) {
      const double wt = 2 * std::numbers::pi * static_cast<double>(k) / n;
      x[k] = 12.5 + 310 * std::sin(wt + 0.3) + 37 * std::sin(3 * wt + 1.0) + 16 * std::sin(5 * wt - 0.5) +
             4.2 * std::sin(7 * wt) + 1.3 * std::sin(static_cast<double>(n / 2 - 1) * wt) + noise(random);
    }
    const std::int32_t orders = n / 2;
    std::vector<std::int32_t> compared;
    for (std::int32_t h = 2; h <= orders; ++h)
      if (n <= 1000 || h <= 40 || h > orders - 8 || h % 997 == 0) compared.push_back(h);

    std::vector<long double> fast(static_cast<std::size_t>(orders));
    const auto transform = [&](std::int32_t from, std::int32_t to) {
      HarmonicMagnitudes(x, from, to, std::span(fast).subspan(static_cast<std::size_t>(from - 1)));
    };
    transform(1, std::min(orders, n <= 1000 ? orders : 40));
    transform(std::max(1, orders - 7), orders);
    for (const std::int32_t h : compared)
      if (h > 40 && h <= orders - 8) transform(h, h);
    const long double fundamental = referenceMagnitude(x, 1);
    ASSERT_EQ(static_cast<float>(fast[0]), static_cast<float>(fundamental)) << "N = " << n;
    for (const std::int32_t h : compared)
      EXPECT_EQ(printed(fast[static_cast<std::size_t>(h - 1)], fast[0]), printed(referenceMagnitude(x, h), fundamental))
          << "N = " << n << ", order " << h;
  }
}

TEST(Harmonics, MagnitudesOfARangeOfOrdersAreThoseOfEachOrder) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> value(-100, 100);
  std::vector<double> x(203);
  for (double& v : x) v = value(random);
  std::vector<long double> all(101);
  HarmonicMagnitudes(x, 1, 101, all);
  for (std::int32_t h = 1; h <= 101; ++h) {
    long double one = -1;
    HarmonicMagnitudes(x, h, h, std::span(&one, 1));
    EXPECT_EQ(one, all[static_cast<std::size_t>(h - 1)]) << h;
  }
}

// Every vector width the processor has gives the bits of the plain one, for
// cycles that fill the lanes exactly, leave some empty, or restart the angles.
TEST(Harmonics, EveryVectorWidthGivesTheSameBits) {
  std::mt19937 random(9);
  std::uniform_real_distribution<double> value(-3e4, 3e4);
  int compared = 0;
  for (const HarmonicLanes lanes : {HarmonicLanes::Avx2, HarmonicLanes::Avx512, HarmonicLanes::Widest}) {
    if (!HarmonicLanesAvailable(lanes)) continue;
    for (const std::size_t n : {2u, 7u, 64u, 65u, 200u, 1031u, 4096u}) {
      std::vector<double> x(n);
      for (double& v : x) v = value(random);
      const auto orders = static_cast<std::int32_t>(n / 2);
      std::vector<long double> plain(static_cast<std::size_t>(orders)), other(plain.size(), -1);
      HarmonicMagnitudes(x, 1, orders, plain, HarmonicLanes::Plain);
      HarmonicMagnitudes(x, 1, orders, other, lanes);
      for (std::size_t h = 0; h < plain.size(); ++h)
        ASSERT_EQ(std::memcmp(&plain[h], &other[h], 10), 0)
            << "width " << static_cast<int>(lanes) << ", N " << n << ", order " << h + 1;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);  // Widest at least
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

namespace wave {
namespace {

// Cancel reaches every long loop within a block of its work: cancelled at its
// first report of progress, a computation of a single long curve reports at
// most one more block per worker thread (the block of work each had begun),
// never the rest. For the spectrum a block is one group of at most 32 orders,
// each over the cycle's 10^6 samples; a few milliseconds of one thread
// (bench: cancel_bench).
TEST(LongComputations, StopWithinABlockOfWorkOnceCancelled) {
  constexpr std::int64_t kSamples = 1'000'000;
  struct Case {
    const char* name;
    TcfgInfo record;
    std::function<void(RecordData&, common::JobProgress&)> run;
    std::uint64_t total;       // the steps of the whole computation
    std::uint64_t blockSteps;  // at most one block's steps
  };
  const Case cases[] = {
      {"harmonic spectrum of one cycle of 10^6 samples", MakeRecord(1, 0, 50'000'000, kSamples),
       [](RecordData& d, common::JobProgress& p) { AnalyseRecord(d, &p); }, kSamples / 2, 32},
      {"RMS curve of 4 * 10^6 samples", MakeRecord(1, 0, 1000, 4 * kSamples),
       [](RecordData& d, common::JobProgress& p) { AnalyseRecord(d, &p); }, 4 * kSamples, 65536 + 20},
      {"interpolation of 10^6 samples", MakeRecord(1, 0, 1000, kSamples),
       [](RecordData& d, common::JobProgress& p) { SineInterpolateChannel(d.layout(), d.samples(0), d.samplesWritten(), &p); }, kSamples,
       4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto data = testing::Allocate(c.record);
    ASSERT_TRUE(data);
    const std::int32_t f = data->layout().f1;
    for (std::int64_t k = 0; k < data->layout().sampleCount; ++k)
      data->samples(0)[static_cast<std::size_t>(k * f)] =
          100 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / data->layout().N1 + 0.3);
    std::atomic<bool> fired{false};
    std::atomic<std::uint64_t> doneAtCancel{0};
    common::JobProgress progress([&](common::JobProgress& p) {
      if (fired.exchange(true)) return;
      doneAtCancel = p.snapshot().done;
      p.cancel();
    });
    progress.begin(common::JobProgress::Stage::Analysing, c.total);
    c.run(*data, progress);
    ASSERT_TRUE(fired) << "progress is reported during the computation";
    EXPECT_TRUE(progress.cancelled());
    const std::uint64_t done = progress.snapshot().done;
    EXPECT_LE(done - doneAtCancel, WorkerCount() * c.blockSteps);
    EXPECT_LT(done, c.total / 2) << "the rest is never computed";
  }
}

}  // namespace
}  // namespace wave
