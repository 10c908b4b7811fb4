#include "waveform/print/page_range.h"

#include <algorithm>
#include <vector>

namespace wave {

namespace {

// Anything above the last page reads as this, however many digits follow.
constexpr int kBeyondLastPage = kPrintPageCount + 1;

class RangeReader {
 public:
  explicit RangeReader(PageRangeParse& out) : out_(out) {}

  void digit(int d) {
    int& number = second_ ? to_ : from_;
    number = number >= 1 ? std::min(number * 10 + d, kBeyondLastPage) : d;
    digitSinceSeparator_ = true;
  }

  // "," or "-": only right after a digit.
  bool separator(char c) {
    if (!digitSinceSeparator_) return false;
    digitSinceSeparator_ = false;
    if (c == ',') {
      commit();
      second_ = false;
    } else {
      second_ = true;
    }
    return !out_.ParseError;
  }

  void commit() {
    const bool valid = from_ >= 1 && to_ != 0 && from_ <= kPrintPageCount &&
                       (to_ < 0 || (to_ <= kPrintPageCount && from_ <= to_));
    if (!valid) {
      out_.ParseError = true;
    } else {
      const int last = to_ < 0 ? from_ : to_;
      for (int page = from_; page <= last; ++page) out_.flags[static_cast<std::size_t>(page - 1)] = 1;
    }
    from_ = to_ = -1;
  }

 private:
  PageRangeParse& out_;
  int from_ = -1;
  int to_ = -1;
  bool second_ = false;
  bool digitSinceSeparator_ = false;
};

}  // namespace

PageRangeParse ParsePageRanges(std::string_view text) {
  PageRangeParse result;
  RangeReader reader(result);
  for (std::size_t i = 0; i < text.size() && !result.ParseError; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      reader.digit(c - '0');
      if (i + 1 == text.size()) reader.commit();
    } else if (c == ',' || c == '-') {
      if (!reader.separator(c)) result.ParseError = true;
    } else {
      result.ParseError = true;
    }
  }
  return result;
}

// Its own section: str0 of the main window's section is the exit question.
common::UserMessage PageRangeErrorMessage() {
  return common::UserMessage::warning("Strings_PageSetUnit", "str0", "输入错误或页码超出范围！", "str1");
}

PageSetResult ConfirmPageChoice(PageChoice choice, std::string_view rangeText, PageFlags& flags) {
  switch (choice) {
    case PageChoice::All: return {kPrintAllPages, false, true};
    case PageChoice::Current: return {kPrintCurrentPage, false, true};
    case PageChoice::Ranges: break;
  }
  const PageRangeParse parsed = ParsePageRanges(rangeText);
  flags = parsed.flags;
  return {kPrintPageRanges, parsed.ParseError, !parsed.ParseError};
}

std::vector<PageRun> PrintRuns(int printMode, bool parseError, const PageFlags& flags, int currentPage,
                               int totalPages) {
  std::vector<PageRun> runs;
  if (totalPages <= 0) return runs;
  if (printMode == kPrintAllPages) {
    runs.push_back({1, totalPages});
  } else if (printMode == kPrintCurrentPage) {
    runs.push_back({currentPage, currentPage});
  } else if (printMode == kPrintPageRanges && !parseError) {
    // Only the pages that have a flag.
    const int last = std::min(totalPages, kPrintPageCount);
    for (int page = 1; page <= last; ++page) {
      if (flags[static_cast<std::size_t>(page - 1)] == 0) continue;
      if (!runs.empty() && runs.back().to == page - 1)
        runs.back().to = page;
      else
        runs.push_back({page, page});
    }
  }
  return runs;
}

}  // namespace wave
