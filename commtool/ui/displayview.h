#pragma once
// Brings a display widget up to date with its DisplayLog: the text goes in
// as it came, and the view follows new text only when the user left it at
// the end.
//
// A display that is never emptied may gather a line of millions of
// characters, and the widget lays out a whole paragraph again on every
// append. There a long line is held in paragraphs of at most softLineLength
// characters, each cut where the widget wraps the line anyway, so that the
// line looks as one; copying joins them again, so the copied text is what
// arrived.

#include <QColor>
#include <QPlainTextEdit>
#include <QTextCharFormat>

#include <map>

#include "commtool/core/terminal.h"

namespace tavrix {

// The view follows new text whenever it was at the end before the text came:
// the widget lays out long paragraphs later and the scroll range grows after
// the text went in, so following is a state kept from the user's last
// scrolling, and every growth of the range brings a following view to the end.

// The display widget: copies a line held in several paragraphs as one line.
class DisplayEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  // The user state of a paragraph that continues the line of the one before.
  static constexpr int kContinued = 1;

  using QPlainTextEdit::QPlainTextEdit;
  // The text as it arrived, with the line breaks it had and no others.
  QString Text() const;

 protected:
  QMimeData* createMimeDataFromSelection() const override;

 private:
  QString textBetween(int start, int end) const;
};

class DisplayView {
 public:
  static constexpr qsizetype kSoftLineLength = 4096;

  // softLineLength 0: lines are never held in several paragraphs.
  DisplayView(DisplayEdit* edit, qsizetype softLineLength);
  void Apply(const DisplayUpdate& update);

 private:
  void insert(QTextCursor& cursor, const QString& text, const QTextCharFormat& format);
  void continueLine(QTextCursor& cursor);
  const QTextCharFormat& format(Rgb colour);

  DisplayEdit* edit_;
  qsizetype softLineLength_;
  bool following_ = true;
  std::map<int, QTextCharFormat> formats_;
};

}  // namespace tavrix
