#include "stationdb/db/odbcprovider.h"

#include <fmt/format.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>

#include "common/datetime.h"
#include "common/strings.h"
#include "stationdb/db/error.h"

namespace db {
namespace {

// ---- Connection string translation ----

using Keys = std::span<const std::string_view>;

bool isAny(std::string_view keyword, Keys names) {
  for (const auto name : names)
    if (common::SameText(keyword, name)) return true;
  return false;
}

constexpr std::array<std::string_view, 5> kServerKeys = {"Data Source", "Server", "Address", "Addr", "Network Address"};
constexpr std::array<std::string_view, 2> kCatalogKeys = {"Initial Catalog", "Database"};
constexpr std::array<std::string_view, 3> kUserKeys = {"User ID", "UID", "User"};
constexpr std::array<std::string_view, 2> kPasswordKeys = {"Password", "PWD"};
constexpr std::array<std::string_view, 2> kTimeoutKeys = {"Connect Timeout", "Connection Timeout"};
constexpr std::array<std::string_view, 3> kDroppedKeys = {"Provider", "Persist Security Info", "Integrated Security"};

// Whether a value must be braced in ODBC's grammar: it holds ";", braces or outer blanks.
bool needsBraces(std::string_view value) {
  return value.find_first_of(";{}") != std::string_view::npos ||
         (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

// A value in braces, a closing brace doubled.
std::string braced(std::string_view value) {
  std::string out = "{";
  for (const char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

// A value in ODBC's grammar: braced where it must be.
std::string odbcValue(std::string_view value) { return needsBraces(value) ? braced(value) : std::string(value); }

void append(std::string& out, std::string_view keyword, std::string_view value) {
  out += fmt::format("{}={};", keyword, odbcValue(value));
}

// A value of a libpq option text: in single quotes, backslashes and quotes escaped.
std::string libpqValue(std::string_view value) {
  std::string quoted = "'";
  for (const char c : value) {
    if (c == '\\' || c == '\'') quoted += '\\';
    quoted += c;
  }
  return quoted + "'";
}

bool handledKey(std::string_view keyword) {
  for (const Keys keys : {Keys(kServerKeys), Keys(kCatalogKeys), Keys(kUserKeys), Keys(kPasswordKeys),
                          Keys(kTimeoutKeys), Keys(kDroppedKeys)})
    if (isAny(keyword, keys)) return true;
  return false;
}

bool isIntegrated(const ConnectionString& connection) {
  const std::string value = common::Trim(connection.get("Integrated Security").value_or(std::string()));
  return common::SameText(value, "SSPI") || common::SameText(value, "true") || common::SameText(value, "yes");
}

void appendServer(std::string& out, std::string server) {
  if (common::StartsWithText(server, "tcp:")) server.erase(0, 4);
  const auto comma = server.find(',');
  if (comma == std::string::npos) {
    append(out, "Server", server);
    return;
  }
  append(out, "Server", common::Trim(server.substr(0, comma)));
  append(out, "Port", common::Trim(server.substr(comma + 1)));
}

// ---- Handles ----

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
      throw Error("The ODBC driver manager could not allocate a handle");
    }
  }
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

std::string diagnostics(const Handle& handle, std::string_view fallback) {
  std::string text;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLGetDiagRec(handle.type(), handle.get(), record, state, &native, message, sizeof message, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    const std::string line = reinterpret_cast<const char*>(message);
    if (text.find(line) != std::string::npos) continue;  // drivers repeat themselves
    if (!text.empty()) text += "; ";
    text += line;
  }
  return text.empty() ? std::string(fallback) : text;
}

void check(SQLRETURN rc, const Handle& handle, std::string_view what) {
  if (!SQL_SUCCEEDED(rc)) throw Error(diagnostics(handle, what));
}

// One environment for the process, freed with the last session.
std::shared_ptr<Handle> environment() {
  static std::mutex mutex;
  static std::weak_ptr<Handle> shared;
  const std::lock_guard lock(mutex);
  if (auto env = shared.lock()) return env;
  auto env = std::make_shared<Handle>(SQL_HANDLE_ENV, static_cast<SQLHANDLE>(SQL_NULL_HANDLE));
  check(SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), *env,
        "The ODBC driver manager refused version 3");
  shared = env;
  return env;
}

// ---- Values ----

SQL_TIMESTAMP_STRUCT toTimestamp(common::TDateTime value) {
  const common::DateTimeParts p = common::DecodeDateTime(value);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(p.year);
  ts.month = static_cast<SQLUSMALLINT>(p.month);
  ts.day = static_cast<SQLUSMALLINT>(p.day);
  ts.hour = static_cast<SQLUSMALLINT>(p.hour);
  ts.minute = static_cast<SQLUSMALLINT>(p.minute);
  ts.second = static_cast<SQLUSMALLINT>(p.second);
  ts.fraction = static_cast<SQLUINTEGER>(p.millisecond) * 1000000u;
  return ts;
}

Value fromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
  common::DateTimeParts p;
  p.year = ts.year;
  p.month = ts.month;
  p.day = ts.day;
  p.hour = ts.hour;
  p.minute = ts.minute;
  p.second = ts.second;
  p.millisecond = static_cast<int>(ts.fraction / 1000000u);
  const auto encoded = common::EncodeDateTime(p);
  if (!encoded) throw Error(fmt::format("The server gave an invalid date-time {}-{}-{}", ts.year, ts.month, ts.day));
  return Value::dateTime(*encoded);
}

// A bound parameter's buffer; it must stay put until the results are drained.
struct BoundParameter {
  std::vector<unsigned char> data;
  SQLLEN indicator = 0;
};

template <typename T>
void store(BoundParameter& bound, const T& value) {
  bound.data.resize(sizeof(T));
  std::memcpy(bound.data.data(), &value, sizeof(T));
  bound.indicator = sizeof(T);
}

template <typename T>
T load(const BoundParameter& bound) {
  T value{};
  std::memcpy(&value, bound.data.data(), std::min(sizeof(T), bound.data.size()));
  return value;
}

struct SqlTypes {
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
};

SqlTypes typesOf(DataType type) {
  switch (type) {
    case DataType::Integer:
      return {SQL_C_SLONG, SQL_INTEGER};
    case DataType::BigInt:
      return {SQL_C_SBIGINT, SQL_BIGINT};
    case DataType::Boolean:
      return {SQL_C_BIT, SQL_BIT};
    case DataType::Double:
      return {SQL_C_DOUBLE, SQL_DOUBLE};
    case DataType::DateTime:
      return {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP};
    case DataType::Text:
      return {SQL_C_CHAR, SQL_VARCHAR};
    case DataType::Binary:
      return {SQL_C_BINARY, SQL_LONGVARBINARY};
  }
  return {SQL_C_CHAR, SQL_VARCHAR};
}

SQLSMALLINT ioTypeOf(Direction direction) {
  switch (direction) {
    case Direction::Input:
      return SQL_PARAM_INPUT;
    case Direction::InputOutput:
      return SQL_PARAM_INPUT_OUTPUT;
    case Direction::Output:
    case Direction::ReturnValue:
      return SQL_PARAM_OUTPUT;
  }
  return SQL_PARAM_INPUT;
}

constexpr std::size_t kOutputTextSize = 8000;

void fillInput(BoundParameter& bound, const Parameter& p) {
  const bool hasInput = p.direction == Direction::Input || p.direction == Direction::InputOutput;
  if (hasInput && !p.value.isNull()) {
    switch (p.type) {
      case DataType::Integer:
        store(bound, static_cast<SQLINTEGER>(p.value.asInt32()));
        break;
      case DataType::BigInt:
        store(bound, static_cast<SQLBIGINT>(p.value.asInt64()));
        break;
      case DataType::Boolean:
        store(bound, static_cast<unsigned char>(p.value.asBool() ? 1 : 0));
        break;
      case DataType::Double:
        store(bound, p.value.asDouble());
        break;
      case DataType::DateTime:
        store(bound, toTimestamp(p.value.asDateTime()));
        break;
      case DataType::Text: {
        const std::string text = p.value.asText();
        bound.data.assign(text.begin(), text.end());
        bound.indicator = static_cast<SQLLEN>(text.size());
        break;
      }
      case DataType::Binary: {
        const Bytes bytes = p.value.asBytes();
        bound.data.assign(bytes.begin(), bytes.end());
        bound.indicator = static_cast<SQLLEN>(bytes.size());
        break;
      }
    }
  } else {
    bound.indicator = SQL_NULL_DATA;
  }
  // Room for what an output may bring back.
  if (p.direction != Direction::Input) {
    const std::size_t room = p.type == DataType::Text || p.type == DataType::Binary
                                 ? (p.size > 0 ? static_cast<std::size_t>(p.size) + 1 : kOutputTextSize)
                                 : sizeof(SQL_TIMESTAMP_STRUCT);
    if (bound.data.size() < room) bound.data.resize(room);
  }
  if (bound.data.empty()) bound.data.resize(1);
}

void bindParameter(const Handle& stmt, SQLUSMALLINT position, const Parameter& p, BoundParameter& bound) {
  fillInput(bound, p);
  const SqlTypes types = typesOf(p.type);
  SQLULEN columnSize = 0;
  SQLSMALLINT digits = 0;
  if (p.type == DataType::Text || p.type == DataType::Binary)
    columnSize = p.size > 0 ? static_cast<SQLULEN>(p.size)
                            : std::max<SQLULEN>(1, bound.indicator > 0 ? static_cast<SQLULEN>(bound.indicator) : 1);
  if (p.type == DataType::DateTime) {
    columnSize = 23;
    digits = 3;
  }
  check(SQLBindParameter(stmt.get(), position, ioTypeOf(p.direction), types.cType, types.sqlType, columnSize, digits,
                         bound.data.data(), static_cast<SQLLEN>(bound.data.size()), &bound.indicator),
        stmt, fmt::format("Cannot pass parameter {}", p.name));
}

Value readOutput(const BoundParameter& bound, DataType type) {
  if (bound.indicator == SQL_NULL_DATA) return Value();
  switch (type) {
    case DataType::Integer:
      return Value::integer(load<SQLINTEGER>(bound));
    case DataType::BigInt:
      return Value::integer(load<SQLBIGINT>(bound));
    case DataType::Boolean:
      return Value::boolean(load<unsigned char>(bound) != 0);
    case DataType::Double:
      return Value::real(load<double>(bound));
    case DataType::DateTime:
      return fromTimestamp(load<SQL_TIMESTAMP_STRUCT>(bound));
    case DataType::Text:
    case DataType::Binary: {
      const auto length = std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLLEN>(bound.indicator, 0)),
                                                bound.data.size() - (type == DataType::Text ? 1 : 0));
      if (type == DataType::Text)
        return Value::text(std::string(bound.data.begin(), bound.data.begin() + static_cast<std::ptrdiff_t>(length)));
      return Value::bytes(Bytes(bound.data.begin(), bound.data.begin() + static_cast<std::ptrdiff_t>(length)));
    }
  }
  return Value();
}

