#include "waveform/print/record_pages.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "common/arith.h"
#include "common/datetime.h"
#include "common/safeformat.h"
#include "common/strings.h"
#include "waveform/model/scale.h"
#include "waveform/view/trace_path.h"
#include "waveform/view/window_options.h"

namespace wave {

namespace {

constexpr char kTimePattern[] = "yyyy/mm/dd hh:nn:ss.zzz";

// Round(v * num / den) on the exact fraction, halves to the even neighbour
// (den > 0): the page factors 0.05, 0.15, 1.3 ... are decimal fractions.
int roundRatio(std::int64_t v, std::int64_t num, std::int64_t den) {
  const std::int64_t p = v * num;
  std::int64_t q = p / den;
  const std::int64_t twice = 2 * std::abs(p % den);
  if (twice > den || (twice == den && q % 2 != 0)) q += p < 0 ? -1 : 1;
  return trace::ClampPixel(q);
}

void setFont(Canvas& canvas, std::string name, int size, TColor colour, bool bold) {
  Font& font = canvas.font();
  font.name = std::move(name);
  font.setSize(size);
  font.color = colour;
  font.bold = bold;
}

Pen axisPen(int width) { return Pen{kBlack, width, PenStyle::Solid, PenMode::Copy}; }

Pen gridPen() { return Pen{kBlack, 1, PenStyle::Dot, PenMode::Copy, kPrintDotLength}; }

// The time of cycle `cycle` from the record's start, in whole milliseconds.
std::string cycleMilliseconds(const PrintedRecord& rec, std::int64_t cycle) {
  const int lf = rec.record.lf > 0 ? rec.record.lf : 50;
  return trace::Decimal(common::Round(static_cast<long double>(cycle) * 1000 / lf));
}

// The first sample whose point is at or after `point`.
std::int64_t sampleAtOrAfter(const RecordLayout& layout, std::int64_t point) {
  const std::int64_t rate1End = layout.rate1Samples * layout.f1;
  if (point <= 0) return 0;
  if (point <= rate1End) return (point + layout.f1 - 1) / layout.f1;
  return layout.rate1Samples + (point - rate1End + layout.f2 - 1) / layout.f2;
}

// The last sample whose point is at or before `point` (-1 when none is).
std::int64_t sampleAtOrBefore(const RecordLayout& layout, std::int64_t point) {
  if (point < 0 || layout.sampleCount <= 0) return -1;
  const std::int64_t rate1End = layout.rate1Samples * layout.f1;
  const std::int64_t k = point < rate1End ? point / layout.f1 : layout.rate1Samples + (point - rate1End) / layout.f2;
  return std::min(k, layout.sampleCount - 1);
}

// The buffer points of one page: [first, last], the last one no further than
// the record's last sample.
struct PagePoints {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

PagePoints pagePoints(const PageContext& ctx) {
  const PrintGeometry& geo = ctx.geo;
  const RecordLayout& layout = ctx.rec.data->layout();
  PagePoints pts;
  pts.first = std::int64_t{ctx.page - 1} * geo.cyclesPerPage * geo.P;
  const std::int64_t lastSample = layout.sampleCount > 0 ? layout.pointOf(layout.sampleCount - 1) : -1;
  pts.last = std::min(pts.first + std::int64_t{geo.cyclesPerPage} * geo.P, lastSample);
  return pts;
}

void drawHalfArrows(Canvas& canvas, const PrintGeometry& geo, int axisY, int axisTop) {
  const int xEnd = geo.W - geo.R;
  trace::Line(canvas, xEnd - geo.u, axisY - geo.u, xEnd, axisY);
  trace::Line(canvas, xEnd - geo.u, axisY + geo.u, xEnd, axisY);
  trace::Line(canvas, geo.L - geo.u, axisTop + 2 * geo.u, geo.L, axisTop);
  trace::Line(canvas, geo.L + geo.u, axisTop + 2 * geo.u, geo.L, axisTop);
}

const TChannelGroup& groupOf(const PageContext& ctx, int g) {
  return ctx.settings.ChannelGroups[static_cast<std::size_t>(g)];
}

// --- texts on the sheet ---
//
// Texts are placed where the page layout puts them as long as they lie whole
// on the sheet and apart from each other; otherwise they move the least
// needed, or take a smaller font.

Rect textBox(Canvas& canvas, int x, int y, std::string_view text) {
  return Rect{x, y, x + canvas.textWidth(text), y + canvas.textHeight(text)};
}

// The font made smaller (down to 1 point) until the text is no wider than width.
void shrinkToWidth(Canvas& canvas, std::string_view text, int width) {
  while (canvas.font().size() > 1 && canvas.textWidth(text) > width) canvas.font().setSize(canvas.font().size() - 1);
}

// The text cut at a character boundary until it is no wider than width.
std::string cutToWidth(Canvas& canvas, std::string text, int width) {
  while (!text.empty() && canvas.textWidth(text) > width) {
    std::size_t end = text.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;  // a UTF-8 lead byte
    text.resize(end);
  }
  return text;
}

bool clearOf(const Rect& box, const std::vector<Rect>& placed) {
  return std::none_of(placed.begin(), placed.end(), [&](const Rect& b) { return Intersects(box, b); });
}

// Draws the text at (x, y) moved onto the sheet and keeps its box.
void pageText(Canvas& canvas, const PageContext& ctx, int x, int y, std::string_view text) {
  const Rect box = textBox(canvas, 0, 0, text);
  x = std::clamp(x, 0, std::max(0, ctx.geo.W - box.right));
  y = std::clamp(y, 0, std::max(0, ctx.geo.H - box.bottom));
  canvas.textOut(x, y, text);
  if (ctx.placed) ctx.placed->push_back(textBox(canvas, x, y, text));
}

// pageText, the text moved up or down the least needed to keep clear of the
// texts placed before it (where the sheet has room for that).
void textApart(Canvas& canvas, const PageContext& ctx, int x, int y, std::string_view text) {
  shrinkToWidth(canvas, text, ctx.geo.W);
  const Rect size = textBox(canvas, 0, 0, text);
  x = std::clamp(x, 0, std::max(0, ctx.geo.W - size.right));
  const int lowest = std::max(0, ctx.geo.H - size.bottom);
  y = std::clamp(y, 0, lowest);
  if (ctx.placed) {
    std::vector<int> candidates{y};
    for (const Rect& b : *ctx.placed)
      if (b.left < x + size.right && x < b.right) candidates.insert(candidates.end(), {b.top - size.bottom, b.bottom});
    std::sort(candidates.begin(), candidates.end(),
              [y](int a, int b) { return std::abs(a - y) < std::abs(b - y) || (std::abs(a - y) == std::abs(b - y) && a < b); });
    for (const int c : candidates)
      if (c >= 0 && c <= lowest && clearOf(textBox(canvas, x, c, text), *ctx.placed)) {
        y = c;
        break;
      }
  }
  pageText(canvas, ctx, x, y, text);
}

}  // namespace

// --- hand-over and geometry ---

PrintedRecord MakePrintedRecord(const TcfgInfo& record, std::shared_ptr<const RecordData> data,
                                const WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups) {
  PrintedRecord p;
  p.record = record;
  WaveScales s = scales;
  if (data) {
    const RecordLayout& layout = data->layout();
    p.NoNegativeSamples = data->NoNegativeSamples;
    p.CycleCount = layout.CycleCount;
    p.SamplesPerCycle = layout.N1;
    if (s.ChannelPeaks.size() != data->analogCount()) {
      std::vector<std::span<const double>> analog;
      for (std::size_t i = 0; i < data->analogCount(); ++i) analog.push_back(data->samples(i));
      ComputeChannelPeaks(s, analog, layout.analogPoints);
      s.ScalesDirty = 1;
    }
  }
  UpdateGroupScales(s, groups);
  p.ChannelPeaks = s.ChannelPeaks;
  p.GroupMaxima = s.GroupMaxima;
  p.GroupRatios = s.GroupRatios;
  p.data = std::move(data);
  return p;
}

int PrintGeometry::pointX(std::int64_t offset) const {
  if (stepX >= 1) return trace::ClampPixel(L + offset * stepX);
  return trace::ClampPixel(L + offset * cycleWidth / std::max(1, P));
}

int PrintGeometry::rowY(int r) const { return roundRatio(T, 13, 10) + r * RH; }

int PrintRowCount(const std::array<TChannelGroup, kGroupRowCount>& groups, const TDigitalSelection& digital) {
  int rows = 0;
  for (const auto& group : groups) rows += group.Count > 0;
  if (digital.Count > 0) rows += digital.Count / 5 + 1;
  return std::min(rows, kGroupRowCount);
}

PrintGeometry ComputePrintGeometry(int W, int H, double scaleX, double scaleY, int rowCount,
                                   const RecordLayout& layout) {
  PrintGeometry g;
  g.W = W;
  g.H = H;
  g.scaleX = scaleX;
  g.scaleY = scaleY;
  g.large = std::trunc(scaleX * 10) >= 20;

  // Top and bottom margins in hundredths of the height, by the number of rows.
  static constexpr int kMarginPercent[9] = {20, 20, 20, 20, 15, 14, 13, 12, 10};
  g.rows = std::clamp(rowCount, 3, kGroupRowCount);
  g.L = g.R = roundRatio(W, 1, 10);
  g.T = g.B = roundRatio(H, kMarginPercent[g.rows], 100);
  g.RH = (H - g.T - g.B) / g.rows;

  g.cycleWidth = g.large ? 448 : 224;
  g.cyclesPerPage = std::max(0, (W - g.L - g.R) / g.cycleWidth);
  g.N = std::max(1, layout.N1);
  g.P = std::max(1, layout.f1) * g.N;
  g.stepX = g.cycleWidth / g.P;
  g.u = roundRatio(g.L, 5, 100);
  g.textSize = g.large ? 40 : 25;
  g.boldSize = g.large ? 50 : 30;

  g.cycles = layout.rate1Samples / g.N;
  if (layout.twoRates) g.cycles += (layout.sampleCount - layout.rate1Samples) / std::max(1, layout.N2);
  if (g.cyclesPerPage > 0) {
    const std::int64_t pages = (g.cycles + g.cyclesPerPage - 1) / g.cyclesPerPage;
    g.totalPages = static_cast<int>(std::min<std::int64_t>(pages, std::numeric_limits<int>::max()));
  }
  return g;
}

std::string PrintTexts::text(int key, std::string_view fallback) const {
  return lookup(kPrintPreviewSection, "str" + trace::Decimal(key), fallback);
}

std::string PageLabel(const PrintTexts& texts, int key, int page, int total) {
  constexpr std::string_view kLabel = "第%d页  共%d页";
  return common::FormatLangText(texts.text(key, kLabel), kLabel, {trace::Decimal(page), trace::Decimal(total)});
}

// --- one page ---

void Print_Page_Info(Canvas& canvas, const PageContext& ctx) {
  const PrintGeometry& geo = ctx.geo;
  const TcfgInfo& record = ctx.rec.record;

  // The times line first: the title keeps clear of it (above it where there is room).
  setFont(canvas, ctx.texts.text(2, "宋体"), geo.textSize, kBlack, false);
  const std::string times = ctx.texts.text(5, "起始时间:") + common::FormatDateTime(kTimePattern, record.StartTime) +
                            ctx.texts.text(6, " 触发时间:") + common::FormatDateTime(kTimePattern, record.TriggerTime);
  shrinkToWidth(canvas, times, geo.W);
  textApart(canvas, ctx, geo.W - geo.R - canvas.textWidth(times), roundRatio(geo.T, 6, 10), times);

  setFont(canvas, ctx.texts.text(2, "宋体"), geo.textSize, kBlack, false);
  const std::string title =
      common::Trim(record.station_name + "  " + record.rec_dev_id) + ctx.texts.text(4, " 波形图");
  shrinkToWidth(canvas, title, geo.W);
  textApart(canvas, ctx, (geo.W - canvas.textWidth(title) - geo.R) / 2, roundRatio(geo.T, 5, 10), title);

  setFont(canvas, ctx.texts.text(2, "宋体"), geo.textSize, kBlack, false);
  constexpr std::string_view kFooter = "第%d页  共%d页";
  const std::string footer = common::FormatLangText(ctx.texts.text(7, kFooter), kFooter,
                                                    {trace::Decimal(ctx.page), trace::Decimal(geo.totalPages)});
  shrinkToWidth(canvas, footer, geo.W);
  textApart(canvas, ctx, (geo.W - canvas.textWidth(footer)) / 2, geo.H - roundRatio(geo.B, 7, 10), footer);
}

namespace {

// Where a row's label line goes: its scale, then its channels' names, each at
// its place unless the text before it reaches there (then just after it), all
// in one font small enough for the line to end by rightEnd.
struct RowLabels {
  int size = 1;
  int scaleX = 0;
  std::array<int, kChannelsPerGroup> nameX{};
};

RowLabels rowLabels(Canvas& canvas, const PageContext& ctx, int g, int rightEnd) {
  const PrintGeometry& geo = ctx.geo;
  const TChannelGroup& group = groupOf(ctx, g);
  const int step = roundRatio(geo.L, 2, 10);
  const std::string scale = trace::Decimal(ctx.rec.GroupMaxima[static_cast<std::size_t>(g)]);
  RowLabels labels;
  for (int size = canvas.font().size();; --size) {
    canvas.font().setSize(size);
    labels.size = size;
    labels.scaleX = geo.L + step;
    int right = labels.scaleX + canvas.textWidth(scale);
    for (int j = 0; j < GroupSize(group); ++j) {
      const int ch = group.Channel[static_cast<std::size_t>(j)];
      const int at = geo.L + (5 + 3 * j) * step;
      const int x = at >= right ? at : right + geo.u;
      labels.nameX[static_cast<std::size_t>(j)] = x;
      if (ch >= 0 && static_cast<std::size_t>(ch) < ctx.rec.record.AInfo.size())
        right = x + canvas.textWidth(ctx.rec.record.AInfo[static_cast<std::size_t>(ch)].ch_id);
    }
    if (right <= rightEnd || size <= 1) return labels;
  }
}

}  // namespace

void Print_Channel_Info(Canvas& canvas, const PageContext& ctx, int r, int g, int j, int ch, TColor colour) {
  const PrintGeometry& geo = ctx.geo;
  const int Y0 = geo.rowY(r);
  const int u = geo.u;
  const int xEnd = geo.W - geo.R;
  const int axisPenWidth = common::Round(geo.scaleX) > 1 ? 5 : 4;

  canvas.pen() = axisPen(axisPenWidth);
  trace::Line(canvas, geo.L, Y0, xEnd, Y0);

  canvas.pen() = gridPen();
  const int gridStep = roundRatio(geo.RH, 96, 1000);
  for (int k = 1; k <= 3; ++k) {
    trace::Line(canvas, geo.L, Y0 - k * gridStep, xEnd, Y0 - k * gridStep);
    trace::Line(canvas, geo.L, Y0 + k * gridStep, xEnd, Y0 + k * gridStep);
  }

  setFont(canvas, ctx.texts.text(3, "宋体"), geo.textSize, kBlack, false);
  const Rect ms = textBox(canvas, xEnd - 5 * u, Y0 - 4 * u, "ms");
  pageText(canvas, ctx, ms.left, ms.top, "ms");

  canvas.pen() = axisPen(axisPenWidth);
  const int reach = roundRatio(geo.RH, 4, 10);
  trace::Line(canvas, geo.L, Y0 + reach, geo.L, Y0 - reach);
  drawHalfArrows(canvas, geo, Y0, Y0 - reach);

  for (int c = 1; c <= geo.cyclesPerPage; ++c) {
    const std::int64_t cycle = std::int64_t{ctx.page - 1} * geo.cyclesPerPage + c;
    if (cycle > geo.cycles) break;
    const int x = geo.pointX(std::int64_t{c} * geo.P);
    trace::Line(canvas, x, Y0, x, Y0 - u);
    pageText(canvas, ctx, x, Y0 + 2 * u, cycleMilliseconds(ctx.rec, cycle));
  }

  setFont(canvas, ctx.texts.text(3, "宋体"), geo.boldSize, colour, true);
  const int labelY = Y0 - roundRatio(geo.RH, 45, 100);
  // On a low row the label line reaches down to the "ms": it ends before it.
  const bool besideMs = labelY - 6 < ms.bottom && ms.top < labelY + canvas.font().height;
  const RowLabels labels = rowLabels(canvas, ctx, g, besideMs ? ms.left - u : geo.W);
  canvas.font().setSize(labels.size);
  pageText(canvas, ctx, labels.scaleX, labelY, trace::Decimal(ctx.rec.GroupMaxima[static_cast<std::size_t>(g)]));
  pageText(canvas, ctx, labels.nameX[static_cast<std::size_t>(j)], labelY - 6,
           ctx.rec.record.AInfo[static_cast<std::size_t>(ch)].ch_id);
}

void Print_OneChannel_Wave(Canvas& canvas, const PageContext& ctx, int r, int g, int j, int ch, TColor colour) {
  Print_Channel_Info(canvas, ctx, r, g, j, ch, colour);
  const PrintGeometry& geo = ctx.geo;
  const RecordData& data = *ctx.rec.data;
  const RecordLayout& layout = data.layout();
  const auto samples = data.samples(static_cast<std::size_t>(ch));

  const auto c = static_cast<std::size_t>(ch);
  const double peak = c < ctx.rec.ChannelPeaks.size() ? ctx.rec.ChannelPeaks[c] : 0.05;
  const double scale = RoundUpScale(peak);
  const double ratio = ctx.rec.GroupRatios[static_cast<std::size_t>(g)][static_cast<std::size_t>(j)];
  const long double amplitude = std::trunc(0.48L * ratio * geo.RH * 0.6L);
  const int Y0 = geo.rowY(r);
  const auto yOf = [&](double v) {
    const long double y = Y0 - v / scale * amplitude;
    constexpr std::int64_t kLimit = trace::kPixelLimit;
    if (!(std::fabs(y) < kLimit)) return trace::ClampPixel(y > 0 ? kLimit : -kLimit);
    return static_cast<int>(std::trunc(y));
  };

  const PagePoints pts = pagePoints(ctx);
  std::vector<Point> trace;
  const auto add = [&](std::int64_t point) {
    if (point < 0 || static_cast<std::uint64_t>(point) >= samples.size()) return;
    trace.push_back({geo.pointX(point - pts.first), yOf(samples[static_cast<std::size_t>(point)])});
  };
  if (ctx.rec.NoNegativeSamples == 0) {
    for (std::int64_t point = pts.first; point <= pts.last; ++point) add(point);
  } else {
    // Only the stored samples: the points between them were never filled.
    for (std::int64_t k = sampleAtOrAfter(layout, pts.first); k < layout.sampleCount; ++k) {
      const std::int64_t point = layout.pointOf(k);
      if (point > pts.last) break;
      add(point);
    }
  }
  if (trace.size() < 2) return;
  canvas.pen() = Pen{colour, 2, PenStyle::Solid, PenMode::Copy};
  canvas.polyline(trace);
}

void Print_All_Status(Canvas& canvas, const PageContext& ctx, int r) {
  const PrintGeometry& geo = ctx.geo;
  const RecordData& data = *ctx.rec.data;
  const RecordLayout& layout = data.layout();
  const auto& colours = ctx.settings.ChannelColors;
  const TDigitalSelection& digital = ctx.settings.DigitalSelection;
  const int count = std::clamp(digital.Count, 0, kMaxDigitalShown);
  const int Yb = geo.rowY(r) + roundRatio(geo.RH, 8, 10);
  const int h = roundRatio(geo.RH, 11, 10 * std::max(count, 8));

  const PagePoints pts = pagePoints(ctx);
  const std::int64_t firstSample = sampleAtOrAfter(layout, pts.first);
  const std::int64_t lastSample = sampleAtOrBefore(layout, pts.last);

  setFont(canvas, ctx.texts.text(13, "宋体"), geo.textSize, kBlack, false);
  canvas.font().charset = 134;
  // The lanes' texts stand h apart: no taller than that, so that they stay apart.
  while (canvas.font().size() > 1 && canvas.textHeight("0") > h) canvas.font().setSize(canvas.font().size() - 1);
  const int laneTextSize = canvas.font().size();
  for (int i = 0; i < count; ++i) {
    const int d = digital.Index[static_cast<std::size_t>(i)];
    if (d < 0 || d >= ctx.rec.record.D || static_cast<std::size_t>(d) >= ctx.rec.record.DInfo.size()) continue;
    const int y = Yb - i * h;
    const int low = y - roundRatio(h, 2, 10);
    const int high = y - roundRatio(h, 8, 10);

    canvas.font().setSize(laneTextSize);
    canvas.font().color = colours[kGridColor];
    pageText(canvas, ctx, geo.L - 50, low - 20, "0");
    canvas.font().color = colours[kDigitalNameColor];
    // Ending at L - 80, on the sheet: smaller, and cut only when even the smallest font is too wide.
    const int room = std::max(0, geo.L - 80);
    shrinkToWidth(canvas, ctx.rec.record.DInfo[static_cast<std::size_t>(d)].ch_id, room);
    const std::string name = cutToWidth(canvas, ctx.rec.record.DInfo[static_cast<std::size_t>(d)].ch_id, room);
    pageText(canvas, ctx, geo.L - 80 - canvas.textWidth(name), y - roundRatio(h, 5, 10) - 20, name);

    // The steps between the page's samples, each sample under its analogue point.
    const auto states = data.digital(static_cast<std::size_t>(d));
    const std::int64_t last = std::min<std::int64_t>(lastSample, static_cast<std::int64_t>(states.size()) - 1);
    if (firstSample >= last) continue;
    const auto levelOf = [&](std::int64_t k) { return states[static_cast<std::size_t>(k)] == 0 ? low : high; };
    const auto xOf = [&](std::int64_t k) { return geo.pointX(layout.pointOf(k) - pts.first); };
    std::vector<Point> steps;
    const auto to = [&steps](Point p) {
      const std::size_t n = steps.size();
      if (n > 0 && steps[n - 1] == p) return;
      // Runs along one level become one line.
      if (n >= 2 && steps[n - 1].y == p.y && steps[n - 2].y == p.y && steps[n - 2].x <= steps[n - 1].x &&
          steps[n - 1].x <= p.x) {
        steps[n - 1] = p;
        return;
      }
      steps.push_back(p);
    };
    int level = levelOf(firstSample);
    to({xOf(firstSample), level});
    for (std::int64_t k = firstSample; k < last; ++k) {
      const int x = xOf(k);
      const int xn = xOf(k + 1);
      const int next = levelOf(k + 1);
      if (next != level && next == low) to({x, low});  // a fall at this sample
      to({xn, level == next ? level : low});
      if (next != level && next == high) to({xn, high});  // a rise at the next
      level = next;
    }
    canvas.pen() = Pen{colours[kDigitalTraceColor], 1, PenStyle::Solid, PenMode::Copy};
    canvas.polyline(steps);
  }
}

void Print_Status_Info(Canvas& canvas, const PageContext& ctx, int r) {
  const PrintGeometry& geo = ctx.geo;
  const int Y0 = geo.rowY(r);
  const int Yb = Y0 + roundRatio(geo.RH, 8, 10);
  const int u = geo.u;
  const int xEnd = geo.W - geo.R;
  const int axisPenWidth = geo.scaleX > 1.0 ? 5 : 4;

  canvas.pen() = axisPen(axisPenWidth);
  trace::Line(canvas, geo.L, Yb, xEnd, Yb);
  canvas.pen() = gridPen();
  const int gridY = Y0 - 3 * roundRatio(geo.RH, 96, 1000);
  trace::Line(canvas, geo.L, gridY, xEnd, gridY);

  setFont(canvas, ctx.texts.text(13, "宋体"), geo.textSize, kBlack, false);
  pageText(canvas, ctx, xEnd - 5 * u, Yb - 4 * u, "ms");

  canvas.pen() = axisPen(axisPenWidth);
  const int top = Y0 - roundRatio(geo.RH, 4, 10);
  trace::Line(canvas, geo.L, Yb, geo.L, top);
  drawHalfArrows(canvas, geo, Yb, top);
  for (int c = 1; c <= geo.cyclesPerPage; ++c) {
    const int x = geo.pointX(std::int64_t{c} * geo.P);
    trace::Line(canvas, x, Yb, x, Yb - u);
    pageText(canvas, ctx, x, Yb + 2 * u, cycleMilliseconds(ctx.rec, std::int64_t{ctx.page - 1} * geo.cyclesPerPage + c));
  }
}

namespace {

// Every analogue row, then the digital row when a row is left for it.
void printRows(Canvas& canvas, const PageContext& ctx) {
  int r = 0;
  for (int g = 0; g < kGroupRowCount && r < kGroupRowCount; ++g) {
    const TChannelGroup& group = groupOf(ctx, g);
    const int count = GroupSize(group);
    if (count == 0) continue;
    for (int j = 0; j < count; ++j) {
      const int ch = group.Channel[static_cast<std::size_t>(j)];
      if (ch < 0 || static_cast<std::size_t>(ch) >= ctx.rec.data->analogCount() ||
          static_cast<std::size_t>(ch) >= ctx.rec.record.AInfo.size())
        continue;
      const TColor colour = ChannelTraceColor(ctx.settings.ChannelColors, group.ColorIndex[static_cast<std::size_t>(j)]);
      Print_OneChannel_Wave(canvas, ctx, r, g, j, ch, colour);
    }
    ++r;
  }
  if (r < kGroupRowCount && ctx.settings.DigitalSelection.Count > 0) {
    Print_All_Status(canvas, ctx, r);
    Print_Status_Info(canvas, ctx, r);
  }
}

}  // namespace

void PrintRecordPage(Canvas& canvas, const PageContext& pageCtx) {
  std::vector<Rect> placed;
  PageContext ctx = pageCtx;
  ctx.placed = &placed;
  if (ctx.rec.data) printRows(canvas, ctx);
  Print_Page_Info(canvas, ctx);
}

// --- the whole record ---

LayoutResult Print_FW_Page(PreviewDocument& doc, const PrintedRecord& rec, const DisplaySettings& settings,
                           const PrintTexts& texts) {
  LayoutResult result;
  result.savedWidth = doc.printableWidth();
  result.savedHeight = doc.printableHeight();
  result.savedOrientation = doc.Orientation();
  const int pageWidth = settings.PrinterPageWidth;
  const int pageHeight = settings.PrinterPageHeight;

  if (pageHeight > pageWidth && doc.printableWidth() > doc.printableHeight())
    doc.setOrientation(TPrinterOrientation::Portrait);
  else if (pageWidth > pageHeight && doc.printableHeight() > doc.printableWidth())
    doc.setOrientation(TPrinterOrientation::Landscape);

  const auto fit = [](int printerPixels, int printable, auto setPaper) {
    double scale = printable > 0 ? static_cast<double>(printerPixels) / printable : 0.0;
    if (scale < 1.0) {
      scale = 1.0;
      setPaper(printerPixels);
    }
    return scale;
  };
  const double scaleX = fit(pageWidth, doc.printableWidth(), [&](int v) { doc.setPaperWidth(v); });
  const double scaleY = fit(pageHeight, doc.printableHeight(), [&](int v) { doc.setPaperHeight(v); });

  const RecordLayout layout = rec.data ? rec.data->layout() : RecordLayout{};
  const int rows = PrintRowCount(settings.ChannelGroups, settings.DigitalSelection);
  result.geometry = ComputePrintGeometry(doc.printableWidth(), doc.printableHeight(), scaleX, scaleY, rows, layout);
  const PrintGeometry& geo = result.geometry;

  if (geo.totalPages == 0 || !rec.data) {
    doc.Clear();
    constexpr std::string_view kNone = "第0页  共%d页";
    result.pageLabel = common::FormatLangText(texts.text(12, kNone), kNone, {"0"});
    return result;
  }
  // A page is drawn when it is first shown or printed, from copies of what
  // the layout read, so that every page looks as it would have now.
  const bool set = doc.SetPages(geo.totalPages, [geo, rec, settings, texts](Canvas& canvas, int page) {
    PrintRecordPage(canvas, PageContext{geo, rec, settings, texts, page});
  });
  if (!set) throw std::logic_error("The pages cannot be laid out while they are printed");
  doc.page(1);  // the page shown first: a failure to draw it shows here
  constexpr std::string_view kFirst = "第1页  共%d页";
  result.pageLabel = common::FormatLangText(texts.text(11, kFirst), kFirst, {trace::Decimal(geo.totalPages)});
  return result;
}

common::UserMessage NoPrinterMessage() {
  return common::UserMessage::warning(std::string(kPrintPreviewSection), "str0", "没有安装打印机或安装错误！", "str1");
}

common::UserMessage PrintFailedMessage(const std::string& reason) {
  common::UserMessage message = common::UserMessage::warning(std::string(kPrintPreviewSection), "str14", "打印失败：", "str1");
  message.text.push_back(common::TextPiece::literal(reason));
  return message;
}

void FollowPrinterOrientation(std::int32_t& width, std::int32_t& height, bool landscape) {
  if ((landscape && width < height) || (!landscape && width > height)) std::swap(width, height);
}

}  // namespace wave
