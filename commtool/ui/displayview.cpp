#include "commtool/ui/displayview.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>

#include "commtool/ui/uihooks.h"

namespace tavrix {

QString DisplayEdit::textBetween(int start, int end) const {
  QString text;
  for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
       block = block.next()) {
    if (block.position() > start && block.userState() != kContinued) text += QLatin1Char('\n');
    const int from = std::max(start, block.position()) - block.position();
    const int to = std::min(end, block.position() + block.length() - 1) - block.position();
    text += block.text().mid(from, to - from);
  }
  return text;
}

QString DisplayEdit::Text() const { return textBetween(0, document()->characterCount() - 1); }

QMimeData* DisplayEdit::createMimeDataFromSelection() const {
  const QTextCursor selection = textCursor();
  auto* copied = new QMimeData;
  copied->setText(textBetween(selection.selectionStart(), selection.selectionEnd()));
  return copied;
}

DisplayView::DisplayView(DisplayEdit* edit, qsizetype softLineLength)
    : edit_(edit), softLineLength_(softLineLength) {
  QScrollBar* bar = edit_->verticalScrollBar();
  QObject::connect(bar, &QScrollBar::valueChanged, edit_, [this, bar](int value) { following_ = value >= bar->maximum(); });
  QObject::connect(bar, &QScrollBar::rangeChanged, edit_, [this, bar](int, int maximum) {
    if (following_) bar->setValue(maximum);
  });
}

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
  if (update.cleared) {
    edit_->clear();
    following_ = true;
  }
  const bool atEnd = following_;
  const int kept = bar->value();
  if (update.runs.empty()) return;
  QTextCursor cursor(edit_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  for (const auto& run : update.runs) insert(cursor, Qs(run.text), format(run.colour));
  cursor.endEditBlock();
  bar->setValue(atEnd ? bar->maximum() : kept);
}

void DisplayView::insert(QTextCursor& cursor, const QString& text, const QTextCharFormat& f) {
  if (softLineLength_ <= 0) {
    cursor.insertText(text, f);
    return;
  }
  qsizetype from = 0;
  while (from < text.size()) {
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), from);
    const qsizetype end = lineEnd < 0 ? text.size() : lineEnd;
    while (from < end) {
      const qsizetype room = softLineLength_ - (cursor.block().length() - 1);
      if (room <= 0) {
        continueLine(cursor);
        continue;
      }
      const qsizetype n = std::min(room, end - from);
      cursor.insertText(text.mid(from, n), f);
      from += n;
    }
    if (lineEnd >= 0) {
      cursor.insertBlock();
      cursor.block().setUserState(-1);
      from = lineEnd + 1;
    }
  }
}

// Goes on with the line in a new paragraph that starts where the widget wraps
// the last row of the current one, so that no row ends early.
void DisplayView::continueLine(QTextCursor& cursor) {
  const QTextBlock block = cursor.block();
  const int state = block.userState();
  int at = block.length() - 1;
  if (auto* rows = qobject_cast<QPlainTextDocumentLayout*>(edit_->document()->documentLayout())) {
    block.layout()->clearLayout();  // the rows may be from before this batch of text
    rows->ensureBlockLayout(block);
  }
  if (const QTextLayout* layout = block.layout(); layout && layout->lineCount() > 1) {
    const int lastRow = layout->lineAt(layout->lineCount() - 1).textStart();
    if (lastRow > 0) at = lastRow;
  }
  QTextCursor split(edit_->document());
  split.setPosition(block.position() + at);
  split.insertBlock();
  const QTextBlock tail = split.block();
  tail.previous().setUserState(state);
  QTextBlock(tail).setUserState(DisplayEdit::kContinued);
  cursor.movePosition(QTextCursor::End);
}

}  // namespace tavrix
