#include <gtest/gtest.h>

#include <functional>

#include "stationdb/db/connection.h"
#include "stationdb/db/error.h"
#include "stationdb/db/sqliteprovider.h"
#include "stationdb/db/testsupport.h"

namespace db {
namespace {

namespace fs = std::filesystem;

common::TDateTime dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return common::EncodeDateTime({y, mo, d, h, mi, s, ms}).value();
}

// A stand-in server "main" under a root folder, with one catalog "cfg".
class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SqliteCatalog catalog(SqliteCatalogFile(root_.path() / "main", "cfg"));
    catalog.exec(
        "CREATE TABLE clock(rv INTEGER, now DATETIME);"
        "INSERT INTO clock VALUES(0, '2023-04-05 06:07:08.009');"
        "CREATE TABLE rec(serial INTEGER, station INTEGER, trig DATETIME, data BLOB);"
        "INSERT INTO rec VALUES(1, 512, '2023-01-01 00:00:00.000', x'0001FF');"
        "INSERT INTO rec VALUES(2, 512, '2023-06-01 12:00:00.250', NULL);"
        "INSERT INTO rec VALUES(3, 600, '2023-06-02 00:00:00.000', x'');"
        "CREATE TABLE events(type INTEGER, cancel INTEGER, description TEXT, data BLOB);");
    catalog.defineProcedure(
        "SP_24",
        {{"@RETURN_VALUE", DataType::Integer, Direction::ReturnValue}, {"@DT", DataType::DateTime, Direction::Output}},
        "SELECT rv AS \"@RETURN_VALUE\", now AS \"@DT\" FROM clock;");
    catalog.defineProcedure(
        "RC_W_1",
        {{"@stationid", DataType::Integer, Direction::Input}, {"@begintm", DataType::DateTime, Direction::Input}},
        "SELECT serial, trig, data FROM rec WHERE (@stationid IS NULL OR station = @stationid)"
        " AND (@begintm IS NULL OR trig >= @begintm) ORDER BY serial;");
    catalog.defineProcedure("PD_SP_16",
                            {{"@RETURN_VALUE", DataType::Integer, Direction::ReturnValue},
                             {"@Type", DataType::Integer, Direction::Input},
                             {"@CanCancel", DataType::Boolean, Direction::Input},
                             {"@Description", DataType::Text, Direction::Input},
                             {"@Data", DataType::Binary, Direction::Input}},
                            "INSERT INTO events VALUES(@Type, @CanCancel, @Description, @Data);"
                            "SELECT changes() + 40 AS \"@RETURN_VALUE\";");
    connection_.setConnectionString(
        "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=pw;"
        "Initial Catalog=cfg;Data Source=main");
  }

  Parameters& eventCall(StoredProc& proc) {
    proc.setConnection(&connection_);
    proc.setProcedureName("PD_SP_16");
    Parameters& p = proc.parameters();
    p.clear();
    p.add("@RETURN_VALUE", DataType::Integer, Direction::ReturnValue);
    p.add("@Type", DataType::Integer, Direction::Input, 0, Value::integer(12368));
    p.add("@CanCancel", DataType::Boolean, Direction::Input, 0, Value::boolean(true));
    p.add("@Description", DataType::Text, Direction::Input, 256, Value::text("登录"));
    p.add("@Data", DataType::Binary, Direction::Input, 0, Value());
    return p;
  }

  RowSet query(const std::string& sql) {
    Dataset data;
    data.setConnection(&connection_);
    data.setCommandText(sql);
    data.open();
    RowSet rows;
    for (int c = 0; c < data.fieldCount(); ++c) rows.columns.push_back(data.fieldName(c));
    for (data.moveFirst(); !data.eof(); data.moveNext()) {
      std::vector<Value> row;
      for (int c = 0; c < data.fieldCount(); ++c) row.push_back(data.field(c));
      rows.rows.push_back(row);
    }
    return rows;
  }

  dbtest::TempFolder root_;
  dbtest::ScopedEnv mapping_{kProviderMappingVariable, "SQLOLEDB.1=sqlite:" + root_.path().string()};
  Connection connection_;
};

TEST_F(SqliteTest, TextCommandsReturnTheirRows) {
  const RowSet rows = query("SELECT serial, trig, data FROM rec WHERE station=512 order by serial asc");
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.columns, (std::vector<std::string>{"serial", "trig", "data"}));
  EXPECT_EQ(rows.rows[0][0], Value::integer(1));
  EXPECT_EQ(rows.rows[0][1], Value::dateTime(dt(2023, 1, 1)));  // a DATETIME column
  EXPECT_EQ(rows.rows[0][2], Value::bytes({0x00, 0x01, 0xFF}));
  EXPECT_TRUE(rows.rows[1][2].isNull());
  EXPECT_TRUE(query("SELECT * FROM rec WHERE station=1").rows.empty());
  EXPECT_THROW(query("SELECT * FROM missing_table"), Error);
  EXPECT_THROW(query("SELEKT 1"), Error);
}

