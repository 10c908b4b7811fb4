#include "waveform/analysis/extended_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace wave {
namespace {

// Within a few ulps of the C library's long double functions, which reduce
// their arguments exactly.
void expectClose(long double value, long double expected, const char* what, long double x) {
  const long double tolerance = 1e-18L * std::fabs(expected) + 1e-4930L;
  EXPECT_LE(std::fabs(value - expected), tolerance)
      << what << '(' << static_cast<double>(x) << "): " << static_cast<double>(value) << " against "
      << static_cast<double>(expected) << ", relative error "
      << static_cast<double>(std::fabs(value - expected) / std::fabs(expected));
}

TEST(ExtendedMath, ExactNearMultiplesOfHalfPiAndForLargeArguments) {
  const long double arguments[] = {
      0.0L,
      1e-10L,
      0.5L,
      0.785398163397448309616L,  // pi/4
      1.5707963L,                // the angle between samples at 4 per cycle
      2.0943950666666667L,       // at 3 per cycle
      3.1415926L,                // at 2 per cycle, and the start phase of a fill
      3.14159265358979323851L,   // pi as a long double
      4.71238898038468985769L,   // 3 pi/2
      6.2831852L,                // at 1 per cycle
      6.2831852L + 3.1415926L,   // a phase grown past 2 pi
      -3.1415926L,
      -6.2831852L,
      100.0L * 3.1415926L,
      12566.3704L,  // the last angle of the transform of 4000 samples
      4000.0L * 3.14159265358979323851L,
      1e7L,  // beyond the reduction: the library's own
  };
  for (const long double x : arguments) {
    expectClose(ext::Sin(x), std::sin(x), "sin", x);
    expectClose(ext::Cos(x), std::cos(x), "cos", x);
    expectClose(ext::Tan(x), std::tan(x), "tan", x);
    long double sine = 0;
    long double cosine = 0;
    ext::SinCos(x, sine, cosine);
    expectClose(sine, std::sin(x), "sincos, sine", x);
    expectClose(cosine, std::cos(x), "sincos, cosine", x);
  }
}

TEST(ExtendedMath, ArcTangentAndArcSine) {
  struct Case {
    long double y, x;
  };
  const Case cases[] = {{1, 1}, {1, 0}, {-1, 0}, {1e-30L, 1}, {-3, 1e-20L}, {2, -5}, {-2, -5}};
  for (const auto& c : cases) expectClose(ext::ArcTan2(c.y, c.x), std::atan2(c.y, c.x), "atan2", c.y);
  for (const long double x : {-1.0L, -0.5L, 0.0L, 1e-12L, 0.7L, 1.0L}) expectClose(ext::ArcSin(x), std::asin(x), "asin", x);
}

}  // namespace
}  // namespace wave
