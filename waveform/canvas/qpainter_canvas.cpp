#include "waveform/canvas/qpainter_canvas.h"

#include "waveform/canvas/recording_canvas.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QLine>
#include <QPolygon>
#include <QString>
#include <algorithm>
#include <cmath>
#include <vector>

namespace wave {

namespace {

// The key of a polyline's segment figures, apart from every key drawing code uses.
constexpr int kLineFigure = -0x5EC;

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPolygon toPolygon(std::span<const Point> points) {
  QPolygon poly(static_cast<int>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i)
    poly.setPoint(static_cast<int>(i), points[i].x, points[i].y);
  return poly;
}

// GDI leaves out a line's end pixel whatever its direction; Qt's flat cap
// leaves out the pixel with the larger coordinate. A line along an axis that runs
// backwards is therefore drawn shifted by one pixel towards its start; other
// lines keep Qt's rule (at most one pixel differs at one end).
QLine gdiLine(Point a, Point b) {
  if (a.y == b.y && b.x < a.x) return QLine(b.x + 1, a.y, a.x + 1, a.y);
  if (a.x == b.x && b.y < a.y) return QLine(a.x, b.y + 1, a.x, a.y + 1);
  return QLine(a.x, a.y, b.x, b.y);
}

// std::array's == calls memcmp, which costs more than the figure's copy here.
bool sameKey(const std::array<int, 3>& a, const std::array<int, 3>& b) {
  return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

Rect deviceClip(const QPainter& painter) {
  const QPaintDevice* device = painter.device();
  QRectF area(0, 0, device ? device->width() : 0, device ? device->height() : 0);
  area = painter.transform().inverted().mapRect(area);
  if (painter.hasClipping()) area = area.intersected(painter.clipBoundingRect());
  const QRect r = area.toAlignedRect();
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

QColor ToQColor(TColor color) {
  const auto bits = static_cast<std::uint32_t>(color);
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
  return static_cast<TColor>(color.red() | (color.green() << 8) | (color.blue() << 16));
}

QPainterCanvas::QPainterCanvas(QPainter& painter, std::optional<Rect> exposed)
    : painter_(painter), clip_(exposed ? Intersection(*exposed, deviceClip(painter)) : deviceClip(painter)) {
  // Copies of a stamp land on the same pixels as the shape only on a raster
  // device moved by whole pixels.
  const QTransform& t = painter_.transform();
  stampable_ = t.type() <= QTransform::TxTranslate && t.dx() == std::trunc(t.dx()) && t.dy() == std::trunc(t.dy()) &&
               painter_.device() &&
               painter_.device()->devType() != QInternal::Printer && painter_.device()->devType() != QInternal::Picture;
  painter_.save();
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
}

QPainterCanvas::~QPainterCanvas() { painter_.restore(); }

void QPainterCanvas::applyPen() {
  if (appliedPen_ && *appliedPen_ == pen()) return;
  const Pen& p = pen();
  QPen qpen(ToQColor(p.color));
  qpen.setWidth(std::max(1, p.width));
  // GDI's wide pens end round; its one-pixel lines leave out the end pixel.
  qpen.setCapStyle(p.width > 1 ? Qt::RoundCap : Qt::FlatCap);
  qpen.setJoinStyle(p.width > 1 ? Qt::RoundJoin : Qt::MiterJoin);
  switch (p.style) {
    case PenStyle::Solid: qpen.setStyle(Qt::SolidLine); break;
    case PenStyle::Dot: {
      // Qt counts dashes in pen widths.
      const double dot = p.dotLength > 0 ? static_cast<double>(p.dotLength) / std::max(1, p.width) : 3.0;
      qpen.setDashPattern({dot, dot});
      break;
    }
    case PenStyle::Clear: qpen.setStyle(Qt::NoPen); break;
  }
  painter_.setPen(qpen);
  const bool xorMode = p.mode == PenMode::Xor && painter_.paintEngine() &&
                       painter_.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
  painter_.setCompositionMode(xorMode ? QPainter::RasterOp_SourceXorDestination
                                      : QPainter::CompositionMode_SourceOver);
  appliedPen_ = p;
}

void QPainterCanvas::applyBrush() {
  if (appliedBrush_ && *appliedBrush_ == brush()) return;
  if (brush().style == BrushStyle::Solid)
    painter_.setBrush(ToQColor(brush().color));
  else
    painter_.setBrush(Qt::NoBrush);
  appliedBrush_ = brush();
}

const QFont& QPainterCanvas::qfont() {
  if (!fontFor_ || *fontFor_ != font()) {
    qfont_ = QFont(toQString(font().name));
    qfont_.setPixelSize(std::max(1, font().height));
    qfont_.setBold(font().bold);
    metrics_.emplace(qfont_);
    fontFor_ = font();
    fontApplied_ = false;
  }
  return qfont_;
}

void QPainterCanvas::line(Point a, Point b) {
  if (!penVisible() || a == b) return;
  applyPen();
  painter_.drawLine(gdiLine(a, b));
}

void QPainterCanvas::polyline(std::span<const Point> points) {
  if (!penVisible() || points.size() < 2) return;
  if (stampable_ && pen().style == PenStyle::Solid && pen().mode == PenMode::Copy && directImage()) {
    // Into the image segment by segment, each with the pixels of its line.
    lineSteps_.clear();
    lineSteps_.reserve(points.size());
    for (std::size_t i = 1; i < points.size(); ++i)
      if (points[i] != points[i - 1])
        lineSteps_.push_back({points[i], {points[i].x - points[i - 1].x, points[i].y - points[i - 1].y, kLineFigure}});
    const Point pos = penPos();
    drawFigures(lineSteps_, [](Canvas& c, Point p, const std::array<int, 3>& key) {
      c.moveTo(p.x - key[0], p.y - key[1]);
      c.lineTo(p.x, p.y);
    });
    moveTo(pos.x, pos.y);
    return;
  }
  applyPen();
  // Separate lines rather than a polyline, whose joins Qt draws by rules of its
  // own: each segment gets exactly the pixels lineTo would give it.
  lines_.clear();
  for (std::size_t i = 1; i < points.size(); ++i)
    if (points[i] != points[i - 1]) lines_.push_back(gdiLine(points[i - 1], points[i]));
  painter_.drawLines(lines_.data(), static_cast<int>(lines_.size()));
}

void QPainterCanvas::drawShape(QPainter& painter, Shape shape, std::span<const Point> points) {
  switch (shape) {
    case Shape::Rectangle: {
      // A one-pixel outline of QRect(x, y, w, h) covers x .. x + w.
      const Rect r{points[0].x, points[0].y, points[1].x, points[1].y};
      painter.drawRect(QRect(r.left, r.top, r.width() - 1, r.height() - 1));
      break;
    }
    case Shape::Ellipse: {
      const Rect r{points[0].x, points[0].y, points[1].x, points[1].y};
      painter.drawEllipse(QRect(r.left, r.top, r.width() - 1, r.height() - 1));
      break;
    }
    case Shape::Polygon: painter.drawPolygon(toPolygon(points)); break;
  }
}

void QPainterCanvas::rectangle(const Rect& r) {
  if (r.empty()) return;
  applyPen();
  applyBrush();
  const Point corners[] = {{r.left, r.top}, {r.right, r.bottom}};
  drawShape(painter_, Shape::Rectangle, corners);
}

void QPainterCanvas::fillRect(const Rect& r) {
  if (r.empty() || brush().style == BrushStyle::Clear) return;
  painter_.fillRect(QRect(r.left, r.top, r.width(), r.height()), ToQColor(brush().color));
}

void QPainterCanvas::ellipse(const Rect& r) {
  if (r.empty()) return;
  applyPen();
  applyBrush();
  const Point corners[] = {{r.left, r.top}, {r.right, r.bottom}};
  drawShape(painter_, Shape::Ellipse, corners);
}

void QPainterCanvas::polygon(std::span<const Point> points) {
  if (points.size() < 2) return;
  applyPen();
  applyBrush();
  drawShape(painter_, Shape::Polygon, points);
}

void QPainterCanvas::textOut(int x, int y, std::string_view text) {
  if (text.empty()) return;
  const QFont& f = qfont();
  if (!fontApplied_) {  // setting it again would look its glyphs up again
    painter_.setFont(f);
    fontApplied_ = true;
  }
  painter_.setPen(ToQColor(font().color));
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  appliedPen_.reset();
  painter_.drawText(QPoint(x, y + metrics_->ascent()), toQString(text));
}

int QPainterCanvas::textWidth(std::string_view text) {
  qfont();
  return metrics_->horizontalAdvance(toQString(text));
}

int QPainterCanvas::textHeight(std::string_view) { return QFontMetrics(qfont()).height(); }

std::size_t QPainterCanvas::StampKeyHash::operator()(const std::array<int, 3>& k) const {
  std::size_t h = 1469598103934665603ull;
  for (int v : k) h = (h ^ static_cast<std::size_t>(static_cast<unsigned>(v))) * 1099511628211ull;
  return h;
}

const QPainterCanvas::Stamp& QPainterCanvas::stampFor(const std::array<int, 3>& key, const Figure& figure) {
  const Stamp*& recent = recent_[StampKeyHash{}(key) % kRecentStamps];
  if (recent && sameKey(recent->key, key) && recent->pen == pen() && recent->brush == brush()) return *recent;
  if (auto found = stamps_.find(key); found != stamps_.end())
    for (const Stamp& s : found->second)
      if (s.pen == pen() && s.brush == brush()) {
        recent = &s;
        return s;
      }
  // A new stamp may move the others of its key, or all of them go.
  recent_.fill(nullptr);
  if (stampCount_ >= 4096) {
    stamps_.clear();
    stampCount_ = 0;
  }
  Stamp stamp{key, pen(), brush()};
  RecordingCanvas once;
  once.pen() = pen();
  once.brush() = brush();
  once.font() = font();
  figure(once, {0, 0}, key);
  stamp.endPen = once.pen();
  stamp.endBrush = once.brush();
  stamp.endFont = once.font();
  stamp.changesPen = stamp.endPen != pen();
  stamp.changesBrush = stamp.endBrush != brush();
  stamp.changesFont = stamp.endFont != font();
  constexpr int kLargest = 64;
  Rect box{0, 0, 0, 0};
  bool usable = true;
  for (const auto& op : once.ops()) {
    usable = usable && op.kind != OpKind::Text && op.pen.mode == PenMode::Copy && op.pen.style != PenStyle::Dot;
    for (const Point& p : op.points)
      box = {std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x), std::max(box.bottom, p.y)};
  }
  stamp.usable = usable && box.right - box.left <= kLargest && box.bottom - box.top <= kLargest;
  if (stamp.usable) {
    const int pad = 4;
    QImage image(box.right - box.left + 2 * pad + 1, box.bottom - box.top + 2 * pad + 1,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      QPainterCanvas onImage(p);
      once.replay(onImage, LinearMap{1, 1, static_cast<double>(pad - box.left), static_cast<double>(pad - box.top)});
    }
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if (qAlpha(line[x]) != 0) stamp.pixels.push_back({x - pad + box.left, y - pad + box.top, line[x]});
    }
    for (const FigurePixel& px : stamp.pixels)
      stamp.extent = stamp.extent.empty() ? Rect{px.dx, px.dy, px.dx + 1, px.dy + 1}
                                          : Rect{std::min(stamp.extent.left, px.dx), std::min(stamp.extent.top, px.dy),
                                                 std::max(stamp.extent.right, px.dx + 1),
                                                 std::max(stamp.extent.bottom, px.dy + 1)};
    stamp.oneColour = !stamp.pixels.empty() &&
                      std::all_of(stamp.pixels.begin(), stamp.pixels.end(),
                                  [&](const FigurePixel& px) { return px.argb == stamp.pixels.front().argb; });
    if (stamp.oneColour) {
      std::vector<FigurePixel> byColumn = stamp.pixels;
      std::sort(byColumn.begin(), byColumn.end(),
                [](const FigurePixel& a, const FigurePixel& b) { return a.dx != b.dx ? a.dx < b.dx : a.dy < b.dy; });
      for (const FigurePixel& px : byColumn)
        if (!stamp.spans.empty() && stamp.spans.back().dx == px.dx && stamp.spans.back().dy1 + 1 == px.dy)
          stamp.spans.back().dy1 = px.dy;
        else
          stamp.spans.push_back({px.dx, px.dy, px.dy});
    }
  }
  auto& bucket = stamps_[key];
  bucket.push_back(std::move(stamp));
  ++stampCount_;
  recent_[StampKeyHash{}(key) % kRecentStamps] = &bucket.back();
  return bucket.back();
}

// The painter's image when figures can be copied into it pixel by pixel: an
// opaque 32-bit image, moved by whole pixels, clipped by at most a rectangle.
QImage* QPainterCanvas::directImage() const {
  QPaintDevice* device = painter_.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  if (image->format() != QImage::Format_RGB32) return nullptr;
  if (painter_.hasClipping() && painter_.clipRegion().rectCount() > 1) return nullptr;
  return image;
}

QPainterCanvas::StampTarget QPainterCanvas::targetOf(QImage& image, QPoint origin) {
  StampTarget t;
  t.bits = image.bits();  // once: bits() and scanLine() check for sharing at every call
  t.stride = static_cast<std::ptrdiff_t>(image.bytesPerLine());
  t.width = image.width();
  t.height = image.height();
  t.opaque = image.format() == QImage::Format_RGB32 ? 0xFF000000u : 0u;
  t.origin = origin;
  return t;
}

void QPainterCanvas::copyStamp(const Stamp& stamp, Point place, const StampTarget& target) const {
  const QPoint origin = target.origin;
  const int x0 = std::max(0, clip_.left + origin.x()), y0 = std::max(0, clip_.top + origin.y());
  const int x1 = std::min(target.width, clip_.right + origin.x());
  const int y1 = std::min(target.height, clip_.bottom + origin.y());
  const QRgb opaque = target.opaque;
  uchar* bits = target.bits;
  const std::ptrdiff_t stride = target.stride;
  const int px0 = place.x + origin.x(), py0 = place.y + origin.y();
  if (px0 + stamp.extent.left >= x0 && py0 + stamp.extent.top >= y0 && px0 + stamp.extent.right <= x1 &&
      py0 + stamp.extent.bottom <= y1) {  // wholly inside: no test per pixel
    for (const FigurePixel& px : stamp.pixels)
      reinterpret_cast<QRgb*>(bits + (py0 + px.dy) * stride)[px0 + px.dx] = px.argb | opaque;
    return;
  }
  for (const FigurePixel& px : stamp.pixels) {
    const int x = px0 + px.dx, y = py0 + px.dy;
    if (x < x0 || y < y0 || x >= x1 || y >= y1) continue;
    reinterpret_cast<QRgb*>(bits + y * stride)[x] = px.argb | opaque;
  }
}

void QPainterCanvas::copyStampRows(const Stamp& stamp, Point place, int rows, const StampTarget& target) const {
  const QPoint origin = target.origin;
  const int x0 = std::max(0, clip_.left + origin.x()), y0 = std::max(0, clip_.top + origin.y());
  const int x1 = std::min(target.width, clip_.right + origin.x());
  const int y1 = std::min(target.height, clip_.bottom + origin.y());
  const QRgb colour = stamp.pixels.front().argb | target.opaque;
  const int px0 = place.x + origin.x(), py0 = place.y + origin.y();
  const auto fill = [&](int dx, int top, int bottom) {  // rows top .. bottom of column px0 + dx
    const int x = px0 + dx;
    if (x < x0 || x >= x1) return;
    top = std::max(top, y0);
    bottom = std::min(bottom, y1 - 1);
    for (int y = top; y <= bottom; ++y) reinterpret_cast<QRgb*>(target.bits + y * target.stride)[x] = colour;
  };
  // Each span covers its rows moved down by 0 .. rows - 1; the spans of a
  // column are merged where these covers meet.
  std::size_t i = 0;
  while (i < stamp.spans.size()) {
    const int dx = stamp.spans[i].dx;
    int top = py0 + stamp.spans[i].dy0, bottom = py0 + stamp.spans[i].dy1 + rows - 1;
    for (++i; i < stamp.spans.size() && stamp.spans[i].dx == dx; ++i) {
      const int nextTop = py0 + stamp.spans[i].dy0;
      if (nextTop > bottom + 1) {
        fill(dx, top, bottom);
        top = nextTop;
      }
      bottom = std::max(bottom, py0 + stamp.spans[i].dy1 + rows - 1);
    }
    fill(dx, top, bottom);
  }
}

void QPainterCanvas::drawFigures(std::span<const FigureStep> steps, const Figure& figure) {
  if (!stampable_) {
    Canvas::drawFigures(steps, figure);
    return;
  }
  QImage* image = directImage();
  const QPoint shift(static_cast<int>(painter_.transform().dx()), static_cast<int>(painter_.transform().dy()));
  bool layerDirty = false;
  const auto flushLayer = [&] {
    if (!layerDirty) return;
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_.drawImage(QPoint(clip_.left, clip_.top), layer_);
    appliedPen_.reset();
    layer_.fill(Qt::transparent);
    layerDirty = false;
  };
  if (!image && (layer_.width() != clip_.width() || layer_.height() != clip_.height())) {
    layer_ = QImage(std::max(1, clip_.width()), std::max(1, clip_.height()), QImage::Format_ARGB32_Premultiplied);
    layer_.fill(Qt::transparent);
  }
  std::optional<StampTarget> target;
  // The stamp copied last, when it left the state as it found it: the next step
  // with its key starts from that state and needs no look-up.
  const Stamp* last = nullptr;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const FigureStep& step = steps[i];
    const Stamp& stamp = last && sameKey(last->key, step.key) ? *last : stampFor(step.key, figure);
    last = nullptr;
    if (!stamp.usable) {
      flushLayer();
      target.reset();  // drawing through the painter may detach the image
      figure(*this, step.place, step.key);
      continue;
    }
    if (!target) target = image ? targetOf(*image, shift) : targetOf(layer_, QPoint(-clip_.left, -clip_.top));
    const bool keepsState = !stamp.changesPen && !stamp.changesBrush && !stamp.changesFont;
    std::size_t rows = 1;  // the same figure on the rows below, in one column
    if (stamp.oneColour && keepsState)
      while (i + rows < steps.size() && sameKey(steps[i + rows].key, step.key) &&
             steps[i + rows].place.x == step.place.x &&
             steps[i + rows].place.y == step.place.y + static_cast<int>(rows))
        ++rows;
    if (rows > 1)
      copyStampRows(stamp, step.place, static_cast<int>(rows), *target);
    else
      copyStamp(stamp, step.place, *target);
    i += rows - 1;
    if (keepsState) last = &stamp;
    if (!image) layerDirty = true;
    if (stamp.changesPen) pen() = stamp.endPen;
    if (stamp.changesBrush) brush() = stamp.endBrush;
    if (stamp.changesFont) font() = stamp.endFont;
  }
  flushLayer();
}

}  // namespace wave
