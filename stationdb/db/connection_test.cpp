#include "stationdb/db/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "stationdb/db/error.h"
#include "stationdb/db/testsupport.h"

namespace db {
namespace {

// A provider whose sessions answer every command with a fixed row set.
struct FakeServer {
  bool answers = true;
  // While hung, commands wait until it is let go (a server that stopped).
  std::mutex mutex;
  std::condition_variable changed;
  bool hung = false;
  int opens = 0;
  int liveSessions = 0;
  std::string lastArgument;
  std::string lastCommand;
  std::optional<RowSet> rows;
};

FakeServer* gServer = nullptr;

class FakeSession : public Session {
 public:
  FakeSession() { ++gServer->liveSessions; }
  ~FakeSession() override {
    const std::lock_guard lock(gServer->mutex);
    --gServer->liveSessions;
    gServer->changed.notify_all();
  }
  CommandResult execute(CommandRequest& request) override {
    {
      std::unique_lock lock(gServer->mutex);
      gServer->changed.wait(lock, [] { return !gServer->hung; });
    }
    gServer->lastCommand = request.text;
    if (request.type == CommandType::StoredProc && !request.parameters->empty())
      request.parameters->front().value = Value::integer(7);
    return {gServer->rows};
  }
};

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gServer = &server_;
    RegisterProvider("fake", [](const ConnectionString&, const std::string& argument) -> std::unique_ptr<Session> {
      ++gServer->opens;
      gServer->lastArgument = argument;
      if (!gServer->answers) throw Error("server does not answer");
      return std::make_unique<FakeSession>();
    });
  }
  void TearDown() override {
    UnregisterProvider("fake");
    gServer = nullptr;
  }

  FakeServer server_;
  dbtest::ScopedEnv mapping_{kProviderMappingVariable, "SQLOLEDB.1=fake:arg one"};
};

TEST_F(ConnectionTest, ProviderMappingComesFromTheEnvironment) {
  EXPECT_EQ(ResolveProvider("sqloledb.1").name, "fake");
  EXPECT_EQ(ResolveProvider("SQLOLEDB.1").argument, "arg one");
  EXPECT_EQ(ResolveProvider("SQLOLEDB").name, "odbc");  // built in
  EXPECT_EQ(ResolveProvider("").name, "odbc");
  EXPECT_EQ(ResolveProvider("Unheard.Of").name, "");
  {
    dbtest::ScopedEnv bad(kProviderMappingVariable, "SQLOLEDB.1");
    EXPECT_THROW(ResolveProvider("SQLOLEDB.1"), Error);
  }
}

TEST_F(ConnectionTest, OpenAndCloseFollowTheProvider) {
  Connection connection;
  EXPECT_THROW(connection.open(), Error);  // no string
  connection.setConnectionString("Provider=Unheard.Of;Data Source=x");
  EXPECT_THROW(connection.open(), Error);
  EXPECT_FALSE(connection.connected());

  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=x");
  connection.open();
  EXPECT_TRUE(connection.connected());
  EXPECT_EQ(server_.lastArgument, "arg one");
  connection.open();  // open already: nothing happens
  EXPECT_EQ(server_.opens, 1);
  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=y");  // closes
  EXPECT_FALSE(connection.connected());
  EXPECT_EQ(server_.liveSessions, 0);

  server_.answers = false;
  EXPECT_THROW(connection.open(), Error);
  EXPECT_FALSE(connection.connected());
}

TEST_F(ConnectionTest, ACommandOnAClosedConnectionOpensIt) {
  Connection connection;
  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=x");
  StoredProc proc;
  EXPECT_THROW(proc.execute(), Error);  // not bound
  proc.setConnection(&connection);
  proc.setProcedureName("SP_24");
  proc.parameters().add("@RETURN_VALUE", DataType::Integer, Direction::ReturnValue);
  proc.execute();
  EXPECT_TRUE(connection.connected());
  EXPECT_EQ(proc.parameters().byName("@return_value").value, Value::integer(7));
  EXPECT_EQ(server_.lastCommand, "SP_24");

  // Without keep-connection, a connection that a command opened is closed after it.
  connection.close();
  connection.setKeepConnection(false);
  proc.execute();
  EXPECT_FALSE(connection.connected());
  EXPECT_EQ(server_.liveSessions, 0);
}

