#pragma once
// A demo catalog for each record source of quenlor, in SQLite files that the
// SQLite stand-in serves: stations with channels and meters, users with
// rights and log-in rules, and stored waveform records.

#include <filesystem>
#include <string>

namespace demo {

// The users both catalogs hold (names and passwords).
inline constexpr const char* kAdminUser = "admin";
inline constexpr const char* kAdminPassword = "admin";
inline constexpr const char* kOperatorUser = "operator";
inline constexpr const char* kOperatorPassword = "1234";
// A user whose log-in period is over: the power-quality database refuses him.
inline constexpr const char* kExpiredUser = "guest";
inline constexpr const char* kExpiredPassword = "guest";

// Where the files of a demo go below its folder, and the environment that
// points quenlor at them.
struct DemoFolders {
  std::filesystem::path servers;       // one folder per database server: QUENLOR_DB_PROVIDERS
  std::filesystem::path velklog2Home;  // dbconn.cfg of the automation system: VELKLOG2_HOME
  std::filesystem::path settings;      // contp.dat of the power-quality database: QUENLOR_SETTINGS_DIR
  // The value of QUENLOR_DB_PROVIDERS.
  std::string providerMapping() const;
};

DemoFolders DemoFoldersIn(const std::filesystem::path& folder);

// Writes both catalogs, dbconn.cfg and contp.dat below folder (replacing an
// earlier demo there), and davureva.ini, which names the power-quality
// channels, into kindsFolder when it holds none. Raises on failure.
DemoFolders WriteDemoCatalogs(const std::filesystem::path& folder, const std::filesystem::path& kindsFolder);

}  // namespace demo
