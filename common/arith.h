#pragma once
// The arithmetic words used throughout the programs: Round halves to the even
// neighbour, Trunc cuts toward zero, div and mod truncate toward zero.

#include <cstdint>

namespace common {

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Throws std::range_error for NaN, infinities and values outside int64.
std::int64_t Round(long double value);

// Cuts toward zero. Throws std::range_error like Round.
std::int64_t Trunc(long double value);

// Integer division and remainder truncated toward zero; b must not be 0.
constexpr std::int64_t div(std::int64_t a, std::int64_t b) { return a / b; }
constexpr std::int64_t mod(std::int64_t a, std::int64_t b) { return a % b; }

// a * b / c computed in 64 bits and rounded to the nearest integer, halves away
// from zero; -1 when c is 0 or the result does not fit in 32 bits.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// Clamps a value to the int32 range (NaN gives 0); inside it, rounds like Round.
std::int32_t SaturateToInt32(long double value);

}  // namespace common
