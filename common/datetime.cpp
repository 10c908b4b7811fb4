#include "common/datetime.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace common {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const std::int64_t kEpochDays = daysFromCivil(1899, 12, 30);
const std::int64_t kFirstDay = daysFromCivil(1, 1, 1) - kEpochDays;
const std::int64_t kLastDay = daysFromCivil(9999, 12, 31) - kEpochDays;

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && isLeapYear(y)) ? 29 : kDays[m - 1];
}

}  // namespace

std::optional<TDateTime> EncodeDateTime(const DateTimeParts& p) {
  if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > daysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 ||
      p.second < 0 || p.second > 59 || p.millisecond < 0 || p.millisecond > 999)
    return std::nullopt;
  const auto days = static_cast<double>(daysFromCivil(p.year, p.month, p.day) - kEpochDays);
  const double time =
      static_cast<double>(((p.hour * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond) / kMsPerDay;
  // Before the epoch the time of day still counts forward from the date: -1.25 is 1899-12-29 06:00.
  return days >= 0 ? days + time : days - time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  if (std::isnan(value)) value = 0;
  const double clamped = std::fmax(static_cast<double>(kFirstDay), std::fmin(value, static_cast<double>(kLastDay + 1)));
  std::int64_t days = static_cast<std::int64_t>(std::trunc(clamped));
  std::int64_t ms = std::llround(std::fabs(clamped - std::trunc(clamped)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ++days;
    ms = 0;
  }
  if (days > kLastDay) {
    days = kLastDay;
    ms = kMsPerDay - 1;
  }
  DateTimeParts parts;
  civilFromDays(days + kEpochDays, parts.year, parts.month, parts.day);
  parts.millisecond = static_cast<int>(ms % 1000);
  parts.second = static_cast<int>(ms / 1000 % 60);
  parts.minute = static_cast<int>(ms / 60'000 % 60);
  parts.hour = static_cast<int>(ms / 3'600'000);
  return parts;
}

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void appendNumber(std::string& out, int value, int width) { fmt::format_to(std::back_inserter(out), "{:0{}}", value, width); }

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  char lastToken = 0;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = pattern.find(c, i + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(i + 1, end - i - 1));
      i = close == std::string_view::npos ? end : end + 1;
      continue;
    }
    char token = upperAscii(c);
    if (token != 'Y' && token != 'M' && token != 'D' && token != 'H' && token != 'N' && token != 'S' && token != 'Z') {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t count = 1;
    while (i + count < pattern.size() && upperAscii(pattern[i + count]) == token) ++count;
    if (token == 'Y' || token == 'Z') {
      i += count;  // the whole run is one specifier
    } else {
      count = std::min<std::size_t>(count, 2);
      i += count;
    }
    if (token == 'M' && lastToken == 'H') token = 'N';
    lastToken = token;
    const int width = count >= 2 ? 2 : 1;
    switch (token) {
      case 'Y': appendNumber(out, count <= 2 ? p.year % 100 : p.year, count <= 2 ? 2 : 4); break;
      case 'M': appendNumber(out, p.month, width); break;
      case 'D': appendNumber(out, p.day, width); break;
      case 'H': appendNumber(out, p.hour, width); break;
      case 'N': appendNumber(out, p.minute, width); break;
      case 'S': appendNumber(out, p.second, width); break;
      case 'Z': appendNumber(out, p.millisecond, count <= 2 ? 1 : 3); break;
      default: break;
    }
  }
  return out;
}

namespace {

// A small cursor over the text being parsed.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // True when there was at least one blank.
  bool skipBlanks() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ != start;
  }
  bool atEnd() const { return pos_ == text_.size(); }
  bool take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Up to maxDigits decimal digits (at least one); the count read goes to digits.
  bool number(int& value, int maxDigits, int* digits = nullptr) {
    int n = 0;
    value = 0;
    while (pos_ < text_.size() && n < maxDigits && text_[pos_] >= '0' && text_[pos_] <= '9') {
      value = value * 10 + (text_[pos_++] - '0');
      ++n;
    }
    if (digits != nullptr) *digits = n;
    return n > 0;
  }
  // A decimal fraction of a second, cut to the millisecond; any number of digits.
  bool fraction(int& ms) {
    int n = 0;
    ms = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      if (n < 3) ms = ms * 10 + (text_[pos_] - '0');
      ++pos_;
      ++n;
    }
    for (int k = n; k < 3; ++k) ms *= 10;
    return n > 0;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

int windowedYear(int twoDigitYear, int currentYear) {
  const int base = currentYear - 50;
  int year = twoDigitYear + base / 100 * 100;
  if (year < base) year += 100;
  return year;
}

bool parseDate(Scanner& s, DateOrder order, int currentYear, DateTimeParts& parts) {
  int first = 0, second = 0, year = 0, yearDigits = 0;
  if (!s.number(first, 2) || !s.take('/') || !s.number(second, 2)) return false;
  parts.day = order == DateOrder::DayMonthYear ? first : second;
  parts.month = order == DateOrder::DayMonthYear ? second : first;
  if (!s.take('/')) {
    parts.year = currentYear;  // a date without its year is one of this year
    return true;
  }
  if (!s.number(year, 4, &yearDigits)) return false;
  parts.year = yearDigits <= 2 ? windowedYear(year, currentYear) : year;
  return true;
}

bool parseTime(Scanner& s, DateTimeParts& parts) {
  if (!s.number(parts.hour, 2) || !s.take(':') || !s.number(parts.minute, 2)) return false;
  if (!s.take(':')) return true;
  if (!s.number(parts.second, 2)) return false;
  if (!s.take('.')) return true;
  return s.fraction(parts.millisecond);
}

}  // namespace

std::optional<TDateTime> ParseDateTime(std::string_view text, DateOrder order, int currentYear) {
  Scanner s(text);
  DateTimeParts parts;
  s.skipBlanks();
  if (!parseDate(s, order, currentYear, parts)) return std::nullopt;
  const bool blank = s.skipBlanks();
  if (!s.atEnd() && !(blank && parseTime(s, parts))) return std::nullopt;
  s.skipBlanks();
  if (!s.atEnd()) return std::nullopt;
  return EncodeDateTime(parts);
}

std::optional<TDateTime> ParseDateTime(std::string_view text, DateOrder order) {
  return ParseDateTime(text, order, DecodeDateTime(NowLocal()).year);
}

TDateTime NowLocal() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  DateTimeParts parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = std::min(local.tm_sec, 59);  // a leap second shows as :59
  parts.millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
  return EncodeDateTime(parts).value_or(0.0);
}

}  // namespace common
