#include "waveform/view/rms_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "waveform/canvas/recording_canvas.h"
#include "waveform/view/harmonic_view.h"
#include "waveform/view/options_preview.h"
#include "waveform/view/test_scene.h"

namespace wave {
namespace {

using scenetest::TestRecord;

constexpr TColor kGrid = 0x808080;  // default colour 21

std::vector<Point> verticesIn(const RecordingCanvas& c, TColor colour) {
  std::vector<Point> out;
  for (const auto& op : c.opsOf(OpKind::Polyline))
    if (op.pen.color == colour) out.insert(out.end(), op.points.begin(), op.points.end());
  return out;
}

std::vector<std::string> textsOf(const RecordingCanvas& c) {
  std::vector<std::string> out;
  for (const auto& op : c.opsOf(OpKind::Text)) out.push_back(op.text);
  return out;
}

const CanvasOp* textAt(const RecordingCanvas& c, Point p) {
  for (const auto& op : c.ops())
    if (op.kind == OpKind::Text && op.points[0] == p) return &op;
  return nullptr;
}

bool hasSegment(const RecordingCanvas& c, Point a, Point b) {
  for (const auto& s : c.segments())
    if (s.from == a && s.to == b) return true;
  return false;
}

// A record with RMS arrays beside its samples.
struct RmsRecord {
  TestRecord t;
  std::vector<std::vector<double>> rms;
  std::vector<std::span<const double>> rmsSpans;
  RmsScales scales;

  RmsRecord(int analog, int samp1, int samples, int samp2 = 0, int endsamp2 = 0)
      : t(analog, 0, samp1, 50, samples, samp2, endsamp2),
        rms(static_cast<std::size_t>(analog), std::vector<double>(static_cast<std::size_t>(t.layout.sampleCount))) {}

