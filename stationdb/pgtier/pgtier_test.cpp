// The station database code against two real PostgreSQL servers, "main" and
// "standby", reached through the ODBC provider with the connection strings
// the program builds. scripts/pg-tier.sh starts them and exports what is used
// here; without it every test skips.

#include <arpa/inet.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stationdb/core/memorystream.h"
#include "stationdb/db/connection.h"
#include "stationdb/db/connectionstring.h"
#include "stationdb/db/error.h"
#include "stationdb/db/odbcprovider.h"
#include "stationdb/db/testsupport.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/queries/eventlog.h"
#include "stationdb/queries/testsupport.h"
#include "stationdb/queries/wavequery.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/security.h"
#include "stationdb/tree/testblob.h"

namespace stationdb {
namespace {

using querytest::FreeForOthers;
using querytest::ReportingRptDB;
using querytest::Shown;

constexpr std::int32_t kPQ = kSourcePowerQuality;
constexpr std::int32_t kAuto = kSourceAutomation;

constexpr std::string_view kNotRunning =
    "the PostgreSQL tier is not running: test.sh starts it with scripts/pg-tier.sh when the packages postgresql "
    "and odbc-postgresql are installed";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// GBK bytes: the station names tell the servers apart.
const std::string kMainStation = "\xd6\xf7\xd5\xbe";     // 主站
const std::string kStandbyStation = "\xb1\xb8\xd5\xbe";  // 备站
const std::string kUserName = "\xb2\xd9\xd7\xf7\xd4\xb1";  // 操作员
const std::string kUserPassword = "pw;1";

// Each server's clock as SP_24 gives it.
constexpr std::string_view kMainClock = "2031-05-06 07:08:09.123";
constexpr std::string_view kStandbyClock = "2032-11-12 13:14:15.456";
const TSystemTime kMainTime{2031, 5, 2, 6, 7, 8, 9, 123};
const TSystemTime kStandbyTime{2032, 11, 5, 12, 13, 14, 15, 456};

std::string Bytea(const std::vector<std::uint8_t>& bytes) {
  std::string out = "'\\x";
  for (const std::uint8_t b : bytes) out += fmt::format("{:02x}", b);
  return out + "'::bytea";
}

std::string NodeRow(std::int32_t mode, std::uint32_t type, std::uint32_t id, std::uint32_t parentType,
                    std::uint32_t parentID, const std::string& name, const std::vector<std::uint8_t>& data) {
  if (mode == kPQ)
    return fmt::format("INSERT INTO S_QORVA_5 VALUES({}, {}, {}, '{}', 4, 5, 6, {}, {}, {})", type, id, parentID,
                       name, data.size(), Bytea(data), parentType);
  return fmt::format("INSERT INTO PC_TB_05 VALUES({}, {}, {}, '{}', 4, 5, 6, 'note', {}, {}, {})", type, id,
                     parentID, name, data.size(), Bytea(data), parentType);
}

std::vector<std::uint8_t> Complemented(std::vector<std::uint8_t> bytes) {
  for (auto& b : bytes) b = static_cast<std::uint8_t>(~b);
  return bytes;
}

// A loopback port that takes connections into its backlog and never answers:
// a server that hangs.
class SilentListener {
 public:
  SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on loopback");
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_;
  int port_ = 0;
};

class PgTierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("STATIONDB_PG_MAIN").empty()) GTEST_SKIP() << kNotRunning;
    mainText_ = Env("STATIONDB_PG_MAIN");
    standbyText_ = Env("STATIONDB_PG_STANDBY");
    suffix_ = Env("STATIONDB_PG_SUFFIX");
    mapping_.emplace(db::kProviderMappingVariable, Env("STATIONDB_PG_PROVIDERS"));
    options_.emplace(db::kOdbcOptionsVariable, Env("STATIONDB_PG_ODBC_OPTIONS"));
    ipcPrefix_.emplace(ipc::kPrefixVariable, fmt::format("pgtier{}", ::getpid()));
    ASSERT_TRUE(startMain());
    resetServer(mainText_, kMainStation, kMainClock);
    resetServer(standbyText_, kStandbyStation, kStandbyClock);
    db_.rpt.setMutexTimeout(500);
  }
  // The next test finds main running, whatever this one did to it.
  void TearDown() override {
    if (mainText_.empty()) return;
    resumeMain();
    startMain();
  }

  static bool startMain() { return std::system(Env("STATIONDB_PG_START_MAIN").c_str()) == 0; }
  static bool stopMain() { return std::system(Env("STATIONDB_PG_STOP_MAIN").c_str()) == 0; }
  // Freezes main's server and backends (SIGSTOP): its connections stay up and nothing answers.
  static bool pauseMain() {
    const std::string command = Env("STATIONDB_PG_PAUSE_MAIN");
    return !command.empty() && std::system(command.c_str()) == 0;
  }
  static void resumeMain() {
    const std::string command = Env("STATIONDB_PG_RESUME_MAIN");
    if (!command.empty()) (void)std::system(command.c_str());
  }

  std::string config21() const { return "velkora_config_" + suffix_; }
  std::string history21() const { return "velkora_DATA_" + suffix_; }

  // Runs one SQL text on a server's catalog; the rows it returned.
  static std::vector<std::vector<db::Value>> run(const std::string& serverText, std::string_view catalog,
                                                 const std::string& sql) {
    db::Connection connection;
    connection.setConnectionString(fmt::format("Initial Catalog={};{}", catalog, serverText));
    db::Dataset dataset;
    dataset.setConnection(&connection);
    dataset.setCommandText(sql);
    dataset.open();
    std::vector<std::vector<db::Value>> rows;
    for (; !dataset.eof(); dataset.moveNext()) {
      std::vector<db::Value> row;
      for (int c = 0; c < dataset.fieldCount(); ++c) row.push_back(dataset.field(c));
      rows.push_back(std::move(row));
    }
    return rows;
  }

  // Both modes' trees (a users container with one user, one station named
  // after the server), the clock, and empty logs and waveform tables.
  void resetServer(const std::string& text, const std::string& station, std::string_view clock) {
    const auto user21 = testing::Bytes().str("remark").str(kUserPassword).bytes();
    const auto user12 =
        Complemented(testing::Bytes().str("remark").str(kUserPassword).u8(0).u32(0).i32(0).bytes());
    for (const auto& sql : {std::string("DELETE FROM PC_TB_05"),
                            NodeRow(kAuto, kUsersType21, kUsersType21, kSecurityRootType21, kSecurityRootType21,
                                    "users", {}),
                            NodeRow(kAuto, kUserType21, 1, kUsersType21, kUsersType21, kUserName, user21),
                            NodeRow(kAuto, kStationType21, 5, kSystemMeasurePointType21, kSystemMeasurePointType21,
                                    station, {}),
                            fmt::format("UPDATE ServerClock SET rv = 0, dt = '{}'", clock)})
      run(text, config21(), sql);
    for (const auto& sql :
         {std::string("DELETE FROM S_QORVA_5"),
          NodeRow(kPQ, kUsersType12, kUsersID12, kSecurityRootType12, kSecurityRootID12, "users", {}),
          NodeRow(kPQ, kUserType12, 1, kUsersType12, kUsersID12, kUserName, user12),
          NodeRow(kPQ, kStationRootType12, 7, kStationRootType12, kStationRootID12, station, {}),
          fmt::format("UPDATE ServerClock SET rv = 0, dt = '{}'", clock)})
      run(text, kDefaultConfigCatalog, sql);
    for (const auto& catalog : {history21(), std::string(kDefaultHistoryCatalog)})
      for (const auto* sql : {"DELETE FROM EventLog", "DELETE FROM Waves"}) run(text, catalog, sql);
  }

  // The power-quality settings of main, with empty catalogs.
  TDBConnectionSettings mainSettings() const {
    const auto parsed = db::ConnectionString::parse(mainText_);
    TDBConnectionSettings settings;
    settings.ConfigServer = settings.HistoryServer = parsed.get("Data Source").value_or("");
    settings.ConfigUser = settings.HistoryUser = parsed.get("User ID").value_or("");
    settings.ConfigPassword = settings.HistoryPassword = parsed.get("Password").value_or("");
    return settings;
  }

  std::string mainText_, standbyText_, suffix_;
  std::optional<dbtest::ScopedEnv> mapping_, options_, ipcPrefix_;
  ReportingRptDB db_;
  ConfigTrees trees_;
  DbState state_;
};

