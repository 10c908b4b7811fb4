#include "stationdb/ui/dbconfigdlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <optional>
#include <utility>

#include "common/forms/typing_limit.h"
#include "common/lang/translateform.h"
#include "stationdb/db/connection.h"

namespace stationdb {
namespace {

constexpr int kNameLength = 40;
constexpr int kLoginLength = 30;

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

// The limit is on typing: a stored setting (up to 255 characters) is shown,
// tested and stored again whole.
QLineEdit* MakeEdit(QWidget* parent, const char* name, int typingLimit, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  forms::LimitTyping(*edit, typingLimit);
  edit->setGeometry(104, top, 193, 21);
  return edit;
}

// The texts of one database's connection test: the status while it runs,
// and the box and the status when the database does not answer.
struct ConnectionTestKeys {
  const char* testing[2];
  const char* box;
  const char* failed[2];
};
constexpr ConnectionTestKeys kConfigTest{{"str4", "str5"}, "str6", {"str7", "str8"}};
constexpr ConnectionTestKeys kHistoryTest{{"str9", "str10"}, "str11", {"str12", "str13"}};

}  // namespace

bool OpenAndCloseConnection(const std::string& connectionString) {
  try {
    db::Connection connection;
    connection.setConnectionString(connectionString);
    connection.open();
    const bool answered = connection.connected();
    connection.close();
    return answered;
  } catch (const std::exception&) {
    return false;
  }
}

TDBConfigForm::TDBConfigForm(TDBConnectionSettings& settings, forms::FormServices& services, QWidget* parent,
                             ConnectionTest test, const lang::MultiLangEngine& engine)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings),
      services_(services),
      test_(std::move(test)),
      engine_(engine),
      label9_(new QLabel(this)),
      okBtn_(new QPushButton(QStringLiteral("确认"), this)),
      cancelBtn_(new QPushButton(QStringLiteral("取消"), this)) {
  lang::setFormClass(*this, "TDBConfigForm");
  setObjectName(QStringLiteral("DBConfigForm"));
  setWindowTitle(QStringLiteral("数据连接配置对话框"));
  setFixedSize(651, 254);

  static const char* const kConfigNames[5] = {"DatasourceEdit", "DatabaseEdit", "UsernameEdit", "passwordEdit",
                                              "WindowsUserChk"};
  static const char* const kHistoryNames[5] = {"Edit1", "Edit4", "Edit3", "Edit2", "CheckBox1"};
  config_ = makeGroup("GroupBox1", QStringLiteral("配置数据库"), 8, kConfigNames);
  history_ = makeGroup("GroupBox2", QStringLiteral("历史数据库"), 330, kHistoryNames);
  datasourceEdit_ = config_.server;
  databaseEdit_ = config_.catalog;
  usernameEdit_ = config_.user;
  passwordEdit_ = config_.password;
  windowsUserChk_ = config_.windowsUser;
  edit1_ = history_.server;
  edit4_ = history_.catalog;
  edit3_ = history_.user;
  edit2_ = history_.password;
  checkBox1_ = history_.windowsUser;
  // Labels of the groups: Label1 to Label4 and Label5 to Label8, in field order.
  int labelNumber = 1;
  for (Group* group : {&config_, &history_}) {
    const QString captions[4] = {QStringLiteral("服务器名称："), QStringLiteral("数据库名称："),
                                 QStringLiteral("登录用户名："), QStringLiteral("口令：")};
    for (int i = 0; i < 4; ++i) {
      auto* label = new QLabel(captions[i], group->box);
      label->setObjectName(QStringLiteral("Label%1").arg(labelNumber++));
      label->setGeometry(16, 24 + i * 32, 84, 16);
      group->labels[i] = label;
    }
  }

  label9_->setObjectName(QStringLiteral("Label9"));
  label9_->setGeometry(8, 196, 635, 16);
  okBtn_->setObjectName(QStringLiteral("OKBtn"));
  okBtn_->setGeometry(208, 220, 75, 25);
  okBtn_->setDefault(true);
  cancelBtn_->setObjectName(QStringLiteral("CancelBtn"));
  cancelBtn_->setGeometry(368, 220, 75, 25);
  cancelBtn_->setAutoDefault(false);

  connect(okBtn_, &QPushButton::clicked, this, [this] { forms::GuardedHandler(services_, this, [this] { OKBtnClick(); }); });
  connect(cancelBtn_, &QPushButton::clicked, this, [this] { done(kModalCancel); });
  connect(windowsUserChk_, &QCheckBox::toggled, this, [this] { WindowUserChkClick(); });
  connect(checkBox1_, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
}

TDBConfigForm::Group TDBConfigForm::makeGroup(const char* boxName, const QString& caption, int left,
                                              const char* const names[5]) {
  Group group{};
  group.box = new QGroupBox(caption, this);
  group.box->setObjectName(QString::fromLatin1(boxName));
  group.box->setGeometry(left, 8, 313, 184);
  group.server = MakeEdit(group.box, names[0], kNameLength, 20);
  group.catalog = MakeEdit(group.box, names[1], kNameLength, 52);
  group.user = MakeEdit(group.box, names[2], kLoginLength, 84);
  group.password = MakeEdit(group.box, names[3], kLoginLength, 116);
  group.password->setEchoMode(QLineEdit::Password);
  group.password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  group.user->setEnabled(false);
  group.password->setEnabled(false);
  group.windowsUser = new QCheckBox(QStringLiteral("使用WINDOWS 集成用户身份认证"), group.box);
  group.windowsUser->setObjectName(QString::fromLatin1(names[4]));
  group.windowsUser->setGeometry(16, 152, 281, 17);
  group.windowsUser->setChecked(true);
  return group;
}

void TDBConfigForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] { FormShow(); });
}

