#include "common/lang/translateform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>

#include "common/strings.h"

namespace lang {
namespace {

QApplication& application() {
  static int argc = 1;
  static char name[] = "common_lang_qt_test";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

QStringList itemsOf(const QComboBox& combo) {
  QStringList items;
  for (int i = 0; i < combo.count(); ++i) items.append(combo.itemText(i));
  return items;
}

QStringList itemsOf(const QListWidget& list) {
  QStringList items;
  for (int i = 0; i < list.count(); ++i) items.append(list.item(i)->text());
  return items;
}

// A small dialog with the kinds of component that forms use.
struct TestDialog {
  QDialog dialog;
  QLabel* label = new QLabel(QStringLiteral("Label1"), &dialog);
  QPushButton* button = new QPushButton(QStringLiteral("OK"), &dialog);
  QComboBox* combo = new QComboBox(&dialog);
  QListWidget* list = new QListWidget(&dialog);
  QLineEdit* edit = new QLineEdit(&dialog);
  QTabWidget* tabs = new QTabWidget(&dialog);
  QWidget* page = new QWidget;
  QMenu* menu = new QMenu(&dialog);
  QAction* action = menu->addAction(QStringLiteral("Open"));
  QListWidget* listView = new QListWidget(&dialog);  // stands for a list view
  QPlainTextEdit* memo = new QPlainTextEdit(&dialog);
  QGroupBox* radioGroup = new QGroupBox(&dialog);
  QWidget* otherForm = new QWidget(&dialog);
  QLabel* otherLabel = new QLabel(QStringLiteral("other"), otherForm);

  TestDialog() {
    setFormClass(dialog, "TTestDlg");
    label->setObjectName(QStringLiteral("Label1"));
    button->setObjectName(QStringLiteral("BitBtnOK"));
    combo->setObjectName(QStringLiteral("ComboBox1"));
    combo->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    combo->setCurrentIndex(1);
    list->setObjectName(QStringLiteral("ListBox1"));
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->setGeometry(1, 2, 30, 40);
    tabs->addTab(page, QStringLiteral("page"));
    page->setObjectName(QStringLiteral("TabSheet1"));
    menu->setObjectName(QStringLiteral("menu_file"));
    action->setObjectName(QStringLiteral("menu_file_cfg"));
    setFormClass(*otherForm, "TOtherForm");
    otherLabel->setObjectName(QStringLiteral("Label2"));
    listView->setObjectName(QStringLiteral("ListView1"));
    setComponentClass(*listView, "TListView");
    listView->addItems({QStringLiteral("a.cfg"), QStringLiteral("b.cfg")});
    memo->setObjectName(QStringLiteral("Memo1"));
    radioGroup->setObjectName(QStringLiteral("RadioGroup1"));
    setComponentClass(*radioGroup, "TRadioGroup");
    auto* layout = new QVBoxLayout(radioGroup);
    for (const char* text : {"first", "second"}) layout->addWidget(new QRadioButton(QString::fromLatin1(text)));
  }
};

// Code page 936: 对话框 B6D4BBB0BFF2, 名称 C3FBB3C6, 确定 C8B7B6A8, 按下 B0B4CFC2,
// 甲 BCD7, 乙 D2D2, 丙 B1FB, 文件 CEC4BCFE, 页一 D2B3D2BB, 亅 817C.
constexpr std::string_view kFile =
    "[TTestDlg]\r\n"
    "self.Caption=\xB6\xD4\xBB\xB0\xBF\xF2\r\n"
    "label1.Caption=\xC3\xFB\xB3\xC6\r\n"
    "BitBtnOK.Caption=\xC8\xB7\xB6\xA8\r\n"
    "BitBtnOK.Hint=\xB0\xB4\xCF\xC2\r\n"
    "ComboBox1.Items=\xBC\xD7||\xD2\xD2||\xB1\xFB\r\n"
    "ListBox1.items=x\x81\x7C|y||z||\r\n"
    "this line has no equals sign\r\n"
    "Edit1.Left=15\r\n"
    "Edit1.Width=$78\r\n"
    "Edit1.Caption2=nothing\r\n"
    "Edit1.Text=a=b\r\n"
    "Missing1.Caption=nowhere\r\n"
    "Label2.Caption=inside another form\r\n"
    "menu_file.Caption=\xCE\xC4\xBC\xFE(&F)\r\n"
    "menu_file_cfg.Caption=open\r\n"
    "menu_file_cfg.Hint=opens a record\r\n"
    "TabSheet1.Caption=\xD2\xB3\xD2\xBB\r\n"
    "ListView1.Items=fake_one.cfg||fake_two.cfg\r\n"
    "Memo1.Lines=m1||m2\r\n"
    "RadioGroup1.Items=r1||r2||r3\r\n"
    "[TBadDlg]\r\n"
    "Label1.Caption=before\r\n"
    "Edit1.Height=12x\r\n"
    "Label1.Hint=after\r\n"
    "[TVariantDlg]\r\n"
    "ListBox1.ItemsList=Q1||Q2||Q3\r\n"
    "ComboBox1.itemsList=V1||V2||V3\r\n"
    "Label1.FontName=Serif Test\r\n"
    "Label1.FontSize=17\r\n";

class TranslateFormTest : public testing::Test {
 protected:
  void SetUp() override {
    application();
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("test.lang")).toStdString();
    std::ofstream(path_, std::ios::binary).write(kFile.data(), static_cast<std::streamsize>(kFile.size()));
  }

  MultiLangEngine loaded(LangVariant variant) const {
    MultiLangEngine engine(variant);
    engine.loadLanguageFileFrom(path_);
    return engine;
  }

  QTemporaryDir dir_;
  std::string path_;
};

// The section holds no key that the two copies read differently ("Items" and
// "items" name the list property in both), so both apply it alike.
TEST_F(TranslateFormTest, AppliesFormSection) {
  for (const LangVariant variant : {LangVariant::Quenlor, LangVariant::Velklog2}) {
    SCOPED_TRACE(variant == LangVariant::Quenlor ? "Quenlor" : "velklog2");
    TestDialog form;
    ASSERT_TRUE(TranslateForm(form.dialog, loaded(variant)));

    EXPECT_EQ(form.dialog.windowTitle(), QStringLiteral("对话框"));
    EXPECT_EQ(form.label->text(), QStringLiteral("名称"));
    EXPECT_EQ(form.button->text(), QStringLiteral("确定"));
    EXPECT_EQ(form.button->toolTip(), QStringLiteral("按下"));
    EXPECT_EQ(itemsOf(*form.combo), (QStringList{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}));
    EXPECT_EQ(form.combo->currentIndex(), 1);
    EXPECT_EQ(itemsOf(*form.list), (QStringList{QStringLiteral("x亅|y"), QStringLiteral("z"), QString()}));
    EXPECT_EQ(form.edit->geometry(), QRect(15, 2, 120, 40));  // the lines after the one without "=" apply
    EXPECT_EQ(form.edit->text(), QStringLiteral("a=b"));
    EXPECT_EQ(form.otherLabel->text(), QStringLiteral("other"));
    EXPECT_EQ(form.menu->title(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(form.action->text(), QStringLiteral("open"));
    EXPECT_EQ(form.action->toolTip(), QStringLiteral("opens a record"));
    EXPECT_EQ(form.tabs->tabText(0), QStringLiteral("页一"));
    // Only components whose original class has a string list take one.
    EXPECT_EQ(itemsOf(*form.listView), (QStringList{QStringLiteral("a.cfg"), QStringLiteral("b.cfg")}));
    EXPECT_EQ(form.memo->toPlainText(), QStringLiteral("m1\nm2"));
    QStringList radios;
    for (const QRadioButton* b : form.radioGroup->findChildren<QRadioButton*>()) radios.append(b->text());
    EXPECT_EQ(radios, (QStringList{QStringLiteral("r1"), QStringLiteral("r2"), QStringLiteral("r3")}));
  }
}

// A radio group's buttons follow its items: a shorter list leaves fewer.
TEST_F(TranslateFormTest, RadioGroupItemsAreItsButtons) {
  TestDialog form;
  SetComponentProperty(*form.radioGroup, "Items", "only", LangVariant::Quenlor);
  const auto buttons = form.radioGroup->findChildren<QRadioButton*>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0]->text(), QStringLiteral("only"));
}

TEST_F(TranslateFormTest, NonNumericIntegerRaises) {
  TestDialog form;
  setFormClass(form.dialog, "TBadDlg");
  EXPECT_THROW(TranslateForm(form.dialog, loaded(LangVariant::Quenlor)), common::ConvertError);
  EXPECT_EQ(form.label->text(), QStringLiteral("before"));
  EXPECT_EQ(form.label->toolTip(), QString());
  EXPECT_EQ(form.edit->height(), 40);
}

TEST_F(TranslateFormTest, MissingFileOrSection) {
  TestDialog form;
  EXPECT_FALSE(TranslateForm(form.dialog, MultiLangEngine(LangVariant::Quenlor)));
  setFormClass(form.dialog, "TNoSuchForm");
  EXPECT_TRUE(TranslateForm(form.dialog, loaded(LangVariant::Quenlor)));
  EXPECT_EQ(form.label->text(), QStringLiteral("Label1"));
}

TEST_F(TranslateFormTest, VariantsDifferInListAndFontKeys) {
  const QStringList quenlorItems{QStringLiteral("Q1"), QStringLiteral("Q2"), QStringLiteral("Q3")};
  const QStringList velklogItems{QStringLiteral("V1"), QStringLiteral("V2"), QStringLiteral("V3")};
  const QStringList comboItems{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")};
  struct Case {
    LangVariant variant;
    QStringList listItems, comboItems;
    bool fontSet;
  };
  const Case cases[] = {
      {LangVariant::Quenlor, quenlorItems, comboItems, false},
      {LangVariant::Velklog2, {}, velklogItems, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant == LangVariant::Quenlor ? "Quenlor" : "velklog2");
    TestDialog form;
    setFormClass(form.dialog, "TVariantDlg");
    const QFont before = form.label->font();
    ASSERT_TRUE(TranslateForm(form.dialog, loaded(c.variant)));
    EXPECT_EQ(itemsOf(*form.list), c.listItems);
    EXPECT_EQ(itemsOf(*form.combo), c.comboItems);
    EXPECT_EQ(form.label->font().pointSize(), c.fontSet ? 17 : before.pointSize());
    EXPECT_EQ(form.label->font().family(), c.fontSet ? QStringLiteral("Serif Test") : before.family());
  }
}

// velklog2's font sizes go to the font as given: points above 0, the
// character cell's height in points below 0, the default size at 0.
TEST_F(TranslateFormTest, FontSizeIsSetAsGiven) {
  QLabel label;
  QFont large = label.font();
  large.setPointSize(30);
  label.setFont(large);
  SetComponentProperty(label, "FontSize", "0", LangVariant::Velklog2);
  EXPECT_EQ(label.font().pointSizeF(), QFont().pointSizeF());

  SetComponentProperty(label, "FontSize", "-12", LangVariant::Velklog2);
  const int cell = static_cast<int>(std::lround(12.0 * label.logicalDpiY() / 72));
  EXPECT_LE(QFontMetrics(label.font()).height(), cell);
  EXPECT_GE(QFontMetrics(label.font()).height(), cell - 2);

  SetComponentProperty(label, "FontSize", "17", LangVariant::Velklog2);
  EXPECT_EQ(label.font().pointSize(), 17);
}

TEST_F(TranslateFormTest, FormClassAndComponents) {
  TestDialog form;
  QDialog plain;
  EXPECT_EQ(formClass(form.dialog), "TTestDlg");
  EXPECT_EQ(formClass(plain), "QDialog");
  EXPECT_EQ(findComponent(form.dialog, "BITBTNOK"), form.button);
  EXPECT_EQ(findComponent(form.dialog, "Label2"), nullptr);
  EXPECT_EQ(findComponent(form.dialog, ""), nullptr);
}

}  // namespace
}  // namespace lang