TEST_F(PgTierTest, RedundantSetUpBindsThePairThatAnswers) {
  struct Case {
    const char* name;
    bool mainStopped;
    std::int32_t state;
    const std::string* server;  // main's or standby's text
    const std::string* station;
    TSystemTime clock;
  };
  const Case cases[] = {
      {"both answer", false, kBothAnswered, &mainText_, &kMainStation, kMainTime},
      {"main stopped", true, kStandbyAnswered, &standbyText_, &kStandbyStation, kStandbyTime},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.mainStopped ? stopMain() : startMain());
    RptDB& rpt = db_.rpt;
    ASSERT_EQ(rpt.InitRedundantConnections(suffix_, mainText_, standbyText_), c.state);
    EXPECT_EQ(rpt.ConnectionState(), c.state);

    ASSERT_EQ(LoadConfigTrees(rpt, kAuto, trees_), 0);
    ASSERT_NE(trees_.StationRoot->GetChild(0), nullptr);
    EXPECT_EQ(trees_.StationRoot->GetChild(0)->GetName(), *c.station);
    EXPECT_EQ(FindUserID(trees_.SecurityRoot.get(), kUserName, kUserPassword, kUsersType21, kUsersType21), 1);

    TSystemTime time;
    EXPECT_EQ(GetServerTime(rpt, time, [] { return TSystemTime{}; }), 0);
    EXPECT_EQ(time, c.clock);

    const std::int32_t id = WriteEventLog(rpt, kProgramEventType, 0, false, 1, c.name, "", nullptr);
    ASSERT_GT(id, 0);
    EXPECT_EQ(run(*c.server, history21(), fmt::format("SELECT Description FROM EventLog WHERE EventID = {}", id)),
              (std::vector<std::vector<db::Value>>{{db::Value::text(c.name)}}));
    EXPECT_TRUE(db_.messages.empty());
  }
}

