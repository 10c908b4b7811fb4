// The wave view drawn in pieces, with traces reduced to the extremes of each
// pixel column, against the same view drawn whole with every point.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include <QGuiApplication>
#include <QImage>

#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/canvas/recording_canvas.h"
#include "waveform/view/rms_view.h"
#include "waveform/view/test_scene.h"
#include "waveform/view/trace_path.h"
#include "waveform/view/wave_draw.h"
#include "waveform/view/zoom.h"

namespace wave {
namespace {

using scenetest::TestRecord;
using trace::MarkerOrder;

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
// Outline markers need their drawing order; a vertex again at the point just
// drawn may be left out only where that changes no pixel. Drawn vertex by
// vertex against DrawInOrder, on runs that come back to the same point with
// every marker order.
TEST_F(WaveImageTest, RepeatedPointsInOrderDrawTheSamePixels) {
  const QSize size(60, 60);
  const MarkerOrder orders[] = {MarkerOrder::AfterIncoming, MarkerOrder::BeforeIncoming, MarkerOrder::None};
  for (const int style : {6, 7, 8, 9, 0}) {
    std::vector<trace::Vertex> vs;
    std::uint32_t seed = 99;  // every order after every other at one point
    const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 24; };
    for (int i = 0; i < 60; ++i) {
      const Point p{10 + i / 12, 30 + static_cast<int>(std::lround(12 * std::sin(i / 4.0)))};
      const unsigned times = 1 + next() % 3;
      for (unsigned again = 0; again < times; ++again) vs.push_back({p, orders[next() % 3]});
    }
    const TColor colour = 0x2060C0;
    const QImage inOrder = renderTiles(size, {Rect{0, 0, 60, 60}}, [&](Canvas& canvas) {
      canvas.brush() = Brush{0xFFFFFF, BrushStyle::Solid};
      trace::DrawInOrder(canvas, vs, colour, style);
    });
    const QImage oneByOne = renderTiles(size, {Rect{0, 0, 60, 60}}, [&](Canvas& canvas) {
      canvas.brush() = Brush{0xFFFFFF, BrushStyle::Solid};
      canvas.pen() = Pen{colour, 1, PenStyle::Solid, PenMode::Copy};
      Point previous = vs.front().p;
      for (const trace::Vertex& v : vs) {
        if (v.marker == MarkerOrder::BeforeIncoming) Draw_Point_Symbol(canvas, v.p.x, 2, colour, style, v.p.y);
        if (!(v.p == previous)) {
          canvas.moveTo(previous.x, previous.y);
          canvas.lineTo(v.p.x, v.p.y);
        }
        if (v.marker == MarkerOrder::AfterIncoming) Draw_Point_Symbol(canvas, v.p.x, 2, colour, style, v.p.y);
        previous = v.p;
      }
    });
    int differing = 0;
    QPoint first(-1, -1);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x)
        if (inOrder.pixel(x, y) != oneByOne.pixel(x, y) && differing++ == 0) first = QPoint(x, y);
    EXPECT_EQ(differing, 0) << "style " << style << ", first at " << first.x() << "," << first.y();
  }
}

