#pragma once
// Date-times as days since 1899-12-30 in a double (the fraction is the time of day).

#include <optional>
#include <string>
#include <string_view>

namespace common {

using TDateTime = double;

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Empty when a part is out of range (month 1-12, day of that month, hour 0-23,
// minute and second 0-59, millisecond 0-999, year 1-9999).
std::optional<TDateTime> EncodeDateTime(const DateTimeParts& parts);
// Rounded to the nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime value);

// Formats with the patterns the programs use: yyyy, yy, mm, m, dd, d, hh, h,
// nn, n, ss, s, zzz, z, and literal text in "double" or 'single' quotes.
// "mm" right after "hh"/"h" means minutes. Every other character stands as it is.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

enum class DateOrder { DayMonthYear, MonthDayYear };

// Parses "<date> <time>" with "/" between the date parts in the given order and
// the time "hh:nn[:ss[.fraction]]"; the time may be left out. A date without
// its year ("dd/mm") is in the current year; a two-digit year falls within 50
// years of now (in the past or the future). The fraction is read as a decimal
// part of a second, to the millisecond.
std::optional<TDateTime> ParseDateTime(std::string_view text, DateOrder order);
// The same with the current year given (for tests).
std::optional<TDateTime> ParseDateTime(std::string_view text, DateOrder order, int currentYear);

// The current local time.
TDateTime NowLocal();

}  // namespace common
