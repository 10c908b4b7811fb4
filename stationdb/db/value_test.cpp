#include "stationdb/db/value.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "stationdb/db/error.h"

namespace db {
namespace {

common::TDateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return common::EncodeDateTime({y, mo, d, h, mi, s, ms}).value();
}

struct IntCase {
  const char* name;
  Value value;
  std::int64_t expected;
};

TEST(ValueTest, ConvertsToIntegers) {
  const IntCase cases[] = {
      {"null is 0", Value(), 0},
      {"integer", Value::integer(-5), -5},
      {"true", Value::boolean(true), 1},
      {"double halves to even", Value::real(2.5), 2},
      {"text with blanks", Value::text(" 42 "), 42},
      {"text with plus", Value::text("+7"), 7},
      {"beyond 32 bits", Value::integer(0x1'0000'0001LL), 0x1'0000'0001LL},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.asInt64(), c.expected) << c.name;
}

TEST(ValueTest, ImpossibleConversionsRaise) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"text to int", [] { (void)Value::text("12x").asInt64(); }},
      {"bytes to int", [] { (void)Value::bytes({1}).asInt64(); }},
      {"int32 range", [] { (void)Value::integer(0x8000'0000LL).asInt32(); }},
      {"date to int", [] { (void)Value::dateTime(1).asInt64(); }},
      {"text to date", [] { (void)Value::text("yesterday").asDateTime(); }},
      {"integer to bytes", [] { (void)Value::integer(1).asBytes(); }},
      {"text to bool", [] { (void)Value::text("maybe").asBool(); }},
  };
  for (const auto& [name, convert] : cases) EXPECT_THROW(convert(), Error) << name;
}

TEST(ValueTest, ConvertsToTextsAndDates) {
  EXPECT_EQ(Value().asText(), "");
  EXPECT_EQ(Value::integer(-3).asText(), "-3");
  EXPECT_EQ(Value::real(0.5).asText(), "0.5");
  EXPECT_EQ(Value::dateTime(dt(2024, 2, 29, 13, 5, 9, 7)).asText(), "2024-02-29 13:05:09.007");
  EXPECT_EQ(Value::bytes({'a', 0, 'b'}).asText(), std::string("a\0b", 3));
  EXPECT_DOUBLE_EQ(Value::text("2024-02-29 13:05:09.007").asDateTime(), dt(2024, 2, 29, 13, 5, 9, 7));
  EXPECT_DOUBLE_EQ(Value::real(45000.25).asDateTime(), 45000.25);
  EXPECT_EQ(Value::text("ab").asBytes(), (Bytes{'a', 'b'}));
}

TEST(ValueTest, ParsesIsoDateTimes) {
  const std::pair<const char*, std::optional<common::TDateTime>> cases[] = {
      {"2001-02-03", dt(2001, 2, 3)},
      {"2001/02/03 04:05", dt(2001, 2, 3, 4, 5)},
      {"2001-02-03T04:05:06", dt(2001, 2, 3, 4, 5, 6)},
      {"2001-02-03 04:05:06.5", dt(2001, 2, 3, 4, 5, 6, 500)},
      {"2001-02-03 04:05:06.123456", dt(2001, 2, 3, 4, 5, 6, 123)},
      {"2001-02-30", std::nullopt},
      {"2001-02-03 04", std::nullopt},
      {"2001-02-03 04:05:06.", std::nullopt},
      {"2001-2-3", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    common::TDateTime value = -1;
    EXPECT_EQ(ParseIsoDateTime(text, value), expected.has_value()) << text;
    if (expected) {
      EXPECT_DOUBLE_EQ(value, *expected) << text;
    }
  }
}

TEST(ValueTest, TypeAndDirectionNamesRoundTrip) {
  for (const auto type : {DataType::Integer, DataType::BigInt, DataType::Boolean, DataType::Double, DataType::DateTime,
                          DataType::Text, DataType::Binary}) {
    DataType parsed = DataType::Binary;
    ASSERT_TRUE(ParseDataType(DataTypeName(type), parsed));
    EXPECT_EQ(parsed, type);
  }
  Direction d = Direction::Input;
  EXPECT_TRUE(ParseDirection("returnvalue", d));
  EXPECT_EQ(d, Direction::ReturnValue);
  EXPECT_FALSE(ParseDirection("sideways", d));
}

}  // namespace
}  // namespace db