// Outline markers drawn from the envelopes, column by column, against drawing
// every point's line and marker one after the other: curves that come back to
// rows they left (random walks of under a row a point, around zero too), flat
// ones with blips, steps of several rows, a NaN, markers on every point or only
// some, and a second run whose first marker comes before its line.
TEST_F(WaveImageTest, OutlineMarkersFromTheEnvelopesDrawTheSamePixels) {
  struct Case {
    const char* name;
    std::function<double(int, std::uint32_t&)> value;
  };
  const auto noise = [](std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return static_cast<double>(s >> 8) / static_cast<double>(1u << 24) - 0.5;  // -0.5 .. 0.5
  };
  double walk = 0;
  const Case cases[] = {
      {"slow sine", [](int k, std::uint32_t&) { return 20 * std::sin(k / 140.0); }},
      {"walk", [&](int k, std::uint32_t& s) { return walk = (k == 0 ? 7.3 : walk + 0.9 * noise(s)); }},
      {"walk about zero", [&](int k, std::uint32_t& s) {
         walk = k == 0 ? 0.2 : walk + 0.6 * noise(s);
         return walk - 0.0025 * walk * std::fabs(walk);
       }},
      {"flat with blips", [](int k, std::uint32_t&) { return k % 97 == 50 ? 4.5 : k % 61 < 3 ? 3.6 : 3.2; }},
      {"steps of rows", [&](int, std::uint32_t& s) { return 30 * noise(s); }},
      {"a NaN", [](int k, std::uint32_t&) {
         return k == 700 ? std::numeric_limits<double>::quiet_NaN() : 9 * std::sin(k / 60.0);
       }},
  };
  const int count = 2400, split = 1300;
  const trace::ValueToY map{60, 10, 10};  // a row per unit
  const TColor colour = 0x2060C0;
  for (const Case& c : cases)
    for (const int perColumn : {9, 14, 40})
      for (const int every : {1, 3})
        for (const int style : {6, 7, 8, 9})
          for (const BrushStyle brush : {BrushStyle::Solid, BrushStyle::Clear}) {
          SCOPED_TRACE(testing::Message() << c.name << ", " << perColumn << " a column, marker every " << every
                                          << ", style " << style << (brush == BrushStyle::Clear ? ", hollow" : ""));
          std::uint32_t seed = 12345;
          std::vector<double> b(count);
          for (int k = 0; k < count; ++k) b[static_cast<std::size_t>(k)] = c.value(k, seed);
          const PointEnvelope env(b, 0, 1, count);
          // The second run is twice as dense.
          const double b1 = 1.0 / perColumn, b2 = 0.5 / perColumn;
          const std::array<trace::PointRun, 2> runs{
              trace::PointRun{b, &env, 0, split - 1, trace::RunX{0, b1, 10, 1, 0}, every},
              trace::PointRun{b, &env, split, count - 1, trace::RunX{split * b1, b2, 10, 1, split}, every, split}};
          std::vector<trace::Vertex> vs;
          for (const trace::PointRun& run : runs)
            for (std::int64_t k = run.kFirst; k <= run.kLast; ++k) {
              trace::Vertex v{{static_cast<int>(run.x(k)), map(b[static_cast<std::size_t>(k)])}};
              if (k % every == 0) v.marker = k == run.markerBefore ? MarkerOrder::BeforeIncoming : MarkerOrder::AfterIncoming;
              vs.push_back(v);
            }
          const QSize size(vs.back().p.x + 12, 130);
          const auto paint = [&](const std::function<void(Canvas&)>& draw) {
            return renderTiles(size, {Rect{0, 0, size.width(), size.height()}}, [&](Canvas& canvas) {
              canvas.brush() = Brush{0xFFFFFF, brush};
              canvas.pen() = Pen{colour, 1, PenStyle::Solid, PenMode::Copy};
              draw(canvas);
            });
          };
          const QImage fromRuns = paint([&](Canvas& canvas) { trace::DrawInOrderRuns(canvas, runs, map, colour, style); });
          const QImage oneByOne = paint([&](Canvas& canvas) {
            Point previous = vs.front().p;
            for (const trace::Vertex& v : vs) {
              if (v.marker == MarkerOrder::BeforeIncoming) Draw_Point_Symbol(canvas, v.p.x, 2, colour, style, v.p.y);
              if (!(v.p == previous)) {
                canvas.moveTo(previous.x, previous.y);
                canvas.lineTo(v.p.x, v.p.y);
              }
              if (v.marker == MarkerOrder::AfterIncoming) Draw_Point_Symbol(canvas, v.p.x, 2, colour, style, v.p.y);
              previous = v.p;
            }
          });
          int differing = 0;
          QPoint first(-1, -1);
          for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
              if (fromRuns.pixel(x, y) != oneByOne.pixel(x, y) && differing++ == 0) first = QPoint(x, y);
          EXPECT_EQ(differing, 0) << "first at " << first.x() << "," << first.y();
        }
}

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

