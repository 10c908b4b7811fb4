#pragma once
// A canvas that keeps what is drawn on it, with the state each operation used:
// tests read the operations back, and a page store replays them onto another
// canvas through a linear map.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "waveform/canvas/canvas.h"

namespace wave {

enum class OpKind : std::uint8_t { Line, Polyline, Rectangle, FillRect, Ellipse, Polygon, Text };

struct CanvasOp {
  OpKind kind = OpKind::Line;
  // Line: from, to. Polyline and Polygon: the vertices. Rectangle, FillRect and
  // Ellipse: (left, top), (right, bottom). Text: its top-left corner.
  std::vector<Point> points;
  std::string text;
  Pen pen;
  Brush brush;
  Font font;

  Rect rect() const;  // for the rectangle kinds
};

struct Segment {
  Point from;
  Point to;
  Pen pen;
  bool operator==(const Segment&) const = default;
};

// x' = x * scaleX + offsetX, y' = y * scaleY + offsetY, rounded.
struct LinearMap {
  double scaleX = 1.0;
  double scaleY = 1.0;
  double offsetX = 0.0;
  double offsetY = 0.0;
  Point apply(Point p) const;
};

class RecordingCanvas final : public Canvas {
 public:
  // Width of a text in a font, in pixels.
  using TextMeasure = std::function<int(const Font&, std::string_view)>;

  // Without a measure: half the font height per ASCII character, the full
  // height for any other character.
  explicit RecordingCanvas(Rect clip = kUnlimitedRect, TextMeasure measure = {});

  const std::vector<CanvasOp>& ops() const { return ops_; }
  void clear() { ops_.clear(); }
  void setClip(const Rect& clip) { clip_ = clip; }

  // Every line segment drawn by lineTo and polyline, in drawing order.
  std::vector<Segment> segments() const;
  // The operations of one kind, in drawing order.
  std::vector<CanvasOp> opsOf(OpKind kind) const;

  // Draws every operation again onto target with its state, mapped; pen widths,
  // dot lengths and font heights scale with the map (at least 1).
  void replay(Canvas& target, const LinearMap& map = {}) const;

  static int DefaultTextWidth(const Font& font, std::string_view text);

  void polyline(std::span<const Point> points) override;
  void rectangle(const Rect& r) override;
  void fillRect(const Rect& r) override;
  void ellipse(const Rect& r) override;
  void polygon(std::span<const Point> points) override;
  void textOut(int x, int y, std::string_view text) override;
  int textWidth(std::string_view text) override;
  int textHeight(std::string_view text) override;
  Rect clipBox() const override { return clip_; }

 protected:
  void line(Point a, Point b) override;

 private:
  CanvasOp& record(OpKind kind);

  Rect clip_;
  TextMeasure measure_;
  std::vector<CanvasOp> ops_;
};

}  // namespace wave
