// The page-range text as typed by the user: any bytes, never a read past
// the flags, and a text without error chooses only pages 1 to 50.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "waveform/print/page_range.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const wave::PageRangeParse parsed = wave::ParsePageRanges(text);
  for (const std::uint8_t flag : parsed.flags)
    if (flag > 1) std::abort();
  const auto runs = wave::PrintRuns(wave::kPrintPageRanges, parsed.ParseError, parsed.flags, 1, 1000);
  for (const auto& run : runs)
    if (run.from < 1 || run.to > wave::kPrintPageCount || run.from > run.to) std::abort();
  return 0;
}
