#include "waveform/view/value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

namespace wave {

namespace {

constexpr int kSignificant = 17;

// Digits d0 d1 ... d16 and the exponent e of |value| = d0.d1...d16 * 10^e.
void scientific(double magnitude, std::string& digits, int& exponent) {
  char buf[48];
  const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, kSignificant - 1);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t e = text.find('e');
  digits.assign(1, text[0]);
  digits.append(text.substr(2, e - 2));
  std::string_view power = text.substr(e + 1);
  const bool negative = power.front() == '-';
  if (power.front() == '+' || power.front() == '-') power.remove_prefix(1);
  int value = 0;
  std::from_chars(power.data(), power.data() + power.size(), value);
  exponent = negative ? -value : value;
}

// Adds one at the last digit; true when the carry runs out of the front.
bool roundUp(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return false;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
  return true;
}

std::string fixed(double value, int decimals) {
  std::string digits;
  int exponent = 0;
  scientific(std::fabs(value), digits, exponent);
  int whole = exponent + 1;  // digits before the decimal point
  const int keep = whole + decimals;
  std::string kept;
  if (keep < 0) {
    kept.assign(static_cast<std::size_t>(1 + decimals), '0');
    whole = 1;
  } else {
    kept = digits.substr(0, static_cast<std::size_t>(std::min(keep, kSignificant)));
    if (keep > kSignificant) kept.append(static_cast<std::size_t>(keep - kSignificant), '0');
    if (keep < kSignificant && digits[static_cast<std::size_t>(keep)] >= '5' && roundUp(kept)) ++whole;
    if (whole <= 0) {
      kept.insert(0, static_cast<std::size_t>(1 - whole), '0');
      whole = 1;
    }
  }
  std::string out = kept.substr(0, static_cast<std::size_t>(whole));
  if (decimals > 0) {
    out.push_back('.');
    out.append(kept, static_cast<std::size_t>(whole));
  }
  if (std::signbit(value) && kept.find_first_not_of('0') != std::string::npos) out.insert(out.begin(), '-');
  return out;
}

}  // namespace

std::string FormatFixed(double value, int width, int decimals) {
  std::string out;
  if (std::isnan(value))
    out = "NAN";
  else if (std::isinf(value))
    out = value < 0 ? "-INF" : "INF";
  else
    out = fixed(value, std::max(0, decimals));
  if (static_cast<int>(out.size()) < width) out.insert(0, static_cast<std::size_t>(width) - out.size(), ' ');
  return out;
}

}  // namespace wave
