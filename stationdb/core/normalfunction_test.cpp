#include "stationdb/core/normalfunction.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stationdb {
namespace {

TSystemTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  TSystemTime t;
  t.wYear = static_cast<std::uint16_t>(y);
  t.wMonth = static_cast<std::uint16_t>(mo);
  t.wDay = static_cast<std::uint16_t>(d);
  t.wHour = static_cast<std::uint16_t>(h);
  t.wMinute = static_cast<std::uint16_t>(mi);
  t.wSecond = static_cast<std::uint16_t>(s);
  return t;
}

TEST(NormalFunctionTest, SystemTimeToSeconds) {
  const std::pair<TSystemTime, std::uint32_t> cases[] = {
      {at(1970, 1, 1), 0},
      {at(2000, 3, 1), 951868800},
      {at(1972, 3, 1), 68256000},
      {at(2024, 2, 29, 12, 34, 56), 1709210096},
      {at(2100, 3, 1), 4107542400u},  // 2100 is no leap year
      {at(2100, 12, 31, 23, 59, 59), 4133980799u},
      {at(1969, 12, 31), 0},
      {at(2101, 1, 1), 0},
      {at(0, 1, 2), 86400},         // year 0 counts as 1970
      {at(1970, 1, 0, 1), 3600},    // day 0 adds nothing
      {at(1970, 13, 1), 31536000},  // months past December stop at the year's end
  };
  for (const auto& [time, seconds] : cases)
    EXPECT_EQ(SystemTimeToSeconds(time), seconds) << time.wYear << "-" << time.wMonth << "-" << time.wDay;
}

TEST(NormalFunctionTest, TimeInRangeIncludesBothEnds) {
  const TSystemTime start = at(2024, 5, 1, 8), stop = at(2024, 5, 1, 18);
  EXPECT_TRUE(TimeInRange(start, start, stop));
  EXPECT_TRUE(TimeInRange(stop, start, stop));
  EXPECT_TRUE(TimeInRange(at(2024, 5, 1, 12), start, stop));
  EXPECT_FALSE(TimeInRange(at(2024, 5, 1, 7, 59, 59), start, stop));
  EXPECT_FALSE(TimeInRange(at(2024, 5, 1, 18, 0, 1), start, stop));
  EXPECT_FALSE(TimeInRange(at(2024, 5, 1, 12), stop, start));  // an empty range
}

TEST(NormalFunctionTest, IntToZeroPadStr) {
  EXPECT_EQ(IntToZeroPadStr(7, 3), "007");
  EXPECT_EQ(IntToZeroPadStr(123, 2), "23");
  EXPECT_EQ(IntToZeroPadStr(123, 0), "");
  EXPECT_EQ(IntToZeroPadStr(0, 2), "00");
  EXPECT_EQ(IntToZeroPadStr(-42, 4), "0042");
}

TEST(NormalFunctionTest, KeyAndValueParts) {
  struct Case {
    const char* text;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"name = value", "name", "value"},
      {"a=b // note", "a", "b"},
      {"a=b=c", "a", "b=c"},
      {"no separator", "", ""},
      {"  = x ", "", "x"},
      {"a // c=b", "a // c", ""},  // the "//" before the separator leaves no value
      {"\tk\t=\tv\r\n", "k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeyPart(c.text, "="), c.key) << c.text;
    EXPECT_EQ(ValuePart(c.text, "="), c.value) << c.text;
  }
}

TEST(NormalFunctionTest, TrimRightPCharKeepsTheFirstCharacter) {
  const std::pair<std::string, std::string> cases[] = {
      {"abc  ", "abc"}, {" ", " "}, {"a\t\r\n", "a"}, {"", ""}, {" x ", " x"}, {"\xB0\xA1", "\xB0\xA1"},
  };
  for (const auto& [text, expected] : cases) {
    std::string s = text;
    TrimRightPChar(s);
    EXPECT_EQ(s, expected) << "'" << text << "'";
    char buffer[81] = {};
    text.copy(buffer, 80);
    TrimRightPChar(buffer);
    EXPECT_EQ(std::string(buffer), expected) << "'" << text << "'";
  }
}