// --- what the pixels show -------------------------------------------------------

// The rows of column x between top and bottom (inclusive) in one colour.
std::vector<int> rowsIn(const QImage& image, int x, int top, int bottom, QRgb colour) {
  std::vector<int> rows;
  for (int y = top; y <= bottom; ++y)
    if (image.pixel(x, y) == colour) rows.push_back(y);
  return rows;
}

// Zoomed out until a cycle of 20 samples is 2 pixels wide, every switch of a
// digital channel stands in its own column x = L + Round(i * 2 / 20): a fall
// at the sample before it, a rise at the sample after. (They all stood on x = L.)
TEST_F(WaveImageTest, ZoomedOutDigitalSwitchesStandInTheirOwnColumns) {
  TestRecord t(1, 1, 1000, 50, 4000);
  t.setRow(0, {0});
  t.setDigital({0});
  auto& lane = t.digitalData(0);
  for (std::size_t i = 0; i < lane.size(); ++i) lane[i] = static_cast<std::uint8_t>((i / 300) % 2);
  t.viewport = SetZoomLevels(t.layout, kMinZoomLevel, 0);
  const WaveGeometry geo = t.prepare();
  ASSERT_EQ(geo.pixelsPerCycle1, 2);
  const QSize size(560, 240);
  const QImage image = render(t.scene(geo), size, {Rect{0, 0, size.width(), size.height()}});
  const QRgb trace = ToQColor(t.colors[kDigitalTraceColor]).rgb();
  const int yq = geo.h / 8 + geo.h - geo.h2 + geo.T;
  const int high = yq - geo.h / 25, low = yq + geo.h / 10;
  std::vector<int> band;
  for (int y = high; y <= low; ++y) band.push_back(y);
  std::set<std::int64_t> edges;
  for (std::size_t i = 0; i + 1 < lane.size(); ++i)
    if (lane[i] != lane[i + 1]) edges.insert(lane[i + 1] == 0 ? geo.xOfDigital(i) : geo.xOfDigital(i + 1));
  ASSERT_EQ(edges.size(), 13u);
  for (int x = geo.L + 1; x < geo.xOfDigital(3999); ++x) {
    SCOPED_TRACE(x);
    const std::vector<int> rows = rowsIn(image, x, high - 5, low + 5, trace);
    if (edges.count(x))
      EXPECT_EQ(rows, band);
    else
      EXPECT_EQ(rows.size(), 1u);
  }
}

