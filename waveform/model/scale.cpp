#include "waveform/model/scale.h"

#include <cmath>
#include <limits>

#include "common/arith.h"
#include "recordmodel/record.h"

namespace wave {

double GetMaxAbsValue(std::span<const double> values) {
  bool started = false;
  double maxValue = 0;
  double minValue = 0;
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

std::int32_t RoundUpScale(double value) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (std::isnan(value) || value < 1) return 1;
  if (value < 100) return static_cast<std::int32_t>(common::Trunc(value)) + 1;
  const long double tens = static_cast<long double>(value) / 10 + 0.5L;
  if (tens >= kMax / 10) return kMax;
  return common::SaturateToInt32(static_cast<long double>(common::Round(tens)) * 10);
}

}  // namespace wave