// ---- Result sets ----

enum class ColumnKind { Integer, Boolean, Double, DateTime, Binary, Text };

ColumnKind kindOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
      return ColumnKind::Integer;
    case SQL_BIT:
      return ColumnKind::Boolean;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ColumnKind::Double;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:
      return ColumnKind::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return ColumnKind::Binary;
    default:
      return ColumnKind::Text;
  }
}

// Reads a long value in pieces.
std::optional<std::string> readLong(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT cType) {
  const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
  std::string value;
  std::vector<char> buffer(65536);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        SQLGetData(stmt.get(), column, cType, buffer.data(), static_cast<SQLLEN>(buffer.size()), &indicator);
    if (rc == SQL_NO_DATA) return value;
    check(rc, stmt, "Cannot read a field");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const std::size_t room = buffer.size() - terminator;
    const bool more = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
    value.append(buffer.data(), more ? room : static_cast<std::size_t>(indicator));
    if (!more) return value;
  }
}

template <typename T>
std::optional<T> readFixed(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT cType) {
  T value{};
  SQLLEN indicator = 0;
  check(SQLGetData(stmt.get(), column, cType, &value, sizeof value, &indicator), stmt, "Cannot read a field");
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

Value readField(const Handle& stmt, SQLUSMALLINT column, ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Integer: {
      const auto v = readFixed<SQLBIGINT>(stmt, column, SQL_C_SBIGINT);
      return v ? Value::integer(*v) : Value();
    }
    case ColumnKind::Boolean: {
      const auto v = readFixed<unsigned char>(stmt, column, SQL_C_BIT);
      return v ? Value::boolean(*v != 0) : Value();
    }
    case ColumnKind::Double: {
      const auto v = readFixed<double>(stmt, column, SQL_C_DOUBLE);
      return v ? Value::real(*v) : Value();
    }
    case ColumnKind::DateTime: {
      const auto v = readFixed<SQL_TIMESTAMP_STRUCT>(stmt, column, SQL_C_TYPE_TIMESTAMP);
      return v ? fromTimestamp(*v) : Value();
    }
    case ColumnKind::Binary: {
      const auto v = readLong(stmt, column, SQL_C_BINARY);
      return v ? Value::bytes(Bytes(v->begin(), v->end())) : Value();
    }
    case ColumnKind::Text: {
      auto v = readLong(stmt, column, SQL_C_CHAR);
      return v ? Value::text(std::move(*v)) : Value();
    }
  }
  return Value();
}

