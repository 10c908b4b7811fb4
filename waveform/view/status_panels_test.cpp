#include "waveform/view/status_panels.h"

#include <gtest/gtest.h>

namespace wave {
namespace {

TEST(StatusPanelWidths, GiveWayInOrderAndKeepTheClockWhole) {
  struct Case {
    int available;
    std::array<int, 3> needed;
    std::array<int, 3> widths;
  };
  const Case cases[] = {
      {1200, {130, 418, 130}, {460, 420, 320}},  // wide: the clock fills the rest
      {1010, {130, 418, 130}, {460, 420, 130}},  // exactly the pinned widths and the clock
      {930, {130, 418, 130}, {380, 420, 130}},   // panel 0 gives up its empty room first
      {660, {130, 418, 130}, {112, 418, 130}},   // then panel 1 down to its text, then the texts are cut
      {300, {130, 418, 130}, {0, 170, 130}},     // vertical tiling: the texts are cut, never overlap
      {100, {130, 418, 130}, {0, 0, 100}},
      {1000, {130, 418, 10}, {460, 420, 120}},   // the clock panel is at least 35 wide
      {1200, {130, 520, 130}, {460, 520, 220}},  // a longer text takes the free width, not the clock
      {942, {150, 520, 130}, {292, 520, 130}},   // panel 0 gives way first, and its text stays whole
      {700, {150, 520, 130}, {50, 520, 130}},    // cut only where all three cannot show
  };
  for (const Case& c : cases) {
    const std::array<int, 3> w = StatusPanelWidths(c.available, c.needed);
    EXPECT_EQ(w, c.widths) << c.available;
    EXPECT_LE(w[0] + w[1] + w[2], std::max(c.available, 0)) << c.available;
  }
}

}  // namespace
}  // namespace wave
