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
  QScrollBar* bar = edit_->verticalScrollBar();
  const bool atEnd = update.cleared || bar->value() >= bar->maximum();
  const int kept = bar->value();
  if (update.cleared) edit_->clear();
  if (update.runs.empty()) return;
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const auto& run : update.runs) cursor.insertText(Qs(run.text), format(run.colour));
  cursor.endEditBlock();
  bar->setValue(atEnd ? bar->maximum() : kept);
}

}  // namespace tavrix
