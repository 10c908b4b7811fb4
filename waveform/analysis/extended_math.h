#pragma once
// Trigonometry in extended precision. On x86 the FPU's own instructions do it
// (FSIN, FCOS, FSINCOS, FPTAN, FPATAN) on arguments reduced beforehand: several
// times faster than the C library's long double functions, with the same
// results to an ulp. Elsewhere the C library stands in.

#include <cmath>
#include <cstdint>
#include <cstring>

namespace wave::ext {

#if defined(__x86_64__) || defined(__i386__)

namespace detail {

// The FPU's instructions reduce their argument with a 66-bit pi, which is far
// off near multiples of pi (sin 6.2831852 keeps 13 of its 19 digits, sin of
// pi as a double 6). So the argument is reduced here against pi/2 split into three parts
// (the first two short enough that n times them is exact), and the FPU only
// ever sees |r| <= pi/4, where it is exact to an ulp.
inline constexpr long double kTwoOverPi = 0x1.45f306dc9c882a54p-1L;
inline constexpr long double kHalfPi1 = 0x1.921fb54442p0L;
inline constexpr long double kHalfPi2 = 0x1.a308d31318p-41L;
inline constexpr long double kHalfPi3 = 0x1.8a2e03707344a40ap-81L;
// Beyond this n * kHalfPi1 is no longer exact; the library takes over.
inline constexpr long double kReduceLimit = 0x1p22L;
inline constexpr long double kQuarterPi = 0x1.921fb54442d1846ap-1L;
inline constexpr long double kRoundShift = 0x1.8p63L;

struct Reduced {
  long double r;       // x - n * pi/2
  unsigned quadrant;   // n mod 4
};

// False for arguments too large (or not numbers) to reduce here.
inline bool Reduce(long double x, Reduced& out) {
  if (std::fabs(x) <= kQuarterPi) {
    out = {x, 0};
    return true;
  }
  if (!(std::fabs(x) <= kReduceLimit)) return false;
  // n = x * 2/pi rounded to an integer. After adding 1.5 * 2^63 the extended
  // format keeps no fraction bits, and the low bits of its significand are n
  // mod 4: no conversion to an integer, which would switch the FPU's rounding
  // mode there and back (slower than the sine itself).
  const long double shifted = x * kTwoOverPi + kRoundShift;
  const long double n = shifted - kRoundShift;
  std::uint64_t significand = 0;
  std::memcpy(&significand, &shifted, sizeof significand);
  out.r = ((x - n * kHalfPi1) - n * kHalfPi2) - n * kHalfPi3;
  out.quadrant = static_cast<unsigned>(significand & 3u);
  return true;
}

inline long double FpuSin(long double r) {
  long double result;
  __asm__("fsin" : "=t"(result) : "0"(r));
  return result;
}

inline long double FpuCos(long double r) {
  long double result;
  __asm__("fcos" : "=t"(result) : "0"(r));
  return result;
}

inline void FpuSinCos(long double r, long double& sine, long double& cosine) {
  __asm__("fsincos" : "=t"(cosine), "=u"(sine) : "0"(r));
}

inline long double FpuTan(long double r) {
  long double result;
  __asm__("fptan\n\tfstp %%st(0)" : "=t"(result) : "0"(r));
  return result;
}

}  // namespace detail

inline void SinCos(long double x, long double& sine, long double& cosine) {
  detail::Reduced reduced;
  if (!detail::Reduce(x, reduced)) {
    sine = std::sin(x);
    cosine = std::cos(x);
    return;
  }
  long double s;
  long double c;
  detail::FpuSinCos(reduced.r, s, c);
  switch (reduced.quadrant) {
    case 0: sine = s; cosine = c; break;
    case 1: sine = c; cosine = -s; break;
    case 2: sine = -s; cosine = -c; break;
    default: sine = -c; cosine = s; break;
  }
}

inline long double Sin(long double x) {
  detail::Reduced reduced;
  if (!detail::Reduce(x, reduced)) return std::sin(x);
  switch (reduced.quadrant) {
    case 0: return detail::FpuSin(reduced.r);
    case 1: return detail::FpuCos(reduced.r);
    case 2: return -detail::FpuSin(reduced.r);
    default: return -detail::FpuCos(reduced.r);
  }
}

inline long double Cos(long double x) {
  detail::Reduced reduced;
  if (!detail::Reduce(x, reduced)) return std::cos(x);
  switch (reduced.quadrant) {
    case 0: return detail::FpuCos(reduced.r);
    case 1: return -detail::FpuSin(reduced.r);
    case 2: return -detail::FpuCos(reduced.r);
    default: return detail::FpuSin(reduced.r);
  }
}

inline long double Tan(long double x) {
  detail::Reduced reduced;
  if (!detail::Reduce(x, reduced)) return std::tan(x);
  const long double t = detail::FpuTan(reduced.r);
  return (reduced.quadrant & 1u) ? -1 / t : t;
}

// The angle of (x, y), as atan2(y, x). The instruction takes any arguments and
// needs no reduction.
inline long double ArcTan2(long double y, long double x) {
  long double result;
  __asm__("fpatan" : "=t"(result) : "0"(x), "u"(y) : "st(1)");
  return result;
}

#else

inline long double Sin(long double x) { return std::sin(x); }
inline long double Cos(long double x) { return std::cos(x); }
inline void SinCos(long double x, long double& sine, long double& cosine) {
  sine = std::sin(x);
  cosine = std::cos(x);
}
inline long double Tan(long double x) { return std::tan(x); }
inline long double ArcTan2(long double y, long double x) { return std::atan2(y, x); }

#endif

// arcsin x for x in [-1, 1], as the angle of (sqrt(1 - x^2), x).
inline long double ArcSin(long double x) { return ArcTan2(x, std::sqrt(1 - x * x)); }

}  // namespace wave::ext