  WaveGeometry prepare() {
    const WaveGeometry geo = t.prepare();
    rmsSpans.assign(rms.begin(), rms.end());
    ComputeRmsPeaks(scales, rmsSpans, t.layout.sampleCount);
    scales.ScalesDirty = 1;
    UpdateRmsScales(scales, t.options.WindowGroups);
    return geo;
  }
};

// --- scales -----------------------------------------------------------------------------

TEST(RmsView, RowScalesRoundUpTheirPeaks) {
  RmsRecord r(3, 1000, 200);
  r.rms[0][17] = 57.3;
  r.rms[1][3] = 0.4;
  r.rms[2][199] = 123;
  r.t.setRow(0, {0});
  r.t.setRow(1, {1});
  r.t.setRow(4, {2});
  r.t.options.WindowPointsAndLines = 0;
  const WaveGeometry geo = r.prepare();
  EXPECT_EQ(r.scales.RmsRowScales[0], 58);
  EXPECT_EQ(r.scales.RmsRowScales[1], 1);
  EXPECT_EQ(r.scales.RmsRowScales[4], 130);
  RecordingCanvas canvas;
  Show_AllChannel_RMS(canvas, RmsScene{r.t.scene(geo), r.rmsSpans, r.scales});
  // Each label above its row's top edge: (L - 40, GH * r + T - Round(GH * 0.5) - 5).
  ASSERT_NE(textAt(canvas, {35, 25}), nullptr);
  EXPECT_EQ(textAt(canvas, {35, 25})->text, "58");
  EXPECT_EQ(textAt(canvas, {35, 145})->text, "1");
  EXPECT_EQ(textAt(canvas, {35, 265})->text, "130");
}

TEST(RmsView, RatiosComeFromTheRmsValuesAndLeaveTheWaveScales) {
  RmsRecord r(2, 1000, 200);
  r.rms[0][5] = 10;
  r.rms[1][5] = 100;
  r.t.data[0][10] = 1000;  // the wave peaks differ from the RMS ones
  r.t.data[1][10] = 1;
  r.t.setRow(0, {0, 1});
  r.prepare();
  EXPECT_EQ(r.scales.RmsRowScales[0], 100);
  EXPECT_DOUBLE_EQ(r.scales.RmsRatios[0][0], 0.1);
  EXPECT_DOUBLE_EQ(r.scales.RmsRatios[0][1], 1.0);
  EXPECT_EQ(r.t.scales.GroupMaxima[0], 1000);
  EXPECT_DOUBLE_EQ(r.t.scales.GroupRatios[0][1], 0.001);
  EXPECT_EQ(r.scales.ScalesDirty, 0);
  // Stale only when told: new peaks change nothing until then.
  r.scales.RmsPeaks[0] = 500;
  UpdateRmsScales(r.scales, r.t.options.WindowGroups);
  EXPECT_EQ(r.scales.RmsRowScales[0], 100);
  r.scales.ScalesDirty = 1;
  UpdateRmsScales(r.scales, r.t.options.WindowGroups);
  EXPECT_EQ(r.scales.RmsRowScales[0], 500);
}

// --- curves -------------------------------------------------------------------------------

TEST(RmsView, PixelsPerValue) {
  const struct {
    int ppc, f, n;
    float pps;
  } cases[] = {
      {40, 2, 20, 2},          {80, 2, 20, 4},   {640, 2, 20, 32}, {48, 3, 12, 3},
      {20, 2, 20, 1},          {10, 2, 20, 0.5}, {2, 2, 20, 0.1f},  // zoomed out: PixelsPerCycle1 / n
      {40, 2, 31, 40.0f / 31},  // a second rate of more points per cycle than the first
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(RmsPixelsPerSample(c.ppc, c.f, c.n), c.pps) << c.ppc << " " << c.n;
}

TEST(RmsView, CurveRisesFromTheRowsLowerEdge) {
  RmsRecord r(1, 1000, 40);                                                        // N 20, f1 2: two pixels per value
  for (int n = 0; n < 40; ++n) r.rms[0][static_cast<std::size_t>(n)] = n % 3 * 5;  // 0, 5, 10, ...
  r.t.setRow(0, {0});
  r.t.options.WindowPointsAndLines = 0;
  const WaveGeometry geo = r.prepare();
  RecordingCanvas canvas;
  Show_OneChannel_RMS(canvas, RmsScene{r.t.scene(geo, true), r.rmsSpans, r.scales}, 0, 0, 0, 0, 0x123456, 0);
  const auto vs = verticesIn(canvas, 0x123456);
  ASSERT_EQ(vs.size(), 40u);
  // Scale 11, baseline 90 + 60, height 120: y = 150 - Trunc(v / 11 * 120).
  EXPECT_EQ(vs[0], (Point{75, 150}));
  EXPECT_EQ(vs[1], (Point{77, 96}));
  EXPECT_EQ(vs[2], (Point{79, 41}));
  EXPECT_EQ(vs[39], (Point{153, 150}));
  // The name beside the row's zero line.
  const auto* name = textAt(canvas, {45, 85});
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->text, "A1");
}

TEST(RmsView, SecondRateContinuesAtItsOwnSpacing) {
  // N1 24 (f1 2) to sample 48, then N2 12 (f2 3) to 72; PPS1 = 2, PPS2 = (48 div 36) * 3 = 3.
  RmsRecord r(1, 1200, 48, 600, 72);
  r.rms[0].assign(72, 1.0);
  r.t.setRow(0, {0});
  r.t.options.WindowPointsAndLines = 0;
  const WaveGeometry geo = r.prepare();
  EXPECT_EQ(RmsValueX(geo, 47), 75 + 94);
  EXPECT_EQ(RmsValueX(geo, 48), 75 + 96);
  EXPECT_EQ(RmsValueX(geo, 49), 75 + 99);
  RecordingCanvas canvas;
  Show_OneChannel_RMS(canvas, RmsScene{r.t.scene(geo, true), r.rmsSpans, r.scales}, 0, 0, 0, 0, 0x123456, 0);
  const auto vs = verticesIn(canvas, 0x123456);
  ASSERT_EQ(vs.size(), 72u);
  EXPECT_EQ(vs.back().x, 75 + 96 + 23 * 3);
  // Wt = 2 cycles * 48 + 2 cycles * 36; the track bar 18 wider.
  EXPECT_EQ(RmsPlotWidth(geo), 168);
  EXPECT_EQ(RmsTrackBarWidth(geo), 186);
}

// --- the RMS axis ---------------------------------------------------------------------------

TEST(RmsView, FrameAlwaysGridOnlyWhenSwitchedOn) {
  RmsRecord r(2, 1000, 200);  // ten cycles of 40 pixels: Wt = 400
  r.t.setRow(0, {0});
  r.t.setRow(1, {1});
  r.t.options.WindowPointsAndLines = 0;
  const WaveGeometry geo = r.prepare();
  RecordingCanvas canvas;
  Show_Channel_AxisRMS(canvas, RmsScene{r.t.scene(geo), r.rmsSpans, r.scales});
  // Frame from T - GH div 2 - 8 = 22 to rows * GH + T - GH div 2 + 15 = 285.
  EXPECT_TRUE(hasSegment(canvas, {73, 22}, {73, 285}));
  EXPECT_TRUE(hasSegment(canvas, {75 + 400 + 16, 22}, {75 + 400 + 16, 285}));
  EXPECT_TRUE(hasSegment(canvas, {73, 22}, {75 + 16 + 50, 22}));           // first of eight pieces
  EXPECT_TRUE(hasSegment(canvas, {73 + 350, 285}, {75 + 16 + 400, 285}));  // last
  // Cycle numbers under each row; the lower edge and the row boundary dotted; ticks.
  EXPECT_EQ(textAt(canvas, {75 + 40 + 1, 90 + 1 + 60})->text, "1");
  EXPECT_EQ(textAt(canvas, {75 + 400 + 1, 210 + 1 + 60})->text, "10");
  EXPECT_EQ(textAt(canvas, {75 + 40 + 1, 151})->font.color, kGrid);
  int dotted = 0, ticks = 0;
  for (const auto& s : canvas.segments()) {
    dotted += s.pen.style == PenStyle::Dot && s.from.y == s.to.y;
    ticks += s.pen.style == PenStyle::Solid && s.from.x == 73 && s.to.x == 83;
  }
  EXPECT_EQ(dotted, 16);  // the lower edge and one boundary, eight pieces each
  EXPECT_EQ(ticks, 14);   // seven per row
  EXPECT_TRUE(hasSegment(canvas, {63, 150}, {83, 150}));

  r.t.options.WindowGridX = 0;
  r.t.options.WindowGridY = 0;
  RecordingCanvas bare;
  Show_Channel_AxisRMS(bare, RmsScene{r.t.scene(geo), r.rmsSpans, r.scales});
  EXPECT_TRUE(bare.opsOf(OpKind::Text).empty());
  EXPECT_EQ(bare.segments().size(), 2u + 16u) << "the frame only";
}

TEST(RmsView, AllChannelsWithDigitalLanesAndNoGrid) {
  TestRecord base(2, 1, 1000, 50, 200);
  RmsRecord r(2, 1000, 200);
  r.t = base;
  r.rms.assign(2, std::vector<double>(200, 3.0));
  r.t.setRow(0, {0, 1});
  r.t.setDigital({0});
  r.t.options.WindowGridX = 0;
  r.t.options.WindowGridY = 0;
  const WaveGeometry geo = r.prepare();
  RecordingCanvas canvas;
  PaintRmsView(canvas, RmsScene{r.t.scene(geo), r.rmsSpans, r.scales});
  // Names of both channels and the digital lane, nothing else.
  EXPECT_EQ(textsOf(canvas), (std::vector<std::string>{"A1", "A2", "D1", "0"}));
  EXPECT_FALSE(verticesIn(canvas, r.t.colors[0]).empty());
  EXPECT_FALSE(verticesIn(canvas, r.t.colors[1]).empty());
}

// --- the harmonic bars --------------------------------------------------------------------

struct BarRecord {
  TestRecord t{1, 0, 1000, 50, 20};  // one cycle of 20 samples: orders 2 .. 10
  std::vector<double> harmonics = std::vector<double>(9);
  WaveGeometry geo = t.prepare();
  HarmonicScene scene() const { return {geo, t.options, harmonics, t.colors}; }
};

std::vector<Rect> barsIn(const RecordingCanvas& c, TColor colour) {
  std::vector<Rect> out;
  for (const auto& op : c.opsOf(OpKind::FillRect))
    if (op.brush.color == colour) out.push_back(op.rect());
  return out;
}

TEST(HarmonicView, BarsStandOnTheBaselineSixteenPixelsApart) {
  BarRecord b;
  b.t.setRow(0, {0});
  b.harmonics[1] = 10;  // order 3
  b.harmonics[3] = 5;   // order 5
  RecordingCanvas canvas;
  Show_AllChannel_HD(canvas, b.scene());
  const auto bars = barsIn(canvas, b.t.colors[0]);
  ASSERT_EQ(bars.size(), 9u);
  // yc = 2T = 180, B = 2GH = 240, scale 11: the top at Round(-240 / 11 * v + 300).
  EXPECT_EQ(bars[0], (Rect{75 + 16 - 4, 300, 75 + 16 + 5, 300}));
  EXPECT_EQ(bars[1], (Rect{75 + 32 - 4, 82, 75 + 32 + 5, 300}));
  EXPECT_EQ(bars[3], (Rect{75 + 64 - 4, 191, 75 + 64 + 5, 300}));
  EXPECT_EQ(bars[8].left, 75 + 144 - 4);
  EXPECT_EQ(bars[1].width(), 9);
  // The frame: right line at Left + 16 * H + 16.
  EXPECT_TRUE(hasSegment(canvas, {73, 60}, {73, 300}));
  EXPECT_TRUE(hasSegment(canvas, {75 + 176, 60}, {75 + 176, 300}));
  EXPECT_TRUE(hasSegment(canvas, {63, 60}, {75 + 176, 60}));
  EXPECT_TRUE(hasSegment(canvas, {73, 300}, {75 + 176, 300}));
  // Order numbers 2 .. 10, nine ticks, the scale.
  EXPECT_EQ(textAt(canvas, {75 + 16, 308})->text, "2");
  EXPECT_EQ(textAt(canvas, {75 + 144, 308})->text, "10");
  EXPECT_EQ(textAt(canvas, {35, 55})->text, "11");
  int ticks = 0;
  for (const auto& s : canvas.segments()) ticks += s.from.x == 73 && s.to.x == 83 && s.from.y == s.to.y;
  EXPECT_EQ(ticks, 9);
  EXPECT_TRUE(hasSegment(canvas, {73, 84}, {83, 84}));
}

TEST(HarmonicView, BarsTakeTheWaveViewsColourOfEachRowsFirstChannel) {
  BarRecord b;
  b.t.setRow(0, {0});
  b.t.setRow(3, {0});
  b.t.options.WindowGroups[3].ColorIndex[0] = 23;  // past the 20 trace colours: colour (23 mod 20) + 1
  b.harmonics[0] = 50;
  RecordingCanvas canvas;
  Show_AllChannel_HD(canvas, b.scene());
  const auto first = barsIn(canvas, b.t.colors[0]);
  const auto last = barsIn(canvas, b.t.colors[3]);
  EXPECT_EQ(first.size(), 9u);
  EXPECT_EQ(last.size(), 9u);
  EXPECT_EQ(first, last) << "every row draws the same bars at the same place";
  const auto fills = canvas.opsOf(OpKind::FillRect);
  EXPECT_EQ(fills.back().brush.color, b.t.colors[3]) << "the last used row's colour remains";
  EXPECT_EQ(canvas.brush().color, kWhite) << "the brush is restored";
}

TEST(HarmonicView, AllZeroGivesScaleOneAndFlatBars) {
  BarRecord b;
  b.t.setRow(0, {0});
  RecordingCanvas canvas;
  PaintHarmonicView(canvas, b.scene());
  EXPECT_EQ(HarmonicScale(b.harmonics), 1);
  for (const Rect& bar : barsIn(canvas, b.t.colors[0])) EXPECT_EQ(bar.height(), 0);
  EXPECT_EQ(textAt(canvas, {35, 55})->text, "1");
}

TEST(HarmonicView, WithoutGridOnlyFrameAndBars) {
  BarRecord b;
  b.t.setRow(0, {0});
  b.harmonics.assign(9, 2.0);
  b.t.options.WindowGridX = 0;
  b.t.options.WindowGridY = 0;
  b.t.viewport.ZoomLevelX = -3;
  b.geo = b.t.prepare();
  RecordingCanvas canvas;
  Show_AllChannel_HD(canvas, b.scene());
  EXPECT_TRUE(canvas.opsOf(OpKind::Text).empty());
  EXPECT_EQ(canvas.segments().size(), 4u);
  EXPECT_TRUE(hasSegment(canvas, {75 + 179, 60}, {75 + 179, 300})) << "zoom level -3 widens the right margin";
  EXPECT_EQ(barsIn(canvas, b.t.colors[0]).size(), 9u);
}

TEST(HarmonicView, OnlyComputedOrdersAreDrawn) {
  BarRecord b;
  b.t.setRow(0, {0});
  b.harmonics.assign(14, 1.0);  // room for more values than the nine orders computed
  b.harmonics[12] = 1000;
  RecordingCanvas canvas;
  Show_AllChannel_HD(canvas, b.scene());
  EXPECT_EQ(barsIn(canvas, b.t.colors[0]).size(), 9u);
  EXPECT_EQ(textAt(canvas, {35, 55})->text, "2");
}

// --- the options preview ---------------------------------------------------------------------

TEST(OptionsPreviewColours, ChannelsPastTwentyTakeTheirTraceColour) {
  DisplaySettings settings;
  settings.ChannelGroups[0].Count = 1;
  settings.ChannelGroups[0].Channel[0] = 23;
  settings.ChannelGroups[0].ColorIndex[0] = 23;
  settings.ChannelGroupCount = 1;
  RecordingCanvas canvas;
  PaintOptionsPreview(canvas, 320, 240, settings);
  std::size_t inTrace = 0, inOther = 0;
  for (const auto& op : canvas.opsOf(OpKind::FillRect)) {
    if (op.rect().width() != 1) continue;
    (op.brush.color == settings.ChannelColors[3] ? inTrace : inOther) += 1;
  }
  EXPECT_GT(inTrace, 200u);
  EXPECT_EQ(inOther, 0u);
}

}  // namespace
}  // namespace wave
