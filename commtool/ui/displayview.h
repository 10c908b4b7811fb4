#pragma once
// Brings a display widget up to date with its DisplayLog: the text goes in
// as it came, with line breaks only where the log has them, and the view
// follows new text only when the user left it at the end.

#include <QColor>
#include <QTextCharFormat>

#include <map>

#include "commtool/core/terminal.h"

class QPlainTextEdit;

namespace tavrix {

class DisplayView {
 public:
  explicit DisplayView(QPlainTextEdit* edit);
  void Apply(const DisplayUpdate& update);

 private:
  const QTextCharFormat& format(Rgb colour);

  QPlainTextEdit* edit_;
  std::map<int, QTextCharFormat> formats_;
};

}  // namespace tavrix
