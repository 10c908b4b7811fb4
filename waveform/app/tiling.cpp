#include "waveform/app/tiling.h"

#include <algorithm>

namespace wave {

QVector<QRect> TileRects(int count, const QRect& area, TileDirection direction) {
  QVector<QRect> rects;
  if (count <= 0) return rects;
  const bool horizontal = direction == TileDirection::Horizontal;
  const int length = horizontal ? area.height() : area.width();
  const int share = length / count;
  const int extra = length % count;
  int start = horizontal ? area.top() : area.left();
  for (int i = 0; i < count; ++i) {
    const int size = share + (i < extra ? 1 : 0);
    rects.append(horizontal ? QRect(area.left(), start, area.width(), size)
                            : QRect(start, area.top(), size, area.height()));
    start += size;
  }
  return rects;
}

QRect NormalGeometryWithin(const QRect& freeArea) {
  // A sixteenth of the free area on each side, at least a title bar's room.
  constexpr int kLeastMargin = 32;
  const int dx = std::max(kLeastMargin, freeArea.width() / 16);
  const int dy = std::max(kLeastMargin, freeArea.height() / 16);
  const QSize size(std::max(1, freeArea.width() - 2 * dx), std::max(1, freeArea.height() - 2 * dy));
  QRect normal(QPoint(0, 0), size);
  normal.moveCenter(freeArea.center());
  return normal;
}

QRect CascadedWindowRect(const std::optional<QRect>& newest, const QSize& size, const QRect& area, int step) {
  const QSize fitted = size.boundedTo(area.size());
  QRect next(area.topLeft(), fitted);
  if (newest) next.moveTopLeft(newest->topLeft() + QPoint(step, step));
  if (!area.contains(next)) next.moveTopLeft(area.topLeft());
  return next;
}

}  // namespace wave