// The record shipped with two rates: 1600 Hz, then 800 Hz with a point between
// samples. Its 800 Hz part is drawn through those points, which lie between
// the samples (it was a comb down to the zero line).
TEST_F(WaveImageTest, PointsBetweenSamplesOfASecondRateDrawBetweenThem) {
  const auto opened = scenetest::OpenRecordFile(std::string(SAMPLES_DIR) + "/ascii_two_rate.cfg");
  ASSERT_TRUE(opened);
  TestRecord t(*opened);
  ASSERT_TRUE(t.interpolated);  // negative samples: every point is drawn
  for (int c = 0; c < 3; ++c) t.setRow(c, {c});
  t.options.WindowPointsAndLines = 0;
  const WaveGeometry geo = t.prepare();
  const QSize size(static_cast<int>(geo.neededWidth()) + 40, 480);
  const QImage image = render(t.scene(geo), size, {Rect{0, 0, size.width(), size.height()}});
  const std::int64_t first2 = t.layout.rate1Samples;
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    const auto& b = t.data[static_cast<std::size_t>(c)];
    const int yb = geo.rowZero(c);
    const int amplitude = static_cast<int>(std::trunc(0.48 * geo.h));
    const double scale = t.scales.ChannelScales[static_cast<std::size_t>(c)];
    const QRgb colour = ToQColor(ChannelTraceColor(t.colors, c)).rgb();
    // Each column's rows lie within the chords between the samples around it.
    std::map<std::int64_t, std::pair<int, int>> allowed;
    for (std::int64_t k = first2; k + 1 < t.layout.sampleCount; ++k) {
      const std::int64_t xa = geo.xOfPoint2((k - first2) * geo.f2), xb = geo.xOfPoint2((k + 1 - first2) * geo.f2);
      const int ya = ValueY(yb, b[static_cast<std::size_t>(t.layout.pointOf(k))], scale, amplitude);
      const int yc = ValueY(yb, b[static_cast<std::size_t>(t.layout.pointOf(k + 1))], scale, amplitude);
      for (std::int64_t x = xa; x <= xb; ++x) {
        auto [it, added] = allowed.try_emplace(x, std::min(ya, yc) - 1, std::max(ya, yc) + 1);
        if (!added) it->second = {std::min(it->second.first, std::min(ya, yc) - 1),
                                  std::max(it->second.second, std::max(ya, yc) + 1)};
      }
    }
    int drawn = 0;
    for (const auto& [x, range] : allowed) {
      if (x == allowed.begin()->first || x == allowed.rbegin()->first) continue;
      for (const int y : rowsIn(image, static_cast<int>(x), yb - geo.h2, yb + geo.h2, colour)) {
        ++drawn;
        EXPECT_GE(y, range.first) << "x " << x;
        EXPECT_LE(y, range.second) << "x " << x;
      }
    }
    EXPECT_GT(drawn, 600);
  }
}

// Buffers of zeros that take no memory until written (calloc maps fresh pages).
template <typename T>
struct ZeroBuffer {
  explicit ZeroBuffer(std::size_t n) : values(static_cast<T*>(std::calloc(n, sizeof(T)))), size(n) {}
  ~ZeroBuffer() { std::free(values); }
  ZeroBuffer(const ZeroBuffer&) = delete;
  ZeroBuffer& operator=(const ZeroBuffer&) = delete;
  std::span<T> span() const { return {values, size}; }
  T* values;
  std::size_t size;
};

// The right end of the view as a window shows it scrolled there: drawn
// relative to the exposed part. With rms, the RMS view of those curves.
QImage renderRightEnd(const WaveScene& scene, QSize size, std::span<const std::span<const double>> rms = {},
                      const RmsScales* rmsScales = nullptr) {
  const std::int64_t scroll = scene.geo.neededWidth() + 40 - size.width();
  const std::int64_t shift = DrawingShift(scroll);
  const int left = static_cast<int>(scroll - shift);
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.translate(-left, 0);
  painter.setClipRect(QRect(left, 0, size.width(), size.height()));
  QPainterCanvas canvas(painter, Rect{left, 0, left + size.width(), size.height()});
  const WaveGeometry geo = ShiftedLeft(scene.geo, shift);
  const WaveScene shifted{geo, scene.options, scene.scales, scene.buffers, scene.digital, scene.record, scene.colors,
                          scene.interpolated, scene.fullDetail, scene.summary};
  if (rmsScales)
    PaintRmsView(canvas, RmsScene{shifted, rms, *rmsScales});
  else
    PaintWaveView(canvas, shifted);
  return image;
}

int differingPixels(const QImage& a, const QImage& b) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y);
  return differing;
}

