#pragma once
// Plot scales of channels and axes.

#include <cstdint>
#include <span>

namespace wave {

// The largest magnitude among the samples, skipping the no-value marker
// (kNoValueMarker); at least 0.05.
double GetMaxAbsValue(std::span<const double> values);

// A rounded axis limit: below 1 gives 1; below 100 gives Trunc(v) + 1; from 100
// on Round(v / 10 + 0.5) * 10 with halves to even. Saturates at the int32 limit.
std::int32_t RoundUpScale(double value);

}  // namespace wave