TEST_F(SqliteTest, ProceduresGiveReturnValuesAndOutputs) {
  StoredProc proc;
  proc.setConnection(&connection_);
  proc.setProcedureName("SP_24");
  proc.parameters().add("@RETURN_VALUE", DataType::Integer, Direction::ReturnValue);
  proc.parameters().add("@DT", DataType::DateTime, Direction::Output);
  proc.execute();
  EXPECT_EQ(proc.parameters()[0].value, Value::integer(0));
  EXPECT_EQ(proc.parameters()[1].value, Value::dateTime(dt(2023, 4, 5, 6, 7, 8, 9)));
}

TEST_F(SqliteTest, ProceduresTakeNullsAndReturnRows) {
  struct Case {
    const char* name;
    Value station;
    Value begin;
    std::vector<std::int64_t> serials;
  };
  const Case cases[] = {
      {"no filter", Value(), Value(), {1, 2, 3}},
      {"station", Value::integer(512), Value(), {1, 2}},
      {"station and time", Value::integer(512), Value::dateTime(dt(2023, 6, 1, 12)), {2}},
      {"nothing matches", Value::integer(1), Value(), {}},
  };
  for (const auto& c : cases) {
    Dataset data;
    data.setConnection(&connection_);
    data.setCommandType(CommandType::StoredProc);
    data.setCommandText("RC_W_1");
    data.parameters().add("@stationid", DataType::Integer, Direction::Input, 0, c.station);
    data.parameters().add("@begintm", DataType::DateTime, Direction::Input, 0, c.begin);
    data.open();
    ASSERT_TRUE(data.active()) << c.name;
    std::vector<std::int64_t> serials;
    for (data.moveFirst(); !data.eof(); data.moveNext()) serials.push_back(data.field(0).asInt64());
    EXPECT_EQ(serials, c.serials) << c.name;
    EXPECT_EQ(data.recordCount(), static_cast<int>(c.serials.size())) << c.name;
  }
}

TEST_F(SqliteTest, ProcedureInputsAreStoredByTheirDeclaredTypes) {
  StoredProc proc;
  eventCall(proc);
  proc.execute();
  EXPECT_EQ(proc.parameters()[0].value, Value::integer(41));
  const RowSet rows = query("SELECT type, cancel, description, data FROM events");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0], (std::vector<Value>{Value::integer(12368), Value::integer(1), Value::text("登录"), Value()}));
}

TEST_F(SqliteTest, CallsThatDifferFromTheSignatureAreRefused) {
  struct Case {
    const char* name;
    std::function<void(Parameters&)> change;
  };
  const Case cases[] = {
      {"name", [](Parameters& p) { p[1].name = "@Typ"; }},
      {"type", [](Parameters& p) { p[2].type = DataType::Integer; }},
      {"direction", [](Parameters& p) { p[0].direction = Direction::Output; }},
      {"order", [](Parameters& p) { std::swap(p[1], p[2]); }},
      {"missing", [](Parameters& p) { p.items().pop_back(); }},
      {"extra", [](Parameters& p) { p.add("@Memo", DataType::Text, Direction::Input, 256); }},
  };
  for (const auto& c : cases) {
    StoredProc proc;
    c.change(eventCall(proc));
    EXPECT_THROW(proc.execute(), Error) << c.name;
  }
  EXPECT_TRUE(query("SELECT * FROM events").rows.empty());  // nothing ran

  StoredProc unknown;
  unknown.setConnection(&connection_);
  unknown.setProcedureName("NO_SUCH_PROC");
  EXPECT_THROW(unknown.execute(), Error);
}

TEST_F(SqliteTest, ServersAndCatalogsThatDoNotExistFailToOpen) {
  const char* cases[] = {
      "Provider=SQLOLEDB.1;Initial Catalog=cfg;Data Source=nowhere",
      "Provider=SQLOLEDB.1;Initial Catalog=nocatalog;Data Source=main",
      "Provider=SQLOLEDB.1;Data Source=main",
  };
  for (const char* text : cases) {
    Connection connection;
    connection.setConnectionString(text);
    EXPECT_THROW(connection.open(), Error) << text;
    EXPECT_FALSE(connection.connected()) << text;
  }
  EXPECT_FALSE(fs::exists(SqliteCatalogFile(root_.path() / "main", "nocatalog")));  // opening creates nothing
}

TEST_F(SqliteTest, LoginsAreCheckedWhenTheCatalogHasThem) {
  SqliteCatalog(SqliteCatalogFile(root_.path() / "main", "cfg")).addLogin("sa", "pw");
  const std::pair<const char*, bool> cases[] = {
      {"User ID=sa;Password=pw", true},
      {"User ID=sa;Password=wrong", false},
      {"User ID=other;Password=pw", false},
      {"Integrated Security=SSPI", true},
  };
  for (const auto& [login, ok] : cases) {
    Connection connection;
    connection.setConnectionString(std::string("Provider=SQLOLEDB.1;") + login +
                                   ";Initial Catalog=cfg;Data Source=main");
    if (ok) {
      EXPECT_NO_THROW(connection.open()) << login;
    } else {
      EXPECT_THROW(connection.open(), Error) << login;
    }
  }
}

}  // namespace
}  // namespace db
