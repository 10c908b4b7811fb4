#pragma once
// The database menu's way into the station databases: contp.dat, the
// connections, the configuration trees, the login clock and the event log,
// and the client library's connection texts.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "common/message.h"
#include "stationdb/core/dbconfig.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/records/records.h"
#include "waveform/app/db_menu.h"

namespace wave {

// The client library's GetDBConnInfo: fills three zero-terminated texts.
using GetDBConnInfoFunction = std::uint8_t (*)(char* suffix, char* mainConnection, char* standbyConnection);

// Each buffer takes the longest text the library hands out (10240 bytes and
// the zero byte), so that no connection file can make it write past one.
inline constexpr std::size_t kDbConnTextBuffer = 10241;

// Calls getDBConnInfo with buffers of kDbConnTextBuffer bytes; nothing when it
// answers false.
std::optional<DbConnTexts> ReadDBConnTexts(GetDBConnInfoFunction getDBConnInfo);

class StationAccess : public DatabaseLayer {
 public:
  // lookup: the language texts of the database layer (root names).
  explicit StationAccess(std::filesystem::path contpFile = stationdb::ContpFilePath(),
                         GetDBConnInfoFunction getDBConnInfo = nullptr,
                         common::LangLookup lookup = common::BuiltInText);

  bool ReadDBLoginInfo(stationdb::TDBConnectionSettings& settings) override;
  bool WriteDBLoginInfo(const stationdb::TDBConnectionSettings& settings) override;
  std::int32_t ConnectDatabases(stationdb::TDBConnectionSettings& settings) override;
  std::optional<DbConnTexts> GetDBConnInfo() override;
  std::int32_t InitRedundantConnections(const DbConnTexts& texts) override;
  std::int32_t LoadConfigTrees(std::int32_t recordSourceMode, stationdb::ConfigTrees& trees) override;
  stationdb::LoginClock LoginClock() override;
  std::int32_t WriteEventLog(std::int32_t userID, const std::string& description) override;

  stationdb::RptDB& rpt() { return rpt_; }
  // The record query's rows and the decoded power-quality record.
  stationdb::DbState& state() { return state_; }
  std::span<const wave::TWaveformData> WaveChannels() const override { return state_.WaveChannels; }

 private:
  std::filesystem::path contpFile_;
  GetDBConnInfoFunction getDBConnInfo_;
  common::LangLookup lookup_;
  stationdb::RptDB rpt_;
  stationdb::DbState state_;
};

}  // namespace wave
