#include "waveform/ui/tool_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>
#include <numbers>

namespace wave {
namespace {

const QColor kInk(0x20, 0x40, 0x80);
const QColor kFill(0xC8, 0xD8, 0xF0);

void arrowHead(QPainter& p, QPointF tip, QPointF from) {
  const QPointF d = tip - from;
  const double length = std::hypot(d.x(), d.y());
  if (length == 0) return;
  const QPointF u = d / length;
  const QPointF n(-u.y(), u.x());
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({tip, tip - 4 * u + 3 * n, tip - 4 * u - 3 * n}));
  p.setBrush(Qt::NoBrush);
}

void doubleArrow(QPainter& p, QPointF a, QPointF b) {
  p.drawLine(a, b);
  arrowHead(p, a, b);
  arrowHead(p, b, a);
}

// A window with its data panel on the left, filled when shown.
void dataPanel(QPainter& p, bool shown) {
  p.drawRect(QRectF(2.5, 3.5, 15, 13));
  p.fillRect(QRectF(3, 4, 5, 12), shown ? kInk : kFill);
  p.drawLine(QPointF(8.5, 3.5), QPointF(8.5, 16.5));
}

void magnifier(QPainter& p, bool enlarge) {
  p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
  p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(12.5, 12.5), QPointF(17.5, 17.5));
  p.setPen(QPen(kInk, 1.5));
  p.drawLine(QPointF(5, 8), QPointF(11, 8));
  if (enlarge) p.drawLine(QPointF(8, 5), QPointF(8, 11));
}

void sine(QPainter& p, double amplitude, double phase) {
  QPainterPath path;
  for (int i = 0; i <= 32; ++i) {
    const double x = 2 + 16.0 * i / 32;
    const double y = 10 - amplitude * std::sin(phase + 2 * std::numbers::pi * i / 32 * 1.5);
    if (i == 0)
      path.moveTo(x, y);
    else
      path.lineTo(x, y);
  }
  p.drawPath(path);
}

void draw(QPainter& p, int index) {
  switch (index) {
    case 0:
      dataPanel(p, true);
      break;
    case 1:  // a list of channels with their check boxes
      for (int row = 0; row < 3; ++row) {
        const double y = 4.5 + 5 * row;
        p.drawRect(QRectF(2.5, y, 3, 3));
        p.drawLine(QPointF(8, y + 1.5), QPointF(17.5, y + 1.5));
      }
      break;
    case 2:  // a printer with its sheet
      p.drawRect(QRectF(5.5, 2.5, 9, 5));
      p.setBrush(kFill);
      p.drawRoundedRect(QRectF(2.5, 7.5, 15, 7), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(5.5, 11.5, 9, 6));
      p.setBrush(Qt::NoBrush);
      p.drawLine(QPointF(7, 14), QPointF(13, 14));
      break;
    case 3:
      magnifier(p, true);
      break;
    case 4:
      magnifier(p, false);
      break;
    case 5: {  // an arc turning back
      p.drawArc(QRectF(3.5, 3.5, 13, 13), 100 * 16, 270 * 16);
      const double a = 100 * std::numbers::pi / 180;
      const QPointF end(10 + 6.5 * std::cos(a), 10 - 6.5 * std::sin(a));
      arrowHead(p, end + QPointF(-1.5, 1.2), end + QPointF(3, 0.5));
      break;
    }
    case 6:
      doubleArrow(p, QPointF(2, 10), QPointF(18, 10));
      break;
    case 7:
      doubleArrow(p, QPointF(10, 2), QPointF(10, 18));
      break;
    case 8:  // harmonic bars
      p.drawLine(QPointF(2, 17.5), QPointF(18, 17.5));
      p.setBrush(kFill);
      p.drawRect(QRectF(3.5, 4.5, 3, 13));
      p.drawRect(QRectF(8.5, 10.5, 3, 7));
      p.drawRect(QRectF(13.5, 13.5, 3, 4));
      p.setBrush(Qt::NoBrush);
      break;
    case 9:  // an RMS curve over its wave
      p.setPen(QPen(kFill, 1.5));
      sine(p, 6, 0);
      p.setPen(QPen(kInk, 2));
      p.drawLine(QPointF(2, 6), QPointF(18, 6));
      break;
    case 10:
      sine(p, 6, 0);
      break;
    case 11:
      dataPanel(p, false);
      break;
    default:
      break;
  }
}

}  // namespace

QImage ToolImage(int index) {
  QImage image(kToolImageSize, kToolImageSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kInk, 1.5));
  draw(p, index);
  return image;
}

}  // namespace wave
