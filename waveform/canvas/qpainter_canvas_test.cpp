#include "waveform/canvas/qpainter_canvas.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QGuiApplication>
#include <QImage>

#include <vector>

#include "waveform/canvas/recording_canvas.h"

namespace wave {
namespace {

class QPainterCanvasTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "wave_canvas_qt_test";
    static char* argv[] = {arg0, nullptr};
    if (!QGuiApplication::instance()) app_ = new QGuiApplication(argc, argv);
  }

  QPainterCanvasTest() : image_(40, 40, QImage::Format_RGB32) { image_.fill(Qt::white); }

  TColor at(int x, int y) const { return FromQColor(image_.pixelColor(x, y)); }

  static QGuiApplication* app_;
  QImage image_;
};

QGuiApplication* QPainterCanvasTest::app_ = nullptr;

TEST_F(QPainterCanvasTest, ColoursKeepTheirByteOrder) {
  const QColor c = ToQColor(0x00332211);
  EXPECT_EQ(c.red(), 0x11);
  EXPECT_EQ(c.green(), 0x22);
  EXPECT_EQ(c.blue(), 0x33);
  EXPECT_EQ(FromQColor(c), 0x00332211);
}

TEST_F(QPainterCanvasTest, LineToLeavesOutTheEndPixel) {
  {
    QPainter painter(&image_);
    QPainterCanvas canvas(painter);
    canvas.pen().color = 0x0000FF;
    canvas.moveTo(2, 5);
    canvas.lineTo(10, 5);
    canvas.moveTo(20, 2);
    canvas.lineTo(20, 12);
  }
  EXPECT_EQ(at(2, 5), 0x0000FF);
  EXPECT_EQ(at(9, 5), 0x0000FF);
  EXPECT_EQ(at(10, 5), kWhite);
  EXPECT_EQ(at(1, 5), kWhite);
  EXPECT_EQ(at(20, 2), 0x0000FF);
  EXPECT_EQ(at(20, 11), 0x0000FF);
  EXPECT_EQ(at(20, 12), kWhite);
}

TEST_F(QPainterCanvasTest, BackwardLinesLeaveOutTheirEndPixelToo) {
  {
    QPainter painter(&image_);
    QPainterCanvas canvas(painter);
    canvas.moveTo(10, 5);
    canvas.lineTo(2, 5);
    const Point up[] = {{20, 12}, {20, 2}, {25, 2}};
    canvas.polyline(up);
  }
  EXPECT_EQ(at(10, 5), kBlack);
  EXPECT_EQ(at(3, 5), kBlack);
  EXPECT_EQ(at(2, 5), kWhite);
  EXPECT_EQ(at(20, 12), kBlack);
  EXPECT_EQ(at(20, 2), kBlack);  // drawn as the start of the next segment
  EXPECT_EQ(at(24, 2), kBlack);
  EXPECT_EQ(at(25, 2), kWhite);
}

TEST_F(QPainterCanvasTest, RectanglesLeaveOutTheirRightAndBottomEdges) {
  {
    QPainter painter(&image_);
    QPainterCanvas canvas(painter);
    canvas.pen().color = kBlack;
    canvas.brush().color = 0x00FF00;
    canvas.rectangle({2, 2, 8, 8});
    canvas.brush().color = 0xFF0000;
    canvas.fillRect({20, 20, 25, 23});
  }
  EXPECT_EQ(at(2, 2), kBlack);
  EXPECT_EQ(at(7, 7), kBlack);
  EXPECT_EQ(at(8, 7), kWhite);
  EXPECT_EQ(at(7, 8), kWhite);
  EXPECT_EQ(at(4, 4), 0x00FF00);
  EXPECT_EQ(at(20, 20), 0xFF0000);
  EXPECT_EQ(at(24, 22), 0xFF0000);
  EXPECT_EQ(at(25, 22), kWhite);
  EXPECT_EQ(at(24, 23), kWhite);
}

