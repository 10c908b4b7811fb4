#include "stationdb/ui/getpass.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

#include "common/gbk.h"
#include "common/lang/translateform.h"

namespace stationdb {

TPasswordDlg::TPasswordDlg(const UserListSource& users, forms::FormServices& services, QWidget* parent,
                           const lang::MultiLangEngine& engine)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      services_(services),
      engine_(engine),
      bevel1_(new QFrame(this)),
      label1_(new QLabel(QStringLiteral("用户名:"), this)),
      label2_(new QLabel(QStringLiteral("密码:"), this)),
      userNameComboBox_(new QComboBox(this)),
      password_(new QLineEdit(this)),
      okBtn_(new QPushButton(QStringLiteral("确认"), this)),
      cancelBtn_(new QPushButton(QStringLiteral("取消"), this)) {
  lang::setFormClass(*this, "TPasswordDlg");
  setObjectName(QStringLiteral("PasswordDlg"));
  setWindowTitle(QStringLiteral("用户登录"));
  setFixedSize(256, 148);

  bevel1_->setObjectName(QStringLiteral("Bevel1"));
  bevel1_->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel1_->setGeometry(12, 12, 229, 94);
  label1_->setObjectName(QStringLiteral("Label1"));
  label1_->setGeometry(32, 28, 60, 13);
  label2_->setObjectName(QStringLiteral("Label2"));
  label2_->setGeometry(32, 71, 60, 13);

  userNameComboBox_->setObjectName(QStringLiteral("UserNameComboBox"));
  userNameComboBox_->setGeometry(96, 24, 129, 21);
  userNameComboBox_->setEditable(true);
  // Typing a name and pressing Enter must not add it to the list.
  userNameComboBox_->setInsertPolicy(QComboBox::NoInsert);

  password_->setObjectName(QStringLiteral("password"));
  password_->setGeometry(96, 67, 129, 21);
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(kMaxPasswordLength);
  password_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"

  okBtn_->setObjectName(QStringLiteral("OKBtn"));
  okBtn_->setGeometry(43, 114, 65, 25);
  okBtn_->setDefault(true);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  cancelBtn_->setGeometry(147, 114, 65, 25);
  cancelBtn_->setAutoDefault(false);

  connect(okBtn_, &QPushButton::clicked, this, [this] { OKBtnClick(); });
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  connect(userNameComboBox_, &QComboBox::editTextChanged, this, [this] { UserNameComboBoxChange(); });

  InitialUseList(users);  // FormCreate
}

void TPasswordDlg::InitialUseList(const UserListSource& users) {
  if (!users.GetUserCount || !users.GetUserList) return;
  std::vector<TUserInfo> list(static_cast<std::size_t>(std::max(0, users.GetUserCount())));
  if (!users.GetUserList(list) || list.empty()) return;
  userNameComboBox_->clear();
  for (const TUserInfo& user : list)
    userNameComboBox_->addItem(forms::Utf8(common::GbkToUtf8(user.UserName)),
                               QByteArray::fromStdString(user.UserName));
  // Filling the list chooses no name.
  userNameComboBox_->setCurrentIndex(-1);
  userNameComboBox_->clearEditText();
}

void TPasswordDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The window system shows the dialog again when it is restored from
  // minimised; that is no new showing, and the typed password stays.
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] { FormShow(); });
}

void TPasswordDlg::FormShow() {
  forms::CentreOnScreen(*this);
  lang::TranslateForm(*this, engine_);
  password_->clear();
  userNameComboBox_->setFocus(Qt::OtherFocusReason);
}

std::string TPasswordDlg::chosenName() const {
  const QString text = userNameComboBox_->currentText();
  const int listed = userNameComboBox_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  // A list that a language file replaced holds no stored names.
  const QVariant stored = listed >= 0 ? userNameComboBox_->itemData(listed) : QVariant();
  if (stored.isValid()) return stored.toByteArray().toStdString();
  return common::Utf8ToGbk(text.toStdString());
}

void TPasswordDlg::OKBtnClick() {
  LoginName = chosenName();
  LoginPassword = common::Utf8ToGbk(password_->text().toStdString());
  done(kModalOk);
}

void TPasswordDlg::CancelBtnClick() {
  LoginName.clear();
  LoginPassword.clear();
  done(kModalCancel);
}

void TPasswordDlg::UserNameComboBoxChange() { password_->clear(); }

void TPasswordDlg::reject() { done(kModalCancel); }

void TPasswordDlg::keyPressEvent(QKeyEvent* event) {
  // Esc presses the Cancel button, as a cancel button does.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    cancelBtn_->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace stationdb