TEST_F(PgTierTest, MainLostAfterBindingFailsUntilTheNextSetUp) {
  RptDB& rpt = db_.rpt;
  ASSERT_EQ(rpt.InitRedundantConnections(suffix_, mainText_, standbyText_), kBothAnswered);
  ASSERT_GT(WriteEventLog(rpt, kProgramEventType, 0, false, 1, "before", "", nullptr), 0);
  ASSERT_TRUE(stopMain());

  EXPECT_EQ(WriteEventLog(rpt, kProgramEventType, 0, false, 1, "lost", "", nullptr), -1);
  ASSERT_EQ(db_.messages.size(), 1u);
  const std::string shown = Shown(db_.messages[0]);
  EXPECT_EQ(shown.rfind(std::string(kDatabaseErrorText), 0), 0u) << shown;
  EXPECT_GT(shown.size(), kDatabaseErrorText.size()) << "the server's message is missing";
  EXPECT_TRUE(FreeForOthers(kHistoryStoredProcMutexName));
  const TSystemTime local{2000, 1, 6, 1, 0, 0, 0, 0};
  TSystemTime time;
  EXPECT_EQ(GetServerTime(rpt, time, [&] { return local; }), -1);
  EXPECT_EQ(time, local);

  ASSERT_EQ(rpt.InitRedundantConnections(suffix_, mainText_, standbyText_), kStandbyAnswered);
  const std::int32_t id = WriteEventLog(rpt, kProgramEventType, 0, false, 1, "after", "", nullptr);
  ASSERT_GT(id, 0);
  EXPECT_EQ(run(standbyText_, history21(), fmt::format("SELECT Description FROM EventLog WHERE EventID = {}", id)),
            (std::vector<std::vector<db::Value>>{{db::Value::text("after")}}));
}

TEST_F(PgTierTest, AMainThatHangsGivesWayToTheStandbyAfterTheLoginTimeOut) {
  const SilentListener hung;
  // A later keyword wins: main's text now points at the silent port.
  const std::string hungMain = fmt::format("{};Data Source=127.0.0.1,{};Connect Timeout=1", mainText_, hung.port());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(db_.rpt.InitRedundantConnections(suffix_, hungMain, standbyText_), kStandbyAnswered);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(LoadConfigTrees(db_.rpt, kAuto, trees_), 0);
  ASSERT_NE(trees_.StationRoot->GetChild(0), nullptr);
  EXPECT_EQ(trees_.StationRoot->GetChild(0)->GetName(), kStandbyStation);
}

// Main frozen for a scope and let go at its end, also when an expectation fails.
class FrozenMain {
 public:
  FrozenMain(bool (*pause)(), void (*resume)()) : resume_(resume), frozen_(pause()) {}
  ~FrozenMain() { resume_(); }
  FrozenMain(const FrozenMain&) = delete;
  FrozenMain& operator=(const FrozenMain&) = delete;
  bool frozen() const { return frozen_; }

 private:
  void (*resume_)();
  bool frozen_;
};

