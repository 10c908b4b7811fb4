#include "common/forms/typing_limit.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <functional>

#include "common/forms/offscreen_test_app.h"

namespace forms {
namespace {

void EnsureApp() {
  static const qttest::TempFolder root("typing_limit_test");
  qttest::EnsureOffscreenApp(root.path(), "typing_limit_test");
}

// An edit limited to 5 characters, driven as the program and the user do.
TEST(LimitTyping, LimitsTypingButNotTheProgramsTexts) {
  EnsureApp();
  struct Case {
    const char* name;
    std::function<void(QLineEdit&)> drive;
    const char* text;
  };
  const Case cases[] = {
      {"keys past the limit", [](QLineEdit& e) { QTest::keyClicks(&e, "abcdefgh"); }, "abcde"},
      {"a stored text is shown whole", [](QLineEdit& e) { e.setText("abcdefgh"); }, "abcdefgh"},
      {"no key lengthens a longer text",
       [](QLineEdit& e) {
         e.setText("abcdefgh");
         QTest::keyClicks(&e, "x");
       },
       "abcdefgh"},
      {"a longer text may be shortened, not lengthened again",
       [](QLineEdit& e) {
         e.setText("abcdefgh");
         QTest::keyClick(&e, Qt::Key_Backspace);
         QTest::keyClicks(&e, "x");
       },
       "abcdefg"},
      {"shortened to the limit, typing stops there",
       [](QLineEdit& e) {
         e.setText("abcdefgh");
         e.setSelection(2, 4);
         QTest::keyClicks(&e, "xyz");
       },
       "abxgh"},
      {"a paste past the limit puts in what fits", [](QLineEdit& e) { e.insert("abcdefgh"); }, "abcde"},
      {"a paste in the middle keeps the text around it",
       [](QLineEdit& e) {
         QTest::keyClicks(&e, "a1");
         e.setCursorPosition(1);
         e.insert("xyzw");
       },
       "axyz1"},
      {"a paste over a selection",
       [](QLineEdit& e) {
         QTest::keyClicks(&e, "abcd");
         e.setSelection(1, 2);
         e.insert("12345");
       },
       "a123d"},
      {"a paste into a longer stored text puts in nothing",
       [](QLineEdit& e) {
         e.setText("abcdefgh");
         e.insert("xy");
       },
       "abcdefgh"},
      {"a paste never splits a character",
       [](QLineEdit& e) {
         QTest::keyClicks(&e, "abcd");
         e.insert(QString::fromUtf8("\xf0\x9f\x98\x80"));  // two UTF-16 units
       },
       "abcd"},
      {"emptied, the limit is 5 again",
       [](QLineEdit& e) {
         e.setText("abcdefgh");
         e.clear();
         QTest::keyClicks(&e, "abcdefgh");
       },
       "abcde"},
  };
  for (const Case& c : cases) {
    QLineEdit edit;
    LimitTyping(edit, 5);
    edit.show();
    c.drive(edit);
    EXPECT_EQ(edit.text(), QString::fromUtf8(c.text)) << c.name;
  }
}

// A name chosen from the list comes whole; a typed one stops at the limit.
TEST(LimitTyping, ComboBoxListNamesStayWhole) {
  EnsureApp();
  QComboBox combo;
  combo.setEditable(true);
  combo.addItem(QStringLiteral("operator_long_name_x"));
  LimitTyping(*combo.lineEdit(), 13);
  combo.show();
  combo.setCurrentIndex(0);
  EXPECT_EQ(combo.currentText(), QStringLiteral("operator_long_name_x"));
  combo.setEditText(QString());
  QTest::keyClicks(&combo, "typed_name_longer_than_13");
  EXPECT_EQ(combo.currentText(), QStringLiteral("typed_name_lo"));
}

}  // namespace
}  // namespace forms
