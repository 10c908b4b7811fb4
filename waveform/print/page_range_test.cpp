#include "waveform/print/page_range.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wave {
namespace {

std::vector<int> chosen(const PageFlags& flags) {
  std::vector<int> pages;
  for (std::size_t i = 0; i < flags.size(); ++i)
    if (flags[i] == 1) pages.push_back(static_cast<int>(i) + 1);
  return pages;
}

std::vector<int> span(int from, int to) {
  std::vector<int> pages;
  for (int p = from; p <= to; ++p) pages.push_back(p);
  return pages;
}

TEST(PageRanges, TextsAndThePagesTheyChoose) {
  struct Case {
    std::string text;
    bool error;
    std::vector<int> pages;  // set, also those set before an error
  };
  std::vector<int> oneThreeFiveToTwelve = {1, 3};
  for (int p : span(5, 12)) oneThreeFiveToTwelve.push_back(p);
  const Case cases[] = {
      {"1,3,5-12", false, oneThreeFiveToTwelve},
      {"05", false, {5}},
      {"50", false, {50}},
      {"4,", false, {4}},
      {"4-", false, {}},
      {"1-3-5", false, span(1, 35)},
      {"", false, {}},
      {"7-7", false, {7}},
      {"0", true, {}},
      {"51", true, {}},
      {"8-3", true, {}},
      {"3-0", true, {}},
      {"1-51", true, {}},
      {",1", true, {}},
      {"1,,2", true, {1}},
      {"2,a", true, {2}},
      {"2 3", true, {}},
      {"2.3", true, {}},
      {"-2", true, {}},
      {"1，3", true, {}},                     // the full-width comma
      {"99999999999999999999", true, {}},  // never wraps onto a valid page
      {"3,9-4", true, {3}},
  };
  for (const Case& c : cases) {
    const PageRangeParse parsed = ParsePageRanges(c.text);
    EXPECT_EQ(parsed.ParseError, c.error) << "'" << c.text << "'";
    EXPECT_EQ(chosen(parsed.flags), c.pages) << "'" << c.text << "'";
  }
}

TEST(PageRanges, ErrorMessageHasItsOwnSection) {
  const common::UserMessage message = PageRangeErrorMessage();
  EXPECT_EQ(message.section, "Strings_PageSetUnit");
  EXPECT_EQ(message.textKeys(), std::vector<std::string>{"str0"});
  EXPECT_EQ(message.text[0].defaultText, "输入错误或页码超出范围！");
  EXPECT_EQ(message.caption.key, "str1");
  EXPECT_EQ(message.icon, common::MessageIcon::Warning);
}

TEST(PageSet, ChoicesGiveTheirModes) {
  PageFlags flags{};
  flags[20] = 1;
  EXPECT_EQ(ConfirmPageChoice(PageChoice::All, "junk", flags).PrintMode, kPrintAllPages);
  EXPECT_EQ(ConfirmPageChoice(PageChoice::Current, "junk", flags).PrintMode, kPrintCurrentPage);
  EXPECT_EQ(chosen(flags), std::vector<int>{21});  // untouched

  PageSetResult ranges = ConfirmPageChoice(PageChoice::Ranges, "2-3", flags);
  EXPECT_EQ(ranges.PrintMode, kPrintPageRanges);
  EXPECT_TRUE(ranges.accepted);
  EXPECT_EQ(chosen(flags), (std::vector<int>{2, 3}));  // cleared first

  ranges = ConfirmPageChoice(PageChoice::Ranges, "4,x", flags);
  EXPECT_FALSE(ranges.accepted);
  EXPECT_TRUE(ranges.ParseError);
  EXPECT_EQ(chosen(flags), std::vector<int>{4});
}

TEST(PageSet, PrintRuns) {
  const PageFlags flags = ParsePageRanges("1,3,5-12").flags;
  EXPECT_EQ(PrintRuns(kPrintPageRanges, false, flags, 2, 10),
            (std::vector<PageRun>{{1, 1}, {3, 3}, {5, 10}}));
  EXPECT_TRUE(PrintRuns(kPrintPageRanges, true, flags, 2, 10).empty());
  EXPECT_EQ(PrintRuns(kPrintAllPages, false, flags, 2, 10), (std::vector<PageRun>{{1, 10}}));
  EXPECT_EQ(PrintRuns(kPrintCurrentPage, false, flags, 2, 10), (std::vector<PageRun>{{2, 2}}));
  EXPECT_TRUE(PrintRuns(kPrintAllPages, false, flags, 0, 0).empty());
  EXPECT_TRUE(PrintRuns(0, false, flags, 1, 10).empty());
  // More pages than flags: the walk stops at page 50.
  PageFlags all{};
  all.fill(1);
  EXPECT_EQ(PrintRuns(kPrintPageRanges, false, all, 1, 72), (std::vector<PageRun>{{1, 50}}));
}

}  // namespace
}  // namespace wave
