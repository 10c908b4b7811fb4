#pragma once
// TDBConfigForm: the connection settings of the configuration and history
// databases. OK tests both with connections of the dialog's own and, when
// both answer, replaces the ten settings; the caller stores and connects.
// Showing the dialog puts the catalog defaults into empty catalog settings,
// which stay there even after Cancel.

#include <QDialog>

#include <functional>
#include <string>
#include <string_view>

#include "common/lang/engine.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/select/dbconfig_logic.h"
#include "common/forms/form_services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace stationdb {

// Opens a connection with the string and closes it again; true when the
// database answered. An error while opening counts as no answer.
using ConnectionTest = std::function<bool(const std::string& connectionString)>;
// The real test through the database layer.
bool OpenAndCloseConnection(const std::string& connectionString);

class TDBConfigForm : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kModalOk = 1;
  static constexpr int kModalCancel = 2;

  TDBConfigForm(TDBConnectionSettings& settings, forms::FormServices& services, QWidget* parent = nullptr,
                ConnectionTest test = OpenAndCloseConnection, const lang::MultiLangEngine& engine = lang::LangEngine());

  QLineEdit* DatasourceEdit() const { return datasourceEdit_; }
  QLineEdit* DatabaseEdit() const { return databaseEdit_; }
  QLineEdit* UsernameEdit() const { return usernameEdit_; }
  QLineEdit* passwordEdit() const { return passwordEdit_; }
  QCheckBox* WindowsUserChk() const { return windowsUserChk_; }
  QLineEdit* Edit1() const { return edit1_; }
  QLineEdit* Edit4() const { return edit4_; }
  QLineEdit* Edit3() const { return edit3_; }
  QLineEdit* Edit2() const { return edit2_; }
  QCheckBox* CheckBox1() const { return checkBox1_; }
  QLabel* Label9() const { return label9_; }
  QPushButton* OKBtn() const { return okBtn_; }
  QPushButton* CancelBtn() const { return cancelBtn_; }

  bool ValidateAndConnect();
  void OKBtnClick();
  void WindowUserChkClick();
  void CheckBox1Click();
  void FormShow();

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Group {
    QGroupBox* box;
    QLineEdit* server;
    QLineEdit* catalog;
    QLineEdit* user;
    QLineEdit* password;
    QCheckBox* windowsUser;
    QLabel* labels[4];  // of server, catalog, user and password
  };
  Group makeGroup(const char* boxName, const QString& caption, int left, const char* const names[5]);
  void fillGroup(const Group& group, const std::string& server, const std::string& catalog, const std::string& user,
                 const std::string& password);
  static void applyCheckRule(const Group& group);
  static DBGroupFields fields(const Group& group);
  // Refuses (with its message) a field whose text contp.dat could not hold.
  bool gbkHoldsEveryField();
  void setStatus(const common::UserMessage& status);

  TDBConnectionSettings& settings_;
  forms::FormServices& services_;
  ConnectionTest test_;
  const lang::MultiLangEngine& engine_;
  QLineEdit* datasourceEdit_ = nullptr;
  QLineEdit* databaseEdit_ = nullptr;
  QLineEdit* usernameEdit_ = nullptr;
  QLineEdit* passwordEdit_ = nullptr;
  QCheckBox* windowsUserChk_ = nullptr;
  QLineEdit* edit1_ = nullptr;
  QLineEdit* edit4_ = nullptr;
  QLineEdit* edit3_ = nullptr;
  QLineEdit* edit2_ = nullptr;
  QCheckBox* checkBox1_ = nullptr;
  Group config_{};
  Group history_{};
  QLabel* label9_;
  QPushButton* okBtn_;
  QPushButton* cancelBtn_;
  std::string configString_;
  std::string historyString_;
};

}  // namespace stationdb
