#pragma once
// Brings a display widget up to date with its DisplayLog. Long runs without a
// line break are split into paragraphs of at most kMaxParagraph characters,
// because the widget lays out a whole paragraph again on every append.

#include <QColor>
#include <QTextCharFormat>

#include <map>

#include "commtool/core/terminal.h"

class QPlainTextEdit;

namespace tavrix {

class DisplayView {
 public:
  static constexpr qsizetype kMaxParagraph = 2048;

  explicit DisplayView(QPlainTextEdit* edit);
  void Apply(const DisplayUpdate& update);

 private:
  void insert(QTextCursor& cursor, const QString& text, const QTextCharFormat& format);
  const QTextCharFormat& format(Rgb colour);

  QPlainTextEdit* edit_;
  qsizetype paragraph_ = 0;  // characters in the last paragraph
  std::map<int, QTextCharFormat> formats_;
};

}  // namespace tavrix
