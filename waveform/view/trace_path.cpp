#include "waveform/view/trace_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "waveform/view/wave_draw.h"

namespace wave::trace {

namespace {

std::int64_t alignDown(std::int64_t v, std::int64_t step) { return v <= 0 ? 0 : v / step * step; }
std::int64_t alignUp(std::int64_t v, std::int64_t step) { return (v + step - 1) / step * step; }

// A text whose cell can reach the clip box. The width bound is generous so that
// the measure is taken only for texts that start near the box, left of it.
bool textMayShow(Canvas& canvas, int x, int y, std::string_view text) {
  const Rect clip = canvas.clipBox();
  const int height = canvas.font().height * 2 + 2;
  const int bound = static_cast<int>(text.size()) * (canvas.font().height + 2) + 2;
  if (x >= clip.right || y >= clip.bottom || y + height <= clip.top || x + bound <= clip.left) return false;
  return x > clip.left || x + canvas.textWidth(text) > clip.left;
}

void pushPoint(std::vector<Point>& out, Point p) {
  if (out.empty() || out.back() != p) out.push_back(p);
}

}  // namespace


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
namespace {

// The points that stand for a column's run of vertices: its first and last y
// and, when vertices come before the run of repeats of the last one, their
// extremes (lo <= hi).
struct ColumnRun {
  int x = 0, first = 0, last = 0;
  bool anyBefore = false;
  int lo = 0, hi = 0;
};

void pushColumn(std::vector<Point>& out, const ColumnRun& c) {
  int lo = c.last, hi = c.last;
  bool loBefore = false, hiBefore = false;  // the last's level was reached, and left, before
  if (c.anyBefore) {
    lo = std::min(c.lo, c.first);
    hi = std::max(c.hi, c.first);
    loBefore = lo <= c.last;
    hiBefore = hi >= c.last;
  }
  lo = std::min(lo, c.last);
  hi = std::max(hi, c.last);
  const int x = c.x;
  pushPoint(out, {x, c.first});
  if (c.last == hi) {
    if (hiBefore) pushPoint(out, {x, hi});
    pushPoint(out, {x, lo});
  } else if (c.last == lo) {
    if (loBefore) pushPoint(out, {x, lo});
    pushPoint(out, {x, hi});
  } else {
    pushPoint(out, {x, lo});
    pushPoint(out, {x, hi});
  }
  pushPoint(out, {x, c.last});
}

}  // namespace

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
    ColumnRun c{vs[i].p.x, vs[i].p.y, vs[end - 1].p.y};
    // The vertices before the last one and its repeats (a repeat draws nothing).
    std::size_t before = end - 1;
    while (before > i && vs[before - 1].p == vs[end - 1].p) --before;
    if (before > i) {
      c.anyBefore = true;
      c.lo = c.hi = c.first;
      for (std::size_t k = i; k < before; ++k) {
        c.lo = std::min(c.lo, vs[k].p.y);
        c.hi = std::max(c.hi, vs[k].p.y);
      }
    }
    pushColumn(out, c);
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

namespace {

// What a step of DrawInOrder draws: its line, or its marker.
constexpr int kInOrderLine = 0;
constexpr int kInOrderMarker = 1;

// Leaves out every step that an equal step later in its run of steps with the
// same x draws again: equal figures at one place have the same pixels, so with
// the pen copying the later one covers the earlier whatever came in between.
void keepLastOfEqual(std::vector<Canvas::FigureStep>& steps) {
  std::vector<std::uint32_t> slots;  // 1 + the index of a kept step, 0 for none
  std::vector<char> drop(steps.size(), 0);
  const auto hash = [](const Canvas::FigureStep& s) {
    std::uint64_t h = static_cast<std::uint32_t>(s.place.y);
    for (const int k : s.key) h = (h ^ static_cast<std::uint32_t>(k)) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
  };
  std::size_t end = steps.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && steps[begin - 1].place.x == steps[end - 1].place.x) --begin;
    if (end - begin > 2) {
      std::size_t size = 8;
      while (size < 2 * (end - begin)) size *= 2;
      slots.assign(size, 0);
      for (std::size_t i = end; i-- > begin;) {
        const Canvas::FigureStep& s = steps[i];
        for (std::size_t h = hash(s) & (size - 1);; h = (h + 1) & (size - 1)) {
          if (slots[h] == 0) {
            slots[h] = static_cast<std::uint32_t>(i + 1);
            break;
          }
          const Canvas::FigureStep& kept = steps[slots[h] - 1];
          if (kept.place == s.place && kept.key == s.key) {
            drop[i] = 1;
            break;
          }
        }
      }
    }
    end = begin;
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < steps.size(); ++i)
    if (!drop[i]) steps[out++] = steps[i];
  steps.resize(out);
}

}  // namespace

