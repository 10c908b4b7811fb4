#include "waveform/view/wave_draw.h"

#include "waveform/view/trace_path.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace wave {

using trace::ClampPixel;
using trace::Decimal;
using trace::IndexRange;
using trace::kPixelLimit;
using trace::Line;
using trace::MarkerOrder;
using trace::TextIfShown;
using trace::Vertex;
using trace::VisibleIndexes;

namespace {

TColor colour(const WaveScene& scene, int number) { return scene.colors[static_cast<std::size_t>(number - 1)]; }

bool validAnalog(const WaveScene& scene, int ch) {
  return ch >= 0 && ch < scene.record.A && static_cast<std::size_t>(ch) < scene.buffers.size();
}

// --- traces -----------------------------------------------------------------

struct TraceParams {
  int yb = 0;
  double scale = 1;
  int amplitude = 0;
  bool markers = false;
};

void appendRate(std::vector<Vertex>& out, const WaveGeometry& geo, std::span<const double> b, const TraceParams& t,
                IndexRange range, std::int64_t step, std::int64_t offset, int f, bool secondRate) {
  for (std::int64_t i = range.first; i <= range.last; i += step) {
    const auto index = static_cast<std::size_t>(offset + i);
    if (index >= b.size()) break;
    Vertex v;
    v.p.x = ClampPixel(secondRate ? geo.xOfPoint2(i) : geo.xOfPoint1(i));
    v.p.y = ValueY(t.yb, b[index], t.scale, t.amplitude);
    if (t.markers && i % f == 0)
      v.marker = (secondRate && i == 0) ? MarkerOrder::BeforeIncoming : MarkerOrder::AfterIncoming;
    out.push_back(v);
  }
}

// The point indexes of each rate that can reach the clip box.
struct TraceRanges {
  IndexRange r1, r2;
  std::int64_t step1 = 1, step2 = 1;
};

TraceRanges traceRanges(const WaveScene& scene, const Rect& clip) {
  const WaveGeometry& geo = scene.geo;
  const int margin = 8;  // markers reach 2 pixels beyond their point
  const int xlo = clip.left - margin, xhi = clip.right + margin;
  TraceRanges t;
  t.step1 = scene.interpolated ? 1 : geo.f1;
  t.step2 = scene.interpolated ? 1 : geo.f2;
  const std::int64_t last1 = geo.P1 - geo.f1;
  const std::int64_t last2 = geo.twoRates ? geo.P2 - geo.f2 : -1;

  t.r1 = VisibleIndexes(geo.L, geo.XStep1, t.step1, last1, xlo, xhi);
  if (last2 >= 0) {
    const double base2 = static_cast<double>(geo.P1) * static_cast<double>(geo.XStep1) + geo.L;
    t.r2 = VisibleIndexes(base2, geo.XStep2, t.step2, last2, xlo, xhi);
    if (!t.r1.empty() && t.r1.last < last1) t.r2 = {};  // the first rate runs past the box
    if (!t.r2.empty() && t.r2.first == 0) {             // the line joining the rates is needed
      t.r1.first = std::min(t.r1.empty() ? last1 : t.r1.first, last1);
      t.r1.last = last1;
    }
  }
  return t;
}

// The vertices of one trace that can reach the clip box, in drawing order.
std::vector<Vertex> traceVertices(const WaveScene& scene, std::span<const double> b, const TraceParams& t,
                                  const Rect& clip) {
  const WaveGeometry& geo = scene.geo;
  const TraceRanges r = traceRanges(scene, clip);
  std::vector<Vertex> out;
  out.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, r.r1.last - r.r1.first) / r.step1 + 2 +
                                       std::max<std::int64_t>(0, r.r2.last - r.r2.first) / r.step2));
  if (!r.r1.empty()) appendRate(out, geo, b, t, r.r1, r.step1, 0, geo.f1, false);
  if (!r.r2.empty()) appendRate(out, geo, b, t, r.r2, r.step2, geo.P1, geo.f2, true);
  return out;
}

