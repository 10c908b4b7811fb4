#include "waveform/view/rms_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "waveform/model/scale.h"
#include "waveform/view/trace_path.h"

namespace wave {

using trace::ClampPixel;
using trace::Decimal;
using trace::IndexRange;
using trace::Line;
using trace::MarkerOrder;
using trace::TextIfShown;
using trace::Vertex;

namespace {

TColor colour(const RmsScene& scene, int number) { return scene.wave.colors[static_cast<std::size_t>(number - 1)]; }

double peakOf(const RmsScales& scales, int ch) {
  if (ch < 0 || static_cast<std::size_t>(ch) >= scales.RmsPeaks.size()) return 0.05;
  return scales.RmsPeaks[static_cast<std::size_t>(ch)];
}

int halfRow(int h) { return static_cast<int>(std::nearbyint(h * 0.5)); }

// Whole cycles of the two rates.
std::int64_t cycles1(const WaveGeometry& geo) { return geo.endsamp1 / geo.N; }
std::int64_t cycles2(const WaveGeometry& geo) { return geo.twoRates ? (geo.endsamp2 - geo.endsamp1) / geo.N2 : 0; }

std::int64_t roundX(double v) {
  if (!(std::fabs(v) < 9.0e18)) return 0;
  return static_cast<std::int64_t>(std::nearbyint(v));
}

struct CurveParams {
  int y0 = 0;  // the row's lower edge
  double scale = 1;
  int amplitude = 0;
  bool markers = false;
};

void appendValues(std::vector<Vertex>& out, const RmsScene& scene, std::span<const double> values, const CurveParams& c,
                  IndexRange range, std::int64_t offset) {
  for (std::int64_t i = range.first; i <= range.last; ++i) {
    const std::int64_t n = offset + i;
    if (n < 0 || static_cast<std::size_t>(n) >= values.size()) break;
    Vertex v;
    v.p.x = ClampPixel(RmsValueX(scene.wave.geo, n));
    v.p.y = ValueY(c.y0, values[static_cast<std::size_t>(n)], c.scale, c.amplitude);
    if (c.markers) v.marker = MarkerOrder::AfterIncoming;
    out.push_back(v);
  }
}

// The value indexes of each rate that can reach the clip box (the second
// rate's counted from endsamp1).
std::pair<IndexRange, IndexRange> curveRanges(const RmsScene& scene, std::span<const double> values, const Rect& clip) {
  const WaveGeometry& geo = scene.wave.geo;
  const int xlo = clip.left - 8, xhi = clip.right + 8;  // markers reach beyond their point
  const std::int64_t count = std::min<std::int64_t>(static_cast<std::int64_t>(values.size()), geo.endsamp2);
  const std::int64_t last1 = std::min(count, geo.twoRates ? geo.endsamp1 : count) - 1;
  const std::int64_t last2 = geo.twoRates ? count - geo.endsamp1 - 1 : -1;
  const double pps1 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f1, geo.N);
  const double pps2 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f2, geo.N2);
  IndexRange r1 = trace::VisibleIndexes(geo.L, pps1, 1, last1, xlo, xhi);
  IndexRange r2;
  if (last2 >= 0) {
    r2 = trace::VisibleIndexes(static_cast<double>(geo.L) + static_cast<double>(geo.endsamp1) * pps1, pps2, 1, last2,
                               xlo, xhi);
    if (!r1.empty() && r1.last < last1) r2 = {};       // the first rate runs past the box
    if (!r2.empty() && r2.first == 0 && last1 >= 0) {  // the line joining the rates is needed
      r1.first = std::min(r1.empty() ? last1 : r1.first, last1);
      r1.last = last1;
    }
  }
  return {r1, r2};
}

