#pragma once
// contp.dat: the connection settings of the power-quality databases and the
// logins of each application, stored scrambled.
//
// File layout (little-endian): u32 magic 0x80088008; u32 NOT n (n = payload
// length); the payload with every byte + 1; the payload again with every
// byte - 1 (both mod 256). Payload: the configuration part (server, catalog,
// connection string as stream strings; u32 count; count entries of {u32 app
// id; user; password}), then the history part in the same form. A file is
// valid when the magic matches and the first byte of the first copy minus 1
// equals the first byte of the second copy plus 1, as integers without
// wrap-around (so a first payload byte of 0 or 255 is invalid); no other
// byte is compared.
//
// Texts are code page 936 in the file and UTF-8 in the settings.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stationdb {

inline constexpr std::uint32_t kQuenlorAppId = 3050;  // the program's own entry
inline constexpr std::uint32_t kContpMagic = 0x80088008u;
inline constexpr std::string_view kContpFileName = "contp.dat";

// The ten connection settings, each at most 255 bytes in the file. The third
// text of each group is the connection string that the settings dialog tested.
struct TDBConnectionSettings {
  std::string ConfigServer;
  std::string ConfigCatalog;
  std::string ConfigConnectionString;
  std::string ConfigUser;
  std::string ConfigPassword;
  std::string HistoryServer;
  std::string HistoryCatalog;
  std::string HistoryConnectionString;
  std::string HistoryUser;
  std::string HistoryPassword;
  bool operator==(const TDBConnectionSettings&) const = default;
};

// A user and a password: the configuration entry of an application.
struct TDBLogin {
  std::string User;
  std::string Password;
};

// The settings folder's contp.dat (common::SettingsFolder()).
std::filesystem::path ContpFilePath();

// True when the file is valid and its configuration part holds an entry for
// AppID. A valid file is read as far as it goes: the configuration texts that
// read are taken into settings even when the entry is missing; with the
// entry, Login gets its user and password, the history texts that read are
// taken, and the history part's entry of AppID (when one reads) gives the
// history user and password. A missing or invalid file fills nothing.
bool ReadDBLoginInfo(const std::filesystem::path& file, std::uint32_t AppID, TDBConnectionSettings& settings,
                     TDBLogin& Login);
// The same with the configuration user and password settings as the login
// (what the database menu does).
bool ReadDBLoginInfo(const std::filesystem::path& file, std::uint32_t AppID, TDBConnectionSettings& settings);

// Rewrites the file with the current settings and the login of AppID
// (UpdatedContpPayload): of a valid old file the settings' texts and AppID's
// entries are replaced, the other entries keep their bytes and order, and
// whatever does not read is kept behind the parts; a missing or invalid file
// gives a new one with AppID's entries only (an invalid one is kept beside it
// as contp.dat.bak). The history entry of AppID gets the history user and
// password settings. The new file is written whole under a temporary name and
// renamed over the old one, mode 0600; the folder is created when missing.
// False when nothing could be written (the old file is then as it was).
bool WriteDBLoginInfo(const std::filesystem::path& file, std::uint32_t AppID, const TDBConnectionSettings& settings,
                      const TDBLogin& Login);
bool WriteDBLoginInfo(const std::filesystem::path& file, std::uint32_t AppID, const TDBConnectionSettings& settings);

// The format in parts (texts as stored, code page 936 bytes).
struct ContpEntry {
  std::uint32_t AppID = 0;
  std::string User;
  std::string Password;
  bool operator==(const ContpEntry&) const = default;
};
struct ContpPart {
  std::string Server;
  std::string Catalog;
  std::string ConnectionString;
  std::vector<ContpEntry> Entries;
  bool operator==(const ContpPart&) const = default;
};
struct ContpContent {
  ContpPart Config;
  ContpPart History;
  bool operator==(const ContpContent&) const = default;
};

std::string BuildContpPayload(const ContpContent& content);

// A payload read as far as it goes. Reading stops at the first piece that
// does not read (a text longer than 255 bytes or than the bytes left, a
// missing count, an entry cut short); Content then holds what read whole
// before it, and the history part is empty when the configuration part
// stopped early.
struct ContpReading {
  ContpContent Content;
  int ConfigTexts = 0;   // how many of the configuration part's three texts read
  int HistoryTexts = 0;  // the same for the history part
  bool Whole = false;    // both parts read to their end
  std::size_t Stop = 0;  // where reading stopped: the first byte not read
};
ContpReading ReadContpPayload(std::string_view payload);
// Empty when the payload ends early or a text is longer than 255 bytes.
std::optional<ContpContent> ParseContpPayload(std::string_view payload);

// The payload after writing AppID's settings into old (none: a new file).
// The parts are written with the settings' texts and the entries that read,
// AppID's replaced (or appended, the count one higher) with Login in the
// configuration part and the history user and password in the history part;
// every byte of old from where reading stopped follows unchanged, so nothing
// of another program's is lost even when its part does not read.
std::string UpdatedContpPayload(std::optional<std::string_view> old, std::uint32_t AppID,
                                const TDBConnectionSettings& settings, const TDBLogin& Login);
// The file bytes for a payload.
std::string ScrambleContp(std::string_view payload);
// The payload of a valid file; empty for an invalid one (including one
// shorter than its stated length).
std::optional<std::string> UnscrambleContp(std::string_view file);

}  // namespace stationdb