TEST_F(PgTierTest, AServerThatStopsAnsweringFailsEachQueryWithinTheCommandTimeOut) {
  using Clock = std::chrono::steady_clock;
  constexpr auto kTimeout = std::chrono::seconds(1);
  constexpr auto kBound = kTimeout + std::chrono::seconds(2);
  RptDB& rpt = db_.rpt;
  rpt.setCommandTimeout(kTimeout);
  // A query after the first time-out opens a new connection: it gives up after the log-in time-out.
  const std::string main = mainText_ + ";Connect Timeout=1";
  ASSERT_EQ(rpt.InitRedundantConnections(suffix_, main, ""), kMainAnswered);
  ASSERT_EQ(LoadConfigTrees(rpt, kAuto, trees_), 0);
  state_.RecordSourceMode = kAuto;
  const TSystemTime local{2000, 1, 6, 1, 0, 0, 0, 0};

  struct Query {
    const char* name;
    std::function<std::int32_t()> run;
    std::string_view mutex;
    const char* messageKey;  // nullptr: the error passes out to the caller
  };
  const std::vector<Query> queries = {
      {"WriteEventLog", [&] { return WriteEventLog(rpt, kProgramEventType, 0, false, 1, "frozen", "", nullptr); },
       kHistoryStoredProcMutexName, "str3"},
      {"LoadConfigTrees", [&] { return LoadConfigTrees(rpt, kAuto, trees_); }, kConfigDataSetMutexName, nullptr},
      {"GetServerTime",
       [&] {
         TSystemTime time;
         return GetServerTime(rpt, time, [&] { return local; });
       },
       kConfigStoredProcMutexName, "str4"},
      {"QueryZavoVivords", [&] { return QueryZavoVivords(rpt, state_, kAnyID, kAnyID, kAnyID, 0.0, 0.0); },
       kHistoryDataSetMutexName, "str5"},
  };

  {
    const FrozenMain frozen(&PgTierTest::pauseMain, &PgTierTest::resumeMain);
    ASSERT_TRUE(frozen.frozen());
    for (const Query& q : queries) {
      SCOPED_TRACE(q.name);
      db_.messages.clear();
      const auto start = Clock::now();
      if (q.messageKey == nullptr) {
        EXPECT_THROW(q.run(), db::Error);
      } else {
        EXPECT_EQ(q.run(), -1);
        ASSERT_EQ(db_.messages.size(), 1u);
        EXPECT_EQ(db_.messages[0].textKeys(), std::vector<std::string>{q.messageKey});
      }
      EXPECT_LT(Clock::now() - start, kBound);
      EXPECT_TRUE(FreeForOthers(q.mutex));
    }
  }

  // Main answers again: every query works on the same set-up.
  db_.messages.clear();
  for (const Query& q : queries) {
    SCOPED_TRACE(q.name);
    EXPECT_GE(q.run(), 0);
  }
  EXPECT_TRUE(db_.messages.empty()) << Shown(db_.messages.front());
}

// What the connection answers to "SELECT current_database(), current_user".
std::pair<std::string, std::string> WhoAmI(db::Connection* connection) {
  db::Dataset dataset;
  dataset.setConnection(connection);
  dataset.setCommandText("SELECT current_database(), current_user");
  dataset.open();
  return {dataset.field(0).asText(), dataset.field(1).asText()};
}

TEST_F(PgTierTest, NamesThatConnectionStringsMustQuoteReachTheServerWhole) {
  const std::string user = Env("STATIONDB_PG_ODD_USER");
  const std::string catalog = Env("STATIONDB_PG_ODD_CATALOG");
  if (user.empty() || catalog.empty()) GTEST_SKIP() << "this tier has no user and catalog with odd names";

  TDBConnectionSettings settings = mainSettings();
  settings.ConfigUser = settings.HistoryUser = user;
  settings.ConfigCatalog = settings.HistoryCatalog = catalog;
  ASSERT_EQ(db_.rpt.ConnectDatabases(settings), 0);
  EXPECT_EQ(WhoAmI(db_.rpt.ConfigConnection()), std::make_pair(catalog, user));
  EXPECT_EQ(WhoAmI(db_.rpt.HistoryConnection()), std::make_pair(catalog, user));

  // The automation system's texts name the user the same way.
  const auto parsed = db::ConnectionString::parse(mainText_);
  const std::string oddMain = fmt::format("Provider=SQLOLEDB.1;User ID={};Password={};Data Source={}",
                                          db::QuoteConnectionValue(user),
                                          db::QuoteConnectionValue(parsed.get("Password").value_or("")),
                                          parsed.get("Data Source").value_or(""));
  ASSERT_EQ(db_.rpt.InitRedundantConnections(suffix_, oddMain, ""), kMainAnswered);
  EXPECT_EQ(WhoAmI(db_.rpt.ConfigConnection()), std::make_pair(config21(), user));
}

