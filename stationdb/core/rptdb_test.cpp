#include "stationdb/core/rptdb.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <set>
#include <stdexcept>

#include "common/ipc/mutex_holder.h"
#include "stationdb/db/error.h"
#include "stationdb/db/sqliteprovider.h"
#include "stationdb/db/testsupport.h"

namespace stationdb {
namespace {

using dbtest::ScopedEnv;
using dbtest::TempFolder;

// Servers of the fake provider: the catalogs each one answers for. A
// server named "broken" raises something other than a database error.
struct FakeServers {
  std::map<std::string, std::set<std::string>> catalogs;
  std::vector<std::string> opened;  // "server/catalog", in order
};
FakeServers* gServers = nullptr;

class FakeSession : public db::Session {
 public:
  db::CommandResult execute(db::CommandRequest&) override { return {}; }
};

std::unique_ptr<db::Session> openFake(const db::ConnectionString& connection, const std::string&) {
  const std::string server = connection.get("Data Source").value_or("");
  const std::string catalog = connection.get("Initial Catalog").value_or("");
  gServers->opened.push_back(server + "/" + catalog);
  if (server == "broken") throw std::runtime_error("not a database error");
  const auto it = gServers->catalogs.find(server);
  if (it == gServers->catalogs.end() || !it->second.contains(catalog)) throw db::Error("does not answer");
  return std::make_unique<FakeSession>();
}

using ipc::test::MutexHolder;

class RptDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gServers = &servers_;
    db::RegisterProvider("fake", &openFake);
    rpt_.setMessageSink([this](const common::UserMessage& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    db::UnregisterProvider("fake");
    gServers = nullptr;
  }

  static std::string text(const char* server) {
    return server[0] == '\0' ? std::string() : fmt::format("Provider=SQLOLEDB.1;Data Source={}", server);
  }

  FakeServers servers_;
  ScopedEnv mapping_{db::kProviderMappingVariable, "SQLOLEDB.1=fake"};
  ScopedEnv ipcPrefix_{ipc::kPrefixVariable, fmt::format("rptdb{}", ::getpid())};
  RptDB rpt_;
  std::vector<common::UserMessage> messages_;
};

TEST(BuildConnectionStringTest, BuildsTheStringsOfBothLogIns) {
  EXPECT_EQ(BuildConnectionString("srv", "DAVUREVA_HISTORY", "", ""),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=DAVUREVA_HISTORY;Data Source=srv");
  EXPECT_EQ(BuildConnectionString("10.1.1.1,1433", "C", "sa", "pw"),
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;Initial Catalog=C;"
            "Data Source=10.1.1.1,1433");
  // A password cannot add keywords of its own.
  const std::string tricky = BuildConnectionString("srv", "C", "sa", "x;Data Source=evil");
  EXPECT_EQ(tricky,
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=\"x;Data Source=evil\";"
            "Initial Catalog=C;Data Source=srv");
  EXPECT_EQ(db::ConnectionString::parse(tricky).get("Data Source"), "srv");
}

TEST_F(RptDBTest, ConnectDatabasesPreparesWithoutOpening) {
  TDBConnectionSettings settings;
  settings.ConfigServer = "cfgsrv";
  settings.HistoryServer = "histsrv";
  settings.HistoryUser = "sa";
  settings.HistoryPassword = "pw";
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  EXPECT_EQ(settings.ConfigCatalog, "VELKORA_BILLING");  // the defaults are kept in the settings
  EXPECT_EQ(settings.HistoryCatalog, "DAVUREVA_HISTORY");
  EXPECT_EQ(rpt_.ConfigConnection()->connectionString(),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Initial Catalog=VELKORA_BILLING;Data Source=cfgsrv");
  EXPECT_EQ(rpt_.HistoryConnection()->connectionString(),
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;"
            "Initial Catalog=DAVUREVA_HISTORY;Data Source=histsrv");
  EXPECT_TRUE(servers_.opened.empty());
  EXPECT_FALSE(rpt_.ConfigConnection()->connected());
  EXPECT_EQ(rpt_.ConfigDataSet()->connection(), rpt_.ConfigConnection());
  EXPECT_EQ(rpt_.ConfigStoredProc()->connection(), rpt_.ConfigConnection());
  EXPECT_EQ(rpt_.HistoryDataSet()->connection(), rpt_.HistoryConnection());
  EXPECT_EQ(rpt_.HistoryStoredProc()->connection(), rpt_.HistoryConnection());
  for (auto* mutex : {rpt_.ConfigDataSetMutex(), rpt_.ConfigStoredProcMutex(), rpt_.HistoryDataSetMutex(),
                      rpt_.HistoryStoredProcMutex()})
    EXPECT_NE(mutex, nullptr);
  EXPECT_EQ(rpt_.ConfigStandbyConnection(), nullptr);
}

struct RedundantCase {
  const char* name;
  const char* main;     // server of the main text ("" for an empty text)
  const char* standby;  // server of the standby text
  std::int32_t result;
  std::int32_t state;
  const char* boundTo;  // "main", "standby" or "" (nothing bound)
};

class InitRedundantTest : public RptDBTest, public ::testing::WithParamInterface<RedundantCase> {};

TEST_P(InitRedundantTest, TestsBothPairsAndBindsTheOneThatAnswers) {
  servers_.catalogs = {
      {"up", {"velkora_config_T", "velkora_DATA_T"}},
      {"up2", {"velkora_config_T", "velkora_DATA_T"}},
      {"cfgonly", {"velkora_config_T"}},
  };
  const RedundantCase& c = GetParam();
  EXPECT_EQ(rpt_.InitRedundantConnections("T", text(c.main), text(c.standby)), c.result);
  EXPECT_EQ(rpt_.ConnectionState(), c.state);
  db::Connection* expected = nullptr;
  db::Connection* expectedHistory = nullptr;
  if (std::string_view(c.boundTo) == "main") {
    expected = rpt_.ConfigConnection();
    expectedHistory = rpt_.HistoryConnection();
  } else if (std::string_view(c.boundTo) == "standby") {
    expected = rpt_.ConfigStandbyConnection();
    expectedHistory = rpt_.HistoryStandbyConnection();
  }
  EXPECT_EQ(rpt_.ConfigDataSet()->connection(), expected);
  EXPECT_EQ(rpt_.ConfigStoredProc()->connection(), expected);
  EXPECT_EQ(rpt_.HistoryDataSet()->connection(), expectedHistory);
  EXPECT_EQ(rpt_.HistoryStoredProc()->connection(), expectedHistory);
  if (c.standby[0] == '\0') {
    EXPECT_EQ(rpt_.ConfigStandbyConnection()->connectionString(), "");
    EXPECT_EQ(servers_.opened.size(), 2u);  // an empty standby text is not tried
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, InitRedundantTest,
                         ::testing::Values(RedundantCase{"both", "up", "up2", 3, 3, "main"},
                                           RedundantCase{"main_only", "up", "down", 1, 1, "main"},
                                           RedundantCase{"standby_only", "down", "up2", 2, 2, "standby"},
                                           RedundantCase{"none", "down", "down", -1, -2, ""},
                                           RedundantCase{"no_standby_text", "up", "", 1, 1, "main"},
                                           RedundantCase{"history_missing", "cfgonly", "", -1, -2, ""},
                                           RedundantCase{"pairs_disagree", "cfgonly", "up2", -1, 2, ""},
                                           RedundantCase{"not_a_database_error", "broken", "up2", -1, 1, ""}),
                         [](const ::testing::TestParamInfo<RedundantCase>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(RptDBTest, RedundantStringsPutTheCatalogInFront) {
  servers_.catalogs = {{"up", {"velkora_config_T", "velkora_DATA_T"}}};
  ASSERT_EQ(rpt_.InitRedundantConnections("T", text("up"), ""), 1);
  EXPECT_EQ(rpt_.ConfigConnection()->connectionString(),
            "Initial Catalog=velkora_config_T;Provider=SQLOLEDB.1;Data Source=up");
  EXPECT_EQ(rpt_.HistoryConnection()->connectionString(),
            "Initial Catalog=velkora_DATA_T;Provider=SQLOLEDB.1;Data Source=up");
  EXPECT_EQ(servers_.opened, (std::vector<std::string>{"up/velkora_config_T", "up/velkora_DATA_T"}));
  EXPECT_TRUE(rpt_.ConfigConnection()->connected());  // what answered stays open
}

TEST_F(RptDBTest, AnEmptySuffixDoesNothing) {
  EXPECT_EQ(rpt_.ConnectionState(), 0);
  EXPECT_EQ(rpt_.InitRedundantConnections("", text("up"), text("up")), -1);
  EXPECT_EQ(rpt_.ConnectionState(), 1);
  EXPECT_EQ(rpt_.ConfigConnection(), nullptr);
  EXPECT_TRUE(servers_.opened.empty());
}

TEST_F(RptDBTest, ASecondSetUpReopensAndKeepsTheObjects) {
  servers_.catalogs = {{"up", {"velkora_config_T", "velkora_DATA_T"}}};
  ASSERT_EQ(rpt_.InitRedundantConnections("T", text("up"), ""), 1);
  db::Dataset* dataset = rpt_.ConfigDataSet();
  ipc::TMutex* mutex = rpt_.HistoryStoredProcMutex();
  db::Connection* main = rpt_.ConfigConnection();
  ASSERT_EQ(rpt_.InitRedundantConnections("T", text("down"), text("up")), 2);
  EXPECT_EQ(rpt_.ConfigDataSet(), dataset);
  EXPECT_EQ(rpt_.HistoryStoredProcMutex(), mutex);
  EXPECT_EQ(rpt_.ConfigConnection(), main);
  EXPECT_FALSE(main->connected());
  EXPECT_EQ(dataset->connection(), rpt_.ConfigStandbyConnection());
  EXPECT_EQ(servers_.opened.size(), 6u);

  // Back to the power-quality databases: the same query objects, bound to the
  // main connections, and the standby server is not used any more.
  TDBConnectionSettings settings;
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  EXPECT_EQ(rpt_.ConfigDataSet(), dataset);
  EXPECT_EQ(dataset->connection(), rpt_.ConfigConnection());
  EXPECT_EQ(rpt_.ConnectionState(), 1);
}

TEST_F(RptDBTest, AMutexThatCannotBeMadeEndsTheSetUpWithAMessageNamingIt) {
  ScopedEnv unusable(ipc::kPrefixVariable, std::string(300, 'x'));  // names too long for the system
  servers_.catalogs = {{"up", {"velkora_config_T", "velkora_DATA_T"}}};
  const std::string expected =
      fmt::format("无法打开或创建数据库互斥对象“{}”，数据库操作无法进行！", kConfigDataSetMutexName);
  for (const bool automation : {false, true}) {
    SCOPED_TRACE(automation ? "automation" : "power quality");
    messages_.clear();
    TDBConnectionSettings settings;
    EXPECT_EQ(automation ? rpt_.InitRedundantConnections("T", text("up"), "") : rpt_.ConnectDatabases(settings), -1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].section, "Strings_RptDB");
    EXPECT_EQ(messages_[0].textKeys(), (std::vector<std::string>{"str6", "str7"}));
    EXPECT_EQ(messages_[0].icon, common::MessageIcon::Error);
    EXPECT_EQ(common::ResolveText(messages_[0], common::BuiltInText), expected);
  }
  EXPECT_TRUE(servers_.opened.empty());  // the test never ran
}

TEST_F(RptDBTest, TestConnectionsTakesMissingObjectsAsFailures) {
  servers_.catalogs = {{"up", {""}}};
  db::Connection up;
  up.setConnectionString(text("up"));
  db::Connection empty;
  EXPECT_EQ(rpt_.TestConnections(nullptr, nullptr), -2);
  EXPECT_EQ(rpt_.TestConnections(&empty, &up), 2);
  EXPECT_EQ(rpt_.TestConnections(&up, nullptr), 1);
  EXPECT_EQ(rpt_.ConnectionState(), 1);
  db::Connection broken;
  broken.setConnectionString(text("broken"));
  EXPECT_THROW(rpt_.TestConnections(&broken, nullptr), std::runtime_error);
}

TEST_F(RptDBTest, AMutexTimeOutGivesMinusOne) {
  MutexHolder holder(kHistoryDataSetMutexName);
  ASSERT_TRUE(holder.holding());
  TDBConnectionSettings settings;
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  rpt_.setMutexTimeout(20);
  bool ran = false;
  EXPECT_EQ(rpt_.RunLocked(rpt_.HistoryDataSetMutex(), "str5",
                           [&] {
                             ran = true;
                             return 5;
                           }),
            -1);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(messages_.empty());  // no message for a time-out
  holder.letGo();
  EXPECT_EQ(rpt_.RunLocked(rpt_.HistoryDataSetMutex(), "str5", [] { return 5; }), 5);
}

TEST_F(RptDBTest, DatabaseErrorsAreReportedAndReleaseTheMutex) {
  TDBConnectionSettings settings;
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  EXPECT_EQ(rpt_.RunLocked(rpt_.HistoryStoredProcMutex(), "str3", []() -> std::int32_t { throw db::Error("boom"); }),
            -1);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].section, "Strings_RptDB");
  EXPECT_EQ(messages_[0].textKeys(), std::vector<std::string>{"str3"});
  EXPECT_EQ(common::ResolveText(messages_[0], common::BuiltInText), "数据库操作错误：boom");
  EXPECT_EQ(common::ResolveCaption(messages_[0], common::BuiltInText), "信息提示");
  EXPECT_THROW(rpt_.RunLocked(rpt_.HistoryStoredProcMutex(), "str3",
                              []() -> std::int32_t { throw std::logic_error("not ours"); }),
               std::logic_error);

  MutexHolder other(kHistoryStoredProcMutexName);  // another process gets it: it was released both times
  EXPECT_TRUE(other.holding());
}

TEST_F(RptDBTest, QueryMutexesCanBeTakenAgainByTheirOwner) {
  TDBConnectionSettings settings;
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  rpt_.setMutexTimeout(0);
  const auto nested = rpt_.RunLocked(rpt_.ConfigDataSetMutex(), "str3", [&] {
    return rpt_.RunLocked(rpt_.ConfigDataSetMutex(), "str3", [] { return 7; });
  });
  EXPECT_EQ(nested, 7);
  EXPECT_EQ(rpt_.RunLocked(nullptr, "str3", [] { return 0; }), -1);  // before any set-up
}

// The whole road over the SQLite stand-in: both set-ups reach real catalogs.
TEST_F(RptDBTest, ReachesTheStandInDatabases) {
  TempFolder root;
  ScopedEnv sqlite(db::kProviderMappingVariable, "SQLOLEDB.1=sqlite:" + root.path().string());
  for (const char* catalog : {"VELKORA_BILLING", "DAVUREVA_HISTORY"}) {
    db::SqliteCatalog c(db::SqliteCatalogFile(root.path() / "pq", catalog));
    c.exec(fmt::format("CREATE TABLE who(name TEXT); INSERT INTO who VALUES('{}');", catalog));
  }
  for (const char* catalog : {"velkora_config_7", "velkora_DATA_7"}) {
    db::SqliteCatalog c(db::SqliteCatalogFile(root.path() / "standby", catalog));
    c.exec(fmt::format("CREATE TABLE who(name TEXT); INSERT INTO who VALUES('standby {}');", catalog));
  }
  const auto who = [](db::Dataset* data) {
    data->setCommandText("SELECT name FROM who");
    data->open();
    return data->field(0).asText();
  };

  TDBConnectionSettings settings;
  settings.ConfigServer = settings.HistoryServer = "pq";
  ASSERT_EQ(rpt_.ConnectDatabases(settings), 0);
  EXPECT_EQ(who(rpt_.ConfigDataSet()), "VELKORA_BILLING");  // the dataset opened the connection
  EXPECT_EQ(who(rpt_.HistoryDataSet()), "DAVUREVA_HISTORY");

  ASSERT_EQ(rpt_.InitRedundantConnections("7", text("nowhere"), text("standby")), 2);
  EXPECT_EQ(who(rpt_.ConfigDataSet()), "standby velkora_config_7");
  EXPECT_EQ(who(rpt_.HistoryDataSet()), "standby velkora_DATA_7");
}

}  // namespace
}  // namespace stationdb