// 9 000 000 samples at 1 kHz, zoomed in four steps: 288 000 075 pixels wide,
// past 2^28. Its last cycles show the trace, the lane and the frame exactly as
// a record of only those cycles shows them (the far end was blank).
TEST_F(WaveImageTest, TheFarEndOfALongRecordZoomedInDrawsLikeAShortRecord) {
  constexpr std::int64_t kSamples = 9000000, kTail = 2000;  // 100 cycles at the end
  TestRecord shortRecord(1, 1, 1000, 50, static_cast<int>(kTail));
  shortRecord.fillSines(300);
  for (std::int64_t i = 0; i < kTail; ++i) shortRecord.digitalData(0)[static_cast<std::size_t>(i)] = (i / 7) % 2;
  shortRecord.setRow(0, {0});
  shortRecord.setDigital({0});
  shortRecord.options.WindowGridX = shortRecord.options.WindowGridY = 0;  // no cycle numbers
  shortRecord.viewport = SetZoomLevels(shortRecord.layout, kMaxZoomLevel, 0);

  TcfgInfo record = shortRecord.record;
  record.endsamp1 = record.endsamp2 = static_cast<std::int32_t>(kSamples);
  const RecordLayout layout = MakeRecordLayout(record);
  ZeroBuffer<double> analog(static_cast<std::size_t>(layout.analogPoints));
  ZeroBuffer<std::uint8_t> digital(static_cast<std::size_t>(kSamples));
  const std::size_t tailPoints = shortRecord.data[0].size();
  std::copy(shortRecord.data[0].begin(), shortRecord.data[0].end(), analog.values + (analog.size - tailPoints));
  std::copy(shortRecord.lanes[0].begin(), shortRecord.lanes[0].end(), digital.values + (digital.size - kTail));
  const std::vector<std::span<const double>> buffers{analog.span()};
  const std::vector<std::span<const std::uint8_t>> lanes{digital.span()};

  const WaveGeometry shortGeo = shortRecord.prepare();
  const WaveGeometry longGeo = MakeWaveGeometry(layout, SetZoomLevels(layout, kMaxZoomLevel, 0), shortRecord.options);
  ASSERT_GT(longGeo.neededWidth(), std::int64_t{1} << 28);
  const WaveScene longScene{longGeo, shortRecord.options, shortRecord.scales, buffers, lanes, record,
                            shortRecord.colors, true};
  const QSize size(900, 300);
  const QImage expected = renderRightEnd(shortRecord.scene(shortGeo), size);
  const QImage far = renderRightEnd(longScene, size);
  EXPECT_EQ(differingPixels(far, expected), 0);
  // And it does show something: the trace's colour in most columns.
  const QRgb trace = ToQColor(ChannelTraceColor(shortRecord.colors, 0)).rgb();
  int traced = 0;
  for (int x = 0; x < size.width(); ++x) traced += !rowsIn(far, x, 0, size.height() - 1, trace).empty();
  EXPECT_GT(traced, size.width() / 2);

  // The RMS view of the same tail, one value per sample.
  std::vector<double> shortRms(static_cast<std::size_t>(kTail));
  for (std::size_t n = 0; n < shortRms.size(); ++n) shortRms[n] = 200 + 100 * std::sin(0.01 * static_cast<double>(n));
  ZeroBuffer<double> longRms(static_cast<std::size_t>(kSamples));
  std::copy(shortRms.begin(), shortRms.end(), longRms.values + (longRms.size - shortRms.size()));
  const std::vector<std::span<const double>> shortRmsSpans{shortRms}, longRmsSpans{longRms.span()};
  RmsScales scales;  // the long record's peaks are those of its tail
  ComputeRmsPeaks(scales, shortRmsSpans, kTail);
  UpdateRmsScales(scales, shortRecord.options.WindowGroups);
  const QImage expectedRms = renderRightEnd(shortRecord.scene(shortGeo), size, shortRmsSpans, &scales);
  const QImage farRms = renderRightEnd(longScene, size, longRmsSpans, &scales);
  EXPECT_EQ(differingPixels(farRms, expectedRms), 0);
  EXPECT_GT(differingPixels(farRms, far), 1000);  // another picture than the waves
}