TEST_F(PgTierTest, EventLogEntryArrivesWhole) {
  struct Case {
    const char* name;
    std::optional<std::vector<std::uint8_t>> data;
  };
  const Case cases[] = {
      {"without data", std::nullopt},
      {"with data", std::vector<std::uint8_t>{0x00, 0x01, 0x7f, 0x80, 0xff, 0x00}},
  };
  ASSERT_EQ(db_.rpt.InitRedundantConnections(suffix_, mainText_, ""), kMainAnswered);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MemoryStream stream(c.data.value_or(std::vector<std::uint8_t>()));
    const std::string description = "\xd3\xc3\xbb\xa7\xb5\xc7\xc2\xbc";  // 用户登录
    const std::int32_t id =
        WriteEventLog(db_.rpt, kProgramEventType, 3, true, 42, description, "memo", c.data ? &stream : nullptr);
    ASSERT_GT(id, 0);
    const auto rows = run(mainText_, history21(),
                          fmt::format("SELECT Type, Byte, CanCancel::integer, UserID, Description, Memo, DataLength,"
                                      " Data FROM EventLog WHERE EventID = {}",
                                      id));
    ASSERT_EQ(rows.size(), 1u);
    const auto& r = rows[0];
    EXPECT_EQ(r[0].asInt64(), kProgramEventType);
    EXPECT_EQ(r[1].asInt64(), 3);
    EXPECT_EQ(r[2].asInt64(), 1);
    EXPECT_EQ(r[3].asInt64(), 42);
    EXPECT_EQ(r[4].asText(), description);
    EXPECT_EQ(r[5].asText(), "memo");
    EXPECT_EQ(r[6].asInt64(), c.data ? static_cast<std::int64_t>(c.data->size()) : 0);
    if (c.data)
      EXPECT_EQ(r[7].asBytes(), *c.data);
    else
      EXPECT_TRUE(r[7].isNull()) << r[7].describe();
  }
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(PgTierTest, ServerTimeIsTheServersClockOnlyWhenItSaysSo) {
  const TSystemTime local{2000, 1, 6, 1, 0, 0, 0, 0};
  struct Case {
    int rv;
    TSystemTime expected;
  };
  ASSERT_EQ(db_.rpt.InitRedundantConnections(suffix_, mainText_, ""), kMainAnswered);
  for (const auto& c : {Case{0, kMainTime}, Case{3, local}}) {
    SCOPED_TRACE(c.rv);
    run(mainText_, config21(), fmt::format("UPDATE ServerClock SET rv = {}", c.rv));
    TSystemTime time;
    EXPECT_EQ(GetServerTime(db_.rpt, time, [&] { return local; }), c.rv);
    EXPECT_EQ(time, c.expected);
  }
}

