#include "commtool/ui/displayview.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "commtool/ui/uihooks.h"

namespace tavrix {

DisplayView::DisplayView(QPlainTextEdit* edit) : edit_(edit) {}

const QTextCharFormat& DisplayView::format(Rgb colour) {
  const int key = colour.r << 16 | colour.g << 8 | colour.b;
  auto it = formats_.find(key);
  if (it == formats_.end()) {
    QTextCharFormat f;
    f.setForeground(QColor(colour.r, colour.g, colour.b));
    f.setFontWeight(QFont::Normal);
    f.setFontItalic(false);
    it = formats_.emplace(key, f).first;
  }
  return it->second;
}

void DisplayView::Apply(const DisplayUpdate& update) {
  if (update.cleared) {
    edit_->clear();
    paragraph_ = 0;
  }
  if (update.runs.empty()) return;
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const auto& run : update.runs) insert(cursor, Qs(run.text), format(run.colour));
  cursor.endEditBlock();
  QScrollBar* bar = edit_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void DisplayView::insert(QTextCursor& cursor, const QString& text, const QTextCharFormat& f) {
  qsizetype from = 0;
  while (from < text.size()) {
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), from);
    const qsizetype end = lineEnd < 0 ? text.size() : lineEnd;
    while (end - from > kMaxParagraph - paragraph_) {
      // Split after the last blank that still fits, else at the limit.
      const qsizetype room = kMaxParagraph - paragraph_;
      const qsizetype blank = room > 0 ? text.lastIndexOf(QLatin1Char(' '), from + room - 1) : -1;
      const qsizetype cut = blank >= from ? blank + 1 : from + std::max<qsizetype>(room, 0);
      cursor.insertText(text.mid(from, cut - from), f);
      cursor.insertBlock();
      paragraph_ = 0;
      from = cut;
    }
    cursor.insertText(text.mid(from, end - from), f);
    paragraph_ += end - from;
    from = end;
    if (lineEnd >= 0) {
      cursor.insertBlock();
      paragraph_ = 0;
      from = lineEnd + 1;
    }
  }
}

}  // namespace tavrix
