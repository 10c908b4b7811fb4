#include "waveform/canvas/canvas.h"

#include <algorithm>

#include "common/arith.h"

namespace wave {

void Font::setSize(int points) { height = common::MulDiv(points, kScreenDpi, 72); }

int Font::size() const { return common::MulDiv(height, 72, kScreenDpi); }

bool Intersects(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

Rect Intersection(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.empty()) return {};
  return r;
}

void Canvas::drawFigures(std::span<const FigureStep> steps, const Figure& figure) {
  for (const FigureStep& step : steps) figure(*this, step.place, step.key);
}

void Canvas::lineTo(int x, int y) {
  const Point to{x, y};
  line(penPos_, to);
  penPos_ = to;
}

}  // namespace wave
