#pragma once
// A check of a laid-out window, for the offscreen form tests: every text a
// label, button, line edit, list item or column header shows must fit the room
// its widget gives it, and every control must lie inside the window. Widths are
// measured with the widget's own font (QFontMetrics::horizontalAdvance).

#include <QString>
#include <QStringList>

class QWidget;

namespace forms {

// One line per fault ("ObjectName: text 'xyz' needs 120 px, has 96"); empty
// when the window shows every text whole. Only what is visible is checked, so
// a caller checks each page of a tab widget by showing it. Contents of scroll
// areas may reach past the window (they scroll) and are checked for their texts only.
QStringList LayoutFaults(const QWidget& window);

// LayoutFaults of each page of the window's tab widgets in turn (each page is
// shown while it is checked; the pages shown before come back at the end).
QStringList LayoutFaultsOfEveryPage(QWidget& window);

}  // namespace forms
