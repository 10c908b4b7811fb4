#include "waveform/view/window_options.h"

#include <cstdlib>

namespace wave {

WindowOptions WindowOptions::From(const DisplaySettings& settings) {
  WindowOptions o;
  o.WindowGroups = settings.ChannelGroups;
  o.WindowGroupCount = settings.ChannelGroupCount;
  o.WindowDigital = settings.DigitalSelection;
  o.WindowPointsAndLines = settings.ShowPointsAndLines;
  o.WindowGridX = settings.ShowGridX;
  o.WindowGridY = settings.ShowGridY;
  return o;
}

void WindowOptions::WriteTo(DisplaySettings& settings) const {
  settings.ChannelGroups = WindowGroups;
  settings.ChannelGroupCount = WindowGroupCount;
  settings.DigitalSelection = WindowDigital;
  settings.ShowPointsAndLines = WindowPointsAndLines;
  settings.ShowGridX = WindowGridX;
  settings.ShowGridY = WindowGridY;
}

int WindowOptions::rowsInUse() const {
  int rows = 0;
  for (const auto& group : WindowGroups) rows += group.Count != 0;
  return rows;
}

TColor ChannelTraceColor(const std::array<TColor, kColorCount>& colors, std::int32_t colorIndex) {
  return colors[static_cast<std::size_t>(std::abs(colorIndex % 20))];
}

}  // namespace wave
