#pragma once
// The program's links to the station databases: the configuration database
// (station and security trees, server time) and the history database (event
// log, stored waveform records), each with a main and, for the automation
// system's databases, a standby connection; the four shared query objects
// bound to whichever connection answered; and the four machine-wide named
// mutexes that serialise the queries between processes.
//
// Two set-ups:
//   ConnectDatabases          power-quality databases (record source 12): one
//                             server each, from the contp.dat settings; only
//                             prepares the connections, opens nothing.
//   InitRedundantConnections  automation system's databases (record source 21):
//                             main and standby texts from the client library;
//                             opens them to find which server pair answers.
//
// Every command of the query objects has a time-out (commandTimeout, 30 s):
// a database that does not answer in time fails the command as a database
// error, so the query releases its mutex and reports it as any other.
//
// Results: 0 or a count for success, -1 for a mutex time-out or a caught
// database error, -2 where a connection could not be opened. A caught
// database error is reported as a language text of "Strings_RptDB" followed
// by the error's own message (DatabaseErrorMessage), through the message
// sink the application sets.
//
// The objects are created on first use and live as long as the RptDB; a
// second set-up reuses the query objects and mutexes of the first. Main
// thread only.
//
// For the query code built on top (tree loading, event log, server time,
// waveform records):
//   MutexHold hold(rpt.ConfigDataSetMutex(), rpt.mutexTimeout());
//   if (!hold.obtained()) return -1;
//   ... use rpt.ConfigDataSet() ...
// or, with the usual error handling in one place:
//   return rpt.RunLocked(rpt.HistoryStoredProcMutex(), "str3", [&] { ...; return rv; });

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/ipc/ipcfunc.h"
#include "common/message.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/db/connection.h"

namespace stationdb {

// The language section of this unit's messages.
inline constexpr std::string_view kRptDBSection = "Strings_RptDB";
// The built-in text of str3, str4 and str5 (database errors).
inline constexpr std::string_view kDatabaseErrorText = "数据库操作错误：";

inline constexpr std::string_view kConfigDataSetMutexName = "QUENLORADODATASETCOMMUTEX_CONFIG";
inline constexpr std::string_view kConfigStoredProcMutexName = "QUENLORADOSTOREDPROCMUTEX_CONFIG";
inline constexpr std::string_view kHistoryDataSetMutexName = "QUENLORADODATASETCOMMUTEX_HISTORY";
inline constexpr std::string_view kHistoryStoredProcMutexName = "QUENLORADOSTOREDPROCMUTEX_HISTORY";
// How long a query waits for its mutex.
inline constexpr std::uint32_t kMutexTimeoutMs = 3000;
// str6 + the mutex's name + str7 of "Strings_RptDB": a query mutex that can
// be neither opened nor created.
inline constexpr std::string_view kMutexUnavailableText = "无法打开或创建数据库互斥对象“";
inline constexpr std::string_view kMutexUnavailableTail = "”，数据库操作无法进行！";

// Default catalogs when the settings leave them empty.
inline constexpr std::string_view kDefaultConfigCatalog = "VELKORA_BILLING";
inline constexpr std::string_view kDefaultHistoryCatalog = "DAVUREVA_HISTORY";
// Catalog prefixes of the automation system's databases (+ the suffix).
inline constexpr std::string_view kAutomationConfigCatalog = "velkora_config_";
inline constexpr std::string_view kAutomationHistoryCatalog = "velkora_DATA_";

// Results.
inline constexpr std::int32_t kDbFailed = -1;        // mutex time-out, caught database error, no agreement
inline constexpr std::int32_t kDbNotConnected = -2;  // a connection could not be opened
// ConnectionState values.
inline constexpr std::int32_t kMainAnswered = 1;
inline constexpr std::int32_t kStandbyAnswered = 2;
inline constexpr std::int32_t kBothAnswered = 3;
inline constexpr std::int32_t kNoneAnswered = -2;

// The connection string of a power-quality database:
// "Provider=SQLOLEDB.1;" + ("Persist Security Info=False;User ID=<user>;Password=<password>;" with a user,
// "Integrated Security=SSPI;Persist Security Info=False;" without) + "Initial Catalog=<catalog>;Data Source=<server>".
// A value that would change the string's meaning (a ";", outer blanks, a leading quote) is quoted.
std::string BuildConnectionString(std::string_view server, std::string_view catalog, std::string_view user,
                                  std::string_view password);

// The message for a caught database error: the text of key (str3, str4 or
// str5 of "Strings_RptDB", built-in "数据库操作错误：") followed directly by the error's message.
common::UserMessage DatabaseErrorMessage(std::string key, const std::exception& error);

// The message for a query mutex that cannot be had at all (error icon).
common::UserMessage MutexUnavailableMessage(std::string_view name);

using MessageSink = std::function<void(const common::UserMessage&)>;

// Holds a named mutex for a scope: takes it with a time-out, releases it at
// the end when it was obtained. A missing mutex is never obtained.
class MutexHold {
 public:
  MutexHold(ipc::TMutex* mutex, std::uint32_t timeoutMs);
  ~MutexHold();
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;
  bool obtained() const { return obtained_; }

 private:
  ipc::TMutex* mutex_;
  bool obtained_;
};

class RptDB {
 public:
  RptDB();
  ~RptDB();
  RptDB(const RptDB&) = delete;
  RptDB& operator=(const RptDB&) = delete;

