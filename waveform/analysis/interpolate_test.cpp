#include "waveform/analysis/interpolate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

using testing::MakeRecord;

constexpr long double kTwoPi = 6.2831852L;

TEST(SineAmplitude, RecoversTheAmplitudeAtKnownPhases) {
  for (const int n : {8, 12, 20, 31}) {
    const long double d = kTwoPi / n;
    for (const double phase : {0.1, 0.7, 1.5, 2.0, 3.0, 4.0, 5.5, 6.2}) {
      const double amplitude = 1234.5;
      const double y1 = amplitude * std::sin(phase);
      const double y2 = static_cast<double>(amplitude * std::sin(phase + d));
      EXPECT_NEAR(std::fabs(SineAmplitude(d, y2, y1)), amplitude, 1e-9 * amplitude) << n << ' ' << phase;
    }
  }
}

TEST(SineAmplitude, ZeroSamples) {
  const long double d = kTwoPi / 20;
  EXPECT_EQ(SineAmplitude(d, 0, 0), 0);
  // A zero crossing at y1: the sine that reaches y2 one angle later.
  EXPECT_NEAR(std::fabs(SineAmplitude(d, 5, 0)), 5 / std::sin(static_cast<double>(d)), 1e-9);
}

// A record whose analogue channel 0 holds amplitude * sin(2 pi k / n + phase0) at its sample points.
std::shared_ptr<RecordData> sineRecord(int samp1, int endsamp1, double amplitude, double phase0) {
  auto data = testing::Allocate(MakeRecord(1, 0, samp1, endsamp1));
  if (!data) return data;
  const RecordLayout& layout = data->layout();
  for (std::int64_t k = 0; k < endsamp1; ++k)
    data->samples(0)[static_cast<std::size_t>(layout.pointOf(k))] =
        amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(k) / layout.N1 + phase0);
  return data;
}

TEST(SineInterpolate, APureSineStaysOnTheSine) {
  struct Case {
    int samp1;  // at 50 Hz
    double phase0;
  };
  const Case cases[] = {{1000, 0.0}, {1000, 0.3}, {600, 1.0}, {400, 2.5}};
  int chords = 0;
  for (const auto& c : cases) {
    const double amplitude = 100;
    const auto data = sineRecord(c.samp1, 200, amplitude, c.phase0);
    ASSERT_TRUE(data);
    const RecordLayout& layout = data->layout();
    std::vector<double> before(data->samples(0).begin(), data->samples(0).end());
    SineInterpolateChannel(layout, data->samples(0));
    const auto buffer = data->samples(0);
    const int f = layout.f1;
    const auto sample = [&](std::int64_t k) { return before[static_cast<std::size_t>(f * std::min<std::int64_t>(k, 199))]; };
    int onSine = 0;
    int onChord = 0;
    for (std::int64_t k = 0; k + 1 < 200; ++k) {
      const auto at = static_cast<std::size_t>(f * k);
      EXPECT_EQ(buffer[at], before[at]) << "sample " << k;
      // A straight line where the pair runs against the quadrant that the
      // sample a quarter cycle ahead shows (the last f - 1 intervals are
      // filled backwards, always on the sine).
      const double y1 = sample(k);
      const double y2 = sample(k + 1);
      const double y3 = sample(k + layout.N1 / 4);
      const bool chordExpected = k + 1 < 200 - (f - 1) && y1 != 0 && (y3 >= 0 ? y1 > y2 : y1 < y2);
      for (int j = 1; j < f; ++j) {
        const double t = (static_cast<double>(k) + static_cast<double>(j) / f) / layout.N1;
        const double sine = amplitude * std::sin(2 * std::numbers::pi * t + c.phase0);
        const double chord = y1 + (y2 - y1) * j / f;
        const double value = buffer[at + static_cast<std::size_t>(j)];
        if (chordExpected) {
          EXPECT_NEAR(value, chord, 1e-9 * amplitude) << "samp1 " << c.samp1 << " point " << at + j;
          ++onChord;
        } else {
          EXPECT_NEAR(value, sine, 1e-5 * amplitude) << "samp1 " << c.samp1 << " point " << at + j;
          ++onSine;
        }
      }
    }
    EXPECT_GT(onSine, 4 * onChord) << c.samp1;
    chords += onChord;
  }
  EXPECT_GT(chords, 0);  // the straight line is met, not only the sine
}

TEST(SineInterpolate, ZeroSamplesStartTheFillAtAZeroCrossing) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1000, 60));  // N 20, f 2
  ASSERT_TRUE(data);
  const auto buffer = data->samples(0);
  // samples: 0, 0 | 0, 10 | 0, -10, then a sine so the later fits have data
  const double samples[] = {0, 0, 0, 10, 0, -10};
  for (std::size_t k = 0; k < 6; ++k) buffer[2 * k] = samples[k];
  for (std::size_t k = 6; k < 60; ++k) buffer[2 * k] = 10 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / 20);
  SineInterpolateChannel(data->layout(), buffer);
  EXPECT_EQ(buffer[1], 0);  // 0, 0: amplitude 0
  EXPECT_EQ(buffer[3], 0);  // 0 then 0: phase pi with amplitude 0
  EXPECT_GT(buffer[5], 0);  // 0 then positive: rising from phase 0
  EXPECT_LT(buffer[5], 10);
  EXPECT_LT(buffer[9], 0);  // 0 then negative: from phase pi
}

