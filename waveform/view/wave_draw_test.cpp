#include "waveform/view/wave_draw.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "waveform/canvas/recording_canvas.h"
#include "waveform/view/test_scene.h"

namespace wave {
namespace {

using scenetest::TestRecord;

constexpr TColor kGrid = 0x808080;  // default colour 21

std::vector<CanvasOp> polylinesIn(const RecordingCanvas& c, TColor colour) {
  std::vector<CanvasOp> out;
  for (const auto& op : c.opsOf(OpKind::Polyline))
    if (op.pen.color == colour) out.push_back(op);
  return out;
}

std::vector<Point> verticesIn(const RecordingCanvas& c, TColor colour) {
  std::vector<Point> out;
  for (const auto& op : polylinesIn(c, colour)) out.insert(out.end(), op.points.begin(), op.points.end());
  return out;
}

const CanvasOp* textAt(const RecordingCanvas& c, Point p) {
  for (const auto& op : c.ops())
    if (op.kind == OpKind::Text && op.points[0] == p) return &op;
  return nullptr;
}

const CanvasOp* textOp(const RecordingCanvas& c, std::string_view text) {
  for (const auto& op : c.ops())
    if (op.kind == OpKind::Text && op.text == text) return &op;
  return nullptr;
}

void paint(TestRecord& t, RecordingCanvas& canvas) {
  const WaveGeometry geo = t.prepare();
  Show_AllChannel_Wave(canvas, t.scene(geo));
}

TEST(WaveDraw, TwoPeaksOnOneRowShareTheLargerScale) {
  TestRecord t(2, 0, 1000, 50, 40);  // N 20, f1 2, two cycles
  t.interpolated = false;
  t.options.WindowPointsAndLines = 0;
  t.data[0][0] = 10;    // peak 10: own scale 11
  t.data[1][2] = -100;  // peak 100: row scale 100
  t.setRow(0, {0, 1});
  RecordingCanvas canvas;
  paint(t, canvas);

  EXPECT_EQ(t.scales.GroupMaxima[0], 100);
  EXPECT_DOUBLE_EQ(t.scales.GroupRatios[0][0], 0.1);
  EXPECT_DOUBLE_EQ(t.scales.GroupRatios[0][1], 1.0);
  const CanvasOp* label = textOp(canvas, "100");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->points[0], (Point{35, 90 - 60 - 5}));

  // Amplitude Trunc(0.48 * 0.1 * 120) = 5: the value 10 of scale 11 lies 4 pixels up.
  const auto first = verticesIn(canvas, 0xFF00FF);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first[0], (Point{75, 86}));
  EXPECT_EQ(ValueY(90, 11, 11, 5), 85);
  // Amplitude 57 for the row's own maximum; only stored samples are joined.
  const auto second = verticesIn(canvas, 0x0000FF);
  ASSERT_EQ(second.size(), 40u);  // the 40 stored samples, nothing between them
  EXPECT_EQ(second[0], (Point{75, 90}));
  EXPECT_EQ(second[1], (Point{77, 147}));
  EXPECT_EQ(second[2], (Point{79, 90}));
}

TEST(WaveDraw, SingleChannelRowSpansItsOwnScale) {
  TestRecord t(1, 0, 1000, 50, 40);
  t.options.WindowPointsAndLines = 0;
  t.data[0][4] = 57.3;  // scale 58
  t.setRow(0, {0});
  RecordingCanvas canvas;
  paint(t, canvas);
  EXPECT_DOUBLE_EQ(t.scales.GroupRatios[0][0], 1.0);
  const auto v = verticesIn(canvas, 0xFF00FF);
  ASSERT_TRUE(std::find(v.begin(), v.end(), Point{79, 90 - 56}) != v.end());  // Trunc(57.3 / 58 * 57)
}