// The same vertices as runs over the record's envelopes; false when the
// summary does not describe these points.
bool traceRuns(std::array<trace::PointRun, 2>& runs, const WaveScene& scene, int ch, const TraceParams& t,
               const Rect& clip) {
  const WaveGeometry& geo = scene.geo;
  const auto c = static_cast<std::size_t>(ch);
  if (!scene.summary || c >= scene.summary->rate1.size() || c >= scene.summary->rate2.size()) return false;
  const TraceRanges r = traceRanges(scene, clip);
  const PointEnvelope& env1 = scene.summary->rate1[c];
  const PointEnvelope& env2 = scene.summary->rate2[c];
  if (env1.offset() != 0 || env1.stride() != r.step1) return false;
  if (!r.r2.empty() && (env2.offset() != geo.P1 || env2.stride() != r.step2)) return false;
  const std::span<const double> b = scene.buffers[c];
  // xOfPoint1 and xOfPoint2 of point k * step.
  const double x1 = static_cast<double>(geo.XStep1), x2 = static_cast<double>(geo.XStep2);
  if (!r.r1.empty())
    runs[0] = {b, &env1, r.r1.first / r.step1, r.r1.last / r.step1, trace::RunX{0, x1, double(geo.L), r.step1, 0},
               t.markers ? geo.f1 / r.step1 : 0};
  if (!r.r2.empty())
    runs[1] = {b, &env2, r.r2.first / r.step2, r.r2.last / r.step2,
               trace::RunX{static_cast<double>(geo.P1) * x1, x2, double(geo.L), r.step2, 0},
               t.markers ? geo.f2 / r.step2 : 0, t.markers ? 0 : -1};  // the first point's marker comes first
  return true;
}

// --- digital lanes ------------------------------------------------------------

// Collects the lines of a lane: runs along one level join into one line, and a
// line equal to one of the two before it is left out.
class LaneLines {
 public:
  explicit LaneLines(Canvas& canvas) : canvas_(canvas) {}
  ~LaneLines() { flush(); }
  LaneLines(const LaneLines&) = delete;
  LaneLines& operator=(const LaneLines&) = delete;

  void add(Point a, Point b) {
    if (a == b) return;
    if (open_ && a.y == b.y && cur_.from.y == a.y && cur_.to == a && cur_.from.x <= a.x && a.x <= b.x) {
      cur_.to = b;
      return;
    }
    flush();
    if (isRecent({a, b})) return;
    cur_ = {a, b};
    open_ = true;
  }

  void flush() {
    if (!open_) return;
    open_ = false;
    if (isRecent(cur_)) return;
    Line(canvas_, cur_.from.x, cur_.from.y, cur_.to.x, cur_.to.y);
    recent_[1] = recent_[0];
    recent_[0] = cur_;
  }

 private:
  struct Seg {
    Point from, to;
    bool operator==(const Seg&) const = default;
  };
  bool isRecent(const Seg& s) const { return s == recent_[0] || s == recent_[1]; }

  Canvas& canvas_;
  Seg cur_;
  bool open_ = false;
  Seg recent_[2] = {{{-1, -1}, {-1, -1}}, {{-1, -1}, {-1, -1}}};
};

struct LaneLevels {
  int y0 = 0;  // a sample of 0
  int y1 = 0;  // any other sample
  int of(std::uint8_t v) const { return v == 0 ? y0 : y1; }
};

// The first sample i in [lo, hi] whose x is at least x; hi + 1 when none is
// (x never decreases with i).
std::int64_t firstSampleFrom(const WaveGeometry& geo, std::int64_t lo, std::int64_t hi, std::int64_t x) {
  while (lo <= hi) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (geo.xOfDigital(mid) >= x)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return lo;
}

