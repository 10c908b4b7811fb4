#include "waveform/app/db_menu.h"

#include <utility>

#include "common/strings.h"
#include "stationdb/records/records.h"
#include "waveform/model/cfgreader.h"

namespace wave {
namespace {

using stationdb::kSourceAutomation;
using stationdb::kSourceFolder;
using stationdb::kSourcePowerQuality;

const std::string kSection(kMainFormSection);

common::UserMessage mainFormMessage(common::MessageIcon icon, std::vector<common::TextPiece> text) {
  return {kSection, std::move(text), common::TextPiece::literal(std::string(common::kDefaultCaption)), icon};
}

common::UserMessage information(const char* key, const char* text) {
  return mainFormMessage(common::MessageIcon::Information, {common::TextPiece{key, text}});
}

common::UserMessage error(const char* key, const char* text) {
  return mainFormMessage(common::MessageIcon::Error, {common::TextPiece{key, text}});
}

// A question of three paragraphs, blank lines between them.
common::UserMessage question(common::TextPiece first, common::TextPiece second, common::TextPiece last) {
  const common::TextPiece blankLine = common::TextPiece::literal("\r\n\r\n");
  return mainFormMessage(common::MessageIcon::Information,
                         {std::move(first), blankLine, std::move(second), blankLine, std::move(last)});
}

// Runs a function when the scope ends, also through an exception.
template <class Function>
class AtScopeEnd {
 public:
  explicit AtScopeEnd(Function function) : function_(std::move(function)) {}
  ~AtScopeEnd() { function_(); }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;