bool allFinite(std::span<const double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

TEST(SineInterpolate, NeverLeavesTheBufferOfShortRecords) {
  // The address sanitizer watches the guard zones around every buffer.
  struct Case {
    const char* name;
    int samp1, endsamp1, samp2, endsamp2;
  };
  const Case cases[] = {
      {"4 per cycle, 5 samples", 200, 5, 0, 0},
      {"4 per cycle, 1 sample", 200, 1, 0, 0},
      {"1 per cycle, 3 samples", 50, 3, 0, 0},
      {"2 per cycle, 2 samples", 100, 2, 0, 0},
      {"second rate at f = 1", 1000, 40, 3200, 100},
      {"second rate of one sample", 1000, 40, 600, 41},
      {"second rate without samples", 1000, 40, 600, 40},
      {"short first rate", 200, 2, 100, 6},
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-100, 100);
  for (const auto& c : cases) {
    const auto data = testing::Allocate(MakeRecord(1, 0, c.samp1, c.endsamp1, c.samp2, c.endsamp2));
    ASSERT_TRUE(data) << c.name;
    const RecordLayout& layout = data->layout();
    const auto buffer = data->samples(0);
    std::vector<double> samples;
    for (std::int64_t k = 0; k < layout.sampleCount; ++k) {
      samples.push_back(k % 5 == 0 ? 0.0 : value(random));
      buffer[static_cast<std::size_t>(layout.pointOf(k))] = samples.back();
    }
    SineInterpolateChannel(layout, buffer);
    for (std::int64_t k = 0; k < layout.sampleCount; ++k)
      EXPECT_EQ(buffer[static_cast<std::size_t>(layout.pointOf(k))], samples[static_cast<std::size_t>(k)]) << c.name;
    EXPECT_TRUE(allFinite(buffer)) << c.name;
  }
}

TEST(SineInterpolate, RandomSamplesNeverGiveNaN) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> value(-1, 1);
  for (const int samp1 : {100, 200, 400, 600, 1000, 1550}) {
    const auto data = testing::Allocate(MakeRecord(1, 0, samp1, 500));
    ASSERT_TRUE(data);
    const RecordLayout& layout = data->layout();
    const auto buffer = data->samples(0);
    for (std::int64_t k = 0; k < 500; ++k) {
      double v = value(random);
      if (k % 7 == 0) v = buffer[static_cast<std::size_t>(layout.pointOf(std::max<std::int64_t>(k - 1, 0)))];
      buffer[static_cast<std::size_t>(layout.pointOf(k))] = k % 11 == 0 ? 1e300 * v : v;
    }
    SineInterpolateChannel(layout, buffer);
    EXPECT_TRUE(allFinite(buffer)) << samp1;
  }
}

TEST(SineInterpolate, FillsBothRates) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 1200, 48, 600, 96));  // f1 2, f2 3
  ASSERT_TRUE(data);
  const RecordLayout& layout = data->layout();
  const auto buffer = data->samples(0);
  for (std::int64_t k = 0; k < 96; ++k) {
    const double t = k < 48 ? k / 1200.0 : 48 / 1200.0 + (k - 48) / 600.0;
    buffer[static_cast<std::size_t>(layout.pointOf(k))] = 50 * std::sin(2 * std::numbers::pi * 50 * t + 0.2);
  }
  SineInterpolateChannel(layout, buffer);
  int between = 0;
  int filled = 0;
  for (std::int64_t p = 0; p < layout.analogPoints - layout.f2; ++p) {
    bool isSample = false;
    for (std::int64_t k = 0; k < 96; ++k) isSample |= layout.pointOf(k) == p;
    if (isSample) continue;
    ++between;
    filled += buffer[static_cast<std::size_t>(p)] != 0;
  }
  EXPECT_EQ(filled, between);
}

