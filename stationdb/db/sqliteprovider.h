#pragma once
// The SQLite stand-in for the station's SQL Server databases, used by the
// tests and the demo (provider name "sqlite").
//
// A connection's Data Source is a folder (taken in the mapping's argument
// folder when it is relative and an argument is given) and its Initial
// Catalog a database file "<catalog>.sqlite" in it. A missing folder is a
// server that does not answer; a missing file a catalog that cannot be
// opened. Nothing is ever created by opening.
//
// When a catalog has a non-empty table db_logins(user TEXT, password TEXT),
// a log-in with User ID must match one of its rows; Integrated Security is
// always let in.
//
// Stored procedures live in the catalog:
//   db_procedures(name TEXT, position INTEGER, param TEXT, type TEXT, direction TEXT)
//       the signature, one row per parameter in call order (position 1, 2, ...);
//       type and direction are DataTypeName / DirectionName texts;
//   db_procedure_bodies(name TEXT PRIMARY KEY, body TEXT)
//       SQL statements run in order, with the parameters bound by name (@name).
// A call whose parameter names, order, types or directions differ from the
// signature is refused with a db::Error. A statement whose result columns
// are all named after output or return-value parameters sets them from its
// first row; the first other statement that returns columns gives the row
// set. Date-times are stored as "yyyy-mm-dd hh:nn:ss.zzz" texts.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/db/provider.h"
#include "stationdb/db/value.h"

struct sqlite3;

namespace db {

std::unique_ptr<Session> OpenSqliteSession(const ConnectionString& connection, const std::string& root);

// "<folder>/<catalog>.sqlite".
std::filesystem::path SqliteCatalogFile(const std::filesystem::path& folder, std::string_view catalog);

// Builds stand-in catalogs for tests and the demo.
class SqliteCatalog {
 public:
  struct ParameterSpec {
    std::string name;
    DataType type = DataType::Integer;
    Direction direction = Direction::Input;
  };

  // Opens the file, creating it (and its folder) when missing, with the
  // procedure tables. Raises db::Error.
  explicit SqliteCatalog(const std::filesystem::path& file);
  ~SqliteCatalog();
  SqliteCatalog(const SqliteCatalog&) = delete;
  SqliteCatalog& operator=(const SqliteCatalog&) = delete;

  // Runs SQL statements (no results).
  void exec(std::string_view sql);
  // Defines or replaces a stored procedure.
  void defineProcedure(std::string_view name, const std::vector<ParameterSpec>& signature, std::string_view body);
  void addLogin(std::string_view user, std::string_view password);

 private:
  struct Closer {
    void operator()(sqlite3* db) const;
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace db