// Whether the steps from samples first .. end - 1 to the next fall and rise.
// switches: the channel's switches (DrawSummary), or null.
struct Edges {
  bool fell = false, rose = false;
};
Edges edgesOf(std::span<const std::uint8_t> b, const LaneLevels& lv, std::int64_t first, std::int64_t end,
              const std::vector<std::int64_t>* switches) {
  Edges e;
  if (lv.y0 == lv.y1) return e;  // both levels on one line: no edge shows
  if (switches) {  // a switch to 0 is a fall, any other a rise
    for (auto it = std::lower_bound(switches->begin(), switches->end(), first);
         it != switches->end() && *it < end && !(e.fell && e.rose); ++it)
      (b[static_cast<std::size_t>(*it + 1)] == 0 ? e.fell : e.rose) = true;
    return e;
  }
  int level = lv.of(b[static_cast<std::size_t>(first)]);
  for (std::int64_t i = first; i < end && !(e.fell && e.rose); ++i) {
    const int nl = lv.of(b[static_cast<std::size_t>(i + 1)]);
    if (nl != level) (nl == lv.y0 ? e.fell : e.rose) = true;
    level = nl;
  }
  return e;
}

// The steps of samples first .. last (the step from i to i + 1 for each i).
// Steps that stay on one x (more samples than pixels) draw only a fall and a
// rise there: the pixels of drawing each of them.
void laneSteps(LaneLines& out, const WaveGeometry& geo, std::span<const std::uint8_t> b, const LaneLevels& lv,
               std::int64_t first, std::int64_t last, const std::vector<std::int64_t>* switches) {
  last = std::min<std::int64_t>(last, static_cast<std::int64_t>(b.size()) - 2);
  if (first < 0 || first > last) return;
  int level = lv.of(b[static_cast<std::size_t>(first)]);
  for (std::int64_t i = first; i <= last; ++i) {
    const std::int64_t x = geo.xOfDigital(i);
    // Samples i .. column share this x.
    const std::int64_t column = firstSampleFrom(geo, i + 1, last + 1, x + 1) - 1;
    if (column > i) {
      const Edges e = edgesOf(b, lv, i, column, switches);
      const int xc = ClampPixel(x);
      if (e.fell) out.add({xc, lv.y1}, {xc, lv.y0});
      if (e.rose) out.add({xc, lv.y0}, {xc, lv.y1});
      level = lv.of(b[static_cast<std::size_t>(column)]);
      i = column;
      if (i > last) break;
    }
    const int xi = ClampPixel(geo.xOfDigital(i));
    const int xn = ClampPixel(geo.xOfDigital(i + 1));
    const int nl = lv.of(b[static_cast<std::size_t>(i + 1)]);
    Point pen{xi, level};
    if (nl != level) {
      if (nl == lv.y0) {  // falling: at the earlier sample
        out.add({xi, level}, {xi, lv.y0});
        pen = {xi, lv.y0};
      } else {  // rising: at the later sample
        out.add({xi, level}, {xn, level});
        pen = {xn, level};
      }
      level = nl;
    }
    out.add(pen, {xn, level});
  }
}

// The sample steps first .. last that can reach [xlo, xhi].
IndexRange visibleSteps(const WaveGeometry& geo, std::int64_t first, std::int64_t last, int xlo, int xhi) {
  if (first > last) return {};
  IndexRange r;
  r.first = std::max(first, firstSampleFrom(geo, first, last + 1, xlo) - 1);
  r.last = std::min(last, firstSampleFrom(geo, first, last + 1, std::int64_t{xhi} + 1));
  return r;
}

}  // namespace

int ChannelInfoOffset(int channelCount, int j) {
  static constexpr int kOffsets[4][4] = {{0, 0, 0, 0}, {-10, 10, 0, 0}, {-20, 0, 20, 0}, {-30, -10, 10, 30}};
  if (channelCount < 1 || channelCount > 4 || j < 0 || j >= channelCount) return 0;
  return kOffsets[channelCount - 1][j];
}

