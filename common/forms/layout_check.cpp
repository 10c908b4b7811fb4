#include "common/forms/layout_check.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>

#include <algorithm>

namespace forms {
namespace {

// How many rows of an item view are measured: those in sight, at most this many.
constexpr int kMaxRowsChecked = 200;

QString name(const QWidget& w) {
  const QString own = w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName();
  const QWidget* parent = w.parentWidget();
  return parent && !parent->objectName().isEmpty() ? parent->objectName() + QLatin1Char('/') + own : own;
}

// The widest line of text as the font draws it; '&' marks a mnemonic where shown.
int textWidth(const QFontMetrics& metrics, QString text, bool mnemonic) {
  if (mnemonic) text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(QLatin1Char('\x01'), QLatin1Char('&'));
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

void expectFits(QStringList& faults, const QWidget& w, const QString& text, int needed, int room) {
  if (needed > room)
    faults << QStringLiteral("%1: text '%2' needs %3 px, has %4").arg(name(w), text).arg(needed).arg(room);
}

bool insideScrolledContents(const QWidget& w, const QWidget& window) {
  for (const QWidget* p = w.parentWidget(); p && p != &window; p = p->parentWidget())
    if (const auto* area = qobject_cast<const QAbstractScrollArea*>(p->parentWidget()); area && area->viewport() == p)
      return true;
  return false;
}

void checkLabel(QStringList& faults, const QLabel& label) {
  if (label.wordWrap() || label.text().isEmpty() || Qt::mightBeRichText(label.text())) return;
  const int room = label.contentsRect().width() - 2 * label.margin() - std::max(0, label.indent());
  expectFits(faults, label, label.text(), textWidth(label.fontMetrics(), label.text(), label.buddy() != nullptr), room);
}

void checkButton(QStringList& faults, const QAbstractButton& button) {
  if (button.text().isEmpty()) return;
  const QStyle& style = *button.style();
  int decoration = 0;
  if (qobject_cast<const QPushButton*>(&button)) {
    decoration = 2 * style.pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button);
  } else if (qobject_cast<const QRadioButton*>(&button)) {
    decoration = style.pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &button) +
                 style.pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &button);
  } else if (qobject_cast<const QCheckBox*>(&button)) {
    decoration = style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &button) +
                 style.pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &button);
  } else {
    return;  // tool buttons show icons
  }
  if (!button.icon().isNull()) decoration += button.iconSize().width() + 4;
  expectFits(faults, button, button.text(), textWidth(button.fontMetrics(), button.text(), true) + decoration,
             button.contentsRect().width());
}

void checkGroupBox(QStringList& faults, const QGroupBox& box) {
  if (box.title().isEmpty()) return;
  expectFits(faults, box, box.title(), textWidth(box.fontMetrics(), box.title(), true), box.contentsRect().width());
}

void checkLineEdit(QStringList& faults, const QLineEdit& edit) {
  if (edit.text().isEmpty() || edit.echoMode() != QLineEdit::Normal) return;
  // QLineEdit keeps 2 pixels beside its text on either side, inside its frame.
  const QMargins margins = edit.textMargins();
  const int frame = edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &edit) : 0;
  const int room = edit.width() - 2 * frame - 2 * 2 - margins.left() - margins.right();
  expectFits(faults, edit, edit.text(), edit.fontMetrics().horizontalAdvance(edit.text()), room);
}

void checkHeader(QStringList& faults, const QHeaderView& header) {
  if (header.isHidden() || !header.model() || header.orientation() != Qt::Horizontal) return;
  const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
  for (int section = 0; section < header.count(); ++section) {
    if (header.isSectionHidden(section)) continue;
    const QString text = header.model()->headerData(section, Qt::Horizontal).toString();
    if (text.isEmpty()) continue;
    expectFits(faults, header, text, header.fontMetrics().horizontalAdvance(text) + 2 * margin,
               header.sectionSize(section));
  }
}

// An item's text and what an item view draws beside it: the margins, a check box, an icon.
int itemWidth(const QAbstractItemView& view, const QModelIndex& index, const QString& text) {
  const QStyle& style = *view.style();
  int width = view.fontMetrics().horizontalAdvance(text) +
              2 * (style.pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1);
  if (index.data(Qt::CheckStateRole).isValid())
    width += style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &view) +
             2 * (style.pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1);
  if (index.data(Qt::DecorationRole).isValid()) width += view.iconSize().width() + 4;
  return width;
}

void checkItems(QStringList& faults, const QAbstractItemView& view) {
  const QAbstractItemModel* model = view.model();
  if (!model) return;
  const QRect sight = view.viewport()->rect();
  int checked = 0;
  for (int row = 0; row < model->rowCount() && checked < kMaxRowsChecked; ++row) {
    for (int column = 0; column < model->columnCount(); ++column) {
      const QModelIndex index = model->index(row, column);
      const QRect rect = view.visualRect(index);
      if (!rect.isValid() || !rect.intersects(sight)) continue;
      const QString text = index.data(Qt::DisplayRole).toString();
      if (text.isEmpty()) continue;
      ++checked;
      expectFits(faults, view, text, itemWidth(view, index, text), rect.width());
    }
  }
}

void checkInsideWindow(QStringList& faults, const QWidget& w, const QWidget& window) {
  QRect rect(w.mapTo(&window, QPoint(0, 0)), w.size());
  // A left-aligned label shows nothing past the end of its text.
  const auto* label = qobject_cast<const QLabel*>(&w);
  if (label && !label->wordWrap() && (label->alignment() & Qt::AlignLeft) && !Qt::mightBeRichText(label->text()))
    rect.setWidth(std::min(rect.width(), label->contentsMargins().left() + label->margin() + std::max(0, label->indent()) +
                                             textWidth(label->fontMetrics(), label->text(), false) + 2));
  if (!window.rect().contains(rect))
    faults << QStringLiteral("%1: lies at (%2, %3) %4 x %5, outside the window's %6 x %7")
                  .arg(name(w))
                  .arg(rect.x())
                  .arg(rect.y())
                  .arg(rect.width())
                  .arg(rect.height())
                  .arg(window.width())
                  .arg(window.height());
}

}  // namespace

QStringList LayoutFaults(const QWidget& window) {
  QStringList faults;
  for (const QWidget* w : window.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&window) || w->isWindow()) continue;
    if (!insideScrolledContents(*w, window)) checkInsideWindow(faults, *w, window);
    if (const auto* label = qobject_cast<const QLabel*>(w)) checkLabel(faults, *label);
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) checkButton(faults, *button);
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) checkGroupBox(faults, *box);
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) checkLineEdit(faults, *edit);
    if (const auto* header = qobject_cast<const QHeaderView*>(w)) checkHeader(faults, *header);
    if (const auto* view = qobject_cast<const QAbstractItemView*>(w); view && !qobject_cast<const QHeaderView*>(w))
      checkItems(faults, *view);
  }
  return faults;
}

QStringList LayoutFaultsOfEveryPage(QWidget& window) {
  QCoreApplication::processEvents();
  QStringList faults = LayoutFaults(window);
  for (QTabWidget* tabs : window.findChildren<QTabWidget*>()) {
    if (!tabs->isVisibleTo(&window)) continue;
    const int shown = tabs->currentIndex();
    for (int page = 0; page < tabs->count(); ++page) {
      if (page == shown || !tabs->isTabVisible(page)) continue;
      tabs->setCurrentIndex(page);
      QCoreApplication::processEvents();
      faults << LayoutFaults(window);
    }
    tabs->setCurrentIndex(shown);
  }
  return faults;
}

}  // namespace forms
