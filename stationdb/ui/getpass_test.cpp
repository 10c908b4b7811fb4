#include "stationdb/ui/getpass.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include <filesystem>
#include <fstream>

#include "common/gbk.h"
#include "common/lang/translateform.h"
#include "stationdb/ui/testsupport.h"

namespace stationdb {
namespace {

namespace fs = std::filesystem;

using uitest::EnsureApp;
using uitest::RecordingServices;
using uitest::TempRoot;

TUserInfo User(std::uint32_t id, std::string gbkName) {
  TUserInfo user;
  user.UserID = id;
  user.UserName = std::move(gbkName);
  user.Password = "secret";
  return user;
}

// A user list as the database layer hands it out.
UserListSource Users(std::vector<TUserInfo> users, bool answer = true) {
  const auto count = static_cast<std::int32_t>(users.size());
  return {[count] { return count; },
          [users, answer](std::vector<TUserInfo>& out) {
            if (!answer || out.size() < users.size()) return false;
            std::copy(users.begin(), users.end(), out.begin());
            return true;
          }};
}

QStringList ItemsOf(const QComboBox& combo) {
  QStringList items;
  for (int i = 0; i < combo.count(); ++i) items.append(combo.itemText(i));
  return items;
}

class PasswordDlgTest : public ::testing::Test {
 protected:
  PasswordDlgTest() { EnsureApp(); }

  // The dialog shown as the log-in flow shows it, but without a modal loop.
  std::unique_ptr<TPasswordDlg> shown(const UserListSource& users) {
    auto dialog = std::make_unique<TPasswordDlg>(users, services, nullptr, engine);
    dialog->show();
    return dialog;
  }

  RecordingServices services;
  lang::MultiLangEngine engine{lang::LangVariant::Quenlor};
};

TEST_F(PasswordDlgTest, FormHasTheNamedComponentsAndCaptions) {
  TPasswordDlg dialog(Users({}), services, nullptr, engine);
  EXPECT_EQ(lang::formClass(dialog), "TPasswordDlg");
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("用户登录"));
  EXPECT_EQ(dialog.size(), QSize(256, 148));
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);

  auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("UserNameComboBox"));
  auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("password"));
  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("OKBtn"));
  auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("CancelBtn"));
  ASSERT_TRUE(combo && password && ok && cancel);
  EXPECT_TRUE(combo->isEditable());
  EXPECT_EQ(combo->geometry(), QRect(96, 24, 129, combo->height()));
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(password->maxLength(), 255);
  EXPECT_EQ(password->geometry().topLeft(), QPoint(96, 67));
  EXPECT_EQ(ok->text(), QStringLiteral("确认"));
  EXPECT_EQ(ok->geometry(), QRect(43, 114, 65, 25));
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
  EXPECT_EQ(cancel->geometry(), QRect(147, 114, 65, 25));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("用户名:"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("密码:"));
}

TEST_F(PasswordDlgTest, ListHoldsTheUsersInOrderWithNoNameChosen) {
  const auto dialog = shown(Users({User(3, common::Utf8ToGbk("张三")), User(1, "admin")}));
  EXPECT_EQ(ItemsOf(*dialog->UserNameComboBox()), QStringList({QStringLiteral("张三"), QStringLiteral("admin")}));
  EXPECT_EQ(dialog->UserNameComboBox()->currentText(), QString());
  EXPECT_EQ(dialog->focusWidget(), dialog->UserNameComboBox());
}

TEST_F(PasswordDlgTest, WithoutUsersTheListStaysEmptyAndATypedNameIsReturned) {
  for (const UserListSource& users : {Users({}), Users({User(1, "admin")}, false), UserListSource{}}) {
    const auto dialog = shown(users);
    EXPECT_EQ(dialog->UserNameComboBox()->count(), 0);
    dialog->UserNameComboBox()->lineEdit()->insert(QStringLiteral("王五"));  // as typed
    QTest::keyClicks(dialog->password(), QStringLiteral("pw"));
    QTest::mouseClick(dialog->OKBtn(), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), TPasswordDlg::kModalOk);
    EXPECT_EQ(dialog->LoginName, common::Utf8ToGbk("王五"));
    EXPECT_EQ(dialog->LoginPassword, "pw");
    EXPECT_EQ(dialog->UserNameComboBox()->count(), 0);  // a typed name is not added
  }
}

TEST_F(PasswordDlgTest, OkPassesTheTextsOnUncheckedAsTheDatabaseStoresThem) {
  // A stored name that is no valid GBK still comes back byte for byte.
  const std::string odd = "op\x81";
  const auto dialog = shown(Users({User(1, odd), User(2, "b")}));
  dialog->UserNameComboBox()->setCurrentIndex(0);
  dialog->password()->insert(QStringLiteral("密码1"));
  QTest::mouseClick(dialog->OKBtn(), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), TPasswordDlg::kModalOk);
  EXPECT_EQ(dialog->LoginName, odd);
  EXPECT_EQ(dialog->LoginPassword, common::Utf8ToGbk("密码1"));

  const auto empty = shown(Users({}));
  QTest::mouseClick(empty->OKBtn(), Qt::LeftButton);
  EXPECT_EQ(empty->result(), TPasswordDlg::kModalOk);
  EXPECT_EQ(empty->LoginName, "");
  EXPECT_EQ(empty->LoginPassword, "");
}