TEST(WaveDraw, FrameHasEightSegmentsTopAndBottom) {
  for (const auto& [zoomX, E] : {std::pair{0, 16}, std::pair{-3, 19}}) {
    TestRecord t(1, 0, 1000, 50, 200);  // 10 cycles of 40 pixels: W 400, s 50
    t.setRow(0, {0});
    t.viewport.ZoomLevelX = zoomX;
    RecordingCanvas canvas;
    paint(t, canvas);
    std::vector<Segment> top, bottom, sides;
    for (const auto& s : canvas.segments()) {
      if (s.pen.color != kGrid || s.pen.style != PenStyle::Solid) continue;
      if (s.from.y == 22 && s.to.y == 22) top.push_back(s);
      if (s.from.y == 158 && s.to.y == 158) bottom.push_back(s);
      if (s.from.y == 22 && s.to.y == 158) sides.push_back(s);
    }
    ASSERT_EQ(top.size(), 8u) << "zoom " << zoomX;
    ASSERT_EQ(bottom.size(), 8u);
    for (int k = 0; k < 8; ++k) {
      EXPECT_EQ(top[static_cast<std::size_t>(k)].from.x, 73 + 50 * k);
      EXPECT_EQ(top[static_cast<std::size_t>(k)].to.x, 50 * (k + 1) + 75 + E);
    }
    ASSERT_EQ(sides.size(), 2u);
    EXPECT_EQ(sides[0].from.x, 73);
    EXPECT_EQ(sides[1].from.x, 400 + 75 + 16);
  }
}

TEST(WaveDraw, GridsTicksAndCycleNumbersFollowTheGridSwitches) {
  const struct {
    int gridX, gridY;
    std::size_t dottedH, dottedV, ticks, cycleNumbers;
    bool rowLabel;
  } cases[] = {
      {1, 1, 24, 10, 9, 10, true},
      {1, 0, 24, 0, 9, 10, true},
      {0, 1, 16, 10, 9, 10, true},
      {0, 0, 0, 0, 0, 0, false},
  };
  for (const auto& c : cases) {
    TestRecord t(1, 0, 1000, 50, 200);
    t.setRow(0, {0});
    t.options.WindowGridX = static_cast<std::uint8_t>(c.gridX);
    t.options.WindowGridY = static_cast<std::uint8_t>(c.gridY);
    RecordingCanvas canvas;
    paint(t, canvas);
    std::size_t dottedH = 0, dottedV = 0, ticks = 0, cycleNumbers = 0;
    for (const auto& s : canvas.segments()) {
      if (s.pen.style == PenStyle::Dot) {
        if (s.from.y == s.to.y) ++dottedH;
        if (s.from.x == s.to.x) {
          ++dottedV;
          EXPECT_EQ((s.from.x - 75) % 40, 0);
          EXPECT_EQ(s.from.y, 30);
          EXPECT_EQ(s.to.y, 150);
        }
      } else if (s.pen.color == kGrid && s.to.x == 75 + 8) {
        ++ticks;
        EXPECT_TRUE(s.from.x == 75 - 12 || s.from.x == 75 - 2);
      }
    }
    for (const auto& op : canvas.opsOf(OpKind::Text))
      if (op.font.color == kGrid && op.font.height == 4) {
        ++cycleNumbers;
        EXPECT_EQ(op.points[0].y, 91);
        EXPECT_EQ(op.points[0].x, 40 * std::stoi(op.text) + 76);
      }
    EXPECT_EQ(dottedH, c.dottedH) << c.gridX << c.gridY;
    EXPECT_EQ(dottedV, c.dottedV) << c.gridX << c.gridY;
    EXPECT_EQ(ticks, c.ticks) << c.gridX << c.gridY;
    EXPECT_EQ(cycleNumbers, c.cycleNumbers) << c.gridX << c.gridY;
    const CanvasOp* label = textAt(canvas, {35, 25});
    EXPECT_EQ(label != nullptr, c.rowLabel) << c.gridX << c.gridY;
    if (label) {
      EXPECT_EQ(label->text, "1");
    }
  }
}

