#include "waveform/analysis/rms_harmonics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "waveform/analysis/extended_math.h"
#include "waveform/analysis/parallel.h"

namespace wave {
namespace {

constexpr long double kPi = 3.1415926L;  // as the transform has always used it

// Long loops look at the cancel flag and report progress after about this
// many samples (well under a millisecond of work).
constexpr std::size_t kSamplesBetweenLooks = std::size_t{1} << 16;
// The transform looks at the cancel flag after this many samples of its
// lanes (a few milliseconds of one thread on a busy machine).
constexpr std::size_t kTransformSamplesBetweenLooks = 4096;

// values[i] := sqrt(values[i] / m) in double precision: a unit in the last
// place from the extended result at most, and two values at a time.
void rootsOfMeans(std::span<double> values, std::int32_t m) {
  const double cycleLength = m;
  std::size_t i = 0;
#ifdef __SSE2__
  const __m128d divisor = _mm_set1_pd(cycleLength);
  for (; i + 2 <= values.size(); i += 2)
    _mm_storeu_pd(&values[i], _mm_sqrt_pd(_mm_div_pd(_mm_loadu_pd(&values[i]), divisor)));
#endif
  for (; i < values.size(); ++i) values[i] = std::sqrt(values[i] / cycleLength);
}

// The transform's angle for order h and sample k is (2h·pi / N)·(k + 1), with
// pi as 3.1415926: m = h·(k + 1) steps of 2pi / N. With m = q·N + r that is
// q turns of 2pi plus r steps, and with q and r split into multiples of 256
// and the rest, four small tables hold everything the transform needs (each
// entry to the last bit of a double; their products to a few units more).
class AngleTables {
 public:
  AngleTables(std::int32_t samples, std::int32_t orders)
      : n(samples), stepsHigh_(samples / kSplit + 1), stepsLow_(kSplit), turnsHigh_(orders / kSplit + 1),
        turnsLow_(kSplit) {
    const long double step = 2 * kPi / samples;
    const long double turn = 2 * kPi;
    fill(stepsLow_, step);
    fill(stepsHigh_, step * kSplit);
    fill(turnsLow_, turn);
    fill(turnsHigh_, turn * kSplit);
  }

  // cos and sin of q turns and r steps (q <= orders, r < samples).
  void at(std::int64_t q, std::int64_t r, double& cosine, double& sine) const {
    const Rotation turns = times(turnsHigh_[static_cast<std::size_t>(q / kSplit)], turnsLow_[static_cast<std::size_t>(q % kSplit)]);
    const Rotation steps = times(stepsHigh_[static_cast<std::size_t>(r / kSplit)], stepsLow_[static_cast<std::size_t>(r % kSplit)]);
    const Rotation angle = times(turns, steps);
    cosine = angle.c;
    sine = angle.s;
  }

  const std::int32_t n;

 private:
  static constexpr std::int64_t kSplit = 256;
  struct Rotation {
    double c = 1, s = 0;
  };
  static Rotation times(Rotation a, Rotation b) { return {a.c * b.c - a.s * b.s, a.s * b.c + a.c * b.s}; }

  // table[i] = cos and sin of i·angle.
  static void fill(std::vector<Rotation>& table, long double angle) {
    for (std::size_t i = 0; i < table.size(); ++i) {
      long double s;
      long double c;
      ext::SinCos(angle * static_cast<long double>(i), s, c);
      table[i] = {static_cast<double>(c), static_cast<double>(s)};
    }
  }

