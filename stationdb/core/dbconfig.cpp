#include "stationdb/core/dbconfig.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "common/gbk.h"
#include "common/paths.h"
#include "stationdb/core/memorystream.h"
#include "stationdb/core/normalfunction.h"

namespace stationdb {
namespace fs = std::filesystem;
namespace {

constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

std::uint32_t readWord(std::string_view bytes, std::size_t offset) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeWord(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A settings text as stored: code page 936, cut to 255 bytes between characters.
std::string storedText(std::string_view utf8) {
  const std::string gbk = common::Utf8ToGbk(utf8);
  std::size_t end = 0;
  while (end < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[end]);
    const std::size_t step = lead >= 0x81 && lead <= 0xFE && end + 1 < gbk.size() ? 2 : 1;
    if (end + step > kMaxStreamStringLength) break;
    end += step;
  }
  return gbk.substr(0, end);
}

// Reads one part as far as it goes: its texts one by one (textsRead counts
// them), the count and the entries in order. False when the part stops early;
// the stream is then at the start of the piece that did not read, so that
// everything from there on can be kept as it is.
bool readPart(MemoryStream& stream, ContpPart& part, int& textsRead) {
  for (std::string* text : {&part.Server, &part.Catalog, &part.ConnectionString}) {
    const std::size_t start = stream.position();
    if (!ReadStreamString(&stream, *text)) {
      stream.setPosition(start);
      return false;
    }
    ++textsRead;
  }
  std::uint32_t count = 0;
  if (!stream.readU32(count)) return false;
  // Each entry takes at least 12 bytes, so a count beyond the bytes left ends
  // at the first entry that does not read.
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t start = stream.position();
    ContpEntry entry;
    if (!stream.readU32(entry.AppID) || !ReadStreamString(&stream, entry.User) ||
        !ReadStreamString(&stream, entry.Password)) {
      stream.setPosition(start);
      return false;
    }
    part.Entries.push_back(std::move(entry));
  }
  return true;
}

void writePart(MemoryStream& stream, const ContpPart& part) {
  WriteStreamString(&stream, part.Server);
  WriteStreamString(&stream, part.Catalog);
  WriteStreamString(&stream, part.ConnectionString);
  stream.writeU32(static_cast<std::uint32_t>(part.Entries.size()));
  for (const auto& entry : part.Entries) {
    stream.writeU32(entry.AppID);
    WriteStreamString(&stream, entry.User);
    WriteStreamString(&stream, entry.Password);
  }
}

// The new part: the settings' three texts, the old entries in their order
// with AppID's replaced, or appended when it had none.
ContpPart mergedPart(std::string_view server, std::string_view catalog, std::string_view connectionString,
                     std::vector<ContpEntry> entries, std::uint32_t appId, const TDBLogin& login) {
  ContpPart part{storedText(server), storedText(catalog), storedText(connectionString), std::move(entries)};
  const ContpEntry own{appId, storedText(login.User), storedText(login.Password)};
  bool replaced = false;
  for (auto& entry : part.Entries)
    if (entry.AppID == appId) {
      entry = own;
      replaced = true;
    }
  if (!replaced) part.Entries.push_back(own);
  return part;
}

std::optional<std::string> readPayload(const fs::path& file) {
  const auto bytes = common::ReadWholeFile(file);
  if (!bytes) return std::nullopt;
  return UnscrambleContp(*bytes);
}

// The texts of a part that were read, into the settings; the others stay.
void takeTexts(const ContpPart& part, int textsRead, std::string& server, std::string& catalog,
               std::string& connectionString) {
  if (textsRead > 0) server = common::GbkToUtf8(part.Server);
  if (textsRead > 1) catalog = common::GbkToUtf8(part.Catalog);
  if (textsRead > 2) connectionString = common::GbkToUtf8(part.ConnectionString);
}

const ContpEntry* findEntry(const ContpPart& part, std::uint32_t appId) {
  const ContpEntry* found = nullptr;
  for (const auto& entry : part.Entries)
    if (entry.AppID == appId) found = &entry;  // the last one counts, as when reading in order
  return found;
}

}  // namespace

fs::path ContpFilePath() { return common::SettingsFolder() / kContpFileName; }

std::string BuildContpPayload(const ContpContent& content) {
  MemoryStream stream;
  writePart(stream, content.Config);
  writePart(stream, content.History);
  return std::string(stream.bytes().begin(), stream.bytes().end());
}

ContpReading ReadContpPayload(std::string_view payload) {
  MemoryStream stream(std::vector<std::uint8_t>(payload.begin(), payload.end()));
  ContpReading reading;
  reading.Whole = readPart(stream, reading.Content.Config, reading.ConfigTexts) &&
                  readPart(stream, reading.Content.History, reading.HistoryTexts);
  reading.Stop = std::min(stream.position(), payload.size());
  return reading;
}