TEST_F(QPainterCanvasTest, TextHangsBelowItsTopLeftCorner) {
  QImage wide(120, 60, QImage::Format_RGB32);
  wide.fill(Qt::white);
  {
    QPainter painter(&wide);
    QPainterCanvas canvas(painter);
    canvas.font().color = kBlack;
    canvas.font().height = 16;
    canvas.textOut(10, 20, "HHH");
    EXPECT_GT(canvas.textWidth("HHH"), 10);
  }
  int top = -1, bottom = -1;
  for (int y = 0; y < wide.height(); ++y)
    for (int x = 0; x < wide.width(); ++x)
      if (wide.pixelColor(x, y).lightness() < 128) {
        if (top < 0) top = y;
        bottom = y;
      }
  ASSERT_GE(top, 0) << "no text drawn";
  EXPECT_GE(top, 20);
  EXPECT_LE(top, 26);
  EXPECT_LT(bottom, 20 + 17);
}

// The font's measures are kept between texts: after a change of size or
// weight a text is measured and placed in the new font, as a canvas that
// never drew in the old one does.
TEST_F(QPainterCanvasTest, TextTakesTheMeasuresOfTheFontItIsDrawnIn) {
  const Font fonts[] = {{"Arial", 16, kBlack, false}, {"Arial", 9, kBlack, false}, {"Arial", 9, kBlack, true},
                        {"Arial", 30, kBlack, false}};
  QImage oneCanvas(200, 240, QImage::Format_RGB32), freshCanvases(200, 240, QImage::Format_RGB32);
  oneCanvas.fill(Qt::white);
  freshCanvases.fill(Qt::white);
  {
    QPainter painter(&oneCanvas);
    QPainterCanvas canvas(painter);
    for (std::size_t i = 0; i < std::size(fonts); ++i) {
      canvas.font() = fonts[i];
      const int width = canvas.textWidth("W 12 345");
      QPainterCanvas fresh(painter);
      fresh.font() = fonts[i];
      EXPECT_EQ(width, fresh.textWidth("W 12 345")) << i;
      canvas.textOut(10, 10 + 50 * static_cast<int>(i), "W 12 345");
    }
  }
  QPainter painter(&freshCanvases);
  for (std::size_t i = 0; i < std::size(fonts); ++i) {
    QPainterCanvas canvas(painter);
    canvas.font() = fonts[i];
    canvas.textOut(10, 10 + 50 * static_cast<int>(i), "W 12 345");
  }
  painter.end();
  EXPECT_EQ(oneCanvas, freshCanvases);
}

TEST_F(QPainterCanvasTest, XorModeDrawnTwiceRestoresThePixels) {
  image_.fill(QColor(0x12, 0x34, 0x56));
  const TColor before = at(5, 5);
  {
    QPainter painter(&image_);
    QPainterCanvas canvas(painter);
    canvas.pen().color = kWhite;
    canvas.pen().mode = PenMode::Xor;
    for (int pass = 0; pass < 2; ++pass) {
      canvas.moveTo(5, 0);
      canvas.lineTo(5, 30);
      if (pass == 0) {
        EXPECT_NE(FromQColor(image_.pixelColor(5, 5)), before);
      }
    }
  }
  EXPECT_EQ(at(5, 5), before);
}

TEST_F(QPainterCanvasTest, ClipBoxIsTheExposedPartOfTheDevice) {
  QPainter painter(&image_);
  {
    QPainterCanvas whole(painter);
    EXPECT_EQ(whole.clipBox(), (Rect{0, 0, 40, 40}));
  }
  QPainterCanvas part(painter, Rect{10, -5, 60, 20});
  EXPECT_EQ(part.clipBox(), (Rect{10, 0, 40, 20}));
}

