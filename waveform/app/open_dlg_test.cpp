#include "waveform/app/open_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "common/lang/translateform.h"
#include "waveform/app/test_support.h"

namespace wave {
namespace {

// A shown dialog listing a.cfg, b.cfg and c.cfg, driven with mouse and keys.
class OpenDlgTest : public test::WithApplication, public ::testing::Test {
 protected:
  OpenDlgTest() {
    for (const char* name : {"a.cfg", "b.cfg", "c.cfg"}) dialog.ListView1()->addItem(QString::fromLatin1(name));
    dialog.show();
    dialog.ListView1()->doItemsLayout();
  }

  QWidget* viewport() { return dialog.ListView1()->viewport(); }
  QPoint itemCentre(int row) {
    return dialog.ListView1()->visualItemRect(dialog.ListView1()->item(row)).center();
  }
  QPoint emptySpace() { return viewport()->rect().bottomRight() - QPoint(3, 3); }
  void click(QPoint where) { QTest::mouseClick(viewport(), Qt::LeftButton, {}, where); }
  bool accepted() const { return !dialog.isVisible() && dialog.result() == QDialog::Accepted; }

  test::FakeUi ui;
  TOpenDlg dialog{ui};
};

TEST_F(OpenDlgTest, OkWithoutChoiceAsksForAFileAndStaysOpen) {
  QTest::mouseClick(dialog.BitBtnOK(), Qt::LeftButton);

  ASSERT_EQ(ui.messages.size(), 1u);
  const common::UserMessage& message = ui.messages[0].message;
  EXPECT_EQ(message.section, "Strings_Open_Dlg");
  EXPECT_EQ(message.textKeys(), std::vector<std::string>{"str0"});
  EXPECT_EQ(message.text[0].defaultText, "请选择录波文件");
  EXPECT_EQ(message.caption.key, "str1");
  EXPECT_EQ(message.icon, common::MessageIcon::Warning);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.ChosenFileName.isEmpty());
}

// The chooser's list is a list view, whose items are no string list: a
// language file's Items line for it does nothing.
TEST_F(OpenDlgTest, LanguageFileCannotReplaceTheListedFiles) {
  const std::filesystem::path file = test::NewFolder("chooser lang") / "quenlor.lang";
  test::WriteFile(file, "[TOpenDlg]\r\nListView1.Items=fake_one.cfg||fake_two.cfg\r\nBitBtnOK.Caption=OK\r\n");
  lang::MultiLangEngine engine(lang::LangVariant::Quenlor);
  engine.loadLanguageFileFrom(file);
  ASSERT_TRUE(lang::TranslateForm(dialog, engine));
  EXPECT_EQ(dialog.BitBtnOK()->text(), QStringLiteral("OK"));
  ASSERT_EQ(dialog.ListView1()->count(), 3);
  EXPECT_EQ(dialog.ListView1()->item(0)->text(), QStringLiteral("a.cfg"));
  EXPECT_EQ(dialog.ListView1()->item(2)->text(), QStringLiteral("c.cfg"));
}

// Every item is as wide as the longest name: a click right of a short name
// takes it, as in a list view's column.
TEST(OpenDlgColumnTest, ClickRightOfAShortNameTakesIt) {
  test::Application();
  test::FakeUi ui;
  TOpenDlg dialog(ui);
  for (const char* name : {"one_cycle_harmonics.cfg", "4.CFG"}) dialog.AddFileName(QString::fromLatin1(name), name);
  dialog.show();
  QListWidget* list = dialog.ListView1();
  list->doItemsLayout();
  const QRect shortItem = list->visualItemRect(list->item(1));
  EXPECT_EQ(shortItem.width(), list->visualItemRect(list->item(0)).width());
  const QPoint rightOfName(list->fontMetrics().horizontalAdvance(QStringLiteral("4.CFG")) + 30, shortItem.center().y());
  ASSERT_TRUE(shortItem.contains(rightOfName));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rightOfName);
  QTest::mouseClick(dialog.BitBtnOK(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("4.CFG"));
}

TEST_F(OpenDlgTest, ClickOnItemThenEmptySpaceKeepsTheItem) {
  click(itemCentre(1));
  click(emptySpace());
  EXPECT_TRUE(dialog.ListView1()->selectedItems().isEmpty());

  QTest::mouseClick(dialog.BitBtnOK(), Qt::LeftButton);
  EXPECT_TRUE(accepted());
  EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("b.cfg"));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(OpenDlgTest, OkTakesTheItemReachedWithTheKeyboard) {
  click(itemCentre(0));
  EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("a.cfg"));
  QTest::keyClick(dialog.ListView1(), Qt::Key_Down);
  QTest::keyClick(dialog.ListView1(), Qt::Key_Return);

  EXPECT_TRUE(accepted());
  EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("b.cfg"));
}

TEST_F(OpenDlgTest, DoubleClickChoosesAtOnce) {
  click(itemCentre(2));  // the first half of the double click
  QTest::mouseDClick(viewport(), Qt::LeftButton, {}, itemCentre(2));
  EXPECT_TRUE(accepted());
  EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("c.cfg"));
}

TEST_F(OpenDlgTest, DoubleClickOnEmptySpaceAsksForAFile) {
  click(emptySpace());
  QTest::mouseDClick(viewport(), Qt::LeftButton, {}, emptySpace());
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(dialog.isVisible());
}

// Each item keeps the name it was added with, even where captions are alike.
TEST_F(OpenDlgTest, TheChoiceCarriesTheNameOfItsItem) {
  dialog.ListView1()->clear();
  const std::string names[] = {"\xB5\xE7.cfg", "\xE7\x94\xB5.cfg"};  // "电.cfg" in GBK and in UTF-8
  for (const std::string& name : names) dialog.AddFileName(QStringLiteral("电.cfg"), name);
  dialog.ListView1()->doItemsLayout();
  for (int row = 1; row >= 0; --row) {
    dialog.show();
    click(itemCentre(row));
    QTest::mouseClick(dialog.BitBtnOK(), Qt::LeftButton);
    EXPECT_TRUE(accepted()) << row;
    EXPECT_EQ(dialog.ChosenFileName, QStringLiteral("电.cfg")) << row;
    EXPECT_EQ(dialog.ChosenFileSystemName(), names[row]) << row;
  }
}

TEST_F(OpenDlgTest, ItemsWithoutANameAreTakenByTheirCaption) {
  click(itemCentre(1));
  EXPECT_EQ(dialog.ChosenFileSystemName(), "b.cfg");
}

TEST_F(OpenDlgTest, CancelAndEscapeGiveNoChoice) {
  for (const bool escape : {false, true}) {
    dialog.show();
    if (escape)
      QTest::keyClick(dialog.ListView1(), Qt::Key_Escape);
    else
      QTest::mouseClick(dialog.BitBtnCancel(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible()) << escape;
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << escape;
    EXPECT_TRUE(dialog.ChosenFileName.isEmpty()) << escape;
  }
}

}  // namespace
}  // namespace wave
