#pragma once
// Trigonometry in extended precision. On x86 the FPU's own instructions do it
// (FSIN, FCOS, FSINCOS, FPTAN, FPATAN): several times faster than the C
// library's long double functions, and the arithmetic these computations were
// defined with. Elsewhere the C library stands in.

#include <cmath>

namespace wave::ext {

#if defined(__x86_64__) || defined(__i386__)

// The instructions take arguments below 2^63 in magnitude; the analysis never
// comes near that, but anything larger goes to the library.
inline bool inFpuRange(long double x) { return std::fabs(x) < 0x1p62L; }

inline long double Sin(long double x) {
  if (!inFpuRange(x)) return std::sin(x);
  long double result;
  __asm__("fsin" : "=t"(result) : "0"(x));
  return result;
}

inline long double Cos(long double x) {
  if (!inFpuRange(x)) return std::cos(x);
  long double result;
  __asm__("fcos" : "=t"(result) : "0"(x));
  return result;
}

inline void SinCos(long double x, long double& sine, long double& cosine) {
  if (!inFpuRange(x)) {
    sine = std::sin(x);
    cosine = std::cos(x);
    return;
  }
  __asm__("fsincos" : "=t"(cosine), "=u"(sine) : "0"(x));
}

inline long double Tan(long double x) {
  if (!inFpuRange(x)) return std::tan(x);
  long double result;
  __asm__("fptan\n\tfstp %%st(0)" : "=t"(result) : "0"(x));
  return result;
}

// The angle of (x, y), as atan2(y, x).
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