RowSet readRows(const Handle& stmt, SQLSMALLINT columns) {
  RowSet rows;
  std::vector<ColumnKind> kinds;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    check(SQLDescribeCol(stmt.get(), c, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable), stmt,
          "Cannot describe a column");
    rows.columns.emplace_back(reinterpret_cast<const char*>(name));
    kinds.push_back(kindOf(sqlType));
  }
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) return rows;
    check(rc, stmt, "Cannot fetch a row");
    std::vector<Value> row;
    row.reserve(kinds.size());
    for (std::size_t c = 0; c < kinds.size(); ++c)
      row.push_back(readField(stmt, static_cast<SQLUSMALLINT>(c + 1), kinds[c]));
    rows.rows.push_back(std::move(row));
  }
}

// Reads the first row set and drains every result after it.
CommandResult drainResults(const Handle& stmt) {
  CommandResult result;
  for (;;) {
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(stmt.get(), &columns), stmt, "Cannot read the result");
    if (columns > 0 && !result.rows) result.rows = readRows(stmt, columns);
    const SQLRETURN rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) return result;
    check(rc, stmt, "Cannot read the next result");
  }
}

class OdbcSession : public Session {
 public:
  OdbcSession(std::shared_ptr<Handle> env, const std::string& connectionText, int loginTimeout)
      : env_(std::move(env)), dbc_(SQL_HANDLE_DBC, env_->get()) {
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(loginTimeout, 0))), 0);
    std::vector<SQLCHAR> text(connectionText.begin(), connectionText.end());
    text.push_back(0);
    SQLSMALLINT outLength = 0;
    check(SQLDriverConnect(dbc_.get(), nullptr, text.data(), SQL_NTS, nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT),
          dbc_, "The server does not answer");
    connected_ = true;
  }
  ~OdbcSession() override {
    if (connected_) SQLDisconnect(dbc_.get());
  }

  CommandResult execute(CommandRequest& request) override {
    const Handle stmt(SQL_HANDLE_STMT, dbc_.get());
    if (request.type == CommandType::Text) return run(stmt, request.text);
    if (request.parameters == nullptr) throw Error("No parameter list");
    std::vector<Parameter>& params = *request.parameters;
    std::vector<BoundParameter> bound(params.size());
    for (std::size_t i = 0; i < params.size(); ++i)
      bindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), params[i], bound[i]);
    CommandResult result = run(stmt, OdbcCallText(request.text, params));
    for (std::size_t i = 0; i < params.size(); ++i)
      if (params[i].direction != Direction::Input) params[i].value = readOutput(bound[i], params[i].type);
    return result;
  }

 private:
  static CommandResult run(const Handle& stmt, const std::string& sql) {
    std::vector<SQLCHAR> text(sql.begin(), sql.end());
    text.push_back(0);
    const SQLRETURN rc = SQLExecDirect(stmt.get(), text.data(), SQL_NTS);
    if (rc == SQL_NO_DATA) return {};
    check(rc, stmt, "The command failed");
    return drainResults(stmt);
  }

  std::shared_ptr<Handle> env_;
  Handle dbc_;
  bool connected_ = false;
};

}  // namespace

