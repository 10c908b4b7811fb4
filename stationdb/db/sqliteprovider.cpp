#include "stationdb/db/sqliteprovider.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <optional>
#include <system_error>
#include <utility>

#include "common/strings.h"
#include "stationdb/db/error.h"

namespace db {
namespace fs = std::filesystem;
namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, CloseDatabase>;

struct FinalizeStatement {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

[[noreturn]] void fail(sqlite3* db, std::string_view what) {
  throw Error(fmt::format("{}: {}", what, db != nullptr ? sqlite3_errmsg(db) : "out of memory"));
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS db_procedures(name TEXT NOT NULL, position INTEGER NOT NULL, param TEXT NOT NULL,"
    " type TEXT NOT NULL, direction TEXT NOT NULL, PRIMARY KEY(name, position));"
    "CREATE TABLE IF NOT EXISTS db_procedure_bodies(name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL);";

// Walks the statements of an SQL text one by one.
class StatementCursor {
 public:
  StatementCursor(sqlite3* db, std::string_view sql) : db_(db), rest_(sql) {}

  // The next statement, or nullptr at the end (blank text and comments make no statement).
  StatementHandle next() {
    while (!rest_.empty()) {
      sqlite3_stmt* stmt = nullptr;
      const char* tail = nullptr;
      if (sqlite3_prepare_v2(db_, rest_.data(), static_cast<int>(rest_.size()), &stmt, &tail) != SQLITE_OK)
        fail(db_, "Incorrect syntax");
      rest_.remove_prefix(static_cast<std::size_t>(tail - rest_.data()));
      if (stmt != nullptr) return StatementHandle(stmt);
    }
    return nullptr;
  }

 private:
  sqlite3* db_;
  std::string_view rest_;
};

bool isDateColumn(sqlite3_stmt* stmt, int column) {
  const char* declared = sqlite3_column_decltype(stmt, column);
  if (declared == nullptr) return false;
  const std::string upper = common::UpperCase(declared);
  return upper.find("DATE") != std::string::npos || upper.find("TIME") != std::string::npos;
}

Value columnValue(sqlite3_stmt* stmt, int column) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
      return Value::integer(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
      return Value::real(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      std::string value(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
      common::TDateTime when = 0;
      if (isDateColumn(stmt, column) && ParseIsoDateTime(value, when)) return Value::dateTime(when);
      return Value::text(std::move(value));
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
      const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
      return Value::bytes(data != nullptr ? Bytes(data, data + size) : Bytes());
    }
    default:
      return Value();
  }
}

// Steps a statement to its end; with rows, collects them.
void runStatement(sqlite3* db, sqlite3_stmt* stmt, RowSet* rows) {
  const int columns = sqlite3_column_count(stmt);
  if (rows != nullptr)
    for (int c = 0; c < columns; ++c) rows->columns.emplace_back(sqlite3_column_name(stmt, c));
  for (;;) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return;
    if (rc != SQLITE_ROW) fail(db, "The command failed");
    if (rows == nullptr) continue;
    std::vector<Value> row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(columnValue(stmt, c));
    rows->rows.push_back(std::move(row));
  }
}

void bindValue(sqlite3* db, sqlite3_stmt* stmt, int index, const Parameter& p) {
  int rc = SQLITE_OK;
  const bool inputless = p.direction == Direction::Output || p.direction == Direction::ReturnValue;
  if (inputless || p.value.isNull()) {
    rc = sqlite3_bind_null(stmt, index);
  } else {
    switch (p.type) {
      case DataType::Integer:
      case DataType::BigInt:
        rc = sqlite3_bind_int64(stmt, index, p.value.asInt64());
        break;
      case DataType::Boolean:
        rc = sqlite3_bind_int(stmt, index, p.value.asBool() ? 1 : 0);
        break;
      case DataType::Double:
        rc = sqlite3_bind_double(stmt, index, p.value.asDouble());
        break;
      case DataType::DateTime: {
        const std::string text = DateTimeToIsoText(p.value.asDateTime());
        rc = sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      }
      case DataType::Text: {
        const std::string text = p.value.asText();
        rc = sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        break;
      }
      case DataType::Binary: {
        const Bytes bytes = p.value.asBytes();
        rc = sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        break;
      }
    }
  }
  if (rc != SQLITE_OK) fail(db, fmt::format("Cannot pass parameter {}", p.name));
}

Parameter* findParameter(std::vector<Parameter>& params, std::string_view name) {
  for (auto& p : params)
    if (common::SameText(p.name, name)) return &p;
  return nullptr;
}

// Binds every "@name" of a statement from the call's parameters.
void bindParameters(sqlite3* db, sqlite3_stmt* stmt, std::vector<Parameter>& params, std::string_view proc) {
  const int count = sqlite3_bind_parameter_count(stmt);
  for (int i = 1; i <= count; ++i) {
    const char* name = sqlite3_bind_parameter_name(stmt, i);
    const Parameter* p = name != nullptr ? findParameter(params, name) : nullptr;
    if (p == nullptr)
      throw Error(fmt::format("Procedure {}: must declare the scalar variable \"{}\"", proc, name ? name : "?"));
    bindValue(db, stmt, i, *p);
  }
}

// The declared type's form of what the procedure gave for an output.
Value asDeclared(const Value& raw, DataType type) {
  if (raw.isNull()) return raw;
  switch (type) {
    case DataType::Integer:
      return Value::integer(raw.asInt32());
    case DataType::BigInt:
      return Value::integer(raw.asInt64());
    case DataType::Boolean:
      return Value::boolean(raw.asBool());
    case DataType::Double:
      return Value::real(raw.asDouble());
    case DataType::DateTime:
      return Value::dateTime(raw.asDateTime());
    case DataType::Text:
      return Value::text(raw.asText());
    case DataType::Binary:
      return Value::bytes(raw.asBytes());
  }
  return raw;
}

bool isOutput(const Parameter& p) { return p.direction != Direction::Input; }

// Whether every result column of a statement names an output parameter.
bool setsOutputs(sqlite3_stmt* stmt, std::vector<Parameter>& params) {
  const int columns = sqlite3_column_count(stmt);
  if (columns == 0) return false;
  for (int c = 0; c < columns; ++c) {
    const Parameter* p = findParameter(params, sqlite3_column_name(stmt, c));
    if (p == nullptr || !isOutput(*p)) return false;
  }
  return true;
}

void assignOutputs(sqlite3* db, sqlite3_stmt* stmt, std::vector<Parameter>& params) {
  RowSet result;
  runStatement(db, stmt, &result);
  if (result.rows.empty()) return;
  for (std::size_t c = 0; c < result.columns.size(); ++c) {
    Parameter* p = findParameter(params, result.columns[c]);
    p->value = asDeclared(result.rows.front()[c], p->type);
  }
}

struct SignatureEntry {
  std::string name;
  std::string type;
  std::string direction;
};

class SqliteSession : public Session {
 public:
  explicit SqliteSession(DatabaseHandle db) : db_(std::move(db)) {}

  CommandResult execute(CommandRequest& request) override {
    if (request.type == CommandType::Text) return runText(request.text);
    if (request.parameters == nullptr) throw Error("No parameter list");
    return runProcedure(request.text, *request.parameters);
  }

 private:
  CommandResult runText(std::string_view sql) {
    CommandResult result;
    StatementCursor cursor(db_.get(), sql);
    while (StatementHandle stmt = cursor.next()) {
      const bool gives = !result.rows && sqlite3_column_count(stmt.get()) > 0;
      if (gives) result.rows.emplace();
      runStatement(db_.get(), stmt.get(), gives ? &*result.rows : nullptr);
    }
    return result;
  }

  std::vector<SignatureEntry> signature(std::string_view proc) {
    RowSet rows = query(
        "SELECT param, type, direction FROM db_procedures WHERE name = ?1 COLLATE NOCASE ORDER BY position", proc);
    std::vector<SignatureEntry> entries;
    for (const auto& row : rows.rows) entries.push_back({row[0].asText(), row[1].asText(), row[2].asText()});
    return entries;
  }

  std::optional<std::string> body(std::string_view proc) {
    RowSet rows = query("SELECT body FROM db_procedure_bodies WHERE name = ?1 COLLATE NOCASE", proc);
    if (rows.rows.empty()) return std::nullopt;
    return rows.rows.front()[0].asText();
  }

  RowSet query(const char* sql, std::string_view argument) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
      fail(db_.get(), "The catalog holds no stored procedures");
    const StatementHandle stmt(raw);
    sqlite3_bind_text(raw, 1, argument.data(), static_cast<int>(argument.size()), SQLITE_TRANSIENT);
    RowSet rows;
    runStatement(db_.get(), raw, &rows);
    return rows;
  }

  static void checkCall(std::string_view proc, const std::vector<SignatureEntry>& expected,
                        const std::vector<Parameter>& given) {
    const std::size_t n = std::max(expected.size(), given.size());
    for (std::size_t i = 0; i < n; ++i) {
      const std::string want = i < expected.size()
                                   ? fmt::format("{} {} {}", expected[i].name, expected[i].type, expected[i].direction)
                                   : "nothing";
      const std::string got = i < given.size() ? fmt::format("{} {} {}", given[i].name, DataTypeName(given[i].type),
                                                             DirectionName(given[i].direction))
                                               : "nothing";
      if (!common::SameText(want, got))
        throw Error(fmt::format("Procedure {}: parameter {} is {}, the call gives {}", proc, i + 1, want, got));
    }
  }

  CommandResult runProcedure(std::string_view proc, std::vector<Parameter>& params) {
    const std::optional<std::string> sql = body(proc);
    if (!sql) throw Error(fmt::format("Could not find stored procedure '{}'", proc));
    checkCall(proc, signature(proc), params);
    for (auto& p : params)
      if (p.direction == Direction::Output || p.direction == Direction::ReturnValue) p.value = Value();
    CommandResult result;
    StatementCursor cursor(db_.get(), *sql);
    while (StatementHandle stmt = cursor.next()) {
      bindParameters(db_.get(), stmt.get(), params, proc);
      if (setsOutputs(stmt.get(), params)) {
        assignOutputs(db_.get(), stmt.get(), params);
        continue;
      }
      const bool gives = !result.rows && sqlite3_column_count(stmt.get()) > 0;
      if (gives) result.rows.emplace();
      runStatement(db_.get(), stmt.get(), gives ? &*result.rows : nullptr);
    }
    return result;
  }

  DatabaseHandle db_;
};

fs::path serverFolder(const std::string& dataSource, const std::string& root) {
  fs::path folder(dataSource);
  if (!root.empty() && folder.is_relative()) folder = fs::path(root) / folder;
  return folder;
}

DatabaseHandle openFile(const fs::path& file, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
  DatabaseHandle db(raw);
  if (rc != SQLITE_OK) fail(raw, fmt::format("Cannot open database '{}'", file.string()));
  sqlite3_busy_timeout(raw, 2000);
  // A stand-in: speed matters more than surviving a power cut.
  sqlite3_exec(raw, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
  return db;
}

bool tableExists(sqlite3* db, const char* table) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1", -1, &raw, nullptr) !=
      SQLITE_OK)
    fail(db, "Cannot read the catalog");
  const StatementHandle stmt(raw);
  sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
  const int rc = sqlite3_step(raw);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(db, "Cannot read the catalog");
  return rc == SQLITE_ROW;
}

void checkLogin(sqlite3* db, const ConnectionString& connection) {
  if (!tableExists(db, "db_logins")) return;
  const std::string integrated = connection.get("Integrated Security").value_or(std::string());
  if (common::SameText(integrated, "SSPI") || common::SameText(integrated, "true")) return;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT (SELECT COUNT(*) FROM db_logins),"
                         " (SELECT COUNT(*) FROM db_logins WHERE user = ?1 AND password = ?2)",
                         -1, &raw, nullptr) != SQLITE_OK)
    fail(db, "Cannot read the logins");
  const StatementHandle stmt(raw);
  const std::string user = connection.getAny({"User ID", "UID", "User"}).value_or(std::string());
  const std::string password = connection.getAny({"Password", "PWD"}).value_or(std::string());
  sqlite3_bind_text(raw, 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, password.data(), static_cast<int>(password.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(raw) != SQLITE_ROW) fail(db, "Cannot read the logins");
  if (sqlite3_column_int(raw, 0) > 0 && sqlite3_column_int(raw, 1) == 0)
    throw Error(fmt::format("Login failed for user '{}'.", user));
}

}  // namespace