  std::vector<Rotation> stepsHigh_, stepsLow_, turnsHigh_, turnsLow_;
};

// Orders handled side by side, each lane keeping its own sums in the order of
// the samples; a lane's arithmetic does not depend on the lanes beside it.
// Between exact starts from the tables every kRestart samples, a lane's angle
// advances by rotation, which stays within a few units of the last place of a
// double.
constexpr std::int32_t kRestart = 64;

// Vectors of W doubles and of W floats.
template <std::size_t W>
struct Vectors;
template <>
struct Vectors<2> {
  using D = double __attribute__((vector_size(16)));
  using F = float __attribute__((vector_size(8)));
};
template <>
struct Vectors<4> {
  using D = double __attribute__((vector_size(32)));
  using F = float __attribute__((vector_size(16)));
};
template <>
struct Vectors<8> {
  using D = double __attribute__((vector_size(64)));
  using F = float __attribute__((vector_size(32)));
};
template <std::size_t W>
using DoubleVec = typename Vectors<W>::D;

// re and im of the orders first .. first + W·G - 1 (orders past last repeat
// last): the sums of cos·(2/N)·x_k and sin·(2/N)·x_k, each rounded to single
// precision after every addition, as the direct transform does. G vectors of
// W lanes, as many as the registers hold.
// A cancelled job leaves the sums unfinished.
template <std::size_t W, std::size_t G>
[[gnu::always_inline]] inline void transformLanes(const AngleTables& t, std::span<const double> weighted,
                                                  std::int32_t first, std::int32_t last, float* re, float* im,
                                                  const common::JobProgress* progress) {
  constexpr std::size_t kLanes = W * G;
  using V = DoubleVec<W>;
  using F = typename Vectors<W>::F;  // each lane rounded to single precision on the way through
  const std::int64_t n = t.n;
  V rotCos[G], rotSin[G], cosine[G], sine[G], sumRe[G] = {}, sumIm[G] = {};
  std::int64_t q[kLanes], r[kLanes], stepQ[kLanes], stepR[kLanes];
  for (std::size_t l = 0; l < kLanes; ++l) {
    const std::int64_t h = std::min<std::int64_t>(first + static_cast<std::int64_t>(l), last);
    double c, s;
    t.at(0, h, c, s);  // one sample further: h steps (h <= N div 2)
    rotCos[l / W][l % W] = c;
    rotSin[l / W][l % W] = s;
    q[l] = h / n;  // the angle at k = 0: h steps
    r[l] = h % n;
    stepQ[l] = h * kRestart / n;
    stepR[l] = h * kRestart % n;
  }
  const auto count = static_cast<std::int32_t>(weighted.size());
  for (std::int32_t begin = 0; begin < count; begin += kRestart) {
    if (static_cast<std::size_t>(begin) % kTransformSamplesBetweenLooks == 0 && common::Cancelled(progress)) return;
    for (std::size_t l = 0; l < kLanes; ++l) {
      double c, s;
      t.at(q[l], r[l], c, s);
      cosine[l / W][l % W] = c;
      sine[l / W][l % W] = s;
      q[l] += stepQ[l];
      r[l] += stepR[l];
      if (r[l] >= n) {
        r[l] -= n;
        ++q[l];
      }
    }
    const std::int32_t end = std::min(count, begin + kRestart);
    for (std::int32_t k = begin; k < end; ++k) {
      const double w = weighted[static_cast<std::size_t>(k)];
#pragma GCC unroll 8
      for (std::size_t g = 0; g < G; ++g) {
        sumRe[g] = __builtin_convertvector(__builtin_convertvector(sumRe[g] + cosine[g] * w, F), V);
        sumIm[g] = __builtin_convertvector(__builtin_convertvector(sumIm[g] + sine[g] * w, F), V);
        const V nextCos = cosine[g] * rotCos[g] - sine[g] * rotSin[g];
        sine[g] = sine[g] * rotCos[g] + cosine[g] * rotSin[g];
        cosine[g] = nextCos;
      }
    }
  }
  for (std::size_t l = 0; l < kLanes; ++l) {
    re[l] = static_cast<float>(sumRe[l / W][l % W]);
    im[l] = static_cast<float>(sumIm[l / W][l % W]);
  }
}

using LanesFunction = void (*)(const AngleTables&, std::span<const double>, std::int32_t, std::int32_t, float*,
                               float*, const common::JobProgress*);

struct LanePath {
  std::size_t lanes;
  LanesFunction run;
};

void transformPlain(const AngleTables& t, std::span<const double> weighted, std::int32_t first, std::int32_t last,
                    float* re, float* im, const common::JobProgress* progress) {
  transformLanes<2, 4>(t, weighted, first, last, re, im, progress);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define WAVE_LANE_PATHS 1
[[gnu::target("avx2")]] void transformAvx2(const AngleTables& t, std::span<const double> weighted,
                                           std::int32_t first, std::int32_t last, float* re, float* im,
                                           const common::JobProgress* progress) {
  transformLanes<4, 3>(t, weighted, first, last, re, im, progress);
}

[[gnu::target("avx512f")]] void transformAvx512(const AngleTables& t, std::span<const double> weighted,
                                                std::int32_t first, std::int32_t last, float* re, float* im,
                                                const common::JobProgress* progress) {
  transformLanes<8, 4>(t, weighted, first, last, re, im, progress);
}
#endif

// The path of the given width; none (run null) when it cannot run here.
LanePath lanePath(HarmonicLanes lanes) {
  switch (lanes) {
    case HarmonicLanes::Plain:
      return {8, &transformPlain};
#ifdef WAVE_LANE_PATHS
    case HarmonicLanes::Avx2:
      if (__builtin_cpu_supports("avx2")) return {12, &transformAvx2};
      break;
    case HarmonicLanes::Avx512:
      if (__builtin_cpu_supports("avx512f")) return {32, &transformAvx512};
      break;
#endif
    default:
      break;
  }
  return {0, nullptr};
}

// The widest vectors the processor has.
LanePath widestPath() {
  for (const HarmonicLanes lanes : {HarmonicLanes::Avx512, HarmonicLanes::Avx2})
    if (const LanePath path = lanePath(lanes); path.run) return path;
  return lanePath(HarmonicLanes::Plain);
}

constexpr std::size_t kMostLanes = 32;

}  // namespace

// The record is cut into blocks of one cycle. The window of sample n ends in
// n's block and begins in the block before it, so its sum is a prefix of n's
// block (summed forwards as n advances) plus a suffix of the block before
// (summed backwards once per block). Both sums only ever add squares, so no
// error builds up from squares that leave the window again, and a window of
// zeros gives exactly 0 however large the samples before it were. Held in
// extended precision, each value is closer to the exact sum than the direct
// double sum of M squares is.
void CalcRmsCurve(const RecordLayout& layout, std::span<const double> channel, std::span<double> rms,
                  common::JobProgress* progress) {
  const std::size_t count = std::min(rms.size(), static_cast<std::size_t>(std::max<std::int64_t>(layout.sampleCount, 0)));
  const std::int32_t m = layout.rmsCycle;
  if (count == 0 || m < 1) return;
  const auto square = [&](std::size_t j) {
    const auto x = static_cast<long double>(channel[static_cast<std::size_t>(layout.pointOf(static_cast<std::int64_t>(j)))]);
    return x * x;
  };
  const auto cycle = static_cast<std::size_t>(m);
  // suffix[i]: the squares of the previous block from its sample i to its end.
  std::vector<long double> suffix(count > cycle ? cycle + 1 : 0);
  std::size_t unreported = 0;
  for (std::size_t begin = 0; begin < count; begin += cycle) {
    const std::size_t end = std::min(count, begin + cycle);
    if (unreported >= kSamplesBetweenLooks) {
      if (common::Cancelled(progress)) return;
      common::Advance(progress, std::exchange(unreported, 0));
    }
    unreported += end - begin;
    long double prefix = 0;
    for (std::size_t n = begin; n < end; ++n) {
      prefix += square(n);
      rms[n] = static_cast<double>(begin == 0 ? prefix : prefix + suffix[n - begin + 1]);
    }
    rootsOfMeans(rms.subspan(begin, end - begin), m);
    if (end == count) break;
    long double back = 0;
    suffix[cycle] = 0;
    for (std::size_t i = cycle; i-- > 0;) {
      back += square(begin + i);
      suffix[i] = back;
    }
  }
  common::Advance(progress, unreported);
}

bool HarmonicLanesAvailable(HarmonicLanes lanes) {
  return lanes == HarmonicLanes::Widest || lanePath(lanes).run != nullptr;
}

void HarmonicMagnitudes(std::span<const double> x, std::int32_t first, std::int32_t last,
                        std::span<long double> magnitudes, HarmonicLanes lanes, common::JobProgress* progress) {
  static const LanePath widest = widestPath();
  const LanePath path = lanes == HarmonicLanes::Widest ? widest : lanePath(lanes);
  if (!path.run) return;
  const auto n = static_cast<std::int32_t>(x.size());
  first = std::max(first, 1);
  last = std::min({last, n / 2, first + static_cast<std::int32_t>(magnitudes.size()) - 1});
  if (n == 0 || first > last) return;
  const AngleTables tables(n, n / 2);
  const long double weight = static_cast<long double>(2.0f) / n;
  std::vector<double> weighted(x.size());
  for (std::size_t k = 0; k < x.size(); ++k) weighted[k] = static_cast<double>(weight * x[k]);

  const auto groups = static_cast<std::size_t>(last - first) / path.lanes + 1;
  ParallelFor(groups, std::max<std::size_t>(1, 4096 / x.size()), [&](std::size_t begin, std::size_t end) {
    float re[kMostLanes], im[kMostLanes];
    for (std::size_t g = begin; g < end; ++g) {
      const std::int32_t from = first + static_cast<std::int32_t>(g * path.lanes);
      path.run(tables, weighted, from, last, re, im, progress);
      if (common::Cancelled(progress)) return;
      std::size_t l = 0;
      for (; l < path.lanes && from + static_cast<std::int32_t>(l) <= last; ++l)
        magnitudes[static_cast<std::size_t>(from - first) + l] =
            std::sqrt(static_cast<long double>(re[l]) * re[l] + static_cast<long double>(im[l]) * im[l]);
      common::Advance(progress, l);
    }
  });
}

void CalcHarmonics(const RecordLayout& layout, std::span<const double> channel, std::span<double> values,
                   common::JobProgress* progress) {
  const std::int32_t n = layout.N1;
  const std::int32_t orders = n / 2;
  if (orders < 1) return;
  const auto f1 = static_cast<std::size_t>(layout.f1);
  if (channel.size() < (static_cast<std::size_t>(n) - 1) * f1 + 1) return;
  std::vector<double> x(static_cast<std::size_t>(n));
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = channel[k * f1];

  std::vector<long double> magnitudes(static_cast<std::size_t>(orders));  // order h at h - 1
  HarmonicMagnitudes(x, 1, orders, magnitudes, HarmonicLanes::Widest, progress);
  if (common::Cancelled(progress)) return;
  const auto fundamental = static_cast<float>(magnitudes[0]);
  for (std::size_t h = 2; h <= static_cast<std::size_t>(orders) && h - 2 < values.size(); ++h)
    values[h - 2] = fundamental == 0.0f ? 0.0 : static_cast<float>(magnitudes[h - 1] / fundamental * 100.0f);
}

std::uint64_t AnalyseSteps(const RecordData& data) {
  const RecordLayout& layout = data.layout();
  if (layout.oneCycle) return data.analogCount() > 0 ? static_cast<std::uint64_t>(std::max(layout.N1 / 2, 0)) : 0;
  return data.analogCount() * static_cast<std::uint64_t>(std::max<std::int64_t>(layout.sampleCount, 0));
}

void AnalyseRecord(RecordData& data, common::JobProgress* progress) {
  common::JobProgress unwatched;
  if (!progress) progress = &unwatched;
  const RecordLayout& layout = data.layout();
  if (layout.oneCycle) {
    if (data.analogCount() > 0) CalcHarmonics(layout, data.samples(0), data.harmonics(), progress);
    return;
  }
  // A curve costs a few steps per sample: a thread takes at least about 100 000 samples.
  const auto samples = static_cast<std::size_t>(std::max<std::int64_t>(layout.sampleCount, 1));
  ParallelFor(data.analogCount(), std::max<std::size_t>(1, 100000 / samples), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end && !progress->cancelled(); ++i) {
      // Past its written values every curve is 0 already, as the buffer was made;
      // their steps are counted all the same.
      const auto written = data.rms(i).first(static_cast<std::size_t>(data.rmsValuesWritten()));
      CalcRmsCurve(layout, data.samples(i), written, progress);
      const auto total = static_cast<std::size_t>(std::max<std::int64_t>(layout.sampleCount, 0));
      if (written.size() < total) common::Advance(progress, total - written.size());
    }
  });
}

}  // namespace wave
