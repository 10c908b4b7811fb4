#pragma once
// TPasswordDlg: asks for a user name and a password when the program connects
// to a station database. It only collects the two texts; the log-in flow
// checks them, counts the attempts and decides what follows.
//
// The names offered come from the user list of the database layer, read once
// when the dialog is created. Modal result kModalOk after OK, kModalCancel
// after Cancel, Esc or the close box; LoginName and LoginPassword are then
// read by the caller. They hold the texts as the database stores them (GBK
// bytes), so they compare with the security tree's names and passwords as
// they stand.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/lang/engine.h"
#include "stationdb/records/records.h"
#include "common/forms/form_services.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace stationdb {

// Where the dialog gets its users: GetUserCount and GetUserList of the
// database layer. GetUserList fills the array it is given (sized by
// GetUserCount) and answers whether it could. Either may be left empty.
struct UserListSource {
  std::function<std::int32_t()> GetUserCount;
  std::function<bool(std::vector<TUserInfo>& users)> GetUserList;
};

class TPasswordDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kModalOk = 1;
  static constexpr int kModalCancel = 2;
  static constexpr int kMaxPasswordLength = 255;

  TPasswordDlg(const UserListSource& users, forms::FormServices& services, QWidget* parent = nullptr,
               const lang::MultiLangEngine& engine = lang::LangEngine());

  QComboBox* UserNameComboBox() const { return userNameComboBox_; }
  QLineEdit* password() const { return password_; }
  QPushButton* OKBtn() const { return okBtn_; }
  QPushButton* CancelBtn() const { return cancelBtn_; }

  // The texts taken when OK was pressed; empty after Cancel (GBK bytes).
  std::string LoginName;
  std::string LoginPassword;

  // Fills the name list from the user list (once, at creation).
  void InitialUseList(const UserListSource& users);

  void OKBtnClick();
  void CancelBtnClick();
  // The user name text changed, by typing or by choosing.
  void UserNameComboBoxChange();

  // The close box: Cancel, with LoginName and LoginPassword as they were.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormShow();
  // The combo box's text as stored: a listed name keeps its own bytes.
  std::string chosenName() const;

  forms::FormServices& services_;
  const lang::MultiLangEngine& engine_;
  QFrame* bevel1_;
  QLabel* label1_;
  QLabel* label2_;
  QComboBox* userNameComboBox_;
  QLineEdit* password_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
};

}  // namespace stationdb
