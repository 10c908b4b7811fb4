#pragma once
// Stand-in databases for the query tests: SQLite catalogs in a temporary
// folder with the configuration tables, the stored procedures and their
// signatures, an RptDB set up against them in either record source mode, the
// messages it reports, and a second process that holds a named mutex.

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/ipc/ipcfunc.h"
#include "common/ipc/mutex_holder.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/db/connection.h"
#include "stationdb/db/sqliteprovider.h"
#include "stationdb/db/testsupport.h"
#include "stationdb/records/records.h"

namespace stationdb::querytest {

inline std::string HexLiteral(const std::vector<std::uint8_t>& bytes) {
  std::string out = "X'";
  for (const std::uint8_t b : bytes) out += fmt::format("{:02X}", b);
  return out + "'";
}

// A text literal of exactly these bytes (GBK and NUL bytes included).
inline std::string SqlText(std::string_view text) {
  return "CAST(" + HexLiteral(std::vector<std::uint8_t>(text.begin(), text.end())) + " AS TEXT)";
}

inline std::vector<std::uint8_t> Complemented(std::vector<std::uint8_t> bytes) {
  for (auto& b : bytes) b = static_cast<std::uint8_t>(~b);
  return bytes;
}

// One row of the configuration table; data is stored as given.
struct StoredNode {
  std::uint32_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t parentType = 0;
  std::uint32_t parentID = 0;
  std::string name;
  std::vector<std::uint8_t> data;
};

// The configuration table of a mode: mode 12 has the data length in column 7
// and the data in 8, mode 21 a text in 7, the length in 8 and the data in 9.
// The parent's id is column 2, its type the last column.
inline void CreateTreeTable(db::SqliteCatalog& catalog, std::int32_t mode) {
  if (mode == kSourcePowerQuality)
    catalog.exec(
        "CREATE TABLE S_QORVA_5(NodeType INTEGER, NodeID INTEGER, ParentNodeID INTEGER, NodeName TEXT,"
        " V4 INTEGER, V5 INTEGER, V6 INTEGER, DataLength INTEGER, NodeData BLOB, ParentNodeType INTEGER)");
  else
    catalog.exec(
        "CREATE TABLE PC_TB_05(NodeType INTEGER, NodeID INTEGER, ParentNodeID INTEGER, NodeName TEXT,"
        " V4 INTEGER, V5 INTEGER, V6 INTEGER, Note TEXT, DataLength INTEGER, NodeData BLOB,"
        " ParentNodeType INTEGER)");
}

inline void InsertNodes(db::SqliteCatalog& catalog, std::int32_t mode, const std::vector<StoredNode>& nodes) {
  for (const auto& n : nodes) {
    const std::string common = fmt::format("{}, {}, {}, {}, 4, 5, 6", n.type, n.id, n.parentID, SqlText(n.name));
    if (mode == kSourcePowerQuality)
      catalog.exec(fmt::format("INSERT INTO S_QORVA_5 VALUES({}, {}, {}, {})", common, n.data.size(),
                               HexLiteral(n.data), n.parentType));
    else
      catalog.exec(fmt::format("INSERT INTO PC_TB_05 VALUES({}, 'note', {}, {}, {})", common, n.data.size(),
                               HexLiteral(n.data), n.parentType));
  }
}

// SP_24 answering from the one row of table clock(rv, dt).
inline void DefineServerTime(db::SqliteCatalog& catalog, int rv, std::string_view dt) {
  catalog.exec(
      fmt::format("DROP TABLE IF EXISTS clock; CREATE TABLE clock(rv INTEGER, dt DATETIME);"
                  " INSERT INTO clock VALUES({}, {})",
                  rv, SqlText(dt)));
  catalog.defineProcedure("SP_24",
                          {{"@RETURN_VALUE", db::DataType::Integer, db::Direction::ReturnValue},
                           {"@DT", db::DataType::DateTime, db::Direction::Output}},
                          "SELECT rv AS \"@RETURN_VALUE\", dt AS \"@DT\" FROM clock");
}

// PD_SP_16 writing into table EventLog and returning @Type + 1000.
inline void DefineEventLog(db::SqliteCatalog& catalog) {
  catalog.exec(
      "CREATE TABLE IF NOT EXISTS EventLog(Type INTEGER, Byte INTEGER, CanCancel INTEGER, UserID INTEGER,"
      " Description TEXT, Memo TEXT, DataLength INTEGER, Data BLOB, DataKind TEXT)");
  catalog.defineProcedure(
      "PD_SP_16",
      {{"@RETURN_VALUE", db::DataType::Integer, db::Direction::ReturnValue},
       {"@Type", db::DataType::Integer, db::Direction::Input},
       {"@Byte", db::DataType::Integer, db::Direction::Input},
       {"@CanCancel", db::DataType::Boolean, db::Direction::Input},
       {"@UserID", db::DataType::Integer, db::Direction::Input},
       {"@Description", db::DataType::Text, db::Direction::Input},
       {"@Memo", db::DataType::Text, db::Direction::Input},
       {"@datalength", db::DataType::Integer, db::Direction::Input},
       {"@Data", db::DataType::Binary, db::Direction::Input}},
      "INSERT INTO EventLog VALUES(@Type, @Byte, @CanCancel, @UserID, @Description, @Memo, @datalength, @Data,"
      " typeof(@Data));"
      "SELECT @Type + 1000 AS \"@RETURN_VALUE\"");
}

// RC_W_1 over table Waves (the columns of the mode), filtering like the
// server's procedure and noting what it was given in table Calls.
inline void DefineWaveQuery(db::SqliteCatalog& catalog, std::int32_t mode) {
  if (mode == kSourcePowerQuality)
    catalog.exec(
        "CREATE TABLE Waves(SerialNo INTEGER, StationID INTEGER, ChannelID INTEGER, MeterID INTEGER,"
        " TriggerTime DATETIME, Millisecond INTEGER, Unused INTEGER, Kind INTEGER, Wave BLOB)");
  else
    catalog.exec(
        "CREATE TABLE Waves(SerialNo INTEGER, TriggerTime DATETIME, Millisecond INTEGER, StationID INTEGER,"
        " ChannelID INTEGER, MeterID INTEGER, AuxValue INTEGER, Kind INTEGER, Unused TEXT, Wave BLOB)");
  catalog.exec(
      "CREATE TABLE Calls(StationID, StationKind TEXT, ChannelID, ChannelKind TEXT, MeterID, MeterKind TEXT,"
      " BeginTm, BeginKind TEXT, EndTm, EndKind TEXT)");
  catalog.defineProcedure(
      "RC_W_1",
      {{"@stationid", db::DataType::Integer, db::Direction::Input},
       {"@channelid", db::DataType::Integer, db::Direction::Input},
       {"@meterid", db::DataType::Integer, db::Direction::Input},
       {"@begintm", db::DataType::DateTime, db::Direction::Input},
       {"@endtm", db::DataType::DateTime, db::Direction::Input}},
      "INSERT INTO Calls VALUES(@stationid, typeof(@stationid), @channelid, typeof(@channelid), @meterid,"
      " typeof(@meterid), @begintm, typeof(@begintm), @endtm, typeof(@endtm));"
      "SELECT * FROM Waves WHERE (@stationid IS NULL OR StationID = @stationid)"
      " AND (@channelid IS NULL OR ChannelID = @channelid) AND (@meterid IS NULL OR MeterID = @meterid)"
      " AND (@begintm IS NULL OR TriggerTime >= @begintm) AND (@endtm IS NULL OR TriggerTime <= @endtm)"
      " ORDER BY rowid");
}

// The catalogs' servers below one temporary folder, reached through the
// SQLite provider; named mutexes kept apart from other test runs.
class StandIn {
 public:
  static constexpr std::string_view kConfig12 = "QCONFIG";
  static constexpr std::string_view kHistory12 = "QHISTORY";
  static constexpr std::string_view kSuffix = "7";

