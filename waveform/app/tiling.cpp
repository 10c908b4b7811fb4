#include "waveform/app/tiling.h"

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

}  // namespace wave
