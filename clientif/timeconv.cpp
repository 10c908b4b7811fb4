#include "clientif/timeconv.h"

namespace velk {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kYear = 365 * kDay;
constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

}  // namespace

std::int32_t SecondsSince1970(const SYSTEMTIME& time) {
  const int year = time.wYear == 0 ? 1970 : time.wYear;
  // A month or day out of range would index past the month table.
  if (year < 1970 || year > 2100 || time.wMonth > 12 || time.wDay > 31) return 0;
  std::int64_t days = (year - 1969) / 4;
  for (int m = 1; m < time.wMonth; ++m) days += kMonthDays[m - 1] + (m == 2 && isLeapYear(year) ? 1 : 0);
  if (time.wDay > 0) days += time.wDay - 1;
  const std::int64_t seconds = (year - 1970) * kYear + days * kDay + time.wHour * std::int64_t{3600} +
                               time.wMinute * std::int64_t{60} + time.wSecond;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(seconds & 0xFFFFFFFF));
}

void CalendarFromSeconds(std::uint32_t seconds, SYSTEMTIME& time) {
  constexpr std::uint32_t kCycle = static_cast<std::uint32_t>(4 * kYear + kDay);
  const std::uint32_t cycles = seconds / kCycle;
  std::uint32_t rest = seconds % kCycle;
  int yearInCycle = 0;
  for (; yearInCycle < 3; ++yearInCycle) {
    const std::uint32_t length = static_cast<std::uint32_t>(kYear + (yearInCycle == 2 ? kDay : 0));
    if (rest < length) break;
    rest -= length;
  }
  const bool leap = yearInCycle == 2;
  std::uint32_t dayOfYear = rest / kDay;
  const std::uint32_t secondOfDay = rest % kDay;
  int month = 0;
  for (; month < 11; ++month) {
    const std::uint32_t length = static_cast<std::uint32_t>(kMonthDays[month] + (month == 1 && leap ? 1 : 0));
    if (dayOfYear < length) break;
    dayOfYear -= length;
  }
  time.wYear = static_cast<std::uint16_t>(1970 + 4 * cycles + static_cast<std::uint32_t>(yearInCycle));
  time.wMonth = static_cast<std::uint16_t>(month + 1);
  time.wDay = static_cast<std::uint16_t>(dayOfYear + 1);
  time.wHour = static_cast<std::uint16_t>(secondOfDay / 3600);
  time.wMinute = static_cast<std::uint16_t>(secondOfDay % 3600 / 60);
  time.wSecond = static_cast<std::uint16_t>(secondOfDay % 60);
}

}  // namespace velk