  StandIn()
      : mapping_(db::kProviderMappingVariable, "SQLOLEDB.1=sqlite:" + root_.path().string()),
        ipcPrefix_(ipc::kPrefixVariable, fmt::format("queries{}", ::getpid())) {}

  // The catalog file of a server, created on first use.
  db::SqliteCatalog& catalog(std::string_view server, std::string_view name) {
    const std::string key = fmt::format("{}/{}", server, name);
    for (auto& [k, c] : catalogs_)
      if (k == key) return *c;
    catalogs_.emplace_back(key,
                           std::make_unique<db::SqliteCatalog>(db::SqliteCatalogFile(root_.path() / server, name)));
    return *catalogs_.back().second;
  }
  db::SqliteCatalog& config12() { return catalog("pq", kConfig12); }
  db::SqliteCatalog& history12() { return catalog("pq", kHistory12); }
  db::SqliteCatalog& config21(std::string_view server = "main") {
    return catalog(server, fmt::format("velkora_config_{}", kSuffix));
  }
  db::SqliteCatalog& history21(std::string_view server = "main") {
    return catalog(server, fmt::format("velkora_DATA_{}", kSuffix));
  }

  // Power-quality set-up against server "pq".
  void connect12(RptDB& rpt) {
    TDBConnectionSettings settings;
    settings.ConfigServer = settings.HistoryServer = "pq";
    settings.ConfigCatalog = kConfig12;
    settings.HistoryCatalog = kHistory12;
    if (rpt.ConnectDatabases(settings) != 0) throw std::runtime_error("ConnectDatabases failed");
  }
  // Automation-system set-up with main and standby servers; gives the agreed state.
  static std::int32_t connect21(RptDB& rpt, std::string_view main = "main", std::string_view standby = "standby") {
    return rpt.InitRedundantConnections(kSuffix, fmt::format("Provider=SQLOLEDB.1;Data Source={}", main),
                                        fmt::format("Provider=SQLOLEDB.1;Data Source={}", standby));
  }

