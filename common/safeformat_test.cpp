#include "common/safeformat.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(SafeFormat, ReplacesOnlySAndDInOrder) {
  struct Case {
    const char* format;
    std::vector<std::string> args;
    const char* expected;
    int placeholders;
  };
  const Case cases[] = {{"%s %d", {"a", "12"}, "a 12", 2},
                        {"%x %n %08d %s %d", {"1"}, "%x %n %08d 1 %d", 2},  // others stay; too few args keep the rest
                        {"100%% of %s", {"x"}, "100% of x", 1},
                        {"%%s", {"x"}, "%s", 0},
                        {"%s", {"%d %s"}, "%d %s", 1},  // arguments are never read as formats
                        {"end %", {}, "end %", 0},
                        {"no args", {"extra"}, "no args", 0},
                        {"", {}, "", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(SafeFormat(c.format, c.args), c.expected);
    EXPECT_EQ(CountPlaceholders(c.format), c.placeholders);
  }
}

TEST(SafeFormat, LanguageTextFallsBackWhenPlaceholdersDoNotFit) {
  EXPECT_EQ(FormatLangText("文件 %s 不存在", "File %s missing", {"a.cfg"}), "文件 a.cfg 不存在");
  EXPECT_EQ(FormatLangText("文件不存在", "File %s missing", {"a.cfg"}), "File a.cfg missing");
  EXPECT_EQ(FormatLangText("%s %s", "File %s missing", {"a.cfg"}), "File a.cfg missing");
  EXPECT_EQ(FormatLangText("100%", "x", {}), "100%");
}

}  // namespace
}  // namespace common
