// The wave view drawn in pieces, with traces reduced to the extremes of each
// pixel column, against the same view drawn whole with every point.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include <QGuiApplication>
#include <QImage>

#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/canvas/recording_canvas.h"
#include "waveform/view/rms_view.h"
#include "waveform/view/test_scene.h"

namespace wave {
namespace {

using scenetest::TestRecord;

class WaveImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "wave_view_image_test";
    static char* argv[] = {arg0, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
  }

  // An image painted one tile at a time, each clipped to its tile.
  static QImage renderTiles(QSize size, const std::vector<Rect>& tiles, const std::function<void(Canvas&)>& paint) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (const Rect& tile : tiles) {
      painter.setClipRect(QRect(tile.left, tile.top, tile.width(), tile.height()));
      QPainterCanvas canvas(painter, tile);
      paint(canvas);
    }
    return image;
  }

  static QImage render(const WaveScene& scene, QSize size, const std::vector<Rect>& tiles) {
    return renderTiles(size, tiles, [&](Canvas& canvas) { PaintWaveView(canvas, scene); });
  }

  static void expectSame(TestRecord& t, QSize size, const std::vector<Rect>& tiles) {
    const WaveGeometry geo = t.prepare();
    const QImage whole = render(t.scene(geo, true), size, {Rect{0, 0, size.width(), size.height()}});
    const QImage pieces = render(t.scene(geo, false), size, tiles);
    int differing = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        if (whole.pixel(x, y) != pieces.pixel(x, y) && differing++ == 0) first = QPoint(x, y);
    EXPECT_EQ(differing, 0) << "first at " << first.x() << "," << first.y();
    // The reduced drawing really is smaller.
    RecordingCanvas full, reduced;
    PaintWaveView(full, t.scene(geo, true));
    PaintWaveView(reduced, t.scene(geo, false));
    EXPECT_LT(reduced.segments().size(), full.segments().size());
  }

  static std::vector<Rect> strips(QSize size) {
    std::vector<Rect> tiles;
    int x = 0;
    for (int w : {97, 150, 61, 233}) {
      tiles.push_back({x, 0, x + w, size.height() / 2});
      tiles.push_back({x, size.height() / 2, x + w, size.height()});
      x += w;
    }
    tiles.push_back({x, 0, size.width(), size.height()});
    return tiles;
  }
};

// Ten channels on three rows: every marker shape, dense points, digital lanes.
TestRecord denseRecord(bool interpolated, int pixelsPerCycle) {
  TestRecord t(10, 3, 1000, 50, 400);  // N 20, f1 2
  t.fillSines(3);
  for (int d = 0; d < 3; ++d)
    for (std::size_t i = 0; i < t.digitalData(d).size(); ++i) t.digitalData(d)[i] = ((i / (3 + d)) % 2) != 0;
  t.setRow(0, {0, 1, 2, 3});
  t.setRow(2, {4, 5, 6});
  t.setRow(7, {7, 8, 9});
  t.setDigital({0, 1, 2});
  t.interpolated = interpolated;
  t.viewport.PixelsPerCycle1 = pixelsPerCycle;
  t.viewport.RowHeight = 90;
  return t;
}

TEST_F(WaveImageTest, ZoomedOutInterpolatedTracesDrawTheSamePixels) {
  TestRecord t = denseRecord(true, 5);  // 8 points a pixel
  expectSame(t, {700, 420}, strips({700, 420}));
}

TEST_F(WaveImageTest, ZoomedOutStoredSamplesDrawTheSamePixels) {
  TestRecord t = denseRecord(false, 4);  // five stored samples a pixel
  t.options.WindowGridY = 0;
  expectSame(t, {700, 420}, strips({700, 420}));
}

TEST_F(WaveImageTest, ZoomedOutLinesOnlyDrawTheSamePixels) {
  TestRecord t = denseRecord(true, 3);
  t.options.WindowPointsAndLines = 0;
  expectSame(t, {700, 420}, strips({700, 420}));
}

TEST_F(WaveImageTest, ExposedPartsAtZoomZeroDrawTheSamePixels) {
  TestRecord t = denseRecord(true, 40);
  const WaveGeometry geo = t.prepare();
  const QSize size(900, 420);
  const QImage whole = render(t.scene(geo, true), size, {Rect{0, 0, size.width(), size.height()}});
  const QImage pieces = render(t.scene(geo, false), size, strips(size));
  EXPECT_EQ(whole, pieces);
}

// The RMS view reduces its curves the same way.
TEST_F(WaveImageTest, ZoomedOutRmsCurvesDrawTheSamePixels) {
  for (const int pixelsPerCycle : {40, 5}) {  // two pixels a value, and eight values a pixel
    SCOPED_TRACE(pixelsPerCycle);
    TestRecord t = denseRecord(true, pixelsPerCycle);
    std::vector<std::vector<double>> rms(10, std::vector<double>(400));
    for (std::size_t c = 0; c < rms.size(); ++c)
      for (std::size_t n = 0; n < 400; ++n)
        rms[c][n] = 1 + std::fabs(std::sin(0.05 * static_cast<double>(n * (c + 1))));
    const std::vector<std::span<const double>> spans(rms.begin(), rms.end());
    const WaveGeometry geo = t.prepare();
    RmsScales scales;
    ComputeRmsPeaks(scales, spans, 400);
    UpdateRmsScales(scales, t.options.WindowGroups);
    const QSize size(900, 420);
    const auto draw = [&](bool fullDetail, const std::vector<Rect>& tiles) {
      const WaveScene scene = t.scene(geo, fullDetail);
      return renderTiles(size, tiles, [&](Canvas& canvas) { PaintRmsView(canvas, RmsScene{scene, spans, scales}); });
    };
    EXPECT_EQ(draw(true, {Rect{0, 0, size.width(), size.height()}}), draw(false, strips(size)));
  }
}

}  // namespace
}  // namespace wave
