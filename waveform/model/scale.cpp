#include "waveform/model/scale.h"

#include <cmath>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/arith.h"
#include "recordmodel/record.h"

namespace wave {

// The largest and the smallest value after the first one that is not the
// marker: m = v > m ? v : m and the like, two values at a time (what maxpd
// and minpd compute), so a NaN never replaces a value and a value never
// replaces a NaN that started the search.
double GetMaxAbsValue(std::span<const double> values) {
  std::size_t i = 0;
  while (i < values.size() && values[i] == kNoValueMarker) ++i;
  if (i == values.size()) return 0.05;
  double maxValue = values[i];
  double minValue = values[i];
  ++i;
#ifdef __SSE2__
  if (i + 2 <= values.size()) {
    const __m128d marker = _mm_set1_pd(kNoValueMarker);
    __m128d highest = _mm_set1_pd(maxValue);
    __m128d lowest = _mm_set1_pd(minValue);
    for (; i + 2 <= values.size(); i += 2) {
      const __m128d v = _mm_loadu_pd(&values[i]);
      const __m128d keep = _mm_cmpneq_pd(v, marker);
      highest = _mm_max_pd(_mm_or_pd(_mm_and_pd(keep, v), _mm_andnot_pd(keep, highest)), highest);
      lowest = _mm_min_pd(_mm_or_pd(_mm_and_pd(keep, v), _mm_andnot_pd(keep, lowest)), lowest);
    }
    double high[2], low[2];
    _mm_storeu_pd(high, highest);
    _mm_storeu_pd(low, lowest);
    maxValue = high[1] > high[0] ? high[1] : high[0];
    minValue = low[1] < low[0] ? low[1] : low[0];
  }
#endif
  for (; i < values.size(); ++i) {
    const double v = values[i];
    if (v == kNoValueMarker) continue;
    if (v > maxValue) maxValue = v;
    if (v < minValue) minValue = v;
  }
  const double result = std::fmax(std::fabs(maxValue), std::fabs(minValue));
  return result > 0.05 ? result : 0.05;
}

std::int32_t RoundUpScale(double value) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (std::isnan(value) || value < 1) return 1;
  if (value < 100) return static_cast<std::int32_t>(common::Trunc(value)) + 1;
  const long double tens = static_cast<long double>(value) / 10 + 0.5L;
  if (tens >= kMax / 10) return kMax;
  return common::SaturateToInt32(static_cast<long double>(common::Round(tens)) * 10);
}

}  // namespace wave
