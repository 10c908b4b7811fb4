#pragma once
// The canvas on a QPainter: widgets, images and printers. It keeps the GDI
// rules of Canvas: lines without their end pixel, rectangles without their right
// and bottom edges, text by its top-left corner.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <optional>
#include <unordered_map>
#include <vector>

#include "waveform/canvas/canvas.h"

namespace wave {

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);

class QPainterCanvas final : public Canvas {
 public:
  // The painter must be active for the canvas's life. exposed limits clipBox()
  // (the part a paint has to cover); without it the device's rectangle and the
  // painter's clip decide.
  explicit QPainterCanvas(QPainter& painter, std::optional<Rect> exposed = std::nullopt);
  ~QPainterCanvas() override;

  void polyline(std::span<const Point> points) override;
  void rectangle(const Rect& r) override;
  void fillRect(const Rect& r) override;
  void ellipse(const Rect& r) override;
  void polygon(std::span<const Point> points) override;
  void textOut(int x, int y, std::string_view text) override;
  int textWidth(std::string_view text) override;
  int textHeight(std::string_view text) override;
  Rect clipBox() const override { return clip_; }
  void drawFigures(std::span<const FigureStep> steps, const Figure& figure) override;

 protected:
  void line(Point a, Point b) override;

 private:
  void applyPen();
  void applyBrush();
  const QFont& qfont();
  bool penVisible() const { return pen().style != PenStyle::Clear; }

  enum class Shape : std::uint8_t { Rectangle, Ellipse, Polygon };
  static void drawShape(QPainter& painter, Shape shape, std::span<const Point> points);

  // Small figures are drawn once into an image; their pixels are then copied
  // to every place they go, straight into an image device or through a layer.
  struct FigurePixel {
    int dx, dy;
    std::uint32_t argb;  // premultiplied
  };
  struct Stamp {
    std::array<int, 3> key;
    Pen pen;  // the state the figure started from
    Brush brush;
    bool usable = false;  // small, without text, dots or XOR
    std::vector<FigurePixel> pixels;
    // All pixels of one colour: copies of it on consecutive rows of one column
    // cover the union of their pixels whatever their order, so such a run is
    // filled span by span. spans: per column dx, its runs of rows dy0 .. dy1,
    // by dx and then dy.
    bool oneColour = false;
    struct Span {
      int dx, dy0, dy1;
    };
    std::vector<Span> spans;
    Rect extent;  // of the pixels, relative to the place
    Pen endPen;  // the state it left, where the figure changed it
    Brush endBrush;
    Font endFont;
    bool changesPen = false;
    bool changesBrush = false;
    bool changesFont = false;
  };
  // Pixels of an image that stamps are copied into.
  struct StampTarget {
    uchar* bits = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0, height = 0;
    QRgb opaque = 0;  // or-ed into every pixel of an opaque image
    QPoint origin;    // where logical (0, 0) lies in the image
  };
  const Stamp& stampFor(const std::array<int, 3>& key, const Figure& figure);
  QImage* directImage() const;
  static StampTarget targetOf(QImage& image, QPoint origin);
  void copyStamp(const Stamp& stamp, Point place, const StampTarget& target) const;
  // The stamp copied to place, place + (0, 1), ..., place + (0, rows - 1).
  void copyStampRows(const Stamp& stamp, Point place, int rows, const StampTarget& target) const;

  struct StampKeyHash {
    std::size_t operator()(const std::array<int, 3>& k) const;
  };

  QPainter& painter_;
  bool stampable_ = false;
  // Stamps by figure key; several per key when they started from other states.
  std::unordered_map<std::array<int, 3>, std::vector<Stamp>, StampKeyHash> stamps_;
  std::size_t stampCount_ = 0;
  // The stamps used last, by key hash, in front of the map.
  static constexpr std::size_t kRecentStamps = 256;
  std::array<const Stamp*, kRecentStamps> recent_{};
  std::vector<FigureStep> lineSteps_;
  QImage layer_;
  Rect clip_;
  std::optional<Pen> appliedPen_;
  std::optional<Brush> appliedBrush_;
  std::optional<Font> fontFor_;
  QFont qfont_;
  std::optional<QFontMetrics> metrics_;  // of qfont_
  bool fontApplied_ = false;             // qfont_ is the painter's font
  std::vector<QLine> lines_;
};

}  // namespace wave