TEST_F(PgTierTest, WaveQueryFiltersOnTheServer) {
  for (const auto* sql :
       {"INSERT INTO Waves VALUES(1, '2030-01-02 03:04:05.678', 678, 10, 20, 30, -7, 74565, 'x', '\\x0001ff')",
        "INSERT INTO Waves VALUES(2, '2030-01-03 00:00:00', 0, 10, 21, 31, 0, 1, 'y', '\\x')",
        "INSERT INTO Waves VALUES(3, '2030-01-04 00:00:00', 5, 11, 20, 30, 0, 2, 'z', NULL)"})
    run(mainText_, history21(), sql);
  ASSERT_EQ(db_.rpt.InitRedundantConnections(suffix_, mainText_, ""), kMainAnswered);
  state_.RecordSourceMode = kAuto;
  const common::TDateTime jan3 = *common::EncodeDateTime({2030, 1, 3});
  struct Case {
    const char* name;
    std::int32_t station, channel, meter;
    common::TDateTime begin, end;
    std::vector<std::int32_t> serials;
  };
  const Case cases[] = {
      {"no filter", kAnyID, kAnyID, kAnyID, 0.0, 0.0, {1, 2, 3}},
      {"station", 10, kAnyID, kAnyID, 0.0, 0.0, {1, 2}},
      {"station and channel", 10, 20, kAnyID, 0.0, 0.0, {1}},
      {"meter", kAnyID, kAnyID, 30, 0.0, 0.0, {1, 3}},
      {"from a time", kAnyID, kAnyID, kAnyID, jan3, 0.0, {2, 3}},
      {"up to a time", kAnyID, kAnyID, kAnyID, 0.0, jan3, {1, 2}},
      {"nothing", 99, kAnyID, kAnyID, 0.0, 0.0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::int32_t n = QueryZavoVivords(db_.rpt, state_, c.station, c.channel, c.meter, c.begin, c.end);
    ASSERT_EQ(n, static_cast<std::int32_t>(c.serials.size()));
    std::vector<std::int32_t> serials;
    for (const auto& r : state_.ZavoVivords) serials.push_back(r.SerialNo);
    EXPECT_EQ(serials, c.serials);
  }
  ASSERT_EQ(QueryZavoVivords(db_.rpt, state_, 10, 20, 30, 0.0, 0.0), 1);
  const TWaveformRecord& r = state_.ZavoVivords[0];
  EXPECT_EQ(r.TriggerTime, *common::EncodeDateTime({2030, 1, 2, 3, 4, 5, 678}));
  EXPECT_EQ(r.Millisecond, 678);
  EXPECT_EQ(r.StationID, 10u);
  EXPECT_EQ(r.ChannelID, 20u);
  EXPECT_EQ(r.MeterID, 30u);
  EXPECT_EQ(r.AuxValue, -7);
  EXPECT_EQ(r.AuxWord, 0x2345);
  EXPECT_EQ(r.WaveData, (std::vector<std::uint8_t>{0x00, 0x01, 0xff}));
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(PgTierTest, PowerQualitySettingsReachTheDefaultCatalogs) {
  run(mainText_, kDefaultHistoryCatalog,
      "INSERT INTO Waves VALUES(9, 10, 20, 30, '2030-01-02 03:04:05.678', 678, 0, 65537, '\\x0102')");
  struct Case {
    const char* name;
    std::string password;
    std::string server;
    std::int32_t loaded;
  };
  const TDBConnectionSettings good = mainSettings();
  const Case cases[] = {
      {"the settings", good.ConfigPassword, good.ConfigServer, 0},
      {"a wrong password", good.ConfigPassword + "x", good.ConfigServer, kDbNotConnected},
      {"no server at that port", good.ConfigPassword, "127.0.0.1,1", kDbNotConnected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TDBConnectionSettings settings = good;
    settings.ConfigPassword = settings.HistoryPassword = c.password;
    settings.ConfigServer = settings.HistoryServer = c.server;
    ReportingRptDB db;
    ASSERT_EQ(db.rpt.ConnectDatabases(settings), 0);
    EXPECT_EQ(settings.ConfigCatalog, kDefaultConfigCatalog);
    EXPECT_EQ(settings.HistoryCatalog, kDefaultHistoryCatalog);
    ConfigTrees trees;
    ASSERT_EQ(LoadConfigTrees(db.rpt, kPQ, trees), c.loaded);
    EXPECT_FALSE(db.rpt.ConfigConnection()->connected());
    if (c.loaded != 0) continue;
    ASSERT_NE(trees.StationRoot->GetChild(0), nullptr);
    EXPECT_EQ(trees.StationRoot->GetChild(0)->GetName(), kMainStation);
    EXPECT_EQ(FindUserID(trees.SecurityRoot.get(), kUserName, kUserPassword, kUsersType12, kUsersID12), 1);
    TSystemTime time;
    EXPECT_EQ(GetServerTime(db.rpt, time, [] { return TSystemTime{}; }), 0);
    EXPECT_EQ(time, kMainTime);
    DbState state;
    state.RecordSourceMode = kPQ;
    ASSERT_EQ(QueryZavoVivords(db.rpt, state, kAnyID, kAnyID, kAnyID, 0.0, 0.0), 1);
    EXPECT_EQ(state.ZavoVivords[0].SerialNo, 9);
    EXPECT_EQ(state.ZavoVivords[0].StationID, 10u);
    EXPECT_EQ(state.ZavoVivords[0].TriggerTime, *common::EncodeDateTime({2030, 1, 2, 3, 4, 5, 678}));
    EXPECT_EQ(state.ZavoVivords[0].AuxWord, 1);
    EXPECT_EQ(state.ZavoVivords[0].WaveData, (std::vector<std::uint8_t>{0x01, 0x02}));
    EXPECT_TRUE(db.messages.empty());
  }
}

}  // namespace
}  // namespace stationdb