// The values of one curve that can reach the clip box, in drawing order.
std::vector<Vertex> curveVertices(const RmsScene& scene, std::span<const double> values, const CurveParams& c,
                                  const Rect& clip) {
  const WaveGeometry& geo = scene.wave.geo;
  const auto [r1, r2] = curveRanges(scene, values, clip);
  std::vector<Vertex> out;
  out.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, r1.last - r1.first + 1) +
                                       std::max<std::int64_t>(0, r2.last - r2.first + 1)));
  if (!r1.empty()) appendValues(out, scene, values, c, r1, 0);
  if (!r2.empty()) appendValues(out, scene, values, c, r2, geo.endsamp1);
  return out;
}

// The same values as runs over the channel's envelope; false without one.
bool curveRuns(std::array<trace::PointRun, 2>& runs, const RmsScene& scene, int ch, const CurveParams& c,
               const Rect& clip) {
  const WaveGeometry& geo = scene.wave.geo;
  const DrawSummary* summary = scene.wave.summary;
  const auto slot = static_cast<std::size_t>(ch);
  if (!summary || slot >= summary->rms.size()) return false;
  const PointEnvelope& env = summary->rms[slot];
  const std::span<const double> values = scene.rms[slot];
  if (env.offset() != 0 || env.stride() != 1 || env.count() != static_cast<std::int64_t>(values.size())) return false;
  const auto [r1, r2] = curveRanges(scene, values, clip);
  // RmsValueX of each rate.
  const double pps1 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f1, geo.N);
  const double pps2 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f2, geo.N2);
  const std::int64_t markerEvery = c.markers ? 1 : 0;
  if (!r1.empty()) runs[0] = {values, &env, r1.first, r1.last, trace::RunX{0, pps1, double(geo.L), 1, 0}, markerEvery};
  if (!r2.empty())
    runs[1] = {values,
               &env,
               geo.endsamp1 + r2.first,
               geo.endsamp1 + r2.last,
               trace::RunX{geo.L + static_cast<double>(geo.endsamp1) * pps1, pps2, 0, 1, geo.endsamp1},
               markerEvery};
  return true;
}

// A dotted or solid line in the frame's eight pieces at y.
void eightPieces(Canvas& canvas, const WaveGeometry& geo, std::int64_t wt, int m, int y) {
  const std::int64_t s = wt / 8;
  for (int k = 0; k < 8; ++k) Line(canvas, ClampPixel(geo.L - 2 + s * k), y, ClampPixel(geo.L + m + s * (k + 1)), y);
}

}  // namespace

void SetRmsPeaks(RmsScales& scales, std::span<const double> peaks) {
  scales.RmsPeaks.assign(peaks.begin(), peaks.end());
  scales.RmsChannelScales.clear();
  for (const double peak : peaks) scales.RmsChannelScales.push_back(RoundUpScale(peak));
}

void ComputeRmsPeaks(RmsScales& scales, std::span<const std::span<const double>> rms, std::int64_t count) {
  const auto n = static_cast<std::size_t>(std::max<std::int64_t>(0, count));
  scales.RmsPeaks.assign(rms.size(), 0.05);
  scales.RmsChannelScales.assign(rms.size(), 1);
  for (std::size_t i = 0; i < rms.size(); ++i) {
    scales.RmsPeaks[i] = GetMaxAbsValue(rms[i].first(std::min(n, rms[i].size())));
    scales.RmsChannelScales[i] = RoundUpScale(scales.RmsPeaks[i]);
  }
}

void UpdateRmsScales(RmsScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups) {
  if (scales.ScalesDirty != 1) return;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int count = GroupSize(groups[g]);
    for (int j = 0; j < count; ++j) {
      const double peak = peakOf(scales, groups[g].Channel[static_cast<std::size_t>(j)]);
      if (j == 0 || peak > scales.RmsRowScales[g]) scales.RmsRowScales[g] = RoundUpScale(peak);
    }
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const double maximum = scales.RmsRowScales[g];
    for (int j = 0; j < GroupSize(groups[g]); ++j) {
      const double peak = peakOf(scales, groups[g].Channel[static_cast<std::size_t>(j)]);
      scales.RmsRatios[g][static_cast<std::size_t>(j)] = (groups[g].Count > 1 && maximum > peak) ? peak / maximum : 1.0;
    }
  }
  scales.ScalesDirty = 0;
}

