#pragma once
// A drawing surface with the persistent state of a GDI device context: the pen,
// brush and font stay as the last drawing code left them, and so does the pen
// position. Coordinates are device pixels. Rectangles exclude their right and
// bottom edges; a line drawn with lineTo leaves out its end pixel; text is placed
// by the top-left corner of its cell. Implementations translate these rules to
// their device.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace wave {

// A colour as 0x00BBGGRR (the same type as the display settings' colours).
using TColor = std::int32_t;

inline constexpr TColor kBlack = 0x000000;
inline constexpr TColor kWhite = 0xFFFFFF;

enum class PenStyle : std::uint8_t { Solid, Dot, Clear };
enum class PenMode : std::uint8_t { Copy, Xor };
enum class BrushStyle : std::uint8_t { Solid, Clear };

struct Pen {
  TColor color = kBlack;
  int width = 1;
  PenStyle style = PenStyle::Solid;
  PenMode mode = PenMode::Copy;
  // A dotted pen's dot, and the gap after it, in device pixels; 0 gives the
  // screen's dotted pen (3 pixels whatever the scale). Pages give a length of
  // their own, so that their dots scale with the page like everything else.
  int dotLength = 0;
  bool operator==(const Pen&) const = default;
};

struct Brush {
  TColor color = kWhite;
  BrushStyle style = BrushStyle::Solid;
  bool operator==(const Brush&) const = default;
};

// The screen's resolution, with which point sizes become pixel heights.
inline constexpr int kScreenDpi = 96;

struct Font {
  std::string name = "MS Sans Serif";
  int height = 11;  // character height in device pixels (the em size)
  TColor color = kBlack;
  bool bold = false;
  std::uint8_t charset = 1;  // kept for the record; devices choose glyphs by text

  // Sets the height from a size in points on a 96 dpi screen (8 pt -> 11 px).
  void setSize(int points);
  // The size in points that the height gives on a 96 dpi screen.
  int size() const;
  bool operator==(const Font&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// left and top inside; right and bottom just outside.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// The whole plane: what a device without a clip region reports.
inline constexpr Rect kUnlimitedRect{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};

bool Intersects(const Rect& a, const Rect& b);
Rect Intersection(const Rect& a, const Rect& b);

class Canvas {
 public:
  Canvas() = default;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  virtual ~Canvas() = default;

  Pen& pen() { return pen_; }
  const Pen& pen() const { return pen_; }
  Brush& brush() { return brush_; }
  const Brush& brush() const { return brush_; }
  Font& font() { return font_; }
  const Font& font() const { return font_; }

  Point penPos() const { return penPos_; }
  void moveTo(int x, int y) { penPos_ = {x, y}; }
  // A line from the pen position to (x, y), without its end pixel; the pen moves there.
  void lineTo(int x, int y);

  // Lines through the points (no end pixel on the last one); the pen position stays.
  virtual void polyline(std::span<const Point> points) = 0;
  // Outline with the pen, inside filled with the brush.
  virtual void rectangle(const Rect& r) = 0;
  // Filled with the brush, no outline.
  virtual void fillRect(const Rect& r) = 0;
  // The ellipse inside the rectangle: outline with the pen, inside with the brush.
  virtual void ellipse(const Rect& r) = 0;
  // Closed polygon: outline with the pen, inside with the brush.
  virtual void polygon(std::span<const Point> points) = 0;
  // Text in the font's colour with a transparent background, its cell's top-left at (x, y).
  virtual void textOut(int x, int y, std::string_view text) = 0;
  virtual int textWidth(std::string_view text) = 0;
  virtual int textHeight(std::string_view text) = 0;

  // The part of the device that drawing can change (what a paint has to cover).
  virtual Rect clipBox() const = 0;

  // A sequence of small figures, drawn in order with nothing else in between:
  // figure(canvas, place, key) draws one; equal keys drawn from the same state
  // give the same figure, moved to its place. Devices may draw each figure once
  // and copy its pixels.
  struct FigureStep {
    Point place;
    std::array<int, 3> key{};
  };
  using Figure = std::function<void(Canvas&, Point place, const std::array<int, 3>& key)>;
  virtual void drawFigures(std::span<const FigureStep> steps, const Figure& figure);

 protected:
  // One line segment from a to b, end pixel left out, in the current pen.
  virtual void line(Point a, Point b) = 0;

 private:
  Pen pen_;
  Brush brush_;
  Font font_;
  Point penPos_;
};

}  // namespace wave
