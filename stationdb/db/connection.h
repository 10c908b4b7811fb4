#pragma once
// What the program uses of ADO, in three objects:
//
//   db::Connection  a connection string and an open/closed link (a command on
//                   a closed connection opens it first);
//   db::Dataset     a command text or a stored procedure that returns rows,
//                   read whole: exact record count, move first/next, fields
//                   by position;
//   db::StoredProc  a stored procedure with an ordered parameter list, run
//                   for its return value and output parameters.
//
// Datasets and stored procedures are "bound" to a connection by
// setConnection; binding opens nothing. The connection must outlive every
// object bound to it. Every failure raises db::Error. These objects belong
// to one thread.
//
// Every command has a time-out (30 s unless set otherwise, as ADO's command
// time-out): when the database has not answered by then, the command raises
// db::Error and the connection is closed, so that the caller can let go of
// what it holds; a server that answers late finds nobody listening. The next
// command opens the connection anew.
//
// Example:
//   db::Connection connection;
//   connection.setConnectionString("Provider=SQLOLEDB.1;...;Data Source=host");
//   db::StoredProc proc;
//   proc.setConnection(&connection);
//   proc.setProcedureName("SP_24");
//   proc.parameters().add("@RETURN_VALUE", db::DataType::Integer, db::Direction::ReturnValue);
//   proc.parameters().add("@DT", db::DataType::DateTime, db::Direction::Output);
//   proc.execute();  // opens the connection
//   int rv = proc.parameters().byName("@RETURN_VALUE").value.asInt32();

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/db/provider.h"
#include "stationdb/db/value.h"

namespace db {

inline constexpr std::chrono::milliseconds kDefaultCommandTimeout{30000};

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Setting the string closes an open connection first.
  void setConnectionString(std::string text);
  const std::string& connectionString() const { return connectionString_; }

  // On (the default): a connection that a command opened stays open. Off: it
  // is closed again when that command has been read.
  void setKeepConnection(bool keep) { keepConnection_ = keep; }
  bool keepConnection() const { return keepConnection_; }

  // Opens the link; nothing when it is open already. An empty string, a
  // malformed one, an unknown provider or a database that does not answer
  // raise db::Error and leave the connection closed.
  void open();
  void close();
  bool connected() const { return session_ != nullptr; }

  // Runs one command, opening the connection first when it is closed. A
  // command that gets no answer within request.timeout raises db::Error and
  // leaves the connection closed.
  CommandResult execute(CommandRequest& request);

 private:
  CommandResult executeWithin(CommandRequest& request);

  std::string connectionString_;
  bool keepConnection_ = true;
  // Shared with a command still waiting for its answer.
  std::shared_ptr<Session> session_;
};

// The ordered parameters of a stored-procedure call.
class Parameters {
 public:
  void clear() { items_.clear(); }
  Parameter& add(std::string name, DataType type, Direction direction, int size = 0, Value value = Value());
  std::size_t size() const { return items_.size(); }
  Parameter& operator[](std::size_t i) { return items_.at(i); }
  const Parameter& operator[](std::size_t i) const { return items_.at(i); }
  // The parameter of that name (case-insensitive); find gives nullptr, byName raises.
  Parameter* find(std::string_view name);
  Parameter& byName(std::string_view name);
  std::vector<Parameter>& items() { return items_; }

 private:
  std::vector<Parameter> items_;
};

class Dataset {
 public:
  void setConnection(Connection* connection) { connection_ = connection; }
  Connection* connection() const { return connection_; }

  void setCommandType(CommandType type) { commandType_ = type; }
  CommandType commandType() const { return commandType_; }
  // SQL text, or the procedure name for CommandType::StoredProc.
  void setCommandText(std::string text) { commandText_ = std::move(text); }
  const std::string& commandText() const { return commandText_; }
  Parameters& parameters() { return parameters_; }
  // How long open() waits for the answer; 0: no limit.
  void setCommandTimeout(std::chrono::milliseconds timeout) { commandTimeout_ = timeout; }
  std::chrono::milliseconds commandTimeout() const { return commandTimeout_; }

  // Runs the command (closing first when active) and reads its first row set
  // whole. Afterwards the dataset is active when the command returned a row
  // set, and stands on its first row. Raises without a bound connection.
  void open();
  void close();
  bool active() const { return active_; }

  // The rows read (exact). Raises when not active.
  int recordCount() const;
  void moveFirst();
  void moveNext();  // past the last row: eof
  bool eof() const;
  // 0-based position of the current row.
  int recNo() const { return static_cast<int>(current_); }

  int fieldCount() const;
  const std::string& fieldName(int position) const;
  // The current row's field at a 0-based column position. Raises when not
  // active, at eof, or for a position out of range.
  const Value& field(int position) const;

 private:
  void requireActive() const;

  Connection* connection_ = nullptr;
  CommandType commandType_ = CommandType::Text;
  std::string commandText_;
  Parameters parameters_;
  std::chrono::milliseconds commandTimeout_ = kDefaultCommandTimeout;
  bool active_ = false;
  RowSet rows_;
  std::size_t current_ = 0;
};

class StoredProc {
 public:
  void setConnection(Connection* connection) { connection_ = connection; }
  Connection* connection() const { return connection_; }
  void setProcedureName(std::string name) { procedureName_ = std::move(name); }
  const std::string& procedureName() const { return procedureName_; }
  Parameters& parameters() { return parameters_; }
  // How long execute() waits for the answer; 0: no limit.
  void setCommandTimeout(std::chrono::milliseconds timeout) { commandTimeout_ = timeout; }
  std::chrono::milliseconds commandTimeout() const { return commandTimeout_; }

  // Runs the procedure; afterwards the output and return-value parameters
  // hold what it gave (a row set it returns is dropped). Raises without a
  // bound connection.
  void execute();

 private:
  Connection* connection_ = nullptr;
  std::string procedureName_;
  Parameters parameters_;
  std::chrono::milliseconds commandTimeout_ = kDefaultCommandTimeout;
};

}  // namespace db