fs::path SqliteCatalogFile(const fs::path& folder, std::string_view catalog) {
  return folder / (std::string(catalog) + ".sqlite");
}

std::unique_ptr<Session> OpenSqliteSession(const ConnectionString& connection, const std::string& root) {
  const std::string dataSource =
      connection.getAny({"Data Source", "Server", "Address", "Addr", "Network Address"}).value_or(std::string());
  const std::string catalog = connection.getAny({"Initial Catalog", "Database"}).value_or(std::string());
  const fs::path folder = serverFolder(dataSource, root);
  std::error_code ec;
  if (dataSource.empty() || !fs::is_directory(folder, ec))
    throw Error(fmt::format("Server '{}' does not exist or access denied.", dataSource));
  const fs::path file = SqliteCatalogFile(folder, catalog);
  if (catalog.empty() || !fs::is_regular_file(file, ec))
    throw Error(fmt::format("Cannot open database \"{}\" requested by the login. The login failed.", catalog));
  DatabaseHandle db = openFile(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  checkLogin(db.get(), connection);
  return std::make_unique<SqliteSession>(std::move(db));
}

SqliteCatalog::SqliteCatalog(const fs::path& file) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  db_.reset(openFile(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX).release());
  exec(kSchema);
}

SqliteCatalog::~SqliteCatalog() = default;

