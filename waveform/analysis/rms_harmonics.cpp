#include "waveform/analysis/rms_harmonics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "waveform/analysis/extended_math.h"
#include "waveform/analysis/parallel.h"

namespace wave {
namespace {

constexpr long double kPi = 3.1415926L;  // as the transform has always used it

// Two doubles handled side by side; each lane keeps its own sum in the same
// order as a scalar loop would, so vectors change no result.
using Pair = double __attribute__((vector_size(16)));
constexpr std::size_t kPairs = 8;
constexpr std::size_t kLanes = 2 * kPairs;
// Samples of the RMS curve computed from one buffer of squares.
constexpr std::size_t kRmsBlock = 4096;

Pair loadPair(const double* p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

long double rootMean(double sum, std::int32_t m) { return std::sqrt(static_cast<long double>(sum) / m); }

// rms[n] for n in [first, last) from the squares: sums of kLanes consecutive n
// at once.
void slidingSums(const double* squares, std::size_t first, std::size_t last, std::int32_t m, double* rms) {
  std::size_t n = first;
  for (; n + kLanes <= last; n += kLanes) {
    Pair sums[kPairs];
#pragma GCC unroll 8
    for (std::size_t p = 0; p < kPairs; ++p) sums[p] = loadPair(squares + n + 2 * p);
    for (std::int32_t i = 1; i < m; ++i) {
      const double* from = squares + n - static_cast<std::size_t>(i);
#pragma GCC unroll 8
      for (std::size_t p = 0; p < kPairs; ++p) sums[p] += loadPair(from + 2 * p);
    }
    for (std::size_t p = 0; p < kPairs; ++p)
      for (std::size_t lane = 0; lane < 2; ++lane)
        rms[n + 2 * p + lane] = static_cast<double>(rootMean(sums[p][lane], m));
  }
  for (; n < last; ++n) {
    double sum = squares[n];
    for (std::int32_t i = 1; i < m; ++i) sum += squares[n - static_cast<std::size_t>(i)];
    rms[n] = static_cast<double>(rootMean(sum, m));
  }
}

// |H_h| of order h over the samples x.
long double harmonicMagnitude(const std::vector<double>& x, std::int32_t h) {
  const auto n = static_cast<std::int32_t>(x.size());
  const long double angleStep = static_cast<long double>(2 * h) * kPi / n;
  const long double weight = static_cast<long double>(2.0f) / n;
  float re = 0;
  float im = 0;
  for (std::int32_t k = 0; k < n; ++k) {
    long double sine;
    long double cosine;
    ext::SinCos(angleStep * (k + 1), sine, cosine);
    re = static_cast<float>(re + cosine * weight * x[static_cast<std::size_t>(k)]);
    im = static_cast<float>(im + sine * weight * x[static_cast<std::size_t>(k)]);
  }
  return std::sqrt(static_cast<long double>(re) * re + static_cast<long double>(im) * im);
}

}  // namespace

void CalcRmsCurve(const RecordLayout& layout, std::span<const double> channel, std::span<double> rms) {
  const std::size_t count = std::min(rms.size(), static_cast<std::size_t>(layout.sampleCount));
  const std::int32_t m = layout.rmsCycle;
  if (count == 0 || m < 1) return;
  const auto square = [&](std::size_t j) {
    const double x = channel[static_cast<std::size_t>(layout.pointOf(static_cast<std::int64_t>(j)))];
    return x * x;
  };
  const auto cycle = static_cast<std::size_t>(m);
  const std::size_t firstCycle = std::min(count, cycle);
  double sum = 0;
  for (std::size_t n = 0; n < firstCycle; ++n) {
    sum += square(n);
    rms[n] = static_cast<double>(rootMean(sum, m));
  }
  // The rest block by block: the squares of a block and of the cycle before it.
  std::vector<double> squares(std::min(count, kRmsBlock + cycle - 1));
  for (std::size_t start = firstCycle; start < count; start += kRmsBlock) {
    const std::size_t end = std::min(count, start + kRmsBlock);
    const std::size_t from = start - (cycle - 1);
    for (std::size_t j = from; j < end; ++j) squares[j - from] = square(j);
    slidingSums(squares.data(), start - from, end - from, m, rms.data() + from);
  }
}

void CalcHarmonics(const RecordLayout& layout, std::span<const double> channel, std::span<double> values) {
  const std::int32_t n = layout.N1;
  const std::int32_t orders = n / 2;
  if (orders < 1) return;
  const auto f1 = static_cast<std::size_t>(layout.f1);
  if (channel.size() < (static_cast<std::size_t>(n) - 1) * f1 + 1) return;
  std::vector<double> x(static_cast<std::size_t>(n));
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = channel[k * f1];

  std::vector<long double> magnitudes(static_cast<std::size_t>(orders) + 1);
  ParallelFor(static_cast<std::size_t>(orders), std::max<std::size_t>(1, 20000 / x.size()),
              [&](std::size_t begin, std::size_t end) {
                for (std::size_t h = begin + 1; h <= end; ++h)
                  magnitudes[h] = harmonicMagnitude(x, static_cast<std::int32_t>(h));
              });
  const auto fundamental = static_cast<float>(magnitudes[1]);
  for (std::size_t h = 2; h <= static_cast<std::size_t>(orders) && h - 2 < values.size(); ++h)
    values[h - 2] = fundamental == 0.0f ? 0.0 : static_cast<float>(magnitudes[h] / fundamental * 100.0f);
}

void AnalyseRecord(RecordData& data) {
  const RecordLayout& layout = data.layout();
  if (layout.oneCycle) {
    if (data.analogCount() > 0) CalcHarmonics(layout, data.samples(0), data.harmonics());
    return;
  }
  const auto samples = static_cast<std::size_t>(std::max<std::int64_t>(layout.sampleCount, 1));
  const auto work = samples * static_cast<std::size_t>(layout.rmsCycle);
  ParallelFor(data.analogCount(), std::max<std::size_t>(1, 400000 / work), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) CalcRmsCurve(layout, data.samples(i), data.rms(i));
  });
}

}  // namespace wave