TEST_F(QPainterCanvasTest, FiguresCopiedFromStampsMatchFiguresDrawnInPlace) {
  // A line into each place and a shape on it, in order: copies must give the
  // very pixels of drawing each one, on an image and through a layer.
  const Canvas::Figure figure = [](Canvas& c, Point p, const std::array<int, 3>& key) {
    c.pen().color = 0x0000FF;
    c.moveTo(p.x - key[0], p.y - key[1]);
    c.lineTo(p.x, p.y);
    c.brush().color = key[2] == 0 ? 0x00FF00 : 0x808080;
    if (key[2] == 0) c.ellipse({p.x - 3, p.y - 3, p.x + 3, p.y + 3});
    const Point up[] = {{p.x - 2, p.y + 2}, {p.x, p.y - 2}, {p.x + 2, p.y + 2}};
    if (key[2] == 1) c.polygon(up);
    if (key[2] == 2) c.rectangle({p.x - 2, p.y - 2, p.x + 2, p.y + 2});
  };
  std::vector<Canvas::FigureStep> steps;
  for (int i = 0; i < 30; ++i)
    steps.push_back({{5 + i, 20 + (i % 7) - 3}, {1, (i % 7 == 0) ? -6 : 1, i % 3}});
  steps.push_back({{25, 20}, {40, 0, 0}});  // too long a line for a stamp: drawn in place
  const auto render = [&](QPaintDevice& device, bool copies) {
    QPainter painter(&device);
    painter.fillRect(0, 0, 60, 40, Qt::white);
    painter.translate(3, 2);
    QPainterCanvas canvas(painter);
    if (copies) {
      canvas.drawFigures(steps, figure);
    } else {
      for (const auto& s : steps) figure(canvas, s.place, s.key);
    }
    EXPECT_EQ(canvas.brush().color, 0x00FF00) << "the state the last figure left";
  };
  QImage inPlace(60, 40, QImage::Format_RGB32), copied(60, 40, QImage::Format_RGB32);
  render(inPlace, false);
  render(copied, true);
  EXPECT_EQ(inPlace, copied);
  QImage layered(60, 40, QImage::Format_ARGB32);  // not copied into directly: through a layer
  render(layered, true);
  EXPECT_EQ(inPlace, layered.convertToFormat(QImage::Format_RGB32));
}

// Draws the steps' figures onto a white image within clip: copied through
// drawFigures, or each drawn in place.
void RenderFigures(QImage& image, const QRect& clip, const std::vector<Canvas::FigureStep>& steps,
                   const Canvas::Figure& figure, bool copies) {
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setClipRect(clip);
  QPainterCanvas canvas(painter, Rect{clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1});
  if (copies) {
    canvas.drawFigures(steps, figure);
  } else {
    for (const auto& s : steps) figure(canvas, s.place, s.key);
  }
}

TEST_F(QPainterCanvasTest, LinesCopiedFromStampsMatchLinesDrawnInPlaceInEveryDirection) {
  const Canvas::Figure figure = [](Canvas& c, Point p, const std::array<int, 3>& key) {
    c.moveTo(p.x - key[0], p.y - key[1]);
    c.lineTo(p.x, p.y);
  };
  std::vector<Canvas::FigureStep> steps;
  Point at{30, 40};
  for (int i = 0; i < 400; ++i) {
    const int dx = (i * 7) % 9 - 4, dy = (i * 13) % 41 - 20;
    at = {std::clamp(at.x + dx, 5, 75), std::clamp(at.y + dy, 5, 75)};
    steps.push_back({at, {dx, dy, 0}});
  }
  for (const QRect& clip : {QRect(0, 0, 80, 80), QRect(13, 9, 37, 51)}) {
    const auto render = [&](QImage& image, bool copies) { RenderFigures(image, clip, steps, figure, copies); };
    QImage inPlace(80, 80, QImage::Format_RGB32), copied(80, 80, QImage::Format_RGB32);
    render(inPlace, false);
    render(copied, true);
    EXPECT_EQ(inPlace, copied) << clip.x();
  }
}

TEST_F(QPainterCanvasTest, FiguresOnConsecutiveRowsMatchFiguresDrawnInPlace) {
  // Markers stacked on consecutive rows of a column (as zoomed-out curves give
  // them) are filled as one run when the figure has one colour: a solid
  // ellipse, a hollow square whose rows have gaps, a cross; a two-colour figure
  // is copied one by one. Clipped, on an image and through a layer.
  const Canvas::Figure figure = [](Canvas& c, Point p, const std::array<int, 3>& key) {
    c.pen().color = 0x0000FF;
    c.brush() = key[0] == 0 ? Brush{0x0000FF, BrushStyle::Solid}
                            : key[0] == 3 ? Brush{0x00FF00, BrushStyle::Solid} : Brush{0, BrushStyle::Clear};
    if (key[0] == 0 || key[0] == 3) c.ellipse({p.x - 2, p.y - 2, p.x + 3, p.y + 3});
    if (key[0] == 1) c.rectangle({p.x - 3, p.y - 3, p.x + 4, p.y + 4});
    if (key[0] == 2) {
      c.moveTo(p.x - 2, p.y - 2);
      c.lineTo(p.x + 3, p.y + 3);
      c.moveTo(p.x + 2, p.y - 2);
      c.lineTo(p.x - 3, p.y + 3);
    }
  };
  std::vector<Canvas::FigureStep> steps;
  for (int shape = 0; shape < 4; ++shape)
    for (int column = 0; column < 12; ++column) {
      const int x = 4 + shape * 18 + column, top = 3 + (column * 11) % 50, rows = 1 + (column * 5) % 13;
      for (int r = 0; r < rows; ++r) steps.push_back({{x, top + r + (r > 8 ? 1 : 0)}, {shape, 0, 0}});
    }
  for (const QRect& clip : {QRect(0, 0, 80, 80), QRect(13, 9, 37, 41)}) {
    const auto render = [&](QImage& image, bool copies) { RenderFigures(image, clip, steps, figure, copies); };
    QImage inPlace(80, 80, QImage::Format_RGB32), copied(80, 80, QImage::Format_RGB32);
    QImage layered(80, 80, QImage::Format_ARGB32);
    render(inPlace, false);
    render(copied, true);
    render(layered, true);
    EXPECT_EQ(inPlace, copied) << clip.x();
    EXPECT_EQ(inPlace, layered.convertToFormat(QImage::Format_RGB32)) << clip.x();
  }
}

