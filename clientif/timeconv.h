#pragma once
// Calendar time and seconds since 1970-01-01 00:00:00, without time zones.

#include <cstdint>

#include "clientif/velklog2.h"

namespace velk {

// rchtime: 0 for a year outside 1970..2100 (year 0 counts as 1970), a month
// above 12 or a day above 31. Milliseconds and the day of the week are not
// used. Past 2038 the result wraps as a 32-bit value.
std::int32_t SecondsSince1970(const SYSTEMTIME& time);

// chtime: fills year, month, day, hour, minute and second; the day of the
// week and the milliseconds stay as they were. Every fourth year from 1972 on
// is a leap year (2100 included).
void CalendarFromSeconds(std::uint32_t seconds, SYSTEMTIME& time);

}  // namespace velk