void Draw_Point_Symbol(Canvas& canvas, int x, int size, TColor colour, int style, int y) {
  const int r = size;
  const TColor savedBrush = canvas.brush().color;
  canvas.pen().color = colour;
  canvas.pen().style = PenStyle::Solid;
  if (style >= 0 && style <= 3) {
    canvas.brush().color = colour;
    canvas.brush().style = BrushStyle::Solid;
  }
  const Rect box{x - r, y - r, x + r, y + r};
  const Point up[] = {{x - r, y + r}, {x, y - r}, {x + r, y + r}};
  const Point down[] = {{x - r, y - r}, {x + r, y - r}, {x, y + r}};
  switch (style) {
    case 0: canvas.fillRect(box); break;
    case 1: canvas.ellipse(box); break;
    case 2: canvas.polygon(up); break;
    case 3: canvas.polygon(down); break;
    case 4:
      Line(canvas, x - r, y - r, x + r, y + r);
      Line(canvas, x + r, y - r, x - r, y + r);
      break;
    case 5:
      Line(canvas, x, y - r, x, y + r);
      Line(canvas, x - r, y, x + r, y);
      break;
    case 6: canvas.rectangle(box); break;
    case 7: canvas.ellipse(box); break;
    case 8: canvas.polygon(up); break;
    case 9: canvas.polygon(down); break;
    default: break;
  }
  canvas.brush().color = savedBrush;
}

void Show_Channel_Info(Canvas& canvas, const WaveScene& scene, int g, int ch, int j, int zeroLineY, TColor c,
                       int markerStyle) {
  const WaveGeometry& geo = scene.geo;
  canvas.font().color = c;
  canvas.pen().color = c;
  canvas.font().setSize(9);
  const int count = GroupSize(scene.options.WindowGroups[static_cast<std::size_t>(g)]);
  const int m = ChannelInfoOffset(count, j);
  const std::string& name = scene.record.AInfo[static_cast<std::size_t>(ch)].ch_id;
  TextIfShown(canvas, geo.L - 30, zeroLineY + m - 5, name);
  if (scene.options.WindowPointsAndLines == 1) Draw_Point_Symbol(canvas, geo.L - 40, 6, c, markerStyle, zeroLineY + m);
}

void Show_OneChannel_Wave(Canvas& canvas, const WaveScene& scene, int g, TColor c, int j, int ch, int r,
                          int markerStyle) {
  const WaveGeometry& geo = scene.geo;
  const auto row = static_cast<std::size_t>(g);
  TraceParams t;
  t.yb = geo.rowZero(r);
  t.scale = scene.scales.ChannelScales[static_cast<std::size_t>(ch)];
  t.amplitude = static_cast<int>(std::trunc(0.48 * scene.scales.GroupRatios[row][static_cast<std::size_t>(j)] * geo.h));
  t.markers = scene.options.WindowPointsAndLines == 1;

  Show_Channel_Info(canvas, scene, g, ch, j, t.yb, c, markerStyle);
  canvas.pen().color = c;
  canvas.pen().style = PenStyle::Solid;
  canvas.pen().mode = PenMode::Copy;

  const trace::ValueToY map{t.yb, t.scale, t.amplitude};
  std::array<trace::PointRun, 2> runs;
  if (!scene.fullDetail && map.monotone() && traceRuns(runs, scene, ch, t, canvas.clipBox())) {
    if (trace::OrderFree(t.markers, markerStyle)) {
      trace::DrawOrderFreeRuns(canvas, runs, map, c, markerStyle);
      return;
    }
    // Outline markers gain from the envelopes only where a column holds many
    // points; with a few, drawing each point costs less.
    const auto dense = [](const trace::PointRun& run) {
      const double pixelsPerPoint = run.x.b * static_cast<double>(run.x.scale);
      return run.envelope && run.kLast >= run.kFirst && pixelsPerPoint > 0 && pixelsPerPoint * 32 <= 1;
    };
    if (std::any_of(runs.begin(), runs.end(), dense)) {
      trace::DrawInOrderRuns(canvas, runs, map, c, markerStyle);
      return;
    }
  }
  const std::vector<Vertex> vs = traceVertices(scene, scene.buffers[static_cast<std::size_t>(ch)], t, canvas.clipBox());
  trace::DrawCurve(canvas, vs, c, t.markers, markerStyle, scene.fullDetail);
}

