#pragma once
// The widths of the record window's three status panels: the station, the
// record's times and the clock. The first two are 460 and 420 pixels wide, or
// as wide as their texts where these are longer, and the clock takes the
// rest. Where the window is narrower, the first two give up what their texts
// do not use before they cut a text, and the clock always keeps room for its
// whole text.

#include <array>

namespace wave {

inline constexpr std::array<int, 2> kStatusPanelWidths = {460, 420};
inline constexpr int kClockPanelMinWidth = 35;

// available: the width the three panels share; needed: the width each panel's
// text takes.
std::array<int, 3> StatusPanelWidths(int available, const std::array<int, 3>& needed);

}  // namespace wave
