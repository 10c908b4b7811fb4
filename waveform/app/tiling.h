#pragma once
// Window tiling in one direction (QMdiArea tiles only in a grid).

#include <QRect>
#include <QVector>

namespace wave {

enum class TileDirection {
  Horizontal,  // one above the other, each as wide as the area
  Vertical,    // side by side, each as high as the area
};

// count rectangles that share area without gaps; the pixels left over by the
// division go to the first ones, one each.
QVector<QRect> TileRects(int count, const QRect& area, TileDirection direction);

}  // namespace wave
