#pragma once
// Providers: what carries a db::Connection's commands to a database.
//
// A connection string's Provider keyword picks the provider through a
// mapping: built in, "SQLOLEDB.1", "SQLOLEDB" and "MSDASQL" (and a string
// without Provider) go to "odbc". The environment variable
// QUENLOR_DB_PROVIDERS adds to it or overrides it, read at every open:
//
//   QUENLOR_DB_PROVIDERS="SQLOLEDB.1=sqlite:/srv/standin;Other=odbc:PostgreSQL Unicode"
//
// Each entry is "<Provider value>=<provider name>[:<argument>]"; the argument
// goes to the provider ("sqlite": the folder that Data Source names are taken
// in; "odbc": the driver). Provider values compare case-insensitively. The
// connection strings themselves stay exactly as the program builds them.
//
// Row sets are read whole: a provider hands back every row of a command's
// first row set at once.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/db/connectionstring.h"
#include "stationdb/db/value.h"

namespace db {

enum class CommandType { Text, StoredProc };

// One parameter of a stored-procedure call, in the order of the call.
struct Parameter {
  std::string name;  // with its "@"
  DataType type = DataType::Integer;
  Direction direction = Direction::Input;
  int size = 0;  // texts and binaries; 0 when it does not matter
  Value value;   // the input; after execution, outputs and the return value
};

// The rows of one result, read whole.
struct RowSet {
  std::vector<std::string> columns;
  std::vector<std::vector<Value>> rows;
};

// One command as a Dataset or StoredProc sends it.
struct CommandRequest {
  CommandType type = CommandType::Text;
  std::string text;                    // SQL text, or the procedure name
  std::vector<Parameter>* parameters;  // stored procedures: ordered; outputs are written back here
  // How long the caller waits for the answer; 0: no limit.
  std::chrono::milliseconds timeout{0};
};

// The first row set of a command, or nothing when it returned none.
struct CommandResult {
  std::optional<RowSet> rows;
};

// One open link to a database. Closing is destroying it.
class Session {
 public:
  virtual ~Session() = default;
  // Raises db::Error on any failure of the command.
  virtual CommandResult execute(CommandRequest& request) = 0;
};

// Opens a session for a connection string; raises db::Error when the database
// cannot be reached. The argument is the mapping's text after ":" (may be empty).
using ProviderOpen =
    std::function<std::unique_ptr<Session>(const ConnectionString& connection, const std::string& argument)>;

// The environment variable with the Provider mapping.
inline constexpr const char* kProviderMappingVariable = "QUENLOR_DB_PROVIDERS";

// Registers (or replaces) a provider under a name; "sqlite" and "odbc" are
// built in. Tests register fakes.
void RegisterProvider(std::string name, ProviderOpen open);
// Removes a provider registered by RegisterProvider (built-ins come back).
void UnregisterProvider(std::string_view name);

struct ProviderChoice {
  std::string name;
  std::string argument;
};
// Which provider a Provider value maps to; raises db::Error for a mapping
// entry without "=" (it names the variable).
ProviderChoice ResolveProvider(std::string_view providerValue);

// Opens a session for the connection string with the provider its Provider
// value maps to. Raises db::Error when the mapping names no registered
// provider, or when the provider fails.
std::unique_ptr<Session> OpenSession(const ConnectionString& connection);

}  // namespace db
