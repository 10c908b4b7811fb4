// Feeds outside bytes to the parsers of the database code: contp.dat, stream
// strings and ADO connection strings, and checks what must always hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/core/dbconfig.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/db/connectionstring.h"
#include "stationdb/db/error.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::vector<stationdb::ContpEntry> othersThan(const std::vector<stationdb::ContpEntry>& entries, std::uint32_t id) {
  std::vector<stationdb::ContpEntry> others;
  for (const auto& entry : entries)
    if (entry.AppID != id) others.push_back(entry);
  return others;
}

// Writing the program's entry into any payload gives one that reads whole,
// keeps the other entries that read, in order, and every byte that did not.
void fuzzContpUpdate(const std::string& payload) {
  const stationdb::ContpReading reading = stationdb::ReadContpPayload(payload);
  check(reading.Stop <= payload.size());
  stationdb::TDBConnectionSettings settings;
  settings.ConfigServer = "S";
  settings.HistoryServer = "H";
  const std::string updated =
      stationdb::UpdatedContpPayload(payload, stationdb::kQuenlorAppId, settings, stationdb::TDBLogin{"u", "p"});
  const stationdb::ContpReading again = stationdb::ReadContpPayload(updated);
  check(again.Whole);
  check(updated.ends_with(std::string_view(payload).substr(reading.Stop)));
  for (const auto part : {&stationdb::ContpContent::Config, &stationdb::ContpContent::History})
    check(othersThan((again.Content.*part).Entries, stationdb::kQuenlorAppId) ==
          othersThan((reading.Content.*part).Entries, stationdb::kQuenlorAppId));
}

void fuzzContp(std::string_view bytes) {
  const auto payload = stationdb::UnscrambleContp(bytes);
  if (!payload) return;
  fuzzContpUpdate(*payload);
  const auto content = stationdb::ParseContpPayload(*payload);
  if (!content) return;
  // What parses builds back into a payload that parses to the same content.
  check(stationdb::ParseContpPayload(stationdb::BuildContpPayload(*content)) == content);
}

void fuzzStreamStrings(std::string_view bytes) {
  stationdb::MemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  std::string text;
  while (stationdb::ReadStreamString(&stream, text)) check(text.size() <= stationdb::kMaxStreamStringLength);
  for (const auto& piece : stationdb::SplitToStringList(bytes, ";")) check(piece.size() <= bytes.size());
}

void fuzzConnectionString(std::string_view text) {
  try {
    const auto parsed = db::ConnectionString::parse(text);
    // Every value written back quoted reads back unchanged.
    for (const auto& pair : parsed.pairs()) {
      const std::string again = "k=" + db::QuoteConnectionValue(pair.value);
      check(db::ConnectionString::parse(again).get("k") == pair.value);
    }
  } catch (const db::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  fuzzContp(bytes);
  fuzzStreamStrings(bytes);
  fuzzConnectionString(bytes);
  return 0;
}
