#pragma once
// The ODBC provider (provider name "odbc"), over unixODBC: what the program's
// "SQLOLEDB.1" strings reach SQL Server through (FreeTDS by default).
//
// The ADO string is translated: Data Source (also Server, Address) becomes
// Server, with "host,port" split into Server and Port; Initial Catalog
// (Database) becomes Database; User ID and Password become UID and PWD;
// Integrated Security=SSPI becomes Trusted_Connection=Yes; Provider and
// Persist Security Info are dropped; Connect Timeout sets the log-in time-out
// (15 s without it); every other keyword passes unchanged (so Driver= or
// DSN= in a string win over the configured driver).
//
// Values are quoted by ODBC's rules: in braces when they hold ";", braces or
// outer blanks, a closing brace doubled. The PostgreSQL driver (psqlODBC)
// takes braces off only the password and its own option texts: there the
// password is always braced, and a database or user name that needs braces
// goes to libpq in the driver's pqopt option instead (a pqopt of
// QUENLOR_ODBC_OPTIONS would replace it).
//
// The driver is the mapping's argument ("SQLOLEDB.1=odbc:PostgreSQL Unicode"),
// else $QUENLOR_ODBC_DRIVER, else "FreeTDS". $QUENLOR_ODBC_OPTIONS, when set,
// is appended to every translated string as it stands ("TDS_Version=7.4;ClientCharset=GBK").
//
// Stored procedures are called as "{? = call NAME(?, ...)}" when the first
// parameter is the return value, else "{call NAME(?, ...)}", with the
// parameters bound by position in the order of the call. Results that only
// count rows are skipped up to the first row set; outputs are read after
// every result has been drained.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/db/provider.h"

namespace db {

inline constexpr const char* kOdbcDriverVariable = "QUENLOR_ODBC_DRIVER";
inline constexpr const char* kOdbcOptionsVariable = "QUENLOR_ODBC_OPTIONS";
inline constexpr int kDefaultLoginTimeoutSeconds = 15;

std::unique_ptr<Session> OpenOdbcSession(const ConnectionString& connection, const std::string& argument);

// The driver an "odbc" mapping with this argument uses.
std::string OdbcDriverName(const std::string& argument);
// How a driver reads braced values.
enum class BracedValues {
  Everywhere,              // ODBC's rule (FreeTDS and most drivers)
  OnlyPasswordAndOptions,  // the PostgreSQL driver
};
// Whether the driver (an odbcinst.ini name or a library path) is the PostgreSQL driver.
bool IsPostgresDriver(std::string_view driver);

// The ODBC connection string for an ADO one (see above); options are appended as they stand.
std::string OdbcConnectionString(const ConnectionString& connection, std::string_view driver, std::string_view options,
                                 BracedValues braces = BracedValues::Everywhere);
// The log-in time-out in seconds: Connect Timeout (or Connection Timeout), else 15.
int OdbcLoginTimeout(const ConnectionString& connection);
// The call escape for a stored procedure with these parameters.
std::string OdbcCallText(std::string_view procedure, const std::vector<Parameter>& parameters);

}  // namespace db
