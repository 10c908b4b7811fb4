// Feeds outside bytes to the parsers of the database code: contp.dat, stream
// strings and ADO connection strings, and checks what must always hold.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "stationdb/core/dbconfig.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/db/connectionstring.h"
#include "stationdb/db/error.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void fuzzContp(std::string_view bytes) {
  const auto payload = stationdb::UnscrambleContp(bytes);
  if (!payload) return;
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
