#include "common/arith.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace common {
namespace {

// 2^63 is exact in long double; int64 holds [-2^63, 2^63).
constexpr long double kTwoPow63 = 9223372036854775808.0L;

std::int64_t checkedInt64(long double integral) {
  if (!(integral >= -kTwoPow63 && integral < kTwoPow63))  // also false for NaN
    throw std::range_error("Invalid floating point operation");
  return static_cast<std::int64_t>(integral);
}

}  // namespace

std::int64_t Round(long double value) {
  // The default rounding mode rounds halves to the even neighbour.
  return checkedInt64(std::nearbyint(value));
}

std::int64_t Trunc(long double value) { return checkedInt64(std::trunc(value)); }

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return -1;
  const std::int64_t product = std::int64_t{a} * b;
  std::int64_t quotient = product / c;
  const std::int64_t remainder = product % c;
  // Halves away from zero: |remainder| * 2 >= |c| moves one step outward.
  if (2 * std::abs(remainder) >= std::abs(std::int64_t{c})) quotient += ((product < 0) != (c < 0)) ? -1 : 1;
  if (quotient < std::numeric_limits<std::int32_t>::min() || quotient > std::numeric_limits<std::int32_t>::max())
    return -1;
  return static_cast<std::int32_t>(quotient);
}

std::int32_t SaturateToInt32(long double value) {
  if (std::isnan(value)) return 0;
  constexpr long double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr long double kMax = std::numeric_limits<std::int32_t>::max();
  if (value <= kMin) return std::numeric_limits<std::int32_t>::min();
  if (value >= kMax) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::nearbyint(value));
}

}  // namespace common
