#include "common/strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace common {
namespace {

TEST(Strings, StrToInt) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {
      {"12", 12},          {" 12", 12},           {"+7", 7},           {"-7", -7},
      {"$FF", 255},        {"0x1f", 31},          {"0X1F", 31},        {"-$10", -16},
      {"$FFFFFFFF", -1},   {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"007", 7},          {"12 ", std::nullopt}, {"", std::nullopt},  {" ", std::nullopt},
      {"+", std::nullopt}, {"$", std::nullopt},   {"0x", std::nullopt}, {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt}, {"$100000000", std::nullopt}, {"12x", std::nullopt},
      {"1.0", std::nullopt}, {"- 1", std::nullopt}, {"\t1", std::nullopt}, {"$FG", std::nullopt}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::int32_t value = 0;
    EXPECT_EQ(TryStrToInt(c.text, value), c.expected.has_value());
    if (c.expected) {
      EXPECT_EQ(value, *c.expected);
      EXPECT_EQ(StrToInt(c.text), *c.expected);
    } else {
      EXPECT_THROW(StrToInt(c.text), ConvertError);
    }
    EXPECT_EQ(StrToIntDef(c.text, -99), c.expected.value_or(-99));
  }
}

TEST(Strings, ConvertErrorNamesTheText) {
  try {
    StrToInt("12x");
    FAIL();
  } catch (const ConvertError& e) {
    EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
  }
  EXPECT_THROW(StrToFloat("1,5"), ConvertError);
}

TEST(Strings, StrToFloat) {
  struct Case {
    const char* text;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {"1e3", 1000.0},       {" -2.5 ", -2.5},      {"+7", 7.0},           {".5", 0.5},
      {"5.", 5.0},           {"1.5E-2", 0.015},     {"-0", -0.0},          {"1e-400", 0.0},
      {"1,5", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt}, {"1e400", std::nullopt},
      {"", std::nullopt},    {".", std::nullopt},   {"1e", std::nullopt},  {"0x10", std::nullopt},
      {"1 2", std::nullopt}, {"--1", std::nullopt}, {"e5", std::nullopt}, {"1000e306", std::nullopt},
      {"123456e-330", 0.0},  {"0.001e310", 1e307}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double value = 0;
    EXPECT_EQ(TryStrToFloat(c.text, value), c.expected.has_value());
    if (c.expected) {
      EXPECT_DOUBLE_EQ(value, *c.expected);
    }
  }
}

TEST(Strings, TrimAndCase) {
  EXPECT_EQ(Trim(" \t\r\n a b \x01\x1f "), "a b");
  EXPECT_EQ(Trim("\xA1\xA1x\xA1\xA1"), "\xA1\xA1x\xA1\xA1");  // bytes above 0x7F stay
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(UpperCase("abc-xyz ä"), "ABC-XYZ ä");
  EXPECT_EQ(LowerCase("ABC"), "abc");
  EXPECT_EQ(CompareText("color_5", "COLOR_5"), 0);
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_GT(CompareText("ab", "A"), 0);
  EXPECT_LT(CompareText("", "a"), 0);
  EXPECT_TRUE(SameText("CfgFolder", "CFGFOLDER"));
  EXPECT_FALSE(SameText("Path", "Path1"));
  EXPECT_TRUE(StartsWithText("Items.Strings", "items"));
  EXPECT_FALSE(StartsWithText("It", "items"));
}

TEST(Strings, SplitLines) {
  using Lines = std::vector<std::string_view>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("a"), Lines{"a"});
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\nb\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\r\r\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines("\n"), Lines{""});
}

}  // namespace
}  // namespace common