void TDBConfigForm::FormShow() {
  forms::CentreOnScreen(*this);
  lang::TranslateForm(*this, engine_);
  ApplyDialogCatalogDefaults(settings_);
  fillGroup(config_, settings_.ConfigServer, settings_.ConfigCatalog, settings_.ConfigUser, settings_.ConfigPassword);
  fillGroup(history_, settings_.HistoryServer, settings_.HistoryCatalog, settings_.HistoryUser,
            settings_.HistoryPassword);
}

void TDBConfigForm::fillGroup(const Group& group, const std::string& server, const std::string& catalog,
                              const std::string& user, const std::string& password) {
  group.server->setText(QString::fromStdString(server));
  group.catalog->setText(QString::fromStdString(catalog));
  group.user->setText(QString::fromStdString(user));
  group.password->setText(QString::fromStdString(password));
  // Setting the state runs the check box rule when it changes.
  group.windowsUser->setChecked(group.user->text().isEmpty());
}

void TDBConfigForm::applyCheckRule(const Group& group) {
  const bool windows = group.windowsUser->isChecked();
  group.user->setEnabled(!windows);
  group.password->setEnabled(!windows);
  if (!windows) return;
  group.user->clear();
  group.password->clear();
}

void TDBConfigForm::WindowUserChkClick() { applyCheckRule(config_); }
void TDBConfigForm::CheckBox1Click() { applyCheckRule(history_); }

DBGroupFields TDBConfigForm::fields(const Group& group) {
  return {Text(group.server), Text(group.catalog), Text(group.user), Text(group.password),
          group.windowsUser->isChecked()};
}

void TDBConfigForm::setStatus(const common::UserMessage& status) {
  label9_->setText(forms::MessageText(engine_, status, {}));
  // The connection test blocks the window, so the status is painted before it starts.
  label9_->repaint();
}

bool TDBConfigForm::ValidateAndConnect() {
  if (const auto key = FirstEmptyNameKey(fields(config_), fields(history_))) {
    services_.showMessage(this, DBConfigMessage(*key));
    return false;
  }
  for (const Group* group : {&config_, &history_}) {
    if (!group->user->text().isEmpty()) continue;
    group->password->clear();
    group->windowsUser->setChecked(true);
  }
  if (!gbkHoldsEveryField()) return false;
  const DBGroupFields config = fields(config_);
  const DBGroupFields history = fields(history_);

  const auto answers = [this](const std::string& connectionString, const std::string& catalog,
                               const ConnectionTestKeys& keys) {
    setStatus(DBConfigStatus(keys.testing[0], catalog, keys.testing[1]));
    if (test_(connectionString)) return true;
    services_.showMessage(this, DBConfigMessage(keys.box));
    setStatus(DBConfigStatus(keys.failed[0], catalog, keys.failed[1]));
    return false;
  };
  configString_ = ConfigTestString(config);
  if (!answers(configString_, config.Catalog, kConfigTest)) return false;
  historyString_ = HistoryTestString(history);
  if (!answers(historyString_, history.Catalog, kHistoryTest)) return false;
  label9_->clear();
  return true;
}

bool TDBConfigForm::gbkHoldsEveryField() {
  for (const Group* group : {&config_, &history_}) {
    const std::optional<DBField> field = FirstFieldOutsideGbk(fields(*group));
    if (!field) continue;
    // The field as the dialog names it: "配置数据库 口令".
    QString label = group->labels[static_cast<int>(*field)]->text();
    while (label.endsWith(QChar(0xFF1A)) || label.endsWith(QLatin1Char(':'))) label.chop(1);
    const QString name = group->box->title() + QLatin1Char(' ') + label;
    services_.showMessage(this, OutsideGbkMessage(name.toStdString()));
    return false;
  }
  return true;
}

void TDBConfigForm::OKBtnClick() {
  if (!ValidateAndConnect()) return;
  settings_ = SettingsFromFields(fields(config_), fields(history_), configString_, historyString_);
  done(kModalOk);
}

void TDBConfigForm::reject() { done(kModalCancel); }

}  // namespace stationdb
