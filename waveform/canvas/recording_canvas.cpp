#include "waveform/canvas/recording_canvas.h"

#include <algorithm>
#include <cmath>

namespace wave {

namespace {

int scaled(int value, double scale) {
  return std::max(1, static_cast<int>(std::lround(value * std::fabs(scale))));
}

Rect mapRect(const LinearMap& map, const Rect& r) {
  const Point a = map.apply({r.left, r.top});
  const Point b = map.apply({r.right, r.bottom});
  return {a.x, a.y, b.x, b.y};
}

}  // namespace

Rect CanvasOp::rect() const {
  if (points.size() < 2) return {};
  return {points[0].x, points[0].y, points[1].x, points[1].y};
}

Point LinearMap::apply(Point p) const {
  return {static_cast<int>(std::lround(p.x * scaleX + offsetX)),
          static_cast<int>(std::lround(p.y * scaleY + offsetY))};
}

RecordingCanvas::RecordingCanvas(Rect clip, TextMeasure measure)
    : clip_(clip), measure_(measure ? std::move(measure) : TextMeasure(&DefaultTextWidth)) {}

int RecordingCanvas::DefaultTextWidth(const Font& font, std::string_view text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80)
      width += (font.height + 1) / 2;
    else if ((byte & 0xC0) != 0x80)  // the lead byte of a UTF-8 sequence
      width += font.height;
  }
  return width;
}

CanvasOp& RecordingCanvas::record(OpKind kind) {
  CanvasOp& op = ops_.emplace_back();
  op.kind = kind;
  op.pen = pen();
  op.brush = brush();
  op.font = font();
  return op;
}

void RecordingCanvas::line(Point a, Point b) { record(OpKind::Line).points = {a, b}; }

void RecordingCanvas::polyline(std::span<const Point> points) {
  record(OpKind::Polyline).points.assign(points.begin(), points.end());
}

void RecordingCanvas::rectangle(const Rect& r) {
  record(OpKind::Rectangle).points = {{r.left, r.top}, {r.right, r.bottom}};
}

void RecordingCanvas::fillRect(const Rect& r) {
  record(OpKind::FillRect).points = {{r.left, r.top}, {r.right, r.bottom}};
}

void RecordingCanvas::ellipse(const Rect& r) {
  record(OpKind::Ellipse).points = {{r.left, r.top}, {r.right, r.bottom}};
}

void RecordingCanvas::polygon(std::span<const Point> points) {
  record(OpKind::Polygon).points.assign(points.begin(), points.end());
}

void RecordingCanvas::textOut(int x, int y, std::string_view text) {
  CanvasOp& op = record(OpKind::Text);
  op.points = {{x, y}};
  op.text = std::string(text);
}

int RecordingCanvas::textWidth(std::string_view text) { return measure_(font(), text); }

int RecordingCanvas::textHeight(std::string_view) { return font().height; }

std::vector<Segment> RecordingCanvas::segments() const {
  std::vector<Segment> out;
  for (const auto& op : ops_) {
    if (op.kind != OpKind::Line && op.kind != OpKind::Polyline) continue;
    for (std::size_t i = 1; i < op.points.size(); ++i)
      out.push_back({op.points[i - 1], op.points[i], op.pen});
  }
  return out;
}

std::vector<CanvasOp> RecordingCanvas::opsOf(OpKind kind) const {
  std::vector<CanvasOp> out;
  std::copy_if(ops_.begin(), ops_.end(), std::back_inserter(out),
               [kind](const CanvasOp& op) { return op.kind == kind; });
  return out;
}

void RecordingCanvas::replay(Canvas& target, const LinearMap& map) const {
  std::vector<Point> mapped;
  for (const auto& op : ops_) {
    target.pen() = op.pen;
    target.pen().width = scaled(op.pen.width, map.scaleX);
    if (op.pen.dotLength > 0) target.pen().dotLength = scaled(op.pen.dotLength, map.scaleX);
    target.brush() = op.brush;
    target.font() = op.font;
    target.font().height = scaled(op.font.height, map.scaleY);
    mapped.clear();
    for (const Point& p : op.points) mapped.push_back(map.apply(p));
    switch (op.kind) {
      case OpKind::Line:
        target.moveTo(mapped[0].x, mapped[0].y);
        target.lineTo(mapped[1].x, mapped[1].y);
        break;
      case OpKind::Polyline: target.polyline(mapped); break;
      case OpKind::Polygon: target.polygon(mapped); break;
      case OpKind::Rectangle: target.rectangle(mapRect(map, op.rect())); break;
      case OpKind::FillRect: target.fillRect(mapRect(map, op.rect())); break;
      case OpKind::Ellipse: target.ellipse(mapRect(map, op.rect())); break;
      case OpKind::Text: target.textOut(mapped[0].x, mapped[0].y, op.text); break;
    }
  }
}

}  // namespace wave
