#include "waveform/view/zoom.h"

#include <algorithm>

namespace wave {

namespace {

int scaled(int base, int level) { return level >= 0 ? base << level : base >> -level; }

}  // namespace

WaveViewport SetZoomLevels(const RecordLayout& layout, int levelX, int levelY) {
  WaveViewport v = InitialViewport(layout);
  v.ZoomLevelX = std::clamp(levelX, kMinZoomLevel, kMaxZoomLevel);
  v.ZoomLevelY = std::clamp(levelY, kMinZoomLevel, kMaxZoomLevel);
  v.PixelsPerCycle1 = scaled(v.PixelsPerCycle1, v.ZoomLevelX);
  v.PixelsPerCycle2 = scaled(v.PixelsPerCycle2, v.ZoomLevelX);
  v.RowHeight += kRowHeightStep * v.ZoomLevelY;
  v.TopMargin += kTopMarginStep * v.ZoomLevelY;
  return v;
}

bool ZoomStep(WaveViewport& viewport, const RecordLayout& layout, ZoomDirection direction, bool xZoomOn, bool yZoomOn) {
  const int step = direction == ZoomDirection::Enlarge ? 1 : -1;
  const auto moved = [step](bool on, int level) {
    return on && level + step >= kMinZoomLevel && level + step <= kMaxZoomLevel ? level + step : level;
  };
  const int x = moved(xZoomOn, viewport.ZoomLevelX);
  const int y = moved(yZoomOn, viewport.ZoomLevelY);
  if (x == viewport.ZoomLevelX && y == viewport.ZoomLevelY) return false;
  viewport = SetZoomLevels(layout, x, y);
  return true;
}

bool ZoomReturn(WaveViewport& viewport, const RecordLayout& layout) {
  if (viewport.ZoomLevelX == 0 && viewport.ZoomLevelY == 0) return false;
  viewport = SetZoomLevels(layout, 0, 0);
  return true;
}

}  // namespace wave