TEST(WaveDraw, ChannelNamesSitAtOffsetsByTheirRowsCount) {
  const int expected[4][4] = {{0}, {-10, 10}, {-20, 0, 20}, {-30, -10, 10, 30}};
  for (int count = 1; count <= 4; ++count) {
    TestRecord t(4, 0, 1000, 50, 40);
    std::vector<int> channels;
    for (int j = 0; j < count; ++j) channels.push_back(j);
    t.setRow(1, channels);  // the first used row, whatever its axis
    RecordingCanvas canvas;
    paint(t, canvas);
    for (int j = 0; j < count; ++j) {
      EXPECT_EQ(ChannelInfoOffset(count, j), expected[count - 1][j]);
      const CanvasOp* name = textOp(canvas, "A" + std::to_string(j + 1));
      ASSERT_NE(name, nullptr);
      EXPECT_EQ(name->points[0], (Point{45, 90 + expected[count - 1][j] - 5})) << count << " channels, " << j;
      EXPECT_EQ(name->font.height, 12);
      EXPECT_EQ(name->font.color, DisplaySettings::DefaultChannelColors[static_cast<std::size_t>(j)]);
    }
  }
}

TEST(WaveDraw, DigitalLaneFallsAtTheEarlierSampleAndRisesAtTheLater) {
  TestRecord t(1, 1, 1000, 50, 5);  // 40 div 20 = 2 pixels a sample
  t.setRow(0, {0});
  t.setDigital({0});
  t.digitalData(0) = {0, 0, 1, 1, 0};
  RecordingCanvas canvas;
  paint(t, canvas);
  EXPECT_EQ(MakeWaveGeometry(t.layout, t.viewport, t.options).Dg, 40);
  // yq = 15 + 120 - 60 + 90 = 165; level 0 at yq + 12, level 1 at yq - 4.
  std::vector<Segment> lane;
  for (const auto& s : canvas.segments())
    if (s.pen.color == 0xFF0000) lane.push_back(s);
  const std::vector<std::pair<Point, Point>> expected = {
      {{75, 177}, {79, 177}}, {{79, 177}, {79, 161}}, {{79, 161}, {81, 161}},
      {{81, 161}, {81, 177}}, {{81, 177}, {83, 177}}};
  ASSERT_EQ(lane.size(), expected.size());
  for (std::size_t i = 0; i < lane.size(); ++i) {
    EXPECT_EQ(lane[i].from, expected[i].first) << i;
    EXPECT_EQ(lane[i].to, expected[i].second) << i;
  }
  const CanvasOp* name = textOp(canvas, "D1");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->points[0], (Point{75 - 12 - 20, 165}));  // two characters of 6 pixels
  EXPECT_EQ(name->font.color, 0x808000);
  const CanvasOp* zero = textOp(canvas, "0");
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->points[0], (Point{60, 169}));
  EXPECT_EQ(zero->font.color, kGrid);
}

// Zoomed out until a cycle is narrower than its samples, each sample keeps
// x = L + Round(i * PixelsPerCycle1 / N): steps that share a column draw one
// fall and one rise there.
TEST(WaveDraw, ZoomedFarOutDigitalSamplesKeepTheirOwnColumns) {
  TestRecord t(1, 1, 1000, 50, 6);
  t.setRow(0, {0});
  t.setDigital({0});
  t.digitalData(0) = {0, 1, 0, 1, 0, 1};
  t.viewport.PixelsPerCycle1 = 10;  // half a pixel a sample: x = 75, 75, 76, 77, 77, 77
  RecordingCanvas canvas;
  paint(t, canvas);
  const int y0 = 177, y1 = 161;
  // Rise and fall at sample 1; low to sample 3, where it rises, falls and rises.
  const std::vector<std::pair<Point, Point>> expected = {
      {{75, y0}, {75, y1}}, {{75, y1}, {75, y0}}, {{75, y0}, {77, y0}}, {{77, y0}, {77, y1}}, {{77, y1}, {77, y0}}};
  std::vector<std::pair<Point, Point>> lane;
  for (const auto& s : canvas.segments())
    if (s.pen.color == 0xFF0000) lane.emplace_back(s.from, s.to);
  EXPECT_EQ(lane, expected);
}

