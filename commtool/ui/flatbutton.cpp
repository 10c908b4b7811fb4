#include "commtool/ui/flatbutton.h"

#include <QPainter>

namespace tavrix {
namespace {

const QColor kPressedFace(243, 243, 243);

void drawFrame(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  painter.setPen(topLeft);
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(bottomRight);
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

CFlatButton::CFlatButton(bool pressed, const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setCheckable(true);
  setChecked(pressed);
  setAutoDefault(false);
  setFlat(true);
  setAttribute(Qt::WA_Hover);
}

void CFlatButton::AddPartners(std::span<CFlatButton* const> buttons) {
  partners_.insert(partners_.end(), buttons.begin(), buttons.end());
}

QSize CFlatButton::sizeHint() const {
  const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
  return {text.width() + 16, text.height() + 10};
}

void CFlatButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = rect().adjusted(0, 0, -1, -1);
  const QPalette& colours = palette();
  if (hover_) {
    if (Pressed())
      drawFrame(painter, r, colours.color(QPalette::Dark), colours.color(QPalette::Light));
    else
      drawFrame(painter, r, colours.color(QPalette::Light), colours.color(QPalette::Dark));
  } else if (Pressed()) {
    painter.fillRect(r, kPressedFace);
    drawFrame(painter, r, colours.color(QPalette::Dark), colours.color(QPalette::Light));
  }
  painter.setPen(colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void CFlatButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  if (Pressed() && !partners_.empty()) return;
  hover_ = true;
  update();
}

void CFlatButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  hover_ = false;
  update();
}

void CFlatButton::nextCheckState() {
  if (Pressed() && !partners_.empty()) return;  // a pair is never left with none pressed
  setChecked(!Pressed());
  for (CFlatButton* partner : partners_) partner->release();
}

void CFlatButton::release() {
  setChecked(false);
  hover_ = false;
  update();
}

}  // namespace tavrix
