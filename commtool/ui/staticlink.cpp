#include "commtool/ui/staticlink.h"

#include <QApplication>
#include <QMouseEvent>

namespace tavrix {

CStaticLink::CStaticLink(const QString& text, const QString& link, std::function<bool(const QUrl&)> opener,
                         QWidget* parent)
    : QLabel(text, parent), link_(link), opener_(std::move(opener)) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  setColour(kUnvisited);
}

void CStaticLink::setColour(const QColor& colour) {
  colour_ = colour;
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, colour);
  setPalette(colours);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool opened = opener_ && opener_(QUrl(link_.isEmpty() ? text() : link_));
  QApplication::restoreOverrideCursor();
  if (opened)
    setColour(kVisited);
  else
    QApplication::beep();
}

}  // namespace tavrix
