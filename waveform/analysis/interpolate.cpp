#include "waveform/analysis/interpolate.h"

#include <algorithm>
#include <cmath>

#include "waveform/analysis/extended_math.h"
#include "waveform/analysis/parallel.h"

namespace wave {
namespace {

// The constants as the fit has always used them (not the full-precision values).
constexpr long double kTwoPi = 6.2831852L;
constexpr long double kPi = 3.1415926L;
constexpr double kPiPhase = 3.1415926;
constexpr double kTiny = 1e-31;

// The forward pass looks at the cancel flag and reports progress after this
// many intervals (about a millisecond of work).
constexpr std::int64_t kIntervalsBetweenLooks = 4096;

// The sine and tangent of the angle d between two samples.
struct SineFit {
  long double sinD;
  long double tanD;

  explicit SineFit(long double d) : sinD(ext::Sin(d)), tanD(ext::Tan(d)) {}
};

double amplitude(const SineFit& s, double y2, double y1) {
  if (y1 == 0 && y2 == 0) return 0;
  if (y1 == 0) y1 = kTiny;
  if (y2 == 0) y2 = kTiny;
  const auto q = static_cast<double>((static_cast<long double>(y2) / y1) / s.sinD - 1 / s.tanD);
  const long double phi = q == 0 ? ext::ArcTan2(1.0L, 0.0L) : ext::ArcTan2(1.0L / q, 1.0L);
  return static_cast<double>(y1 / ext::Sin(phi));
}

// The phase of y1 on a sine of amplitude |a|, in [-pi/2, pi/2]; the quotient is
// kept within [-1, 1] against rounding.
long double phaseOf(double y1, double a) {
  return ext::ArcSin(std::clamp(static_cast<long double>(y1) / std::fabs(static_cast<long double>(a)), -1.0L, 1.0L));
}

// Points out[dir * j], j = 1 .. f - 1, on the sine from phase theta on.
void sineFill(double* out, int dir, std::int32_t f, double& theta, long double step, double a) {
  const long double magnitude = std::fabs(static_cast<long double>(a));
  for (std::int32_t j = 1; j < f; ++j) {
    theta = static_cast<double>(theta + step);
    out[dir * j] = static_cast<double>(ext::Sin(theta) * magnitude);
  }
}

// Points out[j], j = 1 .. f - 1, on the straight line from y1 (at 0) to y2 (at f).
void linearFill(double* out, std::int32_t f, double y1, double y2) {
  const long double l1 = y1;
  const long double l2 = y2;
  for (std::int32_t j = 1; j < f; ++j) {
    if (y1 > y2)
      out[j] = static_cast<double>((l1 - l2) / f * (f - j) + l2);
    else if (y1 < y2)
      out[j] = static_cast<double>((l2 - l1) / f * j + l1);
    else  // a level line (or a value that compares with nothing)
      out[j] = y1;
  }
}

// One rate's samples in the buffer: sample k at point base + f * k.
struct Rate {
  double* base;
  std::int64_t count;  // samples of the rate
  std::int64_t reach;  // samples at this spacing that exist (one more when the next rate follows)
  std::int32_t n;
  std::int32_t f;

