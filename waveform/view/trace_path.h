#pragma once
// Pieces shared by the views that draw sampled curves (the wave view and the
// RMS view): the points of a curve that can reach the clip box, the curve
// reduced to each pixel column's extremes with the pixels of the full line,
// markers, and small text and line helpers.

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "waveform/analysis/draw_summary.h"
#include "waveform/canvas/canvas.h"

namespace wave::trace {

// Coordinates are kept well inside int so that later sums cannot overflow.
inline constexpr std::int64_t kPixelLimit = std::int64_t{1} << 28;

inline int ClampPixel(std::int64_t v) { return static_cast<int>(v < -kPixelLimit ? -kPixelLimit : v > kPixelLimit ? kPixelLimit : v); }
std::string Decimal(std::int64_t value);

void Line(Canvas& canvas, int x1, int y1, int x2, int y2);
// Draws the text only when its cell can reach the clip box.
void TextIfShown(Canvas& canvas, int x, int y, std::string_view text);

// Where a point's marker goes relative to the line that comes into it.
enum class MarkerOrder : std::uint8_t { None, AfterIncoming, BeforeIncoming };

struct Vertex {
  Point p;
  MarkerOrder marker = MarkerOrder::None;
};

struct IndexRange {
  std::int64_t first = 0;
  std::int64_t last = -1;  // inclusive; empty when last < first
  bool empty() const { return last < first; }
};

// The indexes 0, step, ..., last of points at x = Round(base + i * xs) that can
// reach [xlo, xhi], with one more on each side for the lines that enter and leave.
IndexRange VisibleIndexes(double base, double xs, std::int64_t step, std::int64_t last, int xlo, int xhi);

// True when the curve's pixels do not depend on the order of lines and markers:
// no markers, or shapes drawn in the curve's colour only (0..5).
bool OrderFree(bool markers, int style);

// The line through the vertices with the pixels of the full line, runs of
// vertices in one pixel column reduced to their extremes (unless fullDetail).
std::vector<Point> ReducedLine(const std::vector<Vertex>& vs, bool fullDetail);

// The curve and its markers (of size 2) when OrderFree holds.
void DrawOrderFree(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, int style, bool fullDetail);
// The curve with lines and markers in their drawing order, for outline markers
// that cover the line before them.
void DrawInOrder(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, int style);

// One of the two, as the markers need.
void DrawCurve(Canvas& canvas, const std::vector<Vertex>& vs, TColor c, bool markers, int style, bool fullDetail);

// Where a curve's values go: y = ValueY(yb, v, scale, amplitude).
struct ValueToY {
  int yb = 0;
  double scale = 1;
  int amplitude = 0;
  int operator()(double v) const;
  // A larger value is never drawn lower: what reading extremes from an envelope needs.
  bool monotone() const;
};

// The x of point k of a run.
using RunX = PointX;

// Points kFirst .. kLast of an envelope's buffer, at x(k) (never decreasing); a
// marker on every point k with k % markerEvery == 0 (none when markerEvery is 0).
struct PointRun {
  std::span<const double> buffer;
  const PointEnvelope* envelope = nullptr;
  std::int64_t kFirst = 0, kLast = -1;
  RunX x;
  std::int64_t markerEvery = 0;
  // The point whose marker comes before the line into it (-1: none).
  std::int64_t markerBefore = -1;
};

// What DrawOrderFree draws for the vertices of the runs one after the other,
// with the same pixels, read per pixel column from the envelopes: the first
// and last points and the extremes, and the markers' rows. Needs y.monotone()
// and markers that OrderFree allows.
void DrawOrderFreeRuns(Canvas& canvas, std::span<const PointRun> runs, const ValueToY& y, TColor c, int style);

// What DrawInOrder draws for the vertices of the runs one after the other,
// with the same pixels. Where every point of a pixel column has a marker and
// neighbouring points lie at most a row apart, the column draws only the last
// marker on each row and the last line leaving it, found from the envelopes.
// Needs y.monotone().
void DrawInOrderRuns(Canvas& canvas, std::span<const PointRun> runs, const ValueToY& y, TColor c, int style);

}  // namespace wave::trace
