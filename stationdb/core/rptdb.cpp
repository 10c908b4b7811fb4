#include "stationdb/core/rptdb.h"

#include <utility>

#include "common/ipc/silentabort.h"
#include "stationdb/db/connectionstring.h"
#include "stationdb/db/error.h"

namespace stationdb {
namespace {

// Closes the connection when it exists, else creates it.
void closeOrCreate(std::unique_ptr<db::Connection>& connection) {
  if (connection) {
    connection->close();
  } else {
    connection = std::make_unique<db::Connection>();
    connection->setKeepConnection(true);
  }
}

template <typename T>
void createIfMissing(std::unique_ptr<T>& object) {
  if (!object) object = std::make_unique<T>();
}


// "Initial Catalog=<catalog>;" + text, or empty for an empty text.
std::string withCatalog(std::string_view catalog, std::string_view text) {
  if (text.empty()) return {};
  return "Initial Catalog=" + db::QuoteConnectionValue(catalog) + ";" + std::string(text);
}

// Opens a connection for the test; false for no object, an empty string or a database error.
bool answers(db::Connection* connection) {
  if (connection == nullptr || connection->connectionString().empty()) return false;
  try {
    connection->open();
    return true;
  } catch (const db::Error&) {
    return false;
  }
}

}  // namespace

std::string BuildConnectionString(std::string_view server, std::string_view catalog, std::string_view user,
                                  std::string_view password) {
  std::string text = "Provider=SQLOLEDB.1;";
  if (!user.empty())
    text += "Persist Security Info=False;User ID=" + db::QuoteConnectionValue(user) +
            ";Password=" + db::QuoteConnectionValue(password) + ";";
  else
    text += "Integrated Security=SSPI;Persist Security Info=False;";
  text += "Initial Catalog=" + db::QuoteConnectionValue(catalog) + ";";
  text += "Data Source=" + db::QuoteConnectionValue(server);
  return text;
}

common::UserMessage DatabaseErrorMessage(std::string key, const std::exception& error) {
  return common::UserMessage{
      std::string(kRptDBSection),
      {common::TextPiece{std::move(key), std::string(kDatabaseErrorText)}, common::TextPiece::literal(error.what())},
      common::TextPiece::literal(std::string(common::kDefaultCaption)),
      common::MessageIcon::Warning};
}

common::UserMessage MutexUnavailableMessage(std::string_view name) {
  return common::UserMessage{std::string(kRptDBSection),
                             {common::TextPiece{"str6", std::string(kMutexUnavailableText)},
                              common::TextPiece::literal(std::string(name)),
                              common::TextPiece{"str7", std::string(kMutexUnavailableTail)}},
                             common::TextPiece::literal(std::string(common::kDefaultCaption)),
                             common::MessageIcon::Error};
}

MutexHold::MutexHold(ipc::TMutex* mutex, std::uint32_t timeoutMs)
    : mutex_(mutex), obtained_(mutex != nullptr && mutex->Get(timeoutMs)) {}

MutexHold::~MutexHold() {
  if (obtained_) mutex_->Release();
}

RptDB::RptDB() = default;
RptDB::~RptDB() = default;

void RptDB::createQueryObjects() {
  createIfMissing(configDataSet_);
  createIfMissing(configStoredProc_);
  createIfMissing(historyDataSet_);
  createIfMissing(historyStoredProc_);
  applyCommandTimeout();
}

void RptDB::applyCommandTimeout() {
  for (db::Dataset* dataset : {configDataSet_.get(), historyDataSet_.get()})
    if (dataset != nullptr) dataset->setCommandTimeout(commandTimeout_);
  for (db::StoredProc* proc : {configStoredProc_.get(), historyStoredProc_.get()})
    if (proc != nullptr) proc->setCommandTimeout(commandTimeout_);
}

void RptDB::setCommandTimeout(std::chrono::milliseconds timeout) {
  commandTimeout_ = timeout;
  applyCommandTimeout();
}

void RptDB::createMutexIfMissing(std::unique_ptr<ipc::TMutex>& mutex, std::string_view name) {
  if (mutex) return;
  try {
    mutex = std::make_unique<ipc::TMutex>(name);
  } catch (const common::SilentAbort&) {
    // Without it no query may run; the user must learn why nothing happens.
    report(MutexUnavailableMessage(name));
    throw;
  }
}

void RptDB::createMutexes(bool config, bool history) {
  if (config) {
    createMutexIfMissing(configDataSetMutex_, kConfigDataSetMutexName);
    createMutexIfMissing(configStoredProcMutex_, kConfigStoredProcMutexName);
  }
  if (history) {
    createMutexIfMissing(historyDataSetMutex_, kHistoryDataSetMutexName);
    createMutexIfMissing(historyStoredProcMutex_, kHistoryStoredProcMutexName);
  }
}

std::int32_t RptDB::ConnectDatabases(TDBConnectionSettings& settings) {
  try {
    closeOrCreate(configConnection_);
    createIfMissing(configDataSet_);
    createIfMissing(configStoredProc_);
    applyCommandTimeout();
    if (settings.ConfigCatalog.empty()) settings.ConfigCatalog = kDefaultConfigCatalog;
    configConnection_->setConnectionString(BuildConnectionString(settings.ConfigServer, settings.ConfigCatalog,
                                                                 settings.ConfigUser, settings.ConfigPassword));
    configDataSet_->setConnection(configConnection_.get());
    configStoredProc_->setConnection(configConnection_.get());
    createMutexes(true, false);

    closeOrCreate(historyConnection_);
    createIfMissing(historyDataSet_);
    createIfMissing(historyStoredProc_);
    applyCommandTimeout();
    if (settings.HistoryCatalog.empty()) settings.HistoryCatalog = kDefaultHistoryCatalog;
    historyConnection_->setConnectionString(BuildConnectionString(settings.HistoryServer, settings.HistoryCatalog,
                                                                  settings.HistoryUser, settings.HistoryPassword));
    historyDataSet_->setConnection(historyConnection_.get());
    historyStoredProc_->setConnection(historyConnection_.get());
    createMutexes(false, true);

    connectionState_ = kMainAnswered;
    return 0;
  } catch (...) {
    return kDbFailed;
  }
}

std::int32_t RptDB::InitRedundantConnections(std::string_view suffix, std::string_view mainText,
                                             std::string_view standbyText) {
  std::int32_t result = kDbFailed;
  connectionState_ = kMainAnswered;
  if (suffix.empty()) return result;
  try {
    for (auto* connection :
         {&configConnection_, &configStandbyConnection_, &historyConnection_, &historyStandbyConnection_})
      closeOrCreate(*connection);
    createQueryObjects();

    const std::string configCatalog = std::string(kAutomationConfigCatalog) + std::string(suffix);
    const std::string historyCatalog = std::string(kAutomationHistoryCatalog) + std::string(suffix);
    configConnection_->setConnectionString(withCatalog(configCatalog, mainText));
    historyConnection_->setConnectionString(withCatalog(historyCatalog, mainText));
    configStandbyConnection_->setConnectionString(withCatalog(configCatalog, standbyText));
    historyStandbyConnection_->setConnectionString(withCatalog(historyCatalog, standbyText));

    createMutexes(true, true);

    const std::int32_t s1 = TestConnections(configConnection_.get(), configStandbyConnection_.get());
    const std::int32_t s2 = TestConnections(historyConnection_.get(), historyStandbyConnection_.get());
    if (s1 != s2 || s1 == kNoneAnswered) return result;
    const bool standby = s1 == kStandbyAnswered;
    db::Connection* config = standby ? configStandbyConnection_.get() : configConnection_.get();
    db::Connection* history = standby ? historyStandbyConnection_.get() : historyConnection_.get();
    configDataSet_->setConnection(config);
    configStoredProc_->setConnection(config);
    historyDataSet_->setConnection(history);
    historyStoredProc_->setConnection(history);
    result = s1;
  } catch (...) {
    // The result stays what it had reached.
  }
  return result;
}

std::int32_t RptDB::TestConnections(db::Connection* main, db::Connection* standby) {
  const bool mainAnswered = answers(main);
  const bool standbyAnswered = answers(standby);
  if (mainAnswered && standbyAnswered)
    connectionState_ = kBothAnswered;
  else if (mainAnswered)
    connectionState_ = kMainAnswered;
  else if (standbyAnswered)
    connectionState_ = kStandbyAnswered;
  else
    connectionState_ = kNoneAnswered;
  return connectionState_;
}

void RptDB::report(const common::UserMessage& message) const {
  if (messageSink_) messageSink_(message);
}

std::int32_t RptDB::RunLocked(ipc::TMutex* mutex, std::string_view errorKey,
                              const std::function<std::int32_t()>& body) {
  const MutexHold hold(mutex, mutexTimeout_);
  if (!hold.obtained()) return kDbFailed;
  try {
    return body();
  } catch (const db::Error& error) {
    report(DatabaseErrorMessage(std::string(errorKey), error));
    return kDbFailed;
  }
}

}  // namespace stationdb
