#pragma once
// A text that opens a link when clicked: underlined, blue until it was opened, then purple.

#include <QLabel>
#include <QUrl>

#include <functional>

namespace tavrix {

class CStaticLink : public QLabel {
  Q_OBJECT

 public:
  static inline const QColor kUnvisited{0, 0, 255};
  static inline const QColor kVisited{128, 0, 128};

  CStaticLink(const QString& text, const QString& link, std::function<bool(const QUrl&)> opener,
              QWidget* parent = nullptr);

  // The target; the text itself when empty.
  const QString& Link() const { return link_; }
  QColor Colour() const { return colour_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void setColour(const QColor& colour);

  QString link_;
  QColor colour_;
  std::function<bool(const QUrl&)> opener_;
};

}  // namespace tavrix
