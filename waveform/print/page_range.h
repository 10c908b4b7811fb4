#pragma once
// The rules of the page-range dialog (TPrintPageSetForm) without the dialog:
// the print mode, and the range text such as "1,3,5-12" read into the 50 page
// flags of the display settings.

#include <array>
#include <cstdint>
#include <string_view>

#include "common/message.h"
#include "waveform/model/settings.h"

namespace wave {

// PrintMode values.
inline constexpr int kPrintAllPages = 18;
inline constexpr int kPrintCurrentPage = 52;
inline constexpr int kPrintPageRanges = 86;

using PageFlags = std::array<std::uint8_t, kPrintPageCount>;

struct PageRangeParse {
  PageFlags flags{};        // byte n - 1 = 1: page n chosen (those set before an error stay set)
  bool ParseError = false;
};

// Digits, and "," or "-" each right after a digit; a range is committed at a
// comma and after a digit that ends the text. Pages run from 1 to 50.
PageRangeParse ParsePageRanges(std::string_view text);

// The message of a range text with an error.
common::UserMessage PageRangeErrorMessage();

enum class PageChoice : std::uint8_t { All, Current, Ranges };

struct PageSetResult {
  int PrintMode = 0;
  bool ParseError = false;
  bool accepted = false;  // the dialog closes with OK
};

// BitBtn1Click: the mode of the checked choice; for ranges the flags are
// cleared and the text parsed into them, and the dialog stays open on an error.
PageSetResult ConfirmPageChoice(PageChoice choice, std::string_view rangeText, PageFlags& flags);

struct PageRun {
  int from = 0;
  int to = 0;
  bool operator==(const PageRun&) const = default;
};

// The print jobs of a confirmed choice over a document of totalPages pages:
// all pages, the current page, or each maximal run of chosen pages in
// increasing order (none when the text had an error).
std::vector<PageRun> PrintRuns(int printMode, bool parseError, const PageFlags& flags, int currentPage,
                               int totalPages);

}  // namespace wave
