#include "common/datetime.h"

#include <gtest/gtest.h>

namespace common {
namespace {

constexpr std::string_view kFull = "yyyy/mm/dd hh:nn:ss.zzz";

TEST(DateTime, EncodeGivesDaysSince18991230) {
  struct Case {
    DateTimeParts parts;
    double expected;
  };
  const Case cases[] = {{{1899, 12, 30}, 0.0},
                        {{1899, 12, 29, 6}, -1.25},  // the time counts forward from the date
                        {{1899, 12, 30, 18}, 0.75},
                        {{1900, 1, 1}, 2.0},
                        {{2000, 1, 1, 12}, 36526.5},
                        {{1, 1, 1}, -693593.0},
                        {{9999, 12, 31}, 2958465.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ASSERT_TRUE(EncodeDateTime(c.parts).has_value());
    EXPECT_DOUBLE_EQ(*EncodeDateTime(c.parts), c.expected);
    EXPECT_EQ(FormatDateTime(kFull, c.expected),
              FormatDateTime(kFull, *EncodeDateTime(c.parts)));
  }
  EXPECT_EQ(FormatDateTime(kFull, -1.25), "1899/12/29 06:00:00.000");
  EXPECT_EQ(FormatDateTime(kFull, -0.25), "1899/12/30 06:00:00.000");
}

TEST(DateTime, EncodeRejectsPartsOutOfRange) {
  const DateTimeParts bad[] = {{0, 1, 1},           {10000, 1, 1},           {2024, 13, 1}, {2024, 0, 1},
                               {1900, 2, 29},       {2023, 4, 31},           {2024, 1, 0},  {2024, 1, 1, 24},
                               {2024, 1, 1, 0, 60}, {2024, 1, 1, 0, 0, 60}, {2024, 1, 1, 0, 0, 0, 1000}};
  for (const DateTimeParts& p : bad) {
    SCOPED_TRACE(testing::Message() << p.year << "-" << p.month << "-" << p.day << " " << p.hour << ":" << p.minute
                                    << ":" << p.second << "." << p.millisecond);
    EXPECT_FALSE(EncodeDateTime(p).has_value());
  }
  EXPECT_TRUE(EncodeDateTime({2000, 2, 29}).has_value());
}

TEST(DateTime, DecodeRoundTripsToTheMillisecond) {
  const DateTimeParts cases[] = {{2024, 3, 5, 7, 8, 9, 12}, {1899, 12, 29, 23, 59, 59, 999}, {1850, 6, 15, 0, 0, 0, 1},
                                 {1999, 12, 31, 23, 59, 59, 999}, {2000, 2, 29, 12, 0, 0, 500}, {1, 1, 1, 0, 0, 0, 0},
                                 {9999, 12, 31, 23, 59, 59, 999}};
  for (const DateTimeParts& p : cases) {
    const DateTimeParts d = DecodeDateTime(*EncodeDateTime(p));
    SCOPED_TRACE(FormatDateTime(kFull, *EncodeDateTime(p)));
    EXPECT_EQ(std::tie(d.year, d.month, d.day, d.hour, d.minute, d.second, d.millisecond),
              std::tie(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
  }
  // Half a millisecond before midnight rounds into the next day.
  EXPECT_EQ(FormatDateTime(kFull, 1.0 - 0.4 / 86'400'000), "1899/12/31 00:00:00.000");
  EXPECT_EQ(FormatDateTime(kFull, 1e300), "9999/12/31 23:59:59.999");
  EXPECT_EQ(FormatDateTime(kFull, std::numeric_limits<double>::quiet_NaN()), "1899/12/30 00:00:00.000");
}

TEST(DateTime, FormatPatterns) {
  const TDateTime value = *EncodeDateTime({2024, 3, 5, 7, 8, 9, 12});
  struct Case {
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {{"yyyy/mm/dd hh:nn:ss.zzz", "2024/03/05 07:08:09.012"},
                        {"yyyy/mm/dd hh:nn:ss", "2024/03/05 07:08:09"},
                        {"yyyymmddhhnnsszzz", "20240305070809012"},
                        {"yy/m/d h:n:s.z", "24/3/5 7:8:9.12"},
                        {"hh:mm", "07:08"},  // minutes right after the hour
                        {"mm hh mm", "03 07 08"},
                        {"YYYY-MM-DD", "2024-03-05"},
                        {"'yyyy'\"mm\"yyyy", "yyyymm2024"},
                        {"[yyyy] 'open", "[2024] open"},
                        {"", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDateTime(c.pattern, value), c.expected);
  }
}

TEST(DateTime, ParseDateTime) {
  struct Case {
    const char* text;
    DateOrder order;
    const char* expected;  // nullptr: refused
  };
  constexpr auto DMY = DateOrder::DayMonthYear;
  constexpr auto MDY = DateOrder::MonthDayYear;
  const Case cases[] = {
      {"05/03/2024 07:08:09.5", DMY, "2024/03/05 07:08:09.500"},
      {"05/03/2024 07:08:09.5", MDY, "2024/05/03 07:08:09.500"},
      {"05/03/2024 07:08:09.123456", DMY, "2024/03/05 07:08:09.123"},
      {"05/03/2024 07:08:09.0129", DMY, "2024/03/05 07:08:09.012"},
      {"5/3/2024 7:08", DMY, "2024/03/05 07:08:00.000"},
      {"  05/03/2024   07:08:09  ", DMY, "2024/03/05 07:08:09.000"},
      {"05/03/2024", DMY, "2024/03/05 00:00:00.000"},
      {"05/03/91 01:02:03", DMY, "1991/03/05 01:02:03.000"},
      {"05/03/75", DMY, "1975/03/05 00:00:00.000"},  // 50 years back from 2025
      {"05/03/74", DMY, "2074/03/05 00:00:00.000"},
      {"05/03/0091", DMY, "0091/03/05 00:00:00.000"},
      {"02/29/2024", MDY, "2024/02/29 00:00:00.000"},
      {"13/05/2024", MDY, nullptr},
      {"29/02/2023", DMY, nullptr},
      {"", DMY, nullptr},
      {"05/03", DMY, "2025/03/05 00:00:00.000"},  // no year: the current one
      {"05/03", MDY, "2025/05/03 00:00:00.000"},
      {"05/03 07:08:09.5", DMY, "2025/03/05 07:08:09.500"},
      {"29/02", DMY, nullptr},  // 2025 has no 29 February
      {"05/03/", DMY, nullptr},
      {"05/03/ 07:08", DMY, nullptr},
      {"05-03-2024", DMY, nullptr},
      {"05/03/2024 7", DMY, nullptr},
      {"05/03/2024 07:08:", DMY, nullptr},
      {"05/03/2024 07:08:09.", DMY, nullptr},
      {"05/03/2024 24:00:00", DMY, nullptr},
      {"05/03/2024 07:60", DMY, nullptr},
      {"05/03/2024x", DMY, nullptr},
      {"05/03/2024 07:08:09 x", DMY, nullptr},
      {"005/03/2024", DMY, nullptr},
      {"05/03/20245", DMY, nullptr},
      {"05/03/202407:08", DMY, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<TDateTime> parsed = ParseDateTime(c.text, c.order, 2025);
    ASSERT_EQ(parsed.has_value(), c.expected != nullptr);
    if (parsed) {
      EXPECT_EQ(FormatDateTime(kFull, *parsed), c.expected);
    }
  }
}

TEST(DateTime, NowLocalIsARecentDate) {
  EXPECT_GE(DecodeDateTime(NowLocal()).year, 2024);
  EXPECT_TRUE(ParseDateTime("01/01/99", DateOrder::DayMonthYear).has_value());
}

}  // namespace
}  // namespace common