float RmsPixelsPerSample(int pixelsPerCycle1, int f, int n) {
  const int points = std::max(1, f * n);
  const int whole = pixelsPerCycle1 / points;
  if (whole > 0) return static_cast<float>(whole * f);
  return static_cast<float>(pixelsPerCycle1) / static_cast<float>(std::max(1, n));
}

std::int64_t RmsPlotWidth(const WaveGeometry& geo) {
  return cycles1(geo) * geo.pixelsPerCycle1 + cycles2(geo) * geo.pixelsPerCycle2;
}

std::int64_t RmsTrackBarWidth(const WaveGeometry& geo) { return RmsPlotWidth(geo) + 18; }

std::int64_t RmsValueX(const WaveGeometry& geo, std::int64_t n) {
  const double pps1 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f1, geo.N);
  if (!geo.twoRates || n < geo.endsamp1) return roundX(geo.L + static_cast<double>(n) * pps1);
  const double pps2 = RmsPixelsPerSample(geo.pixelsPerCycle1, geo.f2, geo.N2);
  return roundX(geo.L + static_cast<double>(geo.endsamp1) * pps1 + static_cast<double>(n - geo.endsamp1) * pps2);
}

void Show_Channel_AxisRMS(Canvas& canvas, const RmsScene& scene) {
  const WaveGeometry& geo = scene.wave.geo;
  const WindowOptions& options = scene.wave.options;
  const int L = geo.L, T = geo.T, h = geo.h, R = geo.R, Dg = geo.Dg;
  const std::int64_t wt = RmsPlotWidth(geo);
  const std::int64_t cycles = cycles1(geo) + cycles2(geo);
  const int m = geo.zoomLevelX == -3 ? 19 : 16;
  const TColor grid = colour(scene, 21);
  const Rect clip = canvas.clipBox();

  canvas.pen() = Pen{grid, 1, PenStyle::Solid, PenMode::Copy};
  const int top = T - h / 2 - 8;
  const int bottom = R * h + Dg + T - h / 2 + 15;
  Line(canvas, L - 2, top, L - 2, bottom);
  Line(canvas, ClampPixel(L + wt + 16), top, ClampPixel(L + wt + 16), bottom);
  eightPieces(canvas, geo, wt, m, top);
  eightPieces(canvas, geo, wt, m, bottom);

  canvas.pen().style = PenStyle::Dot;
  const bool anyGrid = options.anyGrid();
  if (anyGrid) eightPieces(canvas, geo, wt, m, R * h + T - halfRow(h));
  if (options.WindowGridX == 1)
    for (int k = 1; k < R; ++k) eightPieces(canvas, geo, wt, m, k * h + T - halfRow(h));
  const std::int64_t ppc = std::max(1, geo.pixelsPerCycle1);
  const std::int64_t cFirst = std::max<std::int64_t>(1, (std::int64_t{clip.left} - L - 64) / ppc);
  const std::int64_t cLast = std::min(cycles, (std::int64_t{clip.right} - L) / ppc + 1);
  if (options.WindowGridY == 1)
    for (std::int64_t k = cFirst; k <= cLast; ++k) {
      const int x = ClampPixel(k * geo.pixelsPerCycle1 + L);
      Line(canvas, x, T - geo.h2, x, R * h + Dg + T - geo.h2);
    }
  if (anyGrid) {
    canvas.font().color = grid;
    canvas.font().setSize(3);
    for (int r = 0; r < R; ++r)
      for (std::int64_t k = cFirst; k <= cLast; ++k)
        TextIfShown(canvas, ClampPixel(k * geo.pixelsPerCycle1 + L + 1), r * h + T + 1 + h / 2, Decimal(k));
    if (Dg > 0)
      for (std::int64_t k = cFirst; k <= cLast; ++k)
        TextIfShown(canvas, ClampPixel(k * geo.pixelsPerCycle1 + L + 1), R * h + Dg - h / 2 - 14 + T + 1, Decimal(k));
    canvas.pen().style = PenStyle::Solid;
    for (int r = 0; r < R; ++r)
      for (int i = 1; i <= 7; ++i) {
        const int y = r * h + T - halfRow(h) + (h / 8) * i;
        Line(canvas, L - 2, y, L + 8, y);
      }
    Line(canvas, L - 12, (R - 1) * h + T - halfRow(h), L + 8, (R - 1) * h + T - halfRow(h));
  }
  canvas.pen().style = PenStyle::Solid;
  canvas.font().color = kBlack;
  canvas.font().setSize(12);
}