TEST_F(PasswordDlgTest, ChangingTheNameEmptiesThePassword) {
  const auto dialog = shown(Users({User(1, "a"), User(2, "b")}));
  dialog->UserNameComboBox()->setCurrentIndex(0);
  QTest::keyClicks(dialog->password(), QStringLiteral("pw"));
  dialog->UserNameComboBox()->setCurrentIndex(1);  // another name chosen
  EXPECT_EQ(dialog->password()->text(), QString());

  QTest::keyClicks(dialog->password(), QStringLiteral("pw"));
  QTest::keyClicks(dialog->UserNameComboBox(), QStringLiteral("x"));  // typed
  EXPECT_EQ(dialog->password()->text(), QString());
}

TEST_F(PasswordDlgTest, EveryShowingEmptiesThePasswordAndKeepsTheName) {
  const auto dialog = shown(Users({User(1, "a")}));
  dialog->UserNameComboBox()->setCurrentIndex(0);
  QTest::keyClicks(dialog->password(), QStringLiteral("wrong"));
  QTest::mouseClick(dialog->OKBtn(), Qt::LeftButton);
  ASSERT_FALSE(dialog->isVisible());

  dialog->show();  // the next attempt
  EXPECT_EQ(dialog->password()->text(), QString());
  EXPECT_EQ(dialog->UserNameComboBox()->currentText(), QStringLiteral("a"));
  EXPECT_EQ(dialog->UserNameComboBox()->count(), 1);
}

// Restoring the minimised dialog is a show by the window system, not a new
// showing: the name and the password typed so far stay.
TEST_F(PasswordDlgTest, RestoringFromMinimisedKeepsThePassword) {
  const auto dialog = shown(Users({User(1, "a")}));
  dialog->UserNameComboBox()->setCurrentIndex(0);
  QTest::keyClicks(dialog->password(), QStringLiteral("pw"));
  QShowEvent restored;
  QSpontaneKeyEvent::setSpontaneous(&restored);
  // Delivered as the window system delivers it (sendEvent would clear the flag).
  static_cast<QObject*>(dialog.get())->event(&restored);
  EXPECT_EQ(dialog->password()->text(), QStringLiteral("pw"));
  EXPECT_EQ(dialog->UserNameComboBox()->currentText(), QStringLiteral("a"));
}

TEST_F(PasswordDlgTest, CancelAndEscEmptyTheTexts) {
  for (bool escape : {false, true}) {
    const auto dialog = shown(Users({User(1, "a")}));
    dialog->LoginName = "earlier";
    dialog->LoginPassword = "earlier";
    QTest::keyClicks(dialog->UserNameComboBox(), QStringLiteral("a"));
    if (escape)
      QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else
      QTest::mouseClick(dialog->CancelBtn(), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible()) << escape;
    EXPECT_EQ(dialog->result(), TPasswordDlg::kModalCancel) << escape;
    EXPECT_EQ(dialog->LoginName, "") << escape;
    EXPECT_EQ(dialog->LoginPassword, "") << escape;
  }
}

TEST_F(PasswordDlgTest, CloseBoxCancelsAndLeavesTheTextsAsTheyWere) {
  const auto dialog = shown(Users({User(1, "a")}));
  dialog->UserNameComboBox()->setCurrentIndex(0);
  QTest::keyClicks(dialog->password(), QStringLiteral("pw"));
  QTest::mouseClick(dialog->OKBtn(), Qt::LeftButton);
  dialog->show();
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), TPasswordDlg::kModalCancel);
  EXPECT_EQ(dialog->LoginName, "a");
  EXPECT_EQ(dialog->LoginPassword, "pw");
}

class TranslatedPasswordDlgTest : public PasswordDlgTest {
 protected:
  void load(const std::string& section) {
    const fs::path file = TempRoot() / "getpass_test.lang";
    std::ofstream(file, std::ios::binary) << common::Utf8ToGbk("[TPasswordDlg]\r\n" + section);
    engine.loadLanguageFileFrom(file);
  }
};

TEST_F(TranslatedPasswordDlgTest, ShowingTranslatesTheFormFromTheLanguageFile) {
  load("Caption=Log in\r\nOKBtn.Caption=OK\r\nLabel1.Caption=User:\r\npassword.Text=preset\r\n");
  const auto dialog = shown(Users({}));
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Log in"));
  EXPECT_EQ(dialog->OKBtn()->text(), QStringLiteral("OK"));
  EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("User:"));
  EXPECT_EQ(dialog->password()->text(), QString());  // emptied after the translation
  EXPECT_TRUE(services.errors.empty());
}

TEST_F(TranslatedPasswordDlgTest, BadLineIsShownInTheErrorBoxAndTheDialogStays) {
  load("OKBtn.Left=left\r\n");
  const auto dialog = shown(Users({}));
  EXPECT_EQ(services.errors.size(), 1u);
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
}  // namespace stationdb