void SqliteCatalog::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

void SqliteCatalog::exec(std::string_view sql) {
  StatementCursor cursor(db_.get(), sql);
  while (StatementHandle stmt = cursor.next()) runStatement(db_.get(), stmt.get(), nullptr);
}

void SqliteCatalog::defineProcedure(std::string_view name, const std::vector<ParameterSpec>& signature,
                                    std::string_view body) {
  const auto run = [&](const char* sql, auto&& bind) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql, -1, &raw, nullptr) != SQLITE_OK)
      fail(db_.get(), "Cannot define the procedure");
    const StatementHandle stmt(raw);
    bind(raw);
    runStatement(db_.get(), raw, nullptr);
  };
  const auto text = [](sqlite3_stmt* s, int i, std::string_view v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  };
  run("DELETE FROM db_procedures WHERE name = ?1 COLLATE NOCASE", [&](sqlite3_stmt* s) { text(s, 1, name); });
  run("INSERT OR REPLACE INTO db_procedure_bodies(name, body) VALUES(?1, ?2)", [&](sqlite3_stmt* s) {
    text(s, 1, name);
    text(s, 2, body);
  });
  int position = 1;
  for (const auto& p : signature) {
    run("INSERT INTO db_procedures(name, position, param, type, direction) VALUES(?1, ?2, ?3, ?4, ?5)",
        [&](sqlite3_stmt* s) {
          text(s, 1, name);
          sqlite3_bind_int(s, 2, position);
          text(s, 3, p.name);
          text(s, 4, DataTypeName(p.type));
          text(s, 5, DirectionName(p.direction));
        });
    ++position;
  }
}

void SqliteCatalog::addLogin(std::string_view user, std::string_view password) {
  exec("CREATE TABLE IF NOT EXISTS db_logins(user TEXT NOT NULL, password TEXT NOT NULL)");
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_.get(), "INSERT INTO db_logins(user, password) VALUES(?1, ?2)", -1, &raw, nullptr) !=
      SQLITE_OK)
    fail(db_.get(), "Cannot add the login");
  const StatementHandle stmt(raw);
  sqlite3_bind_text(raw, 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, password.data(), static_cast<int>(password.size()), SQLITE_TRANSIENT);
  runStatement(db_.get(), raw, nullptr);
}

}  // namespace db
