#include "common/gbk.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(Gbk, RoundTripsChineseText) {
  struct Case {
    std::string_view gbk, utf8;
  };
  const Case cases[] = {{"\xD6\xD0\xCE\xC4", "中文"},
                        {"\xD0\xC5\xCF\xA2\xCC\xE1\xCA\xBE", "信息提示"},
                        {"A1 \xB1\xA3\xB4\xE6[\\]", "A1 保存[\\]"},
                        {"\x81\x40", "丂"},  // trail bytes include ASCII
                        {"\x80", "€"},
                        {"", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
    EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk);
  }
}

TEST(Gbk, InvalidBytesBecomeReplacementAndDecodingGoesOn) {
  struct Case {
    std::string_view gbk, utf8;
  };
  const Case cases[] = {{"\xFF", "\uFFFD"},
                        {"a\xD6", "a\uFFFD"},                  // cut pair at the end
                        {"\xD6 x", "\uFFFD x"},                // an ASCII byte after a lead is kept
                        {"\xD6\xD0\xFF\xCE\xC4", "中\uFFFD文"},
                        {"\xD6\x7F\xD6\xD0", "\uFFFD\x7F中"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8);
  }
  std::string big;  // longer than one conversion buffer
  for (int i = 0; i < 50000; ++i) big += "\xD6\xD0";
  big += "\xFF";
  const std::string decoded = GbkToUtf8(big);
  EXPECT_EQ(decoded.size(), 50001u * 3);
  EXPECT_EQ(decoded.substr(decoded.size() - 6), "中\uFFFD");
}

TEST(Gbk, UnmappableAndInvalidUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("中\xC3"), "\xD6\xD0?");
  EXPECT_EQ(Utf8ToGbk("\xED\xA0\x80z"), "???z");  // a surrogate is no character
}

TEST(Gbk, IsValidUtf8AndDecodeUtf8OrGbk) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("abc 中文 😀"));
  EXPECT_FALSE(IsValidUtf8("\xD6\xD0"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut
  EXPECT_EQ(DecodeUtf8OrGbk("中文"), "中文");
  EXPECT_EQ(DecodeUtf8OrGbk("\xD6\xD0\xCE\xC4"), "中文");
}

}  // namespace
}  // namespace common