// --- the drawing from the record's envelopes ------------------------------------

// A record with its RMS arrays and its envelopes.
struct SummarisedRecord {
  TestRecord t;
  std::vector<std::vector<double>> rms;
  std::vector<std::span<const double>> rmsSpans;
  DrawSummary summary;

  explicit SummarisedRecord(TestRecord record) : t(std::move(record)) {
    const auto count = static_cast<std::size_t>(t.layout.sampleCount);
    for (int c = 0; c < t.record.A; ++c) {
      rms.emplace_back(count);
      for (std::size_t n = 0; n < count; ++n)  // slow swells with a step now and then
        rms.back()[n] = 1 + std::fabs(std::sin(0.03 * static_cast<double>(n * (c + 1)))) + 3.0 * ((n / 97) % 2 == 1);
    }
    rms[1][count / 3] = std::numeric_limits<double>::quiet_NaN();
    rms[2][count / 2] = std::numeric_limits<double>::infinity();
    rmsSpans.assign(rms.begin(), rms.end());
  }
};

// Ten channels on three rows with sines, a channel of steps, samples without a
// value (NaN, infinite, the no-value marker) and digital lanes.
SummarisedRecord summaryRecord(bool twoRates, bool interpolated) {
  TestRecord t = twoRates ? TestRecord(10, 2, 1000, 50, 300, 4000, 700)  // N 20 (f1 2), then N2 80 (f2 1)
                          : TestRecord(10, 2, 1000, 50, 600);
  t.fillSines(3);
  auto& steps = t.data[3];
  for (std::size_t i = 0; i < steps.size(); ++i) steps[i] = ((i / 37) % 3) * 40.0 - 40.0;
  auto& holes = t.data[4];
  holes[holes.size() / 5] = std::numeric_limits<double>::quiet_NaN();
  holes[holes.size() / 2] = -std::numeric_limits<double>::infinity();
  holes[holes.size() / 2 + 41] = std::numeric_limits<double>::infinity();
  holes[holes.size() * 3 / 4] = 2863311530.0;
  for (std::size_t i = 0; i < t.digitalData(0).size(); ++i) t.digitalData(0)[i] = ((i / 5) % 2) != 0;
  for (std::size_t i = 0; i < t.digitalData(1).size(); ++i)  // one rise only
    t.digitalData(1)[i] = i * 5 >= t.digitalData(1).size() * 3;
  t.setRow(0, {0, 1, 2, 3});
  t.setRow(2, {4, 5, 6});
  t.setRow(7, {7, 8, 9});
  t.setDigital({0, 1});
  t.interpolated = interpolated;
  return SummarisedRecord(std::move(t));
}