std::string OdbcDriverName(const std::string& argument) {
  if (!common::TrimView(argument).empty()) return common::Trim(argument);
  const char* driver = std::getenv(kOdbcDriverVariable);
  if (driver != nullptr && *driver != '\0') return driver;
  return "FreeTDS";
}

bool IsPostgresDriver(std::string_view driver) {
  std::string library(driver);
  char path[4096] = {};
  const std::string section(driver);
  if (SQLGetPrivateProfileString(section.c_str(), "Driver", "", path, sizeof path, "ODBCINST.INI") > 0 &&
      path[0] != '\0')
    library = path;
  const std::string file = std::filesystem::path(library).filename().string();
  return common::StartsWithText(file, "psqlodbc");
}

std::string OdbcConnectionString(const ConnectionString& connection, std::string_view driver,
                                 std::string_view options, BracedValues braces) {
  const bool postgres = braces == BracedValues::OnlyPasswordAndOptions;
  std::string out;
  // Names the PostgreSQL driver would take with their braces go to libpq itself.
  std::string libpqOptions;
  const auto appendName = [&](std::string_view keyword, std::string_view libpqKeyword, std::string_view value) {
    if (!postgres || !needsBraces(value)) {
      append(out, keyword, value);
      return;
    }
    if (!libpqOptions.empty()) libpqOptions += ' ';
    libpqOptions += fmt::format("{}={}", libpqKeyword, libpqValue(value));
  };
  if (!connection.get("Driver") && !connection.get("DSN")) append(out, "Driver", driver);
  if (auto server = connection.getAny(kServerKeys)) appendServer(out, *server);
  if (auto catalog = connection.getAny(kCatalogKeys)) appendName("Database", "dbname", *catalog);
  if (isIntegrated(connection)) {
    append(out, "Trusted_Connection", "Yes");
  } else {
    if (auto user = connection.getAny(kUserKeys)) appendName("UID", "user", *user);
    // The PostgreSQL driver decodes an unbraced password ("+" is a blank, "%41" is "A").
    if (auto password = connection.getAny(kPasswordKeys))
      out += fmt::format("PWD={};", postgres ? braced(*password) : odbcValue(*password));
  }
  if (!libpqOptions.empty()) out += fmt::format("pqopt={};", braced(libpqOptions));
  std::vector<std::string> passed;
  for (const auto& pair : connection.pairs()) {
    if (handledKey(pair.keyword)) continue;
    bool seen = false;
    for (const auto& k : passed) seen = seen || common::SameText(k, pair.keyword);
    if (seen) continue;
    passed.push_back(pair.keyword);
    const std::string value = *connection.get(pair.keyword);
    // A value braced in ODBC's own way ("Driver={ODBC Driver 18}") goes as it is.
    if (value.size() >= 2 && value.front() == '{' && value.back() == '}')
      out += fmt::format("{}={};", pair.keyword, value);
    else
      append(out, pair.keyword, value);
  }
  out += options;
  return out;
}

