#include "common/strings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace common {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view skipLeadingSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// Decimal digits up to 2^31; hexadecimal digits as a 32-bit pattern (so "$FFFFFFFF" is -1).
bool parseMagnitude(std::string_view digits, bool hex, std::uint64_t& magnitude) {
  if (digits.empty()) return false;
  magnitude = 0;
  for (char c : digits) {
    const int d = hex ? hexValue(c) : (isDigit(c) ? c - '0' : -1);
    if (d < 0) return false;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    if (magnitude > 0xFFFFFFFFull) return false;
  }
  return true;
}

// For a number out of range of double: whether its decimal order of magnitude is negative.
bool isUnderflow(std::string_view number) {
  std::size_t i = 0;
  std::int64_t order = -1;
  bool seenNonZero = false;
  for (; i < number.size() && isDigit(number[i]); ++i)
    if (seenNonZero || number[i] != '0') seenNonZero = true, ++order;
  if (i < number.size() && number[i] == '.') {
    for (++i; !seenNonZero && i < number.size() && isDigit(number[i]); ++i) {
      if (number[i] != '0') seenNonZero = true;
      else --order;
    }
    while (i < number.size() && isDigit(number[i])) ++i;
  }
  std::int64_t exponent = 0;
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
    for (; i < number.size(); ++i) exponent = std::min<std::int64_t>(exponent * 10 + (number[i] - '0'), 1'000'000'000);
    if (negative) exponent = -exponent;
  }
  return order + exponent < 0;
}

}  // namespace

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::string_view rest = skipLeadingSpaces(text);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  bool hex = false;
  if (!rest.empty() && rest.front() == '$') {
    hex = true;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    rest.remove_prefix(2);
  }
  std::uint64_t magnitude = 0;
  if (!parseMagnitude(rest, hex, magnitude)) return false;
  std::int64_t result = 0;
  if (hex) {
    result = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
  } else {
    if (magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
    result = static_cast<std::int64_t>(magnitude);
  }
  value = static_cast<std::int32_t>(negative ? -result : result);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) throw ConvertError("'" + std::string(text) + "' is not a valid integer value");
  return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  std::int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

bool TryStrToFloat(std::string_view text, double& value) {
  std::string_view rest = text;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  while (!rest.empty() && rest.back() == ' ') rest.remove_suffix(1);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  // Check the shape ourselves: from_chars would also take "inf", "nan" and hexadecimal.
  std::size_t i = 0;
  std::size_t mantissaDigits = 0;
  while (i < rest.size() && isDigit(rest[i])) ++i, ++mantissaDigits;
  if (i < rest.size() && rest[i] == '.') {
    ++i;
    while (i < rest.size() && isDigit(rest[i])) ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < rest.size() && (rest[i] == 'e' || rest[i] == 'E')) {
    ++i;
    if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) ++i;
    const std::size_t exponentStart = i;
    while (i < rest.size() && isDigit(rest[i])) ++i;
    if (i == exponentStart) return false;
  }
  if (i != rest.size()) return false;
  double parsed = 0;
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), parsed);
  if (end != rest.data() + rest.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    if (!isUnderflow(rest)) return false;
    parsed = 0;  // too small reads as zero; too large is not a value
  } else if (ec != std::errc() || !std::isfinite(parsed)) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

double StrToFloat(std::string_view text) {
  double value = 0;
  if (!TryStrToFloat(text, value))
    throw ConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
  while (!text.empty() && isTrimmed(text.back())) text.remove_suffix(1);
  return text;
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::string UpperCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), upperAscii);
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = static_cast<unsigned char>(upperAscii(a[i]));
    const int cb = static_cast<unsigned char>(upperAscii(b[i]));
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

}  // namespace common