 private:
  Function function_;
};

}  // namespace

std::optional<LoginConstants> LoginConstantsOf(std::int32_t recordSourceMode) {
  if (recordSourceMode == kSourcePowerQuality) return LoginConstants{0x41000, 0x410, 0x41100, true};
  if (recordSourceMode == kSourceAutomation) return LoginConstants{0x10041000, 0x10041000, 0x10041100, false};
  return std::nullopt;
}

DatabaseMenu::DatabaseMenu(MainWindowFields fields, DatabaseMenuWindow& window, DatabaseLayer& database,
                           DatabaseDialogs& dialogs, common::LangLookup lookup)
    : fields_(fields), window_(window), database_(database), dialogs_(dialogs), lookup_(std::move(lookup)) {}

std::string DatabaseMenu::mainFormText(const char* key, const char* text) const {
  return lookup_(kSection, key, text);
}

void DatabaseMenu::showOk(const common::UserMessage& message) { window_.ask(message, MessageButtons::Ok); }

void DatabaseMenu::freeModeWithoutUser() {
  // A stop on the way (settings cancelled, no connection, no trees, too many
  // attempts) would otherwise leave the mode set with nobody logged in, and
  // the other database entry refused until the program ends.
  if (fields_.CurrentUserID <= 0) fields_.RecordSourceMode = kSourceFolder;
}

void DatabaseMenu::enterMode(std::int32_t mode) {
  fields_.TempFilesFlag = 1;
  fields_.RecordSourceMode = mode;
  // A user of the other database kind is no user of this one: the log-in,
  // the log-off event and the exit event would go to the wrong database. The
  // user leaves here, while that database is still the one connected.
  if (loginMode_ != mode) logOff();
}

void DatabaseMenu::logOff() {
  const std::int32_t leaving = fields_.CurrentUserID;
  // The kind the user logged in to, not the current mode: opening a record
  // from a folder sets the mode to 0 while the user stays logged in.
  const bool automationUser = leaving > 0 && loginMode_ == kSourceAutomation;
  fields_.CurrentUserID = 0;
  loginMode_ = kSourceFolder;
  if (automationUser) database_.WriteEventLog(leaving, mainFormText("str62", "当前用户被注销"));
}

void DatabaseMenu::dropSession() {
  trees_.Drop();
  loginDialog_.reset();
  loginMode_ = kSourceFolder;
}

void DatabaseMenu::database_20Click() {
  if (fields_.RecordSourceMode == kSourceAutomation) {
    showOk(information("str72", "请先退出Velkora的登陆!"));
    return;
  }
  const AtScopeEnd freeMode([this] { freeModeWithoutUser(); });
  enterMode(kSourcePowerQuality);
  if (!database_.ReadDBLoginInfo(settings_) || fields_.DBConnectionClosed == 1) {
    if (!dialogs_.EditConnectionSettings(settings_)) return;
    if (fields_.DBConnectionClosed == 1) fields_.CurrentUserID = 0;
    fields_.DBConnectionClosed = 0;
    database_.WriteDBLoginInfo(settings_);
  }
  if (database_.ConnectDatabases(settings_) < 0) return;
  fields_.RecordSourceMode = kSourcePowerQuality;
  LoginAndSelectRecord();
}

void DatabaseMenu::database_velkoraClick() {
  if (fields_.RecordSourceMode == kSourcePowerQuality) {
    showOk(information("str71", "请先退出Qorva的登陆!"));
    return;
  }
  const AtScopeEnd freeMode([this] { freeModeWithoutUser(); });
  enterMode(kSourceAutomation);
  const std::optional<DbConnTexts> texts = database_.GetDBConnInfo();
  if (!texts) {
    fields_.RecordSourceMode = kSourceFolder;
    return;
  }
  if (database_.InitRedundantConnections(*texts) < 0) return;
  fields_.RecordSourceMode = kSourceAutomation;
  // Only a record chosen just now is opened: an earlier record's path may
  // name the user's own files, which an abandoned opening would delete.
  if (LoginAndSelectRecord() && !fields_.CfgInfo.CfgPath.empty()) window_.openCfgFile(fields_.CfgInfo.CfgPath);
}

bool DatabaseMenu::LoginAndSelectRecord() {
  const std::int32_t mode = fields_.RecordSourceMode;
  const std::optional<LoginConstants> constants = LoginConstantsOf(mode);
  if (!constants) return false;
  if (fields_.CurrentUserID <= 0 || loginMode_ != mode) {
    fields_.CurrentUserID = 0;
    if (!logIn(*constants)) return false;
    loginMode_ = mode;
    if (mode == kSourceAutomation)
      database_.WriteEventLog(fields_.CurrentUserID, mainFormText("str68", "用户成功登录进入QUENLOR"));
  }
  return chooseRecord();
}

bool DatabaseMenu::logIn(const LoginConstants& constants) {
  const std::int32_t mode = fields_.RecordSourceMode;
  int failedAttempts = 0;
  for (;;) {
    std::int32_t loaded = 0;
    {
      dialogs_.ShowWaitWindow(information("str63", "正在初始化厂站配置信息......"));
      const AtScopeEnd closeWait([this] { dialogs_.CloseWaitWindow(); });
      loaded = database_.LoadConfigTrees(mode, trees_);
    }
    if (loaded < 0) {
      showOk(error("str64", "读取节点信息失败，请检查是否已进行系统配置！"));
      return false;
    }

    if (loginDialog_ && loginDialogMode_ != mode) loginDialog_.reset();  // it lists the other database's users
    if (!loginDialog_) {
      loginDialog_ = dialogs_.CreateLoginDialog(trees_, mode);
      loginDialogMode_ = mode;
    }
    const std::optional<LoginDialog::Login> login = loginDialog_->Show();
    if (!login) {
      fields_.RecordSourceMode = kSourceFolder;
      dropSession();
      return false;
    }

    const stationdb::CSetObj* root = trees_.SecurityRoot.get();
    fields_.CurrentUserID = stationdb::FindUserID(root, login->name, login->password, constants.usersContainerType,
                                                  constants.usersContainerID);
    if (fields_.CurrentUserID < 0) {
      showOk(error("str65", "输入有误，登录失败！"));
      if (++failedAttempts >= kMaxLoginAttempts) {
        showOk(error("str66", "输入错误达到3次，请重新运行程序！"));
        return false;
      }
      continue;
    }

    const std::optional<common::TextPiece> refusal = stationdb::LoginRefusal(
        root, fields_.CurrentUserID, constants.userType, constants.checkRules, database_.LoginClock());
    if (refusal) {
      showOk({std::string(stationdb::kSecurityClassSection),
              {*refusal},
              common::TextPiece::literal(std::string(common::kDefaultCaption)),
              common::MessageIcon::Error});
      fields_.CurrentUserID = 0;
      if (++failedAttempts >= kMaxLoginAttempts) {
        showOk(error("str67", "输入错误达到3次，请重新运行程序！"));
        return false;
      }
      continue;
    }
    return true;
  }
}

bool DatabaseMenu::chooseRecord() {
  if (selectingRecord_) return false;
  selectingRecord_ = true;
  const AtScopeEnd closed([this] { selectingRecord_ = false; });
  const std::int32_t mode = fields_.RecordSourceMode;
  const std::optional<TcfgInfo> chosen = dialogs_.SelectRecord(trees_, mode);
  if (chosen && !chosen->CfgPath.empty()) {
    fields_.CfgInfo = *chosen;
    if (mode == kSourcePowerQuality) {
      // The record is shown from memory; CfgPath holds its caption.
      if (window_.openWindowCount() >= kMaxRecordWindows) {
        showOk(common::UserMessage::warning(kSection, "str69", "打开波形窗口过多，最多打开4个波形窗口！", "str70"));
      } else {
        DisplaySettings& settings = window_.displaySettings();
        settings.NewRecordOpened = 1;
        if (window_.showOptionsDialog().accepted)
          window_.createRecordWindow(common::Trim(fields_.CfgInfo.CfgPath), RecordFiles());
        else
          settings.NewRecordOpened = 0;
      }
    }
  } else if (mode == kSourceAutomation) {
    fields_.CfgInfo = TcfgInfo{};
  }
  return true;
}

void DatabaseMenu::database_closeClick() {
  if (fields_.CurrentUserID <= 0) {
    showOk(information(
        "str52", "当前数据库链接不存在，您可以通过主菜单中“文件\\选择数据库\\”建立新的数据库链接！"));
    return;
  }
  if (window_.anyDatabaseRecordWindow()) {
    window_.ask(information("str53", "您已经基于当前数据库建立了窗体，请先手动关闭这些窗体！"),
                MessageButtons::OkCancel);
    return;
  }
  const MessageAnswer answer = window_.ask(
      question({"str54", "程序将关闭当前数据库链接并删除链接信息。"},
               {"str55", "当前链接删除之后，您需要通过主菜单中“文件\\选择数据库\\”建立新的数据库链接。"},
               {"str56", "是否继续？"}),
      MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return;
  fields_.DBConnectionClosed = 1;
  fields_.CurrentUserID = 0;
  fields_.RecordSourceMode = kSourceFolder;
  dropSession();
}

void DatabaseMenu::user_logoffClick() {
  if (fields_.CurrentUserID <= 0) {
    showOk(information(
        "str57", "不存在当前登录用户，您可以通过主菜单中“文件\\选择数据库\\”来登录新的用户！"));
    return;
  }
  if (window_.anyDatabaseRecordWindow()) {
    showOk(information("str58", "您已经基于当前用户建立了窗体，请先手动关闭这些窗体！"));
    return;
  }
  const MessageAnswer answer =
      window_.ask(question({"str59", "程序将关闭注销当前用户。"},
                           {"str60", "当前用户注销之后，您可以通过主菜单中“文件\\选择数据库\\”来登录新的用户。"},
                           {"str61", "是否继续？"}),
                  MessageButtons::YesNo);
  if (answer != MessageAnswer::Yes) return;
  logOff();
}

}  // namespace wave
