#pragma once
// A record window's own copy of the display options. The process-wide settings
// hold the active window's options: a window writes its copy back when it
// becomes active or opens the options dialog, and takes the settings over after
// the dialog was closed with OK.

#include <array>
#include <cstdint>

#include "waveform/model/settings.h"

namespace wave {

struct WindowOptions {
  std::array<TChannelGroup, kGroupRowCount> WindowGroups{};
  std::int32_t WindowGroupCount = 0;
  TDigitalSelection WindowDigital{};
  std::uint8_t WindowPointsAndLines = 1;
  std::uint8_t WindowGridX = 1;
  std::uint8_t WindowGridY = 1;

  static WindowOptions From(const DisplaySettings& settings);
  void WriteTo(DisplaySettings& settings) const;

  bool anyGrid() const { return WindowGridX == 1 || WindowGridY == 1; }
  // Rows with at least one channel (RowsInUse).
  int rowsInUse() const;
  bool operator==(const WindowOptions&) const = default;
};

// The colour a channel of colour index c is drawn in: colour (c mod 20) + 1,
// that is ChannelColors[c mod 20] (negative indexes count as their magnitude).
TColor ChannelTraceColor(const std::array<TColor, kColorCount>& colors, std::int32_t colorIndex);

}  // namespace wave