int OdbcLoginTimeout(const ConnectionString& connection) {
  const auto text = connection.getAny(kTimeoutKeys);
  std::int32_t seconds = 0;
  if (text && common::TryStrToInt(*text, seconds) && seconds >= 0) return seconds;
  return kDefaultLoginTimeoutSeconds;
}

std::string OdbcCallText(std::string_view procedure, const std::vector<Parameter>& parameters) {
  const bool returns = !parameters.empty() && parameters.front().direction == Direction::ReturnValue;
  const std::size_t marks = parameters.size() - (returns ? 1 : 0);
  std::string list;
  for (std::size_t i = 0; i < marks; ++i) list += i == 0 ? "?" : ",?";
  return fmt::format("{{{}call {}{}}}", returns ? "? = " : "", procedure, marks > 0 ? "(" + list + ")" : "");
}

std::unique_ptr<Session> OpenOdbcSession(const ConnectionString& connection, const std::string& argument) {
  const char* options = std::getenv(kOdbcOptionsVariable);
  const std::string driver = OdbcDriverName(argument);
  const BracedValues braces =
      IsPostgresDriver(driver) ? BracedValues::OnlyPasswordAndOptions : BracedValues::Everywhere;
  const std::string text = OdbcConnectionString(connection, driver, options != nullptr ? options : "", braces);
  return std::make_unique<OdbcSession>(environment(), text, OdbcLoginTimeout(connection));
}

}  // namespace db