void Show_Channel_Axis(Canvas& canvas, const WaveScene& scene) {
  const WaveGeometry& geo = scene.geo;
  const int L = geo.L, T = geo.T, h = geo.h, h2 = geo.h2, R = geo.R, Dg = geo.Dg;
  const std::int64_t W = geo.gridWidth;
  const std::int64_t s = W / 8;
  const int E = geo.zoomLevelX == -3 ? 19 : 16;
  const TColor grid = colour(scene, 21);
  const Rect clip = canvas.clipBox();

  canvas.pen() = Pen{grid, 1, PenStyle::Solid, PenMode::Copy};
  const int frameTop = T - h2 - 8;
  const int frameBottom = R * h + Dg + T - h2 + 8;
  Line(canvas, L - 2, frameTop, L - 2, frameBottom);
  Line(canvas, ClampPixel(W + L + 16), frameTop, ClampPixel(W + L + 16), frameBottom);
  for (int k = 0; k < 8; ++k) {
    const int x1 = ClampPixel(L - 2 + s * k), x2 = ClampPixel(s * (k + 1) + L + E);
    Line(canvas, x1, frameTop, x2, frameTop);
    Line(canvas, x1, frameBottom, x2, frameBottom);
  }

  canvas.pen().style = PenStyle::Dot;
  const auto dotted = [&](int y) {
    for (int k = 0; k < 8; ++k) Line(canvas, ClampPixel(L + s * k), y, ClampPixel(L + s * (k + 1)), y);
  };
  const bool anyGrid = scene.options.anyGrid();
  if (anyGrid) {
    dotted(R * h + T - h2);
    if (Dg > 0) dotted(R * h + T - h2 + Dg);
    dotted(T - h2);
  }
  if (scene.options.WindowGridX == 1) {
    for (int r = 0; r < R; ++r) dotted(r * h + T);
    for (int r = 1; r < R; ++r) dotted(r * h + T - h2);
  }
  const std::int64_t ppc = std::max(1, geo.pixelsPerCycle1);
  // Cycles whose line (or number, which starts one pixel right of it) can reach the box.
  const std::int64_t cFirst = std::max<std::int64_t>(1, (std::int64_t{clip.left} - L - 64) / ppc);
  const std::int64_t cLast = std::min(geo.cycles, (std::int64_t{clip.right} - L) / ppc + 1);
  if (scene.options.WindowGridY == 1) {
    for (std::int64_t c = cFirst; c <= cLast; ++c) {
      const int x = ClampPixel(c * geo.pixelsPerCycle1 + L);
      Line(canvas, x, T - h2, x, R * h + Dg + T - h2);
    }
  }
  if (anyGrid) {
    canvas.font().color = grid;
    canvas.font().setSize(3);
    for (int r = 0; r < R; ++r)
      for (std::int64_t c = cFirst; c <= cLast; ++c)
        TextIfShown(canvas, ClampPixel(c * geo.pixelsPerCycle1 + L + 1), r * h + T + 1, Decimal(c));
    if (Dg > 0)
      for (std::int64_t c = cFirst; c <= cLast; ++c)
        TextIfShown(canvas, ClampPixel(c * geo.pixelsPerCycle1 + L + 1), R * h + (Dg - h2 - 14) + T + 1, Decimal(c));
  }

  canvas.pen().color = grid;
  canvas.pen().style = PenStyle::Solid;
  canvas.font().color = kBlack;
  canvas.font().setSize(12);
  if (!anyGrid) return;
  const int q = h / 8;
  for (int r = 0; r < R; ++r) {
    const int y0 = r * h + T - h2;
    Line(canvas, L - 12, y0, L + 8, y0);
    Line(canvas, L - 12, r * h + T, L + 8, r * h + T);
    for (int k : {1, 2, 3, 5, 6, 7}) Line(canvas, L - 2, y0 + q * k, L + 8, y0 + q * k);
  }
  Line(canvas, L - 12, R * h + T - h2, L + 8, R * h + T - h2);
}