TEST(WaveDraw, MarkerStylesAndTheBrushTheyUse) {
  const TColor c = 0x123456, brush = 0xABCDEF;
  const struct {
    int style;
    OpKind kind;
    std::size_t ops;
    std::vector<Point> points;
    TColor fill;
  } cases[] = {
      {0, OpKind::FillRect, 1, {{8, 18}, {12, 22}}, c},
      {1, OpKind::Ellipse, 1, {{8, 18}, {12, 22}}, c},
      {2, OpKind::Polygon, 1, {{8, 22}, {10, 18}, {12, 22}}, c},
      {3, OpKind::Polygon, 1, {{8, 18}, {12, 18}, {10, 22}}, c},
      {4, OpKind::Line, 2, {{8, 18}, {12, 22}}, brush},
      {5, OpKind::Line, 2, {{10, 18}, {10, 22}}, brush},
      {6, OpKind::Rectangle, 1, {{8, 18}, {12, 22}}, brush},
      {7, OpKind::Ellipse, 1, {{8, 18}, {12, 22}}, brush},
      {8, OpKind::Polygon, 1, {{8, 22}, {10, 18}, {12, 22}}, brush},
      {9, OpKind::Polygon, 1, {{8, 18}, {12, 18}, {10, 22}}, brush},
  };
  for (const auto& k : cases) {
    RecordingCanvas canvas;
    canvas.brush().color = brush;
    Draw_Point_Symbol(canvas, 10, 2, c, k.style, 20);
    ASSERT_EQ(canvas.ops().size(), k.ops) << "style " << k.style;
    const CanvasOp& op = canvas.ops()[0];
    EXPECT_EQ(op.kind, k.kind) << "style " << k.style;
    EXPECT_EQ(op.points, k.points) << "style " << k.style;
    EXPECT_EQ(op.pen.color, c);
    EXPECT_EQ(op.brush.color, k.fill) << "style " << k.style;
    EXPECT_EQ(canvas.brush().color, brush) << "style " << k.style;
  }
  RecordingCanvas none;
  Draw_Point_Symbol(none, 10, 2, c, 10, 20);
  EXPECT_TRUE(none.ops().empty());
}

TEST(WaveDraw, EachChannelGetsTheNextMarkerShapeAndEveryPaintStartsAgain) {
  TestRecord t(3, 0, 1000, 50, 40);
  t.setRow(0, {0, 1});
  t.setRow(5, {2});
  const WaveGeometry geo = t.prepare();
  for (int pass = 0; pass < 2; ++pass) {
    RecordingCanvas canvas;
    Show_AllChannel_Wave(canvas, t.scene(geo));
    std::vector<OpKind> infoMarkers;  // the size-6 markers beside the names
    for (const auto& op : canvas.ops())
      if (!op.points.empty() && op.points[0].x == 35 - 6 && op.kind != OpKind::Line) infoMarkers.push_back(op.kind);
    EXPECT_EQ(infoMarkers, (std::vector<OpKind>{OpKind::FillRect, OpKind::Ellipse, OpKind::Polygon})) << pass;
  }
}

