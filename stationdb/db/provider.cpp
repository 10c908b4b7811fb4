#include "stationdb/db/provider.h"

#include <fmt/format.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "common/strings.h"
#include "stationdb/db/error.h"
#include "stationdb/db/odbcprovider.h"
#include "stationdb/db/sqliteprovider.h"

namespace db {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, ProviderOpen, std::less<>> added;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

std::optional<ProviderOpen> builtIn(std::string_view name) {
  if (name == "sqlite") return ProviderOpen(&OpenSqliteSession);
  if (name == "odbc") return ProviderOpen(&OpenOdbcSession);
  return std::nullopt;
}

ProviderChoice splitChoice(std::string_view text) {
  const std::string_view trimmed = common::TrimView(text);
  const auto colon = trimmed.find(':');
  if (colon == std::string_view::npos) return {std::string(trimmed), std::string()};
  return {common::Trim(trimmed.substr(0, colon)), std::string(trimmed.substr(colon + 1))};
}

// The environment's entry for a Provider value, if any.
std::optional<ProviderChoice> mappedInEnvironment(std::string_view providerValue) {
  const char* mapping = std::getenv(kProviderMappingVariable);
  if (mapping == nullptr) return std::nullopt;
  std::string_view rest(mapping);
  std::optional<ProviderChoice> found;
  while (!rest.empty()) {
    const auto end = rest.find(';');
    const std::string_view entry = common::TrimView(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (entry.empty()) continue;
    const auto equals = entry.find('=');
    if (equals == std::string_view::npos)
      throw Error(fmt::format("{}: the entry '{}' has no '='", kProviderMappingVariable, entry));
    if (common::SameText(common::TrimView(entry.substr(0, equals)), providerValue))
      found = splitChoice(entry.substr(equals + 1));
  }
  return found;
}

}  // namespace

void RegisterProvider(std::string name, ProviderOpen open) {
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.added[std::move(name)] = std::move(open);
}

void UnregisterProvider(std::string_view name) {
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  if (const auto it = r.added.find(name); it != r.added.end()) r.added.erase(it);
}

ProviderChoice ResolveProvider(std::string_view providerValue) {
  const std::string_view value = common::TrimView(providerValue);
  if (auto choice = mappedInEnvironment(value)) return *choice;
  if (value.empty() || common::SameText(value, "SQLOLEDB.1") || common::SameText(value, "SQLOLEDB") ||
      common::StartsWithText(value, "MSDASQL"))
    return {"odbc", std::string()};
  return {std::string(), std::string()};
}

std::unique_ptr<Session> OpenSession(const ConnectionString& connection) {
  const std::string providerValue = connection.provider();
  const ProviderChoice choice = ResolveProvider(providerValue);
  std::optional<ProviderOpen> open;
  {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    if (const auto it = r.added.find(choice.name); it != r.added.end()) open = it->second;
  }
  if (!open) open = builtIn(choice.name);
  if (!open) {
    if (choice.name.empty())
      throw Error(fmt::format("Provider cannot be found. It may not be properly installed. ('{}')", providerValue));
    throw Error(fmt::format("Provider '{}' is mapped to '{}', which does not exist", providerValue, choice.name));
  }
  return (*open)(connection, choice.argument);
}

}  // namespace db
