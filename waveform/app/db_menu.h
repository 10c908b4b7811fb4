#pragma once
// The database entries of the main window's menus: connect to the
// power-quality database (record source 12) or to the automation system's
// databases (21), log a user in, let the user pick a stored record and show
// it; close the database link; log the user off.
//
// Qt-free: the main window, the database layer and the dialogs come in
// through the interfaces below, so that every path runs in tests with fakes.
//
//   DatabaseMenu menu(fields, window, database, dialogs);
//   menu.database_20Click();
//
// Only one database kind is in use at a time. A user who logged in stays
// logged in across further openings of the same kind, until the log-off or
// the closing of the link.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/message.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/security.h"
#include "waveform/app/message_answer.h"
#include "waveform/model/cfgopen.h"
#include "recordmodel/record.h"

namespace wave {

// The three connection texts of the automation system's databases.
struct DbConnTexts {
  std::string suffix;   // of the catalog names
  std::string main;     // main server's connection string, without a catalog clause
  std::string standby;  // standby server's
};

// What the menu needs of the database layer; StationAccess is the program's.
class DatabaseLayer {
 public:
  virtual ~DatabaseLayer() = default;

  // The program's entry (application id 3050) of contp.dat: true when found,
  // settings then filled.
  virtual bool ReadDBLoginInfo(stationdb::TDBConnectionSettings& settings) = 0;
  virtual bool WriteDBLoginInfo(const stationdb::TDBConnectionSettings& settings) = 0;
  // Negative on failure (the layer has told the user where it tells anything).
  virtual std::int32_t ConnectDatabases(stationdb::TDBConnectionSettings& settings) = 0;
  // The client library's connection texts; nothing when it has none.
  virtual std::optional<DbConnTexts> GetDBConnInfo() = 0;
  virtual std::int32_t InitRedundantConnections(const DbConnTexts& texts) = 0;
  // Reads both configuration trees of the mode; negative on failure.
  virtual std::int32_t LoadConfigTrees(std::int32_t recordSourceMode, stationdb::ConfigTrees& trees) = 0;
  // The moment of a log-in, for the login rules.
  virtual stationdb::LoginClock LoginClock() = 0;
  // The program's event (type 0x3050, no data) with a description in UTF-8.
  virtual std::int32_t WriteEventLog(std::int32_t userID, const std::string& description) = 0;
  // The channels of the power-quality record chosen last, for its window.
  virtual std::span<const wave::TWaveformData> WaveChannels() const { return {}; }
};

// The log-in dialog (TPasswordDlg): made when first needed, shown once per
// attempt, kept until the link is closed or a log-in is cancelled.
class LoginDialog {
 public:
  struct Login {
    std::string name;      // as the database stores it
    std::string password;
  };
  virtual ~LoginDialog() = default;
  // Shows it modally: the name and password after OK, nothing after Cancel.
  virtual std::optional<Login> Show() = 0;
};

class DatabaseDialogs {
 public:
  virtual ~DatabaseDialogs() = default;

  // The database settings dialog whose OK only closes it: true after OK, with
  // settings replaced.
  virtual bool EditConnectionSettings(stationdb::TDBConnectionSettings& settings) = 0;
  // A new log-in dialog listing the users of the mode's security tree.
  virtual std::unique_ptr<LoginDialog> CreateLoginDialog(const stationdb::ConfigTrees& trees,
                                                         std::int32_t recordSourceMode) = 0;
  // The record selection dialog, shown modally: the chosen record's
  // configuration, or nothing.
  virtual std::optional<TcfgInfo> SelectRecord(const stationdb::ConfigTrees& trees,
                                               std::int32_t recordSourceMode) = 0;
  // The wait window with text, shown and painted; closed by CloseWaitWindow.
  virtual void ShowWaitWindow(const common::UserMessage& text) = 0;
  virtual void CloseWaitWindow() = 0;
};

// What the menu needs of the main window beyond RecordOpener.
class DatabaseMenuWindow : public RecordOpener {
 public:
  virtual MessageAnswer ask(const common::UserMessage& message, MessageButtons buttons) = 0;
  // Whether a record window shows a record of a database (its mode above 10).
  virtual bool anyDatabaseRecordWindow() const = 0;
  // ReadCfgFile with its messages shown.
  virtual void openCfgFile(const std::string& path) = 0;
};

// The main window's own fields that the menu reads and sets.
struct MainWindowFields {
  std::uint8_t& TempFilesFlag;
  TcfgInfo& CfgInfo;
  std::int32_t& RecordSourceMode;
  std::int32_t& CurrentUserID;
  std::uint8_t& DBConnectionClosed;
};

// The log-in constants of a database kind.
struct LoginConstants {
  std::int64_t usersContainerType;  // FindUserID's fourth argument
  std::int64_t usersContainerID;    // and its fifth
  std::uint32_t userType;           // CheckUserLogin's
  bool checkRules;
};
// Those of mode 12 or 21; nothing for any other mode.
std::optional<LoginConstants> LoginConstantsOf(std::int32_t recordSourceMode);

inline constexpr int kMaxLoginAttempts = 3;

class DatabaseMenu {
 public:
  // lookup gives the texts written into the event log.
  DatabaseMenu(MainWindowFields fields, DatabaseMenuWindow& window, DatabaseLayer& database,
               DatabaseDialogs& dialogs, common::LangLookup lookup = common::BuiltInText);

  void database_20Click();
  void database_velkoraClick();
  void database_closeClick();
  void user_logoffClick();

  // With the mode set and the connections made: logs a user in (unless one
  // of this database kind is logged in already) and lets the user choose a
  // record. True when the record choice ran (the main window's CfgInfo then
  // holds its result in mode 21).
  bool LoginAndSelectRecord();

  const stationdb::ConfigTrees& trees() const { return trees_; }
  // The database kind the current user logged in to; 0 when nobody is.
  std::int32_t LoginMode() const { return loginMode_; }
  bool hasLoginDialog() const { return loginDialog_ != nullptr; }
  // The ten connection settings of the power-quality databases.
  stationdb::TDBConnectionSettings& settings() { return settings_; }

 private:
  // Steps common to both database entries once they are not refused.
  void enterMode(std::int32_t mode);
  // The current user leaves; an automation database user's leaving is
  // written to its event log.
  void logOff();
  bool logIn(const LoginConstants& constants);
  bool chooseRecord();
  void dropSession();
  void showOk(const common::UserMessage& message);
  // Nobody logged in after a database entry: both entries are free again.
  void freeModeWithoutUser();
  std::string mainFormText(const char* key, const char* text) const;

  MainWindowFields fields_;
  DatabaseMenuWindow& window_;
  DatabaseLayer& database_;
  DatabaseDialogs& dialogs_;
  common::LangLookup lookup_;
  stationdb::TDBConnectionSettings settings_;
  stationdb::ConfigTrees trees_;
  std::unique_ptr<LoginDialog> loginDialog_;
  std::int32_t loginDialogMode_ = 0;  // whose users the dialog lists
  std::int32_t loginMode_ = 0;        // the database kind the current user logged in to
  bool selectingRecord_ = false;      // the record selection dialog is open
};

}  // namespace wave