TEST(NormalFunctionTest, SplitToStringList) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"a;b;c", {"a", "b"}},         {"a;b;", {"a", "b"}},          {"", {}}, {"no separator", {}},
      {" x; y;z", {" x", "y"}},      {"A=1;B=2 //c;C=3;", {"A=1"}},  // B's comment cuts off the rest
      {"A=1 //c;B=2;", {"A=1 //c"}},
  };
  for (const auto& [text, pieces] : cases) EXPECT_EQ(SplitToStringList(text, ";"), pieces) << text;
}

TEST(NormalFunctionTest, StreamStrings) {
  MemoryStream stream;
  EXPECT_FALSE(WriteStreamString(nullptr, "x"));
  ASSERT_TRUE(WriteStreamString(&stream, "abc"));
  ASSERT_TRUE(WriteStreamString(&stream, ""));
  ASSERT_TRUE(WriteStreamString(&stream, std::string(300, 'z')));  // more than the type holds
  EXPECT_EQ(stream.size(), 7u + 4u + 259u);
  stream.setPosition(0);
  std::string text;
  ASSERT_TRUE(ReadStreamString(&stream, text));
  EXPECT_EQ(text, "abc");
  ASSERT_TRUE(ReadStreamString(&stream, text));
  EXPECT_EQ(text, "");
  ASSERT_TRUE(ReadStreamString(&stream, text));
  EXPECT_EQ(text, std::string(255, 'z'));
  EXPECT_FALSE(ReadStreamString(&stream, text));  // nothing left
  EXPECT_FALSE(ReadStreamString(nullptr, text));
}

TEST(NormalFunctionTest, BadStreamStringLengthsReadNothingMore) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t positionAfter;
  };
  const Case cases[] = {
      {"length 256", {0x00, 0x01, 0x00, 0x00, 'a', 'b'}, 4},
      {"length past the end", {0x03, 0x00, 0x00, 0x00, 'a', 'b'}, 4},
      {"fewer than 4 bytes", {0x01, 0x00, 0x00}, 0},
  };
  for (const auto& c : cases) {
    MemoryStream stream(c.bytes);
    std::string text = "kept";
    EXPECT_FALSE(ReadStreamString(&stream, text)) << c.name;
    EXPECT_EQ(text, "kept") << c.name;
    EXPECT_EQ(stream.position(), c.positionAfter) << c.name;
  }
}

TEST(NormalFunctionTest, StreamsAndVariants) {
  MemoryStream stream(std::vector<std::uint8_t>{9, 9, 9});
  stream.setPosition(2);
  VariantToStream(db::Value::bytes({0x00, 0x7F, 0xFF}), stream);
  EXPECT_EQ(stream.bytes(), (std::vector<std::uint8_t>{0x00, 0x7F, 0xFF}));
  EXPECT_EQ(stream.position(), 0u);
  EXPECT_EQ(StreamToVariant(stream), db::Value::bytes({0x00, 0x7F, 0xFF}));

  NotStreamBytes(stream);
  EXPECT_EQ(stream.bytes(), (std::vector<std::uint8_t>{0xFF, 0x80, 0x00}));
  DecStreamBytes(stream);
  EXPECT_EQ(stream.bytes(), (std::vector<std::uint8_t>{0xFE, 0x7F, 0xFF}));

  for (const auto& notBinary : {db::Value(), db::Value::text("abc"), db::Value::integer(1)}) {
    VariantToStream(notBinary, stream);
    EXPECT_EQ(stream.size(), 0u) << notBinary.describe();
  }
}

TEST(NormalFunctionTest, MinMaxOfArray) {
  std::int32_t lo = 1, hi = 1;
  MinMaxOfArray({}, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  const std::vector<std::int32_t> values{3, -7, 12, 0};
  MinMaxOfArray(values, lo, hi);
  EXPECT_EQ(lo, -7);
  EXPECT_EQ(hi, 12);
}

}  // namespace
}  // namespace stationdb