  // A text query on a catalog, read whole through the provider.
  std::vector<std::vector<db::Value>> select(std::string_view server, std::string_view catalog, std::string_view sql) {
    db::Connection connection;
    connection.setConnectionString(
        fmt::format("Provider=SQLOLEDB.1;Initial Catalog={};Data Source={}", catalog, server));
    db::Dataset dataset;
    dataset.setConnection(&connection);
    dataset.setCommandText(std::string(sql));
    dataset.open();
    std::vector<std::vector<db::Value>> rows;
    for (; !dataset.eof(); dataset.moveNext()) {
      std::vector<db::Value> row;
      for (int c = 0; c < dataset.fieldCount(); ++c) row.push_back(dataset.field(c));
      rows.push_back(std::move(row));
    }
    return rows;
  }

 private:
  dbtest::TempFolder root_;
  dbtest::ScopedEnv mapping_;
  dbtest::ScopedEnv ipcPrefix_;
  std::vector<std::pair<std::string, std::unique_ptr<db::SqliteCatalog>>> catalogs_;
};

// An RptDB whose reports are kept.
struct ReportingRptDB {
  ReportingRptDB() {
    rpt.setMessageSink([this](const common::UserMessage& m) { messages.push_back(m); });
  }
  RptDB rpt;
  std::vector<common::UserMessage> messages;
};

// The text a message shows with the built-in texts.
inline std::string Shown(const common::UserMessage& message) {
  return common::ResolveText(message, common::BuiltInText);
}

using ipc::test::FreeForOthers;
using ipc::test::MutexHolder;

}  // namespace stationdb::querytest