  // Power-quality set-up: (re)builds the two main connections' strings from
  // the settings, storing the default catalog into an empty catalog setting;
  // creates and binds the query objects and creates the mutexes. Opens
  // nothing. 0, or -1 when anything raised on the way. Sets ConnectionState
  // to 1, so that nothing goes on using a standby server of an earlier
  // automation-system session. In both set-ups a query mutex that can be
  // neither opened nor created is reported (MutexUnavailableMessage) before
  // the -1.
  std::int32_t ConnectDatabases(TDBConnectionSettings& settings);

  // Automation-system set-up with the catalog suffix and the main and standby
  // connection texts (whole connection strings without a catalog clause).
  // Closes or creates all four connections, sets "Initial Catalog=velkora_config_<suffix>;" + text (and
  // velkora_DATA_) on them (empty strings for an empty text), creates the
  // mutexes, tests both pairs and binds the query objects: to the main
  // connections for 1 or 3, to the standby ones for 2. The result is that
  // agreed state, else -1 (empty suffix, the pairs disagree, none answered,
  // anything raised).
  std::int32_t InitRedundantConnections(std::string_view suffix, std::string_view mainText,
                                        std::string_view standbyText);

  // Opens both (either may be null: it fails) and sets ConnectionState: 3
  // both answered, 1 only main, 2 only standby, -2 neither. An empty
  // connection string fails without trying. Only db::Error counts as no
  // answer; anything else passes to the caller. A connection that answered stays open.
  std::int32_t TestConnections(db::Connection* main, db::Connection* standby);

  // 0 before InitRedundantConnections first ran.
  std::int32_t ConnectionState() const { return connectionState_; }

  // The objects; null until a set-up created them.
  db::Connection* ConfigConnection() const { return configConnection_.get(); }
  db::Connection* ConfigStandbyConnection() const { return configStandbyConnection_.get(); }
  db::Connection* HistoryConnection() const { return historyConnection_.get(); }
  db::Connection* HistoryStandbyConnection() const { return historyStandbyConnection_.get(); }
  db::Dataset* ConfigDataSet() const { return configDataSet_.get(); }
  db::StoredProc* ConfigStoredProc() const { return configStoredProc_.get(); }
  db::Dataset* HistoryDataSet() const { return historyDataSet_.get(); }
  db::StoredProc* HistoryStoredProc() const { return historyStoredProc_.get(); }
  ipc::TMutex* ConfigDataSetMutex() const { return configDataSetMutex_.get(); }
  ipc::TMutex* ConfigStoredProcMutex() const { return configStoredProcMutex_.get(); }
  ipc::TMutex* HistoryDataSetMutex() const { return historyDataSetMutex_.get(); }
  ipc::TMutex* HistoryStoredProcMutex() const { return historyStoredProcMutex_.get(); }

  // How long each command of the four query objects waits for the
  // database: 30 s; tests set a shorter one.
  std::chrono::milliseconds commandTimeout() const { return commandTimeout_; }
  void setCommandTimeout(std::chrono::milliseconds timeout);

  // The wait for a query mutex: 3000 ms; tests set a shorter one.
  std::uint32_t mutexTimeout() const { return mutexTimeout_; }
  void setMutexTimeout(std::uint32_t milliseconds) { mutexTimeout_ = milliseconds; }

  // Where caught database errors are reported (the forms show a message box).
  void setMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
  void report(const common::UserMessage& message) const;

  // Takes mutex with mutexTimeout(), runs body and releases the mutex.
  // -1 when the mutex is not obtained (body does not run). A db::Error out
  // of body is reported with errorKey (DatabaseErrorMessage) and gives -1;
  // anything else passes on, with the mutex released.
  std::int32_t RunLocked(ipc::TMutex* mutex, std::string_view errorKey, const std::function<std::int32_t()>& body);

 private:
  void createQueryObjects();
  void applyCommandTimeout();
  void createMutexes(bool config, bool history);
  // Raises common::SilentAbort (after reporting it) when it cannot.
  void createMutexIfMissing(std::unique_ptr<ipc::TMutex>& mutex, std::string_view name);

  std::unique_ptr<db::Connection> configConnection_;
  std::unique_ptr<db::Connection> configStandbyConnection_;
  std::unique_ptr<db::Connection> historyConnection_;
  std::unique_ptr<db::Connection> historyStandbyConnection_;
  std::unique_ptr<db::Dataset> configDataSet_;
  std::unique_ptr<db::StoredProc> configStoredProc_;
  std::unique_ptr<db::Dataset> historyDataSet_;
  std::unique_ptr<db::StoredProc> historyStoredProc_;
  std::unique_ptr<ipc::TMutex> configDataSetMutex_;
  std::unique_ptr<ipc::TMutex> configStoredProcMutex_;
  std::unique_ptr<ipc::TMutex> historyDataSetMutex_;
  std::unique_ptr<ipc::TMutex> historyStoredProcMutex_;
  std::int32_t connectionState_ = 0;
  std::uint32_t mutexTimeout_ = kMutexTimeoutMs;
  std::chrono::milliseconds commandTimeout_ = db::kDefaultCommandTimeout;
  MessageSink messageSink_;
};

}  // namespace stationdb
