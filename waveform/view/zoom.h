#pragma once
// Zooming a record window: the horizontal and vertical levels (-4 .. 4) and
// the viewport they give. Every zoom input goes through SetZoomLevels, which
// clamps the levels and derives the viewport from the record's first view, so
// that a level always shows the same scale however it was reached.

#include "waveform/analysis/record_data.h"
#include "waveform/view/wave_geometry.h"

namespace wave {

inline constexpr int kMinZoomLevel = -4;
inline constexpr int kMaxZoomLevel = 4;
inline constexpr int kRowHeightStep = 30;  // per vertical level
inline constexpr int kTopMarginStep = 15;

// The viewport at the given levels: the first view's pixels per cycle doubled
// per level above 0 and halved (integer division) per level below;
// RowHeight 120 + 30 * levelY and TopMargin 90 + 15 * levelY.
WaveViewport SetZoomLevels(const RecordLayout& layout, int levelX, int levelY);

enum class ZoomDirection { Enlarge, Shrink };

// One step of the zoom buttons (ZoomOut_TBtn enlarges, ZoomIn_TBtn shrinks):
// each axis whose switch is on moves one level while it stays within -4 .. 4.
// True when a level changed.
bool ZoomStep(WaveViewport& viewport, const RecordLayout& layout, ZoomDirection direction, bool xZoomOn, bool yZoomOn);

// Return_TBtn: back to the first view; false when both levels already are 0.
bool ZoomReturn(WaveViewport& viewport, const RecordLayout& layout);

}  // namespace wave