TEST(WaveDraw, OnlyTheExposedColumnsAreDrawn) {
  TestRecord t(1, 1, 1000, 50, 2000);  // 4000 pixels wide
  t.fillSines(5);
  t.setRow(0, {0});
  t.setDigital({0});
  for (std::size_t i = 0; i < t.digitalData(0).size(); ++i) t.digitalData(0)[i] = (i / 7) % 2;
  const WaveGeometry geo = t.prepare();
  RecordingCanvas canvas(Rect{1000, 0, 1100, 2000});
  Show_AllChannel_Wave(canvas, t.scene(geo));
  const auto v = verticesIn(canvas, 0xFF00FF);
  ASSERT_FALSE(v.empty());
  EXPECT_LT(v.size(), 160u);
  EXPECT_LE(v.front().x, 1000 - 2);
  EXPECT_GE(v.back().x, 1100 + 2);
  std::size_t laneSegments = 0;
  for (const auto& s : canvas.segments())
    if (s.pen.color == 0xFF0000) {
      ++laneSegments;
      EXPECT_GE(std::max(s.from.x, s.to.x), 1000 - 4);
      EXPECT_LE(std::min(s.from.x, s.to.x), 1100 + 4);
    }
  EXPECT_GT(laneSegments, 5u);
  EXPECT_LT(laneSegments, 60u);
}

TEST(WaveDraw, SecondRateOfAnUninterpolatedRecordJoinsOnlyWrittenPoints) {
  TestRecord t(1, 0, 1000, 50, 40, 500, 60);  // f1 2, f2 4
  t.interpolated = false;
  t.options.WindowPointsAndLines = 0;
  for (std::size_t k = 0; k < t.data[0].size(); ++k) t.data[0][k] = (k % 2 == 0) ? 3.0 : 0.0;  // unwritten points stay 0
  for (std::size_t k = 80; k < t.data[0].size(); ++k) t.data[0][k] = (k % 4 == 0) ? 3.0 : 0.0;
  t.setRow(0, {0});
  RecordingCanvas canvas;
  paint(t, canvas);
  const auto v = verticesIn(canvas, 0xFF00FF);
  // 40 samples of the first rate and 20 of the second, each drawn at its value.
  ASSERT_EQ(v.size(), 60u);
  for (const auto& p : v) EXPECT_EQ(p.y, 90 - 57 * 3 / 4) << p.x;  // every vertex is a written sample
  EXPECT_EQ(v[39].x, 75 + 78);
  EXPECT_EQ(v[40].x, 75 + 80);  // the joining line
  EXPECT_EQ(v[41].x, 75 + 84);
}

TEST(WaveDraw, ChannelsOutsideTheRecordAreSkipped) {
  TestRecord t(2, 1, 1000, 50, 40);
  t.setRow(0, {0, 7});
  t.options.WindowGroups[1].Count = 9;  // more than an axis holds: only 4 are read
  t.setDigital({0, 5, -1});
  t.digitalData(0)[3] = 1;
  RecordingCanvas canvas;
  paint(t, canvas);
  EXPECT_FALSE(verticesIn(canvas, 0xFF00FF).empty());
  EXPECT_EQ(textOp(canvas, "D1") != nullptr, true);
}

TEST(WaveDraw, TwoRatesWithoutSecondRateSamplesReadNothingPastTheBuffers) {
  TestRecord t(1, 1, 1000, 50, 40, 500, 40);  // endsamp2 = endsamp1
  t.setRow(0, {0});
  t.setDigital({0});
  t.fillSines(2);
  RecordingCanvas canvas;
  paint(t, canvas);
  EXPECT_FALSE(verticesIn(canvas, 0xFF00FF).empty());
}

TEST(WaveDraw, AtRowHeightZeroEverythingCollapsesOntoTheZeroLines) {
  TestRecord t(1, 1, 1000, 50, 40);
  t.fillSines(3);
  t.setRow(0, {0});
  t.setDigital({0});
  t.digitalData(0)[5] = 1;
  t.viewport.RowHeight = 0;
  RecordingCanvas canvas;
  paint(t, canvas);
  for (const auto& p : verticesIn(canvas, 0xFF00FF)) EXPECT_EQ(p.y, 90);
}

}  // namespace
}  // namespace wave
