#include "stationdb/db/connection.h"

#include <fmt/format.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "common/strings.h"
#include "stationdb/db/error.h"

namespace db {
namespace {

Connection& requireConnection(Connection* connection) {
  if (connection == nullptr) throw Error("Missing Connection or ConnectionString");
  return *connection;
}

// One command on its way to the database, shared between the caller and the
// thread that waits for the answer. The thread works on copies, so that a
// caller that gave up owes it nothing.
struct PendingCommand {
  std::shared_ptr<Session> session;
  CommandType type = CommandType::Text;
  std::string text;
  std::vector<Parameter> parameters;
  bool hasParameters = false;

  std::mutex mutex;
  std::condition_variable answered;
  bool done = false;
  CommandResult result;
  std::exception_ptr error;
};

void runPending(const std::shared_ptr<PendingCommand>& pending) {
  CommandRequest request{pending->type, pending->text, pending->hasParameters ? &pending->parameters : nullptr};
  CommandResult result;
  std::exception_ptr error;
  try {
    result = pending->session->execute(request);
  } catch (...) {
    error = std::current_exception();
  }
  const std::lock_guard lock(pending->mutex);
  pending->result = std::move(result);
  pending->error = error;
  pending->done = true;
  pending->answered.notify_all();
}

}  // namespace

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::setConnectionString(std::string text) {
  close();
  connectionString_ = std::move(text);
}

void Connection::open() {
  if (connected()) return;
  if (common::TrimView(connectionString_).empty()) throw Error("Missing Connection or ConnectionString");
  session_ = OpenSession(ConnectionString::parse(connectionString_));
}

void Connection::close() { session_.reset(); }

CommandResult Connection::execute(CommandRequest& request) {
  const bool openedHere = !connected();
  open();
  struct CloseAfter {
    Connection& connection;
    bool close;
    ~CloseAfter() {
      if (close) connection.close();
    }
  } closeAfter{*this, openedHere && !keepConnection_};
  if (request.timeout.count() <= 0) return session_->execute(request);
  return executeWithin(request);
}

CommandResult Connection::executeWithin(CommandRequest& request) {
  auto pending = std::make_shared<PendingCommand>();
  pending->session = session_;
  pending->type = request.type;
  pending->text = request.text;
  if (request.parameters != nullptr) {
    pending->parameters = *request.parameters;
    pending->hasParameters = true;
  }
  std::thread waiter(runPending, pending);
  std::unique_lock lock(pending->mutex);
  if (!pending->answered.wait_for(lock, request.timeout, [&] { return pending->done; })) {
    lock.unlock();
    // The waiting thread keeps the session until the database answers or the
    // program ends; this connection is done with it.
    waiter.detach();
    session_.reset();
    throw Error(fmt::format("Query timeout expired ({} ms without an answer)", request.timeout.count()));
  }
  lock.unlock();
  waiter.join();
  if (pending->error) std::rethrow_exception(pending->error);
  if (request.parameters != nullptr) *request.parameters = std::move(pending->parameters);
  return std::move(pending->result);
}

Parameter& Parameters::add(std::string name, DataType type, Direction direction, int size, Value value) {
  items_.push_back(Parameter{std::move(name), type, direction, size, std::move(value)});
  return items_.back();
}

Parameter* Parameters::find(std::string_view name) {
  for (auto& p : items_)
    if (common::SameText(p.name, name)) return &p;
  return nullptr;
}

Parameter& Parameters::byName(std::string_view name) {
  if (Parameter* p = find(name)) return *p;
  throw Error(fmt::format("Parameter {} not found", name));
}

void Dataset::open() {
  close();
  Connection& connection = requireConnection(connection_);
  if (commandText_.empty()) throw Error("CommandText is empty");
  CommandRequest request{commandType_, commandText_, &parameters_.items(), commandTimeout_};
  CommandResult result = connection.execute(request);
  if (!result.rows) return;
  rows_ = std::move(*result.rows);
  current_ = 0;
  active_ = true;
}

void Dataset::close() {
  active_ = false;
  rows_ = RowSet();
  current_ = 0;
}

void Dataset::requireActive() const {
  if (!active_) throw Error("Operation is not allowed when the object is closed");
}

int Dataset::recordCount() const {
  requireActive();
  return static_cast<int>(rows_.rows.size());
}

void Dataset::moveFirst() {
  requireActive();
  current_ = 0;
}

void Dataset::moveNext() {
  requireActive();
  if (current_ < rows_.rows.size()) ++current_;
}

bool Dataset::eof() const { return !active_ || current_ >= rows_.rows.size(); }

int Dataset::fieldCount() const {
  requireActive();
  return static_cast<int>(rows_.columns.size());
}

const std::string& Dataset::fieldName(int position) const {
  requireActive();
  if (position < 0 || static_cast<std::size_t>(position) >= rows_.columns.size())
    throw Error(fmt::format("Field index {} out of range (the row set has {} fields)", position, rows_.columns.size()));
  return rows_.columns[static_cast<std::size_t>(position)];
}

const Value& Dataset::field(int position) const {
  requireActive();
  if (eof()) throw Error("Either BOF or EOF is True, or the current record has been deleted");
  const auto& row = rows_.rows[current_];
  if (position < 0 || static_cast<std::size_t>(position) >= row.size())
    throw Error(fmt::format("Field index {} out of range (the row set has {} fields)", position, row.size()));
  return row[static_cast<std::size_t>(position)];
}

void StoredProc::execute() {
  Connection& connection = requireConnection(connection_);
  if (procedureName_.empty()) throw Error("The procedure name is empty");
  CommandRequest request{CommandType::StoredProc, procedureName_, &parameters_.items(), commandTimeout_};
  connection.execute(request);
}

}  // namespace db