TEST_F(QPainterCanvasTest, FiguresLeaveTheStateTheyDoNotTouch) {
  // A figure that only draws a line keeps the font; one that sets the pen colour leaves it set.
  const Canvas::Figure figure = [](Canvas& c, Point p, const std::array<int, 3>& key) {
    if (key[2] == 1) c.pen().color = 0x00FF00;
    c.moveTo(p.x - 1, p.y);
    c.lineTo(p.x, p.y);
  };
  QPainter painter(&image_);
  QPainterCanvas canvas(painter);
  const Canvas::FigureStep plain[] = {{{10, 10}, {1, 0, 0}}};
  canvas.font().setSize(9);
  canvas.drawFigures(plain, figure);  // the stamp is made with this font
  canvas.font().setSize(12);
  canvas.font().name = "Other";
  canvas.drawFigures(plain, figure);  // and copied with another one
  EXPECT_EQ(canvas.font().size(), 12);
  EXPECT_EQ(canvas.font().name, "Other");
  const Canvas::FigureStep colouring[] = {{{20, 10}, {1, 0, 1}}, {{22, 10}, {1, 0, 1}}};
  canvas.drawFigures(colouring, figure);
  EXPECT_EQ(canvas.pen().color, 0x00FF00);
  EXPECT_EQ(at(19, 10), 0x00FF00);  // a line leaves out its end pixel
  EXPECT_EQ(at(21, 10), 0x00FF00) << "the second copy starts from the colour the first left";
}

TEST_F(QPainterCanvasTest, DottedPenLeavesGaps) {
  {
    QPainter painter(&image_);
    QPainterCanvas canvas(painter);
    canvas.pen().style = PenStyle::Dot;
    canvas.moveTo(0, 3);
    canvas.lineTo(30, 3);
  }
  int inked = 0;
  for (int x = 0; x < 30; ++x) inked += at(x, 3) == kBlack;
  EXPECT_GT(inked, 5);
  EXPECT_LT(inked, 25);
}

// A page's dotted line looks the same at every scale (preview or printer): its
// dots are a length of the page, not of the device.
TEST_F(QPainterCanvasTest, PageDotsScaleWithThePage) {
  RecordingCanvas page;
  page.pen() = Pen{kBlack, 1, PenStyle::Dot, PenMode::Copy, 8};
  page.moveTo(0, 10);
  page.lineTo(400, 10);
  for (const double scale : {0.5, 3.0}) {
    SCOPED_TRACE(scale);
    QImage device(static_cast<int>(420 * scale), static_cast<int>(40 * scale), QImage::Format_RGB32);
    device.fill(Qt::white);
    {
      QPainter painter(&device);
      QPainterCanvas canvas(painter);
      page.replay(canvas, LinearMap{scale, scale, 0, 0});
    }
    const int y = static_cast<int>(10 * scale);
    std::vector<int> starts;  // where each dot begins
    bool inked = false;
    for (int x = 0; x < static_cast<int>(400 * scale); ++x) {
      const bool now = device.pixelColor(x, y) == Qt::black;
      if (now && !inked) starts.push_back(x);
      inked = now;
    }
    ASSERT_GE(starts.size(), 3u);
    // A dot and its gap: 16 units of the page.
    EXPECT_NEAR(static_cast<double>(starts[2] - starts[1]) / scale, 16.0, 1.0 / scale + 0.01);
  }
}

}  // namespace
}  // namespace wave
