#include "waveform/view/trace_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "waveform/view/wave_draw.h"

namespace wave::trace {

namespace {

std::int64_t alignDown(std::int64_t v, std::int64_t step) { return v <= 0 ? 0 : v / step * step; }
std::int64_t alignUp(std::int64_t v, std::int64_t step) { return (v + step - 1) / step * step; }

// A text whose cell can reach the clip box. The width bound is generous so that
// the measure is taken only for texts near the box.
bool textMayShow(Canvas& canvas, int x, int y, std::string_view text) {
  const Rect clip = canvas.clipBox();
  const int height = canvas.font().height * 2 + 2;
  const int bound = static_cast<int>(text.size()) * (canvas.font().height + 2) + 2;
  if (x >= clip.right || y >= clip.bottom || y + height <= clip.top || x + bound <= clip.left) return false;
  return x + canvas.textWidth(text) > clip.left;
}

void pushPoint(std::vector<Point>& out, Point p) {
  if (out.empty() || out.back() != p) out.push_back(p);
}

}  // namespace

int ClampPixel(std::int64_t v) { return static_cast<int>(std::clamp(v, -kPixelLimit, kPixelLimit)); }

std::string Decimal(std::int64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

void Line(Canvas& canvas, int x1, int y1, int x2, int y2) {
  canvas.moveTo(x1, y1);
  canvas.lineTo(x2, y2);
}

void TextIfShown(Canvas& canvas, int x, int y, std::string_view text) {
  if (textMayShow(canvas, x, y, text)) canvas.textOut(x, y, text);
}

IndexRange VisibleIndexes(double base, double xs, std::int64_t step, std::int64_t last, int xlo, int xhi) {
  if (last < 0) return {};
  if (!(xs > 0)) return {0, last};
  const double lo = std::floor((xlo - base) / xs) - 2;
  const double hi = std::ceil((xhi - base) / xs) + 2;
  if (hi < 0 || lo > static_cast<double>(last)) return {};
  IndexRange r;
  r.first = alignDown(static_cast<std::int64_t>(std::max(0.0, lo)), step);
  r.last = std::min(last, alignUp(static_cast<std::int64_t>(std::min(hi, static_cast<double>(last))), step));
  return r;
}

bool OrderFree(bool markers, int style) { return !markers || style < 6 || style >= kMarkerStyleCount; }

// Within a run of vertices in one pixel column the full line covers every pixel
// between the run's extremes, except its last vertex when that is an extreme
// reached only at the end (the end pixel of a line is left out); the run is
// replaced by its first vertex, the extremes and its last vertex in an order
// that covers the same pixels. The last column is kept whole.
std::vector<Point> ReducedLine(const std::vector<Vertex>& vs, bool fullDetail) {
  std::vector<Point> out;
  out.reserve(vs.size());
  std::size_t i = 0;
  while (i < vs.size()) {
    std::size_t end = i + 1;
    while (end < vs.size() && vs[end].p.x == vs[i].p.x) ++end;
    if (fullDetail || end - i <= 3 || end == vs.size()) {
      for (std::size_t k = i; k < end; ++k) pushPoint(out, vs[k].p);
      i = end;
      continue;
    }
    const int x = vs[i].p.x;
    const int first = vs[i].p.y, last = vs[end - 1].p.y;
    // The vertices before the last one and its repeats (a repeat draws nothing).
    std::size_t before = end - 1;
    while (before > i && vs[before - 1].p == vs[end - 1].p) --before;
    int lo = last, hi = last;
    bool loBefore = false, hiBefore = false;  // the last's level was reached, and left, before
    if (before > i) {
      lo = hi = first;
      for (std::size_t k = i; k < before; ++k) {
        lo = std::min(lo, vs[k].p.y);
        hi = std::max(hi, vs[k].p.y);
      }
      loBefore = lo <= last;
      hiBefore = hi >= last;
    }
    lo = std::min(lo, last);
    hi = std::max(hi, last);
    pushPoint(out, {x, first});
    if (last == hi) {
      if (hiBefore) pushPoint(out, {x, hi});
      pushPoint(out, {x, lo});
    } else if (last == lo) {
      if (loBefore) pushPoint(out, {x, lo});
      pushPoint(out, {x, hi});
    } else {
      pushPoint(out, {x, lo});
      pushPoint(out, {x, hi});
    }
    pushPoint(out, {x, last});
    i = end;
  }
  return out;
}

void DrawOrderFree(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, int style, bool fullDetail) {
  const std::vector<Point> pts = ReducedLine(vs, fullDetail);
  if (pts.size() >= 2) canvas.polyline(pts);
  // Markers: a repeat at a spot already marked in the same column changes nothing.
  std::vector<Canvas::FigureStep> places;
  std::vector<int> marked;
  int column = 0;
  for (const Vertex& v : vs) {
    if (v.marker == MarkerOrder::None) continue;
    if (marked.empty() || v.p.x != column) {
      marked.clear();
      column = v.p.x;
    } else if (!fullDetail && std::find(marked.begin(), marked.end(), v.p.y) != marked.end()) {
      continue;
    }
    marked.push_back(v.p.y);
    places.push_back({v.p, {}});
  }
  canvas.drawFigures(places, [c, style](Canvas& target, Point p, const std::array<int, 3>&) {
    Draw_Point_Symbol(target, p.x, 2, c, style, p.y);
  });
}

// Markers filled with the background cover the line that came before them, so
// lines and markers keep their order here: each vertex is one figure, the line
// into it and its marker (before or after that line).
void DrawInOrder(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, int style) {
  if (vs.empty()) return;
  std::vector<Canvas::FigureStep> steps;
  steps.reserve(vs.size());
  Point previous = vs[0].p;
  for (const Vertex& v : vs) {
    steps.push_back({v.p, {v.p.x - previous.x, v.p.y - previous.y, static_cast<int>(v.marker)}});
    previous = v.p;
  }
  canvas.drawFigures(steps, [c, style](Canvas& target, Point p, const std::array<int, 3>& key) {
    const auto order = static_cast<MarkerOrder>(key[2]);
    if (order == MarkerOrder::BeforeIncoming) Draw_Point_Symbol(target, p.x, 2, c, style, p.y);
    if (key[0] != 0 || key[1] != 0) {
      target.moveTo(p.x - key[0], p.y - key[1]);
      target.lineTo(p.x, p.y);
    }
    if (order == MarkerOrder::AfterIncoming) Draw_Point_Symbol(target, p.x, 2, c, style, p.y);
  });
}

void DrawCurve(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, bool markers, int style, bool fullDetail) {
  if (OrderFree(markers, style))
    DrawOrderFree(canvas, vs, c, style, fullDetail);
  else
    DrawInOrder(canvas, vs, c, style);
}

}  // namespace wave::trace