// The points that the sine fit leaves: straight lines between the samples of
// each rate and across the change of rate, the last sample's value after it.
TEST(FillBetweenSamples, StraightLinesBetweenSamplesAndTheLastSampleAfterIt) {
  struct Case {
    const char* name;
    int samp1, endsamp1, samp2, endsamp2;
  };
  const Case cases[] = {
      {"one rate, f 3", 600, 40},
      {"first rate without points between, second rate f 2", 1600, 64, 800, 96},
      {"f1 2, f2 3", 1200, 48, 600, 90},
      {"one sample", 600, 1},
  };
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1000, 1000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto data = testing::Allocate(MakeRecord(1, 0, c.samp1, c.endsamp1, c.samp2, c.endsamp2));
    ASSERT_TRUE(data);
    const RecordLayout& layout = data->layout();
    const auto buffer = data->samples(0);
    std::vector<double> samples;
    for (std::int64_t k = 0; k < layout.sampleCount; ++k) {
      samples.push_back(k % 5 == 3 ? samples.back() : value(random));  // some level steps
      buffer[static_cast<std::size_t>(layout.pointOf(k))] = samples.back();
    }
    FillBetweenSamples(layout, buffer, false);
    for (std::int64_t k = 0; k < layout.sampleCount; ++k) {
      const std::int64_t at = layout.pointOf(k);
      EXPECT_EQ(buffer[static_cast<std::size_t>(at)], samples[static_cast<std::size_t>(k)]) << k;
      const std::int64_t next = k + 1 < layout.sampleCount ? layout.pointOf(k + 1) : layout.analogPoints;
      for (std::int64_t p = at + 1; p < next; ++p) {
        const double expected =
            k + 1 < layout.sampleCount
                ? samples[static_cast<std::size_t>(k)] + (samples[static_cast<std::size_t>(k + 1)] -
                                                          samples[static_cast<std::size_t>(k)]) *
                                                             static_cast<double>(p - at) / static_cast<double>(next - at)
                : samples.back();
        EXPECT_NEAR(buffer[static_cast<std::size_t>(p)], expected, 1e-9) << "point " << p;
      }
    }
  }
}

// Where the sine fit ran, its points stay; only the points after the last
// sample, which it never reaches, are filled.
TEST(FillBetweenSamples, KeepsTheSineFitAndFillsOnlyAfterTheLastSample) {
  const auto data = sineRecord(1000, 200, 100, 0.3);  // f1 2
  ASSERT_TRUE(data);
  const RecordLayout& layout = data->layout();
  const auto buffer = data->samples(0);
  SineInterpolateChannel(layout, buffer);
  const std::vector<double> fitted(buffer.begin(), buffer.end());
  FillBetweenSamples(layout, buffer, true);
  const auto last = static_cast<std::size_t>(layout.pointOf(layout.sampleCount - 1));
  EXPECT_TRUE(std::equal(fitted.begin(), fitted.begin() + static_cast<std::ptrdiff_t>(last) + 1, buffer.begin()));
  EXPECT_EQ(buffer[last + 1], buffer[last]);
  EXPECT_EQ(last + 2, buffer.size());
}

// A pair of equal samples that the fit joins by a line gets that level (it
// had been left unwritten).
TEST(SineInterpolate, EqualInfiniteSamplesAreJoinedAtTheirLevel) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 600, 40));  // f 3
  ASSERT_TRUE(data);
  const RecordLayout& layout = data->layout();
  const auto buffer = data->samples(0);
  for (std::int64_t k = 0; k < 40; ++k)
    buffer[static_cast<std::size_t>(layout.pointOf(k))] = k == 10 || k == 11 ? INFINITY : std::sin(0.5 * k);
  SineInterpolateChannel(layout, buffer);
  EXPECT_EQ(buffer[static_cast<std::size_t>(layout.pointOf(10) + 1)], INFINITY);
  EXPECT_EQ(buffer[static_cast<std::size_t>(layout.pointOf(10) + 2)], INFINITY);
}


// Samples from some point on never written (a data file shorter than its
// configuration says): the fill leaves the points between those zeros alone,
// and every point compares equal to filling them all (0 and -0 show alike).
TEST(SineInterpolate, LeavesTheUnwrittenTailAsItWasMade) {
  const TcfgInfo record = MakeRecord(1, 0, 1200, 48, 600, 96);  // f1 2, f2 3
  const RecordLayout layout = MakeRecordLayout(record);
  for (const std::int64_t written : {0, 1, 2, 7, 47, 48, 49, 50, 80, 95, 96}) {
    const auto whole = testing::Allocate(record);
    const auto cut = testing::Allocate(record);
    ASSERT_TRUE(whole && cut);
    for (std::int64_t k = 0; k < written; ++k) {
      const double v = 50 * std::sin(0.7 * static_cast<double>(k) + 0.2) - (k % 5 == 0 ? 9 : 0);
      whole->samples(0)[static_cast<std::size_t>(layout.pointOf(k))] = v;
      cut->samples(0)[static_cast<std::size_t>(layout.pointOf(k))] = v;
    }
    SineInterpolateChannel(layout, whole->samples(0));
    SineInterpolateChannel(layout, cut->samples(0), written);
    const auto a = whole->samples(0), b = cut->samples(0);
    for (std::size_t p = 0; p < a.size(); ++p) ASSERT_EQ(a[p], b[p]) << "written " << written << " point " << p;
    // Past the last interval that holds a written sample nothing was touched.
    const auto untouched = b.subspan(static_cast<std::size_t>(layout.pointOf(std::min<std::int64_t>(written, 96))));
    for (double v : untouched) ASSERT_FALSE(std::signbit(v)) << "written " << written;
  }
}

}  // namespace
}  // namespace wave