void Show_OneChannel_RMS(Canvas& canvas, const RmsScene& scene, int r, int g, int p, int ch, TColor c,
                         int markerStyle) {
  const WaveGeometry& geo = scene.wave.geo;
  CurveParams params;
  params.y0 = r * geo.h + geo.T + geo.h / 2;
  params.scale = scene.scales.RmsChannelScales[static_cast<std::size_t>(ch)];
  params.amplitude = static_cast<int>(
      std::trunc(geo.h * scene.scales.RmsRatios[static_cast<std::size_t>(g)][static_cast<std::size_t>(p)]));
  params.markers = scene.wave.options.WindowPointsAndLines == 1;

  Show_Channel_Info(canvas, scene.wave, g, ch, p, params.y0 - geo.h / 2, c, markerStyle);
  canvas.pen().color = c;
  canvas.pen().style = PenStyle::Solid;
  canvas.pen().mode = PenMode::Copy;
  const trace::ValueToY map{params.y0, params.scale, params.amplitude};
  std::array<trace::PointRun, 2> runs;
  if (!scene.wave.fullDetail && map.monotone() && curveRuns(runs, scene, ch, params, canvas.clipBox())) {
    if (trace::OrderFree(params.markers, markerStyle))
      trace::DrawOrderFreeRuns(canvas, runs, map, c, markerStyle);
    else
      trace::DrawInOrderRuns(canvas, runs, map, c, markerStyle);
    return;
  }
  const std::vector<Vertex> vs =
      curveVertices(scene, scene.rms[static_cast<std::size_t>(ch)], params, canvas.clipBox());
  trace::DrawCurve(canvas, vs, c, params.markers, markerStyle, scene.wave.fullDetail);
}

void Show_AllChannel_RMS(Canvas& canvas, const RmsScene& scene) {
  const WaveGeometry& geo = scene.wave.geo;
  const WindowOptions& options = scene.wave.options;
  Show_Channel_AxisRMS(canvas, scene);
  int markerStyle = 0;
  int r = 0;
  for (int g = 0; g < kGroupRowCount; ++g) {
    const auto& group = options.WindowGroups[static_cast<std::size_t>(g)];
    if (group.Count == 0) continue;
    for (int p = 0; p < GroupSize(group); ++p) {
      const int ch = group.Channel[static_cast<std::size_t>(p)];
      if (ch < 0 || ch >= scene.wave.record.A || static_cast<std::size_t>(ch) >= scene.rms.size() ||
          static_cast<std::size_t>(ch) >= scene.scales.RmsChannelScales.size())
        continue;
      Show_OneChannel_RMS(canvas, scene, r, g, p, ch,
                          ChannelTraceColor(scene.wave.colors, group.ColorIndex[static_cast<std::size_t>(p)]),
                          markerStyle);
      markerStyle = (markerStyle + 1) % kMarkerStyleCount;
    }
    if (options.anyGrid())
      TextIfShown(canvas, geo.L - 40, geo.h * r + geo.T - halfRow(geo.h) - 5,
                  Decimal(scene.scales.RmsRowScales[static_cast<std::size_t>(g)]));
    ++r;
  }
  Show_All_Status(canvas, scene.wave, r);
}

void PaintRmsView(Canvas& canvas, const RmsScene& scene) {
  canvas.brush() = Brush{colour(scene, 22), BrushStyle::Solid};
  canvas.fillRect(canvas.clipBox());
  Show_AllChannel_RMS(canvas, scene);
}

}  // namespace wave
