#include "waveform/canvas/recording_canvas.h"

#include <gtest/gtest.h>

namespace wave {
namespace {

TEST(RecordingCanvas, StateStaysAsTheLastDrawingLeftIt) {
  RecordingCanvas canvas;
  canvas.pen().color = 0x0000FF;
  canvas.pen().style = PenStyle::Dot;
  canvas.moveTo(1, 2);
  canvas.lineTo(5, 2);
  canvas.lineTo(5, 9);  // continues from the pen position with the same pen
  canvas.font().setSize(9);
  canvas.textOut(3, 4, "Ua");
  canvas.textOut(3, 20, "Ub");  // the font is still the one set before

  const auto segs = canvas.segments();
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0], (Segment{{1, 2}, {5, 2}, canvas.pen()}));
  EXPECT_EQ(segs[1].from, (Point{5, 2}));
  EXPECT_EQ(segs[1].pen.style, PenStyle::Dot);
  EXPECT_EQ(canvas.penPos(), (Point{5, 9}));

  const auto texts = canvas.opsOf(OpKind::Text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1].font.height, 12);
  EXPECT_EQ(texts[1].points[0], (Point{3, 20}));
}

TEST(RecordingCanvas, PolylineLeavesThePenPositionAndSplitsIntoSegments) {
  RecordingCanvas canvas;
  canvas.moveTo(7, 7);
  const Point pts[] = {{0, 0}, {2, 3}, {4, 1}};
  canvas.polyline(pts);
  EXPECT_EQ(canvas.penPos(), (Point{7, 7}));
  const auto segs = canvas.segments();
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[1].from, (Point{2, 3}));
  EXPECT_EQ(segs[1].to, (Point{4, 1}));
}

TEST(RecordingCanvas, FontSizesBecomeScreenPixelHeights) {
  const struct {
    int points, pixels;
  } cases[] = {{3, 4}, {8, 11}, {9, 12}, {12, 16}};
  for (const auto& c : cases) {
    Font f;
    f.setSize(c.points);
    EXPECT_EQ(f.height, c.pixels) << c.points << " pt";
  }
}

TEST(RecordingCanvas, DefaultTextWidthCountsCharactersNotBytes) {
  Font f;
  f.height = 12;
  EXPECT_EQ(RecordingCanvas::DefaultTextWidth(f, "Ia"), 12);
  EXPECT_EQ(RecordingCanvas::DefaultTextWidth(f, "开关"), 24);
  RecordingCanvas custom(kUnlimitedRect, [](const Font&, std::string_view t) {
    return static_cast<int>(t.size()) * 7;
  });
  EXPECT_EQ(custom.textWidth("abc"), 21);
}

TEST(RecordingCanvas, ReplayMapsPointsWidthsAndFonts) {
  RecordingCanvas page;
  page.pen().width = 2;
  page.moveTo(10, 10);
  page.lineTo(20, 30);
  page.brush().color = 0x00FF00;
  page.fillRect({0, 0, 10, 10});
  page.font().height = 20;
  page.textOut(4, 6, "x");

  RecordingCanvas target;
  page.replay(target, {0.5, 0.5, 100, 200});
  const auto& ops = target.ops();
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].points[0], (Point{105, 205}));
  EXPECT_EQ(ops[0].points[1], (Point{110, 215}));
  EXPECT_EQ(ops[0].pen.width, 1);
  EXPECT_EQ(ops[1].rect(), (Rect{100, 200, 105, 205}));
  EXPECT_EQ(ops[1].brush.color, 0x00FF00);
  EXPECT_EQ(ops[2].font.height, 10);
  EXPECT_EQ(ops[2].text, "x");
}

TEST(RecordingCanvas, RectHelpers) {
  EXPECT_TRUE(Intersects({0, 0, 10, 10}, {9, 9, 20, 20}));
  EXPECT_FALSE(Intersects({0, 0, 10, 10}, {10, 0, 20, 10}));  // right edge is outside
  EXPECT_EQ(Intersection({0, 0, 10, 10}, {5, -5, 20, 6}), (Rect{5, 0, 10, 6}));
  EXPECT_TRUE(Intersection({0, 0, 1, 1}, {2, 2, 3, 3}).empty());
}

}  // namespace
}  // namespace wave
