#pragma once
// The checks and texts of the database settings dialog, without any widget.

#include <optional>
#include <string>
#include <string_view>

#include "common/message.h"
#include "stationdb/core/dbconfig.h"

namespace stationdb {

inline constexpr std::string_view kDBConfigSection = "Strings_DBConfigDlg";
inline constexpr std::string_view kDialogConfigCatalog = "DAVUREVA_CONFIG";
inline constexpr std::string_view kDialogHistoryCatalog = "DAVUREVA_HISTORY";
inline constexpr std::size_t kMaxSettingLength = 255;

// What one group of the dialog holds (UTF-8 texts).
struct DBGroupFields {
  std::string Server;
  std::string Catalog;
  std::string User;
  std::string Password;
  bool WindowsUser = true;
};

// The message of a key of the dialog's section, a plain box with OK.
common::UserMessage DBConfigMessage(std::string key);
// A status text: the text of prefixKey, the catalog, the text of suffixKey.
common::UserMessage DBConfigStatus(std::string prefixKey, std::string_view catalog, std::string suffixKey);

// The key of the first empty name field (str0 to str3), none when all are filled.
std::optional<std::string> FirstEmptyNameKey(const DBGroupFields& config, const DBGroupFields& history);

// An empty user means Windows log-in without a password.
void NormaliseLogin(DBGroupFields& group);

// The test strings: the configuration one ends without ";", the history one with it.
std::string ConfigTestString(const DBGroupFields& config);
std::string HistoryTestString(const DBGroupFields& history);

// The catalog defaults that showing the dialog puts into empty settings.
void ApplyDialogCatalogDefaults(TDBConnectionSettings& settings);

// A setting cut to what contp.dat holds: 255 bytes of code page 936 (GBK),
// between characters. The text must be one that GBK holds (FitsGbk).
std::string CutSetting(std::string_view text);

// Whether code page 936 holds every character of the text (contp.dat stores
// the settings so; another character would be stored as "?").
bool FitsGbk(std::string_view text);

enum class DBField { Server, Catalog, User, Password };
// The first field of a group with a character outside GBK, none when all fit.
std::optional<DBField> FirstFieldOutsideGbk(const DBGroupFields& group);
// The refusal of such a field: its name as the dialog shows it, then str14.
common::UserMessage OutsideGbkMessage(std::string_view fieldName);

// The ten settings from the two groups and the two tested strings.
TDBConnectionSettings SettingsFromFields(const DBGroupFields& config, const DBGroupFields& history,
                                         std::string_view configString, std::string_view historyString);

}  // namespace stationdb