TEST_F(ConnectionTest, DatasetsReadRowSetsWhole) {
  server_.rows = RowSet{{"a", "b"}, {{Value::integer(1), Value::text("x")}, {Value::integer(2), Value()}}};
  Connection connection;
  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=x");
  Dataset data;
  data.setConnection(&connection);
  data.setCommandText("SELECT a, b FROM t");
  EXPECT_THROW((void)data.recordCount(), Error);  // closed
  data.open();
  ASSERT_TRUE(data.active());
  EXPECT_EQ(data.recordCount(), 2);
  EXPECT_EQ(data.fieldCount(), 2);
  EXPECT_EQ(data.fieldName(1), "b");
  EXPECT_EQ(data.field(1).asText(), "x");
  data.moveNext();
  EXPECT_TRUE(data.field(1).isNull());
  EXPECT_THROW((void)data.field(2), Error);
  data.moveNext();
  EXPECT_TRUE(data.eof());
  EXPECT_THROW((void)data.field(0), Error);
  data.moveFirst();
  EXPECT_EQ(data.field(0).asInt32(), 1);

  server_.rows.reset();  // a command without a row set leaves the dataset inactive
  data.open();
  EXPECT_FALSE(data.active());
  EXPECT_TRUE(data.eof());
}

TEST_F(ConnectionTest, ACommandWithoutAnAnswerFailsAfterItsTimeOutAndTheNextOneWorks) {
  Connection connection;
  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=x");
  StoredProc proc;
  proc.setConnection(&connection);
  proc.setProcedureName("PD_SP_16");
  proc.parameters().add("@RETURN_VALUE", DataType::Integer, Direction::ReturnValue);
  EXPECT_EQ(proc.commandTimeout(), std::chrono::seconds(30));
  proc.setCommandTimeout(std::chrono::milliseconds(100));
  connection.open();
  server_.hung = true;

  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(proc.execute(), Error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100) + std::chrono::seconds(2));
  EXPECT_FALSE(connection.connected());
  EXPECT_TRUE(proc.parameters()[0].value.isNull()) << "nothing came back";

  {
    const std::lock_guard lock(server_.mutex);
    server_.hung = false;
    server_.changed.notify_all();
  }
  proc.execute();  // a new session
  EXPECT_EQ(server_.opens, 2);
  EXPECT_EQ(proc.parameters()[0].value, Value::integer(7));

  // The late answer of the abandoned session is dropped with it.
  connection.close();
  std::unique_lock lock(server_.mutex);
  EXPECT_TRUE(server_.changed.wait_for(lock, std::chrono::seconds(5), [this] { return server_.liveSessions == 0; }));
}

TEST_F(ConnectionTest, DatasetsGiveUpAfterTheirTimeOutToo) {
  server_.rows = RowSet{{"a"}, {{Value::integer(1)}}};
  Connection connection;
  connection.setConnectionString("Provider=SQLOLEDB.1;Data Source=x");
  Dataset data;
  data.setConnection(&connection);
  data.setCommandText("SELECT a FROM t");
  data.setCommandTimeout(std::chrono::milliseconds(50));
  server_.hung = true;
  EXPECT_THROW(data.open(), Error);
  EXPECT_FALSE(data.active());
  {
    const std::lock_guard lock(server_.mutex);
    server_.hung = false;
    server_.changed.notify_all();
  }
  data.open();
  EXPECT_EQ(data.recordCount(), 1);
  connection.close();
  std::unique_lock lock(server_.mutex);
  EXPECT_TRUE(server_.changed.wait_for(lock, std::chrono::seconds(5), [this] { return server_.liveSessions == 0; }));
}

}  // namespace
}  // namespace db
