#include "common/forms/qt_translations.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include "common/forms/offscreen_test_app.h"

namespace forms {
namespace {

// Qt's own buttons and dialog captions read Chinese once its translation is
// installed.
TEST(QtChineseTexts, InstallTranslatesQtsOwnTexts) {
  static const qttest::TempFolder root("common_forms_translations");
  qttest::EnsureOffscreenApp(root.path(), "common_forms_test");
  const QString file = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm");
  if (!QFileInfo::exists(file))
    GTEST_SKIP() << file.toStdString() << " is missing (Debian package qt6-translations-l10n)";

  ASSERT_FALSE(QtTextsTranslated());
  ASSERT_TRUE(InstallQtChineseTexts(*QCoreApplication::instance()));
  EXPECT_TRUE(QtTextsTranslated());
  QMessageBox box(QMessageBox::Warning, QStringLiteral("信息提示"), QStringLiteral("text"), QMessageBox::Ok);
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
  {
    QFileDialog save;  // the save dialogs keep Qt's caption, the one a Chinese desktop shows
    save.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(save.windowTitle(), QStringLiteral("另存为"));
  }
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));

  // The other tests of this program see Qt's texts as they were.
  for (QTranslator* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }
  EXPECT_FALSE(QtTextsTranslated());
}

}  // namespace
}  // namespace forms
