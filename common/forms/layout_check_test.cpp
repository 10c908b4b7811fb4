#include "common/forms/layout_check.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QHeaderView>
#include <QTreeWidget>
#include <QPushButton>
#include <QWidget>

#include "common/forms/offscreen_test_app.h"

namespace forms {
namespace {

class LayoutCheckTest : public ::testing::Test {
 protected:
  LayoutCheckTest() : folder_("layout_check") { qttest::EnsureOffscreenApp(folder_.path(), "layout_check_test"); }

  qttest::TempFolder folder_;
};

TEST_F(LayoutCheckTest, FindsCutTextsAndControlsOutsideTheWindow) {
  QWidget window;
  window.resize(300, 200);
  const QString text = QStringLiteral("波形通道 channel name");
  auto* label = new QLabel(text, &window);
  auto* button = new QPushButton(text, &window);
  auto* list = new QTreeWidget(&window);
  list->header()->hide();
  list->setColumnCount(2);
  new QTreeWidgetItem(list, {text, QStringLiteral("1.0")});
  label->setGeometry(0, 0, 280, 20);
  button->setGeometry(0, 30, 280, 30);
  list->setGeometry(0, 70, 280, 100);
  list->setColumnWidth(0, 200);
  window.show();
  EXPECT_TRUE(LayoutFaults(window).isEmpty()) << LayoutFaults(window).join(QLatin1Char('\n')).toStdString();

  label->setGeometry(0, 0, 40, 20);
  button->setGeometry(0, 30, 40, 30);
  list->setColumnWidth(0, 40);  // a column narrower than its name
  const QStringList cut = LayoutFaults(window);
  ASSERT_EQ(cut.size(), 3) << cut.join(QLatin1Char('\n')).toStdString();
  for (const QString& fault : cut) EXPECT_TRUE(fault.contains(QStringLiteral("needs"))) << fault.toStdString();

  label->setGeometry(0, 0, 280, 20);
  button->setGeometry(100, 180, 280, 30);  // reaches past the right and bottom edges
  list->setColumnWidth(0, 200);
  const QStringList outside = LayoutFaults(window);
  ASSERT_EQ(outside.size(), 1) << outside.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(outside.front().contains(QStringLiteral("outside")));
}

}  // namespace
}  // namespace forms