std::optional<ContpContent> ParseContpPayload(std::string_view payload) {
  ContpReading reading = ReadContpPayload(payload);
  if (!reading.Whole) return std::nullopt;
  return std::move(reading.Content);
}

std::string UpdatedContpPayload(std::optional<std::string_view> old, std::uint32_t AppID,
                                const TDBConnectionSettings& settings, const TDBLogin& Login) {
  const ContpReading reading = old ? ReadContpPayload(*old) : ContpReading();
  ContpContent next;
  next.Config = mergedPart(settings.ConfigServer, settings.ConfigCatalog, settings.ConfigConnectionString,
                           reading.Content.Config.Entries, AppID, Login);
  next.History = mergedPart(settings.HistoryServer, settings.HistoryCatalog, settings.HistoryConnectionString,
                            reading.Content.History.Entries, AppID,
                            TDBLogin{settings.HistoryUser, settings.HistoryPassword});
  std::string payload = BuildContpPayload(next);
  // What did not read (a broken part, bytes after the history part) stays, unchanged, behind the parts.
  if (old) payload += old->substr(reading.Stop);
  return payload;
}

std::string ScrambleContp(std::string_view payload) {
  std::string out;
  out.reserve(8 + 2 * payload.size());
  writeWord(out, kContpMagic);
  writeWord(out, ~static_cast<std::uint32_t>(payload.size()));
  for (const char c : payload) out += static_cast<char>(static_cast<unsigned char>(c) + 1);
  for (const char c : payload) out += static_cast<char>(static_cast<unsigned char>(c) - 1);
  return out;
}

std::optional<std::string> UnscrambleContp(std::string_view file) {
  if (file.size() < 8 || readWord(file, 0) != kContpMagic) return std::nullopt;
  const std::uint64_t n = ~readWord(file, 4);
  if (file.size() < 8 + 2 * n) return std::nullopt;
  if (n > 0) {
    const int first = static_cast<unsigned char>(file[8]);
    const int second = static_cast<unsigned char>(file[8 + n]);
    if (first - 1 != second + 1) return std::nullopt;
  }
  MemoryStream copy(std::vector<std::uint8_t>(file.begin() + 8, file.begin() + 8 + static_cast<std::ptrdiff_t>(n)));
  DecStreamBytes(copy);
  return std::string(copy.bytes().begin(), copy.bytes().end());
}

bool ReadDBLoginInfo(const fs::path& file, std::uint32_t AppID, TDBConnectionSettings& settings, TDBLogin& Login) {
  const auto payload = readPayload(file);
  if (!payload) return false;
  const ContpReading reading = ReadContpPayload(*payload);
  const ContpPart& config = reading.Content.Config;
  takeTexts(config, reading.ConfigTexts, settings.ConfigServer, settings.ConfigCatalog,
            settings.ConfigConnectionString);
  const ContpEntry* entry = findEntry(config, AppID);
  if (entry == nullptr) return false;
  Login.User = common::GbkToUtf8(entry->User);
  Login.Password = common::GbkToUtf8(entry->Password);
  const ContpPart& history = reading.Content.History;
  takeTexts(history, reading.HistoryTexts, settings.HistoryServer, settings.HistoryCatalog,
            settings.HistoryConnectionString);
  if (const ContpEntry* historyEntry = findEntry(history, AppID)) {
    settings.HistoryUser = common::GbkToUtf8(historyEntry->User);
    settings.HistoryPassword = common::GbkToUtf8(historyEntry->Password);
  }
  return true;
}

bool ReadDBLoginInfo(const fs::path& file, std::uint32_t AppID, TDBConnectionSettings& settings) {
  TDBLogin login{settings.ConfigUser, settings.ConfigPassword};
  const bool found = ReadDBLoginInfo(file, AppID, settings, login);
  settings.ConfigUser = login.User;
  settings.ConfigPassword = login.Password;
  return found;
}

bool WriteDBLoginInfo(const fs::path& file, std::uint32_t AppID, const TDBConnectionSettings& settings,
                      const TDBLogin& Login) {
  std::error_code ec;
  std::optional<std::string> old;
  if (fs::exists(file, ec)) {
    const auto bytes = common::ReadWholeFile(file);
    if (!bytes) return false;
    old = UnscrambleContp(*bytes);
    // An invalid file may still hold what another program needs: keep it aside.
    if (!old) {
      fs::path backup = file;
      backup += ".bak";
      if (!common::WriteFileAtomic(backup, *bytes, kOwnerOnly)) return false;
    }
  }
  const std::string payload =
      UpdatedContpPayload(old ? std::optional<std::string_view>(*old) : std::nullopt, AppID, settings, Login);
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  return common::WriteFileAtomic(file, ScrambleContp(payload), kOwnerOnly);
}

bool WriteDBLoginInfo(const fs::path& file, std::uint32_t AppID, const TDBConnectionSettings& settings) {
  return WriteDBLoginInfo(file, AppID, settings, TDBLogin{settings.ConfigUser, settings.ConfigPassword});
}

}  // namespace stationdb