void Show_All_Status(Canvas& canvas, const WaveScene& scene, int rowCount) {
  const WaveGeometry& geo = scene.geo;
  const int h = geo.h, L = geo.L;
  const Rect clip = canvas.clipBox();
  const auto& digital = scene.options.WindowDigital;
  const int lanes = std::clamp(digital.Count, 0, kMaxDigitalShown);
  for (int q = 0; q < lanes; ++q) {
    const int d = digital.Index[static_cast<std::size_t>(q)];
    if (d < 0 || d >= scene.record.D || static_cast<std::size_t>(d) >= scene.digital.size()) continue;
    canvas.pen().width = 1;
    canvas.pen().color = colour(scene, 23);
    canvas.pen().style = PenStyle::Solid;
    canvas.font().charset = 134;
    canvas.font().color = colour(scene, 24);

    const int yq = (2 * q + 1) * (h / 8) + rowCount * h - geo.h2 + geo.T;
    const std::string& name = scene.record.DInfo[static_cast<std::size_t>(d)].ch_id;
    if (yq < clip.bottom && yq + 2 * canvas.font().height + 2 > clip.top)
      canvas.textOut(ClampPixel(std::int64_t{L} - canvas.textWidth(name) - 20), yq, name);
    canvas.font().color = colour(scene, 21);
    TextIfShown(canvas, L - 15, yq + h / 25, "0");

    const LaneLevels lv{yq + h / 10, yq - h / 25};
    if (std::max(lv.y0, lv.y1) < clip.top || std::min(lv.y0, lv.y1) >= clip.bottom) continue;
    const auto b = scene.digital[static_cast<std::size_t>(d)];
    const int xlo = clip.left - 1, xhi = clip.right + 1;
    const std::vector<std::int64_t>* switches =
        scene.summary && static_cast<std::size_t>(d) < scene.summary->digitalSwitches.size()
            ? &scene.summary->digitalSwitches[static_cast<std::size_t>(d)]
            : nullptr;
    LaneLines out(canvas);
    // The steps of both rates: the first rate's last step leads to the second's first sample.
    const IndexRange r = visibleSteps(geo, 0, geo.endsamp2 - 2, xlo, xhi);
    laneSteps(out, geo, b, lv, r.first, r.last, switches);
  }
}

void Show_AllChannel_Wave(Canvas& canvas, const WaveScene& scene) {
  const WaveGeometry& geo = scene.geo;
  int markerStyle = 0;
  Show_Channel_Axis(canvas, scene);
  int r = 0;
  for (int g = 0; g < kGroupRowCount; ++g) {
    const auto& group = scene.options.WindowGroups[static_cast<std::size_t>(g)];
    if (group.Count == 0) continue;
    for (int j = 0; j < GroupSize(group); ++j) {
      const int ch = group.Channel[static_cast<std::size_t>(j)];
      if (!validAnalog(scene, ch)) continue;
      Show_OneChannel_Wave(canvas, scene, g, ChannelTraceColor(scene.colors, group.ColorIndex[static_cast<std::size_t>(j)]),
                           j, ch, r, markerStyle);
      markerStyle = (markerStyle + 1) % kMarkerStyleCount;
    }
    if (scene.options.anyGrid())
      TextIfShown(canvas, geo.L - 40, r * geo.h + geo.T - static_cast<int>(std::trunc(geo.h * 0.5)) - 5,
                  Decimal(scene.scales.GroupMaxima[static_cast<std::size_t>(g)]));
    ++r;
  }
  Show_All_Status(canvas, scene, r);
}

void PaintWaveView(Canvas& canvas, const WaveScene& scene) {
  canvas.brush() = Brush{colour(scene, 22), BrushStyle::Solid};
  canvas.fillRect(canvas.clipBox());
  Show_AllChannel_Wave(canvas, scene);
}

}  // namespace wave
