#include "waveform/view/status_panels.h"

#include <algorithm>

namespace wave {

std::array<int, 3> StatusPanelWidths(int available, const std::array<int, 3>& needed) {
  available = std::max(0, available);
  const int clock = std::min(available, std::max(kClockPanelMinWidth, needed[2]));
  // A text longer than its panel's width takes what it needs while there is room.
  std::array<int, 3> widths = {std::max(kStatusPanelWidths[0], needed[0]), std::max(kStatusPanelWidths[1], needed[1]),
                               clock};
  int excess = widths[0] + widths[1] + clock - available;
  // Space no text uses goes first, panel 0 before panel 1; then the texts are cut.
  const auto shrink = [&](int panel, int floor) {
    const int cut = std::clamp(widths[panel] - floor, 0, std::max(0, excess));
    widths[panel] -= cut;
    excess -= cut;
  };
  shrink(0, needed[0]);
  shrink(1, needed[1]);
  shrink(0, 0);
  shrink(1, 0);
  widths[2] += std::max(0, -excess);  // the clock, the last panel, fills the rest
  return widths;
}

}  // namespace wave
