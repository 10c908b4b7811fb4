#pragma once
// Window tiling in one direction (QMdiArea tiles only in a grid), and where
// the main window and new record windows are placed.

#include <QMargins>
#include <QRect>
#include <QVector>

#include <optional>

namespace wave {

enum class TileDirection {
  Horizontal,  // one above the other, each as wide as the area
  Vertical,    // side by side, each as high as the area
};

// count rectangles that share area without gaps; the pixels left over by the
// division go to the first ones, one each.
QVector<QRect> TileRects(int count, const QRect& area, TileDirection direction);

// The main window's normal (restored) geometry: centred in the screen's free
// area, with room around it for a window manager's frame and title bar, so a
// restored window can still be moved and closed with the mouse.
QRect NormalGeometryWithin(const QRect& freeArea);

// Where a new record window of the given size goes in the client area: a
// title bar's height down and right of the newest open one, back to the
// area's corner when it would not fit there, and no larger than the area.
QRect CascadedWindowRect(const std::optional<QRect>& newest, const QSize& size, const QRect& area, int step);

}  // namespace wave