// Markers filled with the background cover the line that came before them, so
// lines and markers keep their order here: each vertex is one figure, the line
// into it and its marker (before or after that line). A vertex again at the
// point just drawn draws no line; it is left out when it has no marker, or when
// the figure before it ended with its marker there (the same pixels again).
void DrawInOrder(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, int style) {
  if (vs.empty()) return;
  std::vector<Canvas::FigureStep> steps;
  steps.reserve(vs.size());
  Point previous = vs[0].p;
  bool endsWithMarker = false;  // the last figure drew its marker after its line, at previous
  for (const Vertex& v : vs) {
    const bool line = v.p != previous;
    if (!line && (v.marker == MarkerOrder::None || endsWithMarker) && !steps.empty()) continue;
    steps.push_back({v.p, {v.p.x - previous.x, v.p.y - previous.y, static_cast<int>(v.marker)}});
    endsWithMarker = v.marker == MarkerOrder::AfterIncoming || (!line && v.marker != MarkerOrder::None);
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

int ValueToY::operator()(double v) const { return ValueY(yb, v, scale, amplitude); }

bool ValueToY::monotone() const { return scale > 0 && std::isfinite(scale) && amplitude >= 0; }

namespace {

// The vertices of up to two runs numbered j = 0, 1, ... one after the other.
class RunSequence {
 public:
  RunSequence(std::span<const PointRun> runs, const ValueToY& y) : y_(y) {
    for (const PointRun& run : runs) {
      if (!run.envelope || parts_.size() == 2) continue;
      const std::int64_t last = std::min(run.kLast, run.envelope->count() - 1);
      if (last < run.kFirst || run.kFirst < 0) continue;
      parts_.push_back({&run, size_, last, columnsOf(run)});
      size_ += last - run.kFirst + 1;
    }
  }

  std::int64_t size() const { return size_; }
  int x(std::int64_t j) const {
    const auto [part, k] = at(j);
    return ClampPixel(part->run->x(k));
  }
  double value(std::int64_t j) const {
    const auto [part, k] = at(j);
    return part->run->envelope->value(part->run->buffer, k);
  }
  int y(std::int64_t j) const { return y_(value(j)); }
  bool marker(std::int64_t j) const {
    const auto [part, k] = at(j);
    return part->run->markerEvery > 0 && k % part->run->markerEvery == 0;
  }
  MarkerOrder order(std::int64_t j) const {
    if (!marker(j)) return MarkerOrder::None;
    const auto [part, k] = at(j);
    return k == part->run->markerBefore ? MarkerOrder::BeforeIncoming : MarkerOrder::AfterIncoming;
  }
  // Some vertex of j0 .. j1 has its marker before the line into it.
  bool anyMarkerBefore(std::int64_t j0, std::int64_t j1) const {
    for (const Part& part : parts_) {
      const std::int64_t k = part.run->markerBefore;
      if (k < part.run->kFirst || k > part.kLast) continue;
      const std::int64_t j = part.start + (k - part.run->kFirst);
      if (j >= j0 && j <= j1) return true;
    }
    return false;
  }
  // The y of every vertex of j0 .. j1 that has a marker.
  template <typename Fn>
  void markerYs(std::int64_t j0, std::int64_t j1, Fn&& fn) const {
    for (const Part& part : parts_) {
      const PointRun& run = *part.run;
      if (run.markerEvery <= 0) continue;
      const std::int64_t a = std::max(j0, part.start), b = std::min(j1, part.start + part.kLast - run.kFirst);
      std::int64_t k = run.kFirst + a - part.start;
      const std::int64_t kEnd = run.kFirst + b - part.start;
      k += (run.markerEvery - k % run.markerEvery) % run.markerEvery;  // the first marked point
      for (; k <= kEnd; k += run.markerEvery) fn(y_(run.envelope->value(run.buffer, k)));
    }
  }
  // Every vertex of j0 .. j1 has a marker.
  bool markerOnEach(std::int64_t j0, std::int64_t j1) const {
    return at(j0).first->run->markerEvery == 1 && at(j1).first->run->markerEvery == 1;
  }

  // The extremes of j0 .. j1 where they are one run's pixel column, whole or
  // but its last vertex, and its columns are kept; nothing otherwise.
  std::optional<PointEnvelope::Extremes> keptColumn(std::int64_t j0, std::int64_t j1) const {
    const auto [part, k0] = at(j0);
    if (!part->columns || j1 < j0 || j1 - part->start > part->kLast - part->run->kFirst) return std::nullopt;
    return part->columns->extremes(part->run->buffer, k0, k0 + (j1 - j0));
  }

  PointEnvelope::Extremes over(std::int64_t j0, std::int64_t j1) const {
    PointEnvelope::Extremes e;
    for (const Part& part : parts_) {
      const std::int64_t a = std::max(j0, part.start), b = std::min(j1, part.start + part.kLast - part.run->kFirst);
      if (a > b) continue;
      const std::int64_t k0 = part.run->kFirst + a - part.start, k1 = part.run->kFirst + b - part.start;
      std::optional<PointEnvelope::Extremes> column;
      if (part.columns) column = part.columns->extremes(part.run->buffer, k0, k1);
      const PointEnvelope::Extremes r = column ? *column : part.run->envelope->over(part.run->buffer, k0, k1);
      e.lowest = std::min(e.lowest, r.lowest);
      e.highest = std::max(e.highest, r.highest);
      e.largestStep = std::max(e.largestStep, r.largestStep);
      if (a > j0) {  // the step from the run before
        const double d = value(a) - value(a - 1);
        e.largestStep = std::max(e.largestStep, std::isfinite(d) ? std::fabs(d) : kInfinity);
      }
    }
    return e;
  }

  // The last vertex from j on in j's pixel column (x never decreases); guess:
  // where a column as long as the one before would end.
  std::int64_t columnEnd(std::int64_t j, int column, std::int64_t guess) const {
    const auto [part, k] = at(j);
    if (part->columns) {  // unless the column goes on into the next run
      const std::int64_t end = part->columns->columnEnd(k);
      if (end >= k && end < part->kLast) return j + (end - k);
    }
    if (guess > j && guess < size_ && x(guess) == column && (guess + 1 == size_ || x(guess + 1) != column))
      return guess;
    std::int64_t lo = j, step = 1;
    while (lo + step < size_ && x(lo + step) == column) {
      lo += step;
      step *= 2;
    }
    std::int64_t hi = std::min(lo + step, size_);
    while (hi - lo > 1) {
      const std::int64_t mid = lo + (hi - lo) / 2;
      (x(mid) == column ? lo : hi) = mid;
    }
    return lo;
  }

 private:
  static constexpr double kInfinity = std::numeric_limits<double>::infinity();
  struct Part {
    const PointRun* run;
    std::int64_t start;  // j of the run's first vertex
    std::int64_t kLast;
    std::shared_ptr<const PointColumns> columns;  // null: every range from the envelope
  };
  // The run's points in the columns it is drawn in, where they are the
  // columns of x() (no pixel clamped).
  static std::shared_ptr<const PointColumns> columnsOf(const PointRun& run) {
    std::shared_ptr<const PointColumns> columns = run.envelope->columns(run.buffer, run.x);
    if (columns && (columns->firstX() < -kPixelLimit || columns->lastX() > kPixelLimit)) return nullptr;
    return columns;
  }
  std::pair<const Part*, std::int64_t> at(std::int64_t j) const {
    const Part* part = parts_.size() > 1 && j >= parts_[1].start ? &parts_[1] : &parts_[0];
    return {part, part->run->kFirst + (j - part->start)};
  }

  const ValueToY& y_;
  std::vector<Part> parts_;
  std::int64_t size_ = 0;
};

// Some vertex of a .. b lies on a row outside [lo, hi].
bool anyOutside(const RunSequence& seq, const ValueToY& map, std::int64_t a, std::int64_t b, int lo, int hi) {
  const PointEnvelope::Extremes ext = seq.over(a, b);
  if (ext.allFinite()) return map(ext.highest) < lo || map(ext.lowest) > hi;
  for (std::int64_t k = a; k <= b; ++k) {
    const int y = seq.y(k);
    if (y < lo || y > hi) return true;
  }
  return false;
}

// The last vertex of a .. b on a row outside [lo, hi]; a - 1 when none is.
// Looks at a kept column whole, else at the last few one by one, then at
// ranges twice as long each time.
std::int64_t lastOutside(const RunSequence& seq, const ValueToY& map, std::int64_t a, std::int64_t b, int lo, int hi) {
  if (const auto all = seq.keptColumn(a, b); all && all->allFinite() && map(all->highest) >= lo && map(all->lowest) <= hi)
    return a - 1;  // a column on rows lo .. hi only
  std::int64_t top = b;  // the vertices after top are inside
  for (int k = 0; k < 4 && top >= a; ++k, --top) {
    const int y = seq.y(top);
    if (y < lo || y > hi) return top;
  }
  for (std::int64_t width = 8; top >= a; width *= 2) {
    const std::int64_t from = std::max(a, top - width + 1);
    if (anyOutside(seq, map, from, top, lo, hi)) {
      std::int64_t first = from, last = top;  // the answer lies in first .. last
      while (first < last) {
        const std::int64_t mid = first + (last - first + 1) / 2;
        if (anyOutside(seq, map, mid, last, lo, hi))
          first = mid;
        else
          last = mid - 1;
      }
      return first;
    }
    top = from - 1;
  }
  return a - 1;
}

// The rows of the markers of vertices j0 .. j1 (one pixel column). Where every
// vertex has one and neighbouring values lie less than a pixel apart, they fill
// every row between the column's extremes.
void markerRows(std::vector<int>& rows, const RunSequence& seq, const ValueToY& map, std::int64_t j0, std::int64_t j1) {
  if (seq.markerOnEach(j0, j1)) {
    const PointEnvelope::Extremes all = seq.over(j0, j1);
    if (all.allFinite() && all.largestStep * map.amplitude / map.scale < 0.99) {
      for (int y = map(all.highest); y <= map(all.lowest); ++y) rows.push_back(y);
      return;
    }
  }
  seq.markerYs(j0, j1, [&rows](int y) {
    if (std::find(rows.begin(), rows.end(), y) == rows.end()) rows.push_back(y);
  });
}

}  // namespace

void DrawOrderFreeRuns(Canvas& canvas, std::span<const PointRun> runs, const ValueToY& map, TColor c, int style) {
  const RunSequence seq(runs, map);
  const std::int64_t n = seq.size();
  std::vector<Point> line;
  std::vector<Canvas::FigureStep> places;
  std::vector<int> rows;  // the marker rows of one column
  const bool markers = std::any_of(runs.begin(), runs.end(), [](const PointRun& r) { return r.markerEvery > 0; });
  std::int64_t j = 0, lastLength = 1;
  while (j < n) {
    const int x = seq.x(j);
    const std::int64_t e = seq.columnEnd(j, x, j + lastLength - 1);
    lastLength = e - j + 1;
    rows.clear();
    if (e - j + 1 <= 3 || e == n - 1) {  // kept whole, as ReducedLine keeps it
      for (std::int64_t k = j; k <= e; ++k) {
        const int y = seq.y(k);
        pushPoint(line, {x, y});
        if (seq.marker(k)) rows.push_back(y);
      }
    } else {
      ColumnRun col{x, seq.y(j), seq.y(e)};
      // The vertices before the last one and its repeats.
      const std::int64_t before = lastOutside(seq, map, j, e - 1, col.last, col.last) + 1;
      if (before > j) {
        col.anyBefore = true;
        const PointEnvelope::Extremes ext = seq.over(j, before - 1);
        if (ext.allFinite()) {
          col.lo = map(ext.highest);
          col.hi = map(ext.lowest);
        } else {
          col.lo = col.hi = col.first;
          for (std::int64_t k = j; k < before; ++k) {
            col.lo = std::min(col.lo, seq.y(k));
            col.hi = std::max(col.hi, seq.y(k));
          }
        }
      }
      pushColumn(line, col);
      if (markers) markerRows(rows, seq, map, j, e);
    }
    if (e - j + 1 <= 3 || e == n - 1) {  // (the rows above may repeat there)
      std::sort(rows.begin(), rows.end());
      rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    }
    for (const int y : rows) places.push_back({{x, y}, {}});
    j = e + 1;
  }
  if (line.size() >= 2) canvas.polyline(line);
  canvas.drawFigures(places, [c, style](Canvas& target, Point p, const std::array<int, 3>&) {
    Draw_Point_Symbol(target, p.x, 2, c, style, p.y);
  });
}

namespace {

// The steps DrawInOrder draws, collected column by column from a RunSequence.
class InOrderSteps {
 public:
  InOrderSteps(const RunSequence& seq, const ValueToY& map) : seq_(seq), map_(map) {}

  std::vector<Canvas::FigureStep>& steps() { return steps_; }

  // Vertex j: its line and marker in their order.
  void vertex(std::int64_t j) {
    const Point p{seq_.x(j), seq_.y(j)};
    const MarkerOrder order = seq_.order(j);
    if (order == MarkerOrder::BeforeIncoming) marker(p);
    if (j > 0 && p != previous_) line(previous_, p);
    if (order == MarkerOrder::AfterIncoming) marker(p);
    previous_ = p;
  }

  // Vertices j + 1 .. e of column x, all with markers after their lines and
  // at most a row from their neighbours (vertex j drawn already). Every row
  // that holds a vertex is reached again only by markers of that same row and
  // by lines of one pixel leaving it (the pixel of the row), so the last of
  // each covers all the ones before. Going back from e, the rows of e .. t
  // form a range that grows by one row at a time; each row joins it at its last
  // vertex, whose outgoing line is its last line leaving the row. The row of e
  // was left last before its final run of vertices, found in the same way.
  void column(std::int64_t j, std::int64_t e, int x) {
    found_.clear();
    const int yEnd = seq_.y(e);
    int lo = yEnd, hi = yEnd;
    std::int64_t finalRun = j;  // the first vertex of e's final run on its row
    for (std::int64_t cur = e;;) {
      const std::int64_t t = lastOutside(seq_, map_, j, cur - 1, lo, hi);
      if (t < j) break;
      if (cur == e) finalRun = t + 1;
      joined(t, x, lo, hi, j);
      cur = t;
    }
    found_.push_back({e, 1, {x, yEnd}, {}});
    if (finalRun > j) {  // the last time e's row was left
      lo = hi = seq_.y(finalRun - 1);
      for (std::int64_t cur = finalRun - 1;;) {
        const std::int64_t t = lastOutside(seq_, map_, j, cur - 1, lo, hi);
        if (t < j) break;
        const int y = seq_.y(t);
        if (y == yEnd) {
          const int next = seq_.y(t + 1);
          found_.push_back({t + 1, 0, {x, y}, {x, next}});
          break;
        }
        (y < lo ? lo : hi) = y;
        cur = t;
      }
    }
    // In drawing order: by vertex, the line into it before its marker.
    std::sort(found_.begin(), found_.end(), [](const Found& a, const Found& b) {
      return a.vertex != b.vertex ? a.vertex < b.vertex : a.kind < b.kind;
    });
    for (const Found& f : found_) {
      if (f.kind == 0)
        line(f.from, f.to);
      else
        marker(f.from);
    }
    previous_ = {x, yEnd};
  }

 private:
  struct Found {
    std::int64_t vertex;  // the vertex whose line (0) or marker (1) this is
    int kind;
    Point from, to;
  };

  void marker(Point p) { steps_.push_back({p, {0, 0, kInOrderMarker}}); }
  void line(Point a, Point b) { steps_.push_back({b, {b.x - a.x, b.y - a.y, kInOrderLine}}); }

  // Vertex t is the last on its row, just outside [lo, hi]; the row joins.
  void joined(std::int64_t t, int x, int& lo, int& hi, std::int64_t j) {
    const int y = seq_.y(t);
    const int next = seq_.y(t + 1);
    if (t > j) found_.push_back({t, 1, {x, y}, {}});
    found_.push_back({t + 1, 0, {x, y}, {x, next}});
    (y < lo ? lo : hi) = y;
  }

  const RunSequence& seq_;
  const ValueToY& map_;
  std::vector<Canvas::FigureStep> steps_;
  std::vector<Found> found_;
  Point previous_;
};

}  // namespace

void DrawInOrderRuns(Canvas& canvas, std::span<const PointRun> runs, const ValueToY& map, TColor c, int style) {
  const RunSequence seq(runs, map);
  const std::int64_t n = seq.size();
  InOrderSteps out(seq, map);
  // Lines of one pixel up and down from a row have the same pixels only with a
  // pen of one pixel, and a later figure covers an earlier one only when the pen copies.
  const bool copying = canvas.pen().mode == PenMode::Copy;
  const bool reduce = copying && canvas.pen().width <= 1;
  std::int64_t j = 0, lastLength = 1;
  while (j < n) {
    const int x = seq.x(j);
    const std::int64_t e = seq.columnEnd(j, x, j + lastLength - 1);
    lastLength = e - j + 1;
    out.vertex(j);
    bool reduced = false;
    if (reduce && e - j >= 8 && seq.markerOnEach(j, e) && !seq.anyMarkerBefore(j + 1, e)) {
      const PointEnvelope::Extremes all = seq.over(j, e);
      if (all.allFinite() && all.largestStep * map.amplitude / map.scale < 0.99) {
        out.column(j, e, x);
        reduced = true;
      }
    }
    if (!reduced)
      for (std::int64_t k = j + 1; k <= e; ++k) out.vertex(k);
    j = e + 1;
  }
  std::vector<Canvas::FigureStep>& steps = out.steps();
  if (copying) keepLastOfEqual(steps);
  canvas.drawFigures(steps, [c, style](Canvas& target, Point p, const std::array<int, 3>& key) {
    if (key[2] == kInOrderMarker) {
      Draw_Point_Symbol(target, p.x, 2, c, style, p.y);
    } else {
      target.moveTo(p.x - key[0], p.y - key[1]);
      target.lineTo(p.x, p.y);
    }
  });
}

void DrawCurve(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, bool markers, int style, bool fullDetail) {
  if (OrderFree(markers, style))
    DrawOrderFree(canvas, vs, c, style, fullDetail);
  else
    DrawInOrder(canvas, vs, c, style);
}

}  // namespace wave::trace