  double sample(std::int64_t k) const { return base[f * k]; }
  double clampedSample(std::int64_t k) const { return sample(std::clamp<std::int64_t>(k, 0, count - 1)); }
};

// zeroFrom: the rate's first sample from which on no sample was written. The
// intervals between two such zeros would only be filled with 0 or -0 and set
// the phase to pi, so they are left as they are and only the phase is set.
// With progress: one step per interval, in blocks; returns the steps reported.
// A cancelled job stops at its next block.
std::int64_t forwardPass(const Rate& rate, std::int64_t lastInterval, std::int64_t zeroFrom, double& theta,
                         common::JobProgress* progress) {
  theta = 0;
  if (rate.f < 2) return 0;
  const SineFit fit(kTwoPi / rate.n);
  const long double step = kTwoPi / (static_cast<long double>(rate.f) * rate.n);
  const std::int64_t quarter = rate.n / 4;
  lastInterval = std::min(lastInterval, rate.reach - 2);
  const std::int64_t lastFilled = std::min(lastInterval, zeroFrom - 1);
  std::int64_t reported = 0;
  for (std::int64_t k = 0; k <= lastFilled; ++k) {
    if (k > 0 && k % kIntervalsBetweenLooks == 0) {
      if (common::Cancelled(progress)) return reported;
      common::Advance(progress, static_cast<std::uint64_t>(kIntervalsBetweenLooks));
      reported += kIntervalsBetweenLooks;
    }
    const double y1 = rate.sample(k);
    const double y2 = rate.sample(k + 1);
    const double y3 = rate.clampedSample(k + quarter);
    const double a = amplitude(fit, y2, y1);
    double* out = rate.base + rate.f * k;
    if (!std::isfinite(a)) {
      linearFill(out, rate.f, y1, y2);
      continue;
    }
    bool sine = true;
    if (y1 == 0) {
      theta = y2 > 0 ? 0.0 : kPiPhase;
    } else {
      const long double phase = phaseOf(y1, a);
      const bool quadrantFits = y3 >= 0 ? y1 <= y2 : y1 >= y2;
      if (phase != 0) {
        sine = quadrantFits;
        if (sine) {
          if (y3 < 0)
            theta = static_cast<double>(kPi - phase);
          else
            theta = static_cast<double>(phase > 0 ? phase : kTwoPi + phase);
        }
      }
    }
    if (sine)
      sineFill(out, 1, rate.f, theta, step, a);
    else
      linearFill(out, rate.f, y1, y2);
  }
  if (lastFilled < lastInterval) theta = kPiPhase;
  return reported;
}

void backwardPass(const Rate& rate, std::int64_t firstSample, std::int64_t zeroFrom, double& theta) {
  if (rate.f < 2) return;
  const SineFit fit(kTwoPi / rate.n);
  const long double step = kTwoPi / (static_cast<long double>(rate.f) * rate.n);
  const std::int64_t quarter = rate.n / 4;
  const std::int64_t start = std::max<std::int64_t>(firstSample, 1);
  const std::int64_t end = std::min(rate.count, std::clamp<std::int64_t>(zeroFrom, 0, rate.count) + 1);
  for (std::int64_t m = start; m < end; ++m) {
    const double y1 = rate.sample(m);
    const double y2 = rate.sample(m - 1);
    const double y3 = rate.clampedSample(m - quarter);
    const double a = amplitude(fit, y2, y1);
    double* out = rate.base + rate.f * m;
    if (!std::isfinite(a)) {
      linearFill(out - rate.f, rate.f, y2, y1);
      continue;
    }
    if (y1 == 0) {
      theta = y2 > 0 ? 0.0 : kPiPhase;
    } else {
      const long double phase = phaseOf(y1, a);
      if (phase > 0)
        theta = static_cast<double>(y3 >= 0 ? phase : kPi - phase);
      else if (phase < 0)
        theta = static_cast<double>(y3 >= 0 ? kTwoPi + phase : kPi - phase);
    }
    sineFill(out, -1, rate.f, theta, step, a);
  }
  if (std::max(start, end) < rate.count) theta = kPiPhase;  // the intervals between zeros left out
}

}  // namespace

double SineAmplitude(long double d, double y2, double y1) { return amplitude(SineFit(d), y2, y1); }

void SineInterpolateChannel(const RecordLayout& layout, std::span<double> buffer, std::int64_t samplesWritten,
                            common::JobProgress* progress) {
  const std::int64_t count1 = layout.rate1Samples;
  const std::int64_t count2 = layout.twoRates ? layout.sampleCount - layout.rate1Samples : 0;
  if (buffer.size() < static_cast<std::size_t>(layout.analogPoints) || count1 < 1) return;
  const Rate first{buffer.data(), count1, count1 + (count2 > 0 ? 1 : 0), layout.N1, layout.f1};
  const Rate second{buffer.data() + count1 * layout.f1, count2, count2, layout.N2, layout.f2};

  const std::int64_t zero1 = std::max<std::int64_t>(samplesWritten, 0);
  const std::int64_t zero2 = std::max<std::int64_t>(zero1, count1) - count1;

  double theta = 0;
  // With two rates the forward pass of the first rate ends with the interval
  // that leads to the second rate's first sample.
  std::int64_t reported =
      forwardPass(first, layout.twoRates ? count1 - 1 : count1 - layout.f1, zero1, theta, progress);
  if (layout.twoRates) reported += forwardPass(second, count2 - layout.f2, zero2, theta, progress);
  if (common::Cancelled(progress)) return;
  backwardPass(first, count1 - layout.f1 + 1, zero1, theta);
  if (layout.twoRates) backwardPass(second, count2 - layout.f2 - 1, zero2, theta);
  common::Advance(progress, static_cast<std::uint64_t>(std::max<std::int64_t>(0, layout.sampleCount - reported)));
}

void FillBetweenSamples(const RecordLayout& layout, std::span<double> buffer, bool sineFitted,
                        std::int64_t samplesWritten) {
  const std::int64_t count = layout.sampleCount;
  if (count < 1 || buffer.size() < static_cast<std::size_t>(layout.analogPoints)) return;
  // Past the written samples every sample and every point between them is 0
  // already: only the line into the first unwritten sample is drawn.
  const std::int64_t written = std::clamp<std::int64_t>(samplesWritten, 0, count);
  if (!sineFitted) {
    for (std::int64_t k = 0; k + 1 < count && k < written; ++k) {
      const std::int64_t at = layout.pointOf(k);
      const auto gap = static_cast<std::int32_t>(layout.pointOf(k + 1) - at);
      double* out = buffer.data() + at;
      linearFill(out, gap, out[0], out[gap]);
    }
  }
  if (written < count) return;  // the last sample is an unwritten 0, as are the points after it
  const auto last = static_cast<std::size_t>(layout.pointOf(count - 1));
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(last) + 1, buffer.end(), buffer[last]);
}

void FillRecordBetweenSamples(RecordData& data, bool sineFitted, common::JobProgress* progress) {
  const RecordLayout& layout = data.layout();
  const auto points = static_cast<std::size_t>(std::max<std::int64_t>(layout.analogPoints, 1));
  ParallelFor(data.analogCount(), std::max<std::size_t>(1, 2000000 / points), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end && !common::Cancelled(progress); ++i)
      FillBetweenSamples(layout, data.samples(i), sineFitted, data.samplesWritten());
  });
}

void InterpolateRecord(RecordData& data, common::JobProgress* progress) {
  const RecordLayout& layout = data.layout();
  const auto points = static_cast<std::size_t>(std::max<std::int64_t>(layout.analogPoints, 1));
  ParallelFor(data.analogCount(), std::max<std::size_t>(1, 200000 / points), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end && !common::Cancelled(progress); ++i)
      SineInterpolateChannel(layout, data.samples(i), data.samplesWritten(), progress);
  });
}

}  // namespace wave