class SummaryImageTest : public WaveImageTest {
 protected:
  // The part of the view from x = scroll on, as a window shows it when scrolled there.
  static QImage renderAt(QSize size, int scroll, const std::function<void(Canvas&)>& paint) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.translate(-scroll, 0);
    painter.setClipRect(QRect(scroll, 0, size.width(), size.height()));
    QPainterCanvas canvas(painter, Rect{scroll, 0, scroll + size.width(), size.height()});
    paint(canvas);
    return image;
  }

  // Every zoom level, both views, lines and markers, at the start, inside and at
  // the end of the record: the drawing from the envelopes (and the pixel
  // columns kept for the zoom level) against every point.
  static void expectSameEverywhere(SummarisedRecord& s) {
    TestRecord& t = s.t;
    s.t.spans.assign(t.data.begin(), t.data.end());
    s.t.laneSpans.assign(t.lanes.begin(), t.lanes.end());
    s.summary = SummariseCurves(t.spans, s.rmsSpans, t.laneSpans, t.layout, t.interpolated);
    const QSize size(420, 440);
    for (int points : {1, 0}) {
      t.options.WindowPointsAndLines = points;
      for (int level = kMinZoomLevel; level <= kMaxZoomLevel; ++level) {
        const int levelY = std::array{0, -4, 2}[static_cast<std::size_t>(level + 4) % 3];
        t.viewport = SetZoomLevels(t.layout, level, levelY);
        const WaveGeometry geo = t.prepare();
        RmsScales rmsScales;
        ComputeRmsPeaks(rmsScales, s.rmsSpans, t.layout.sampleCount);
        UpdateRmsScales(rmsScales, t.options.WindowGroups);
        const std::int64_t width = geo.neededWidth() + 40;
        // Scrolled by a pixel too: the first and last columns then hold only some of their points.
        for (const std::int64_t at : {std::int64_t{0}, std::int64_t{1}, width / 3, width / 3 + 1, width - size.width() / 2}) {
          const int scroll = static_cast<int>(std::max<std::int64_t>(0, at));
          for (const bool rmsView : {false, true}) {
            SCOPED_TRACE(testing::Message() << "level " << level << "/" << levelY << " points " << points << " scroll "
                                            << scroll << (rmsView ? " rms" : " wave"));
            const auto draw = [&](bool fromSummary) {
              WaveScene scene = t.scene(geo, !fromSummary);
              if (fromSummary) scene.summary = &s.summary;
              return renderAt(size, scroll, [&](Canvas& canvas) {
                if (rmsView)
                  PaintRmsView(canvas, RmsScene{scene, s.rmsSpans, rmsScales});
                else
                  PaintWaveView(canvas, scene);
              });
            };
            const QImage every = draw(false), summarised = draw(true);
            int differing = 0;
            QPoint first(-1, -1);
            for (int y = 0; y < size.height(); ++y)
              for (int x = 0; x < size.width(); ++x)
                if (every.pixel(x, y) != summarised.pixel(x, y) && differing++ == 0) first = QPoint(x, y);
            ASSERT_EQ(differing, 0) << "first at " << first.x() + scroll << "," << first.y();
          }
        }
      }
    }
  }
};

TEST_F(SummaryImageTest, InterpolatedRecordDrawsTheSamePixelsAtEveryZoomLevel) {
  SummarisedRecord s = summaryRecord(false, true);
  expectSameEverywhere(s);
}

TEST_F(SummaryImageTest, StoredSamplesDrawTheSamePixelsAtEveryZoomLevel) {
  SummarisedRecord s = summaryRecord(false, false);
  expectSameEverywhere(s);
}

TEST_F(SummaryImageTest, TwoRatesDrawTheSamePixelsAtEveryZoomLevel) {
  for (const bool interpolated : {true, false}) {
    SCOPED_TRACE(interpolated);
    SummarisedRecord s = summaryRecord(true, interpolated);
    expectSameEverywhere(s);
  }
}

// Zoomed out, the lines drawn from the envelopes are those of the reduced
// drawing: per pixel column the first point, the extremes and the last point.
TEST_F(SummaryImageTest, ZoomedOutTracesDrawTheLinesOfTheReducedDrawing) {
  SummarisedRecord s = summaryRecord(false, true);
  TestRecord& t = s.t;
  t.spans.assign(t.data.begin(), t.data.end());
  t.laneSpans.assign(t.lanes.begin(), t.lanes.end());
  s.summary = SummariseCurves(t.spans, s.rmsSpans, t.laneSpans, t.layout, t.interpolated);
  t.options.WindowPointsAndLines = 0;
  t.viewport = SetZoomLevels(t.layout, kMinZoomLevel, 0);
  const WaveGeometry geo = t.prepare();
  WaveScene scene = t.scene(geo, false);
  scene.summary = &s.summary;
  RecordingCanvas summarised, reduced;
  PaintWaveView(summarised, scene);
  PaintWaveView(reduced, t.scene(geo, false));
  EXPECT_EQ(summarised.segments(), reduced.segments());
}

}  // namespace
}  // namespace wave
