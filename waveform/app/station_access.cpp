#include "waveform/app/station_access.h"

#include <cstring>
#include <vector>

#include "clientif/velklog2.h"
#include "common/gbk.h"
#include "stationdb/queries/configtrees.h"
#include "stationdb/queries/eventlog.h"

namespace wave {

std::optional<DbConnTexts> ReadDBConnTexts(GetDBConnInfoFunction getDBConnInfo) {
  std::vector<char> suffix(kDbConnTextBuffer, '\0');
  std::vector<char> main(kDbConnTextBuffer, '\0');
  std::vector<char> standby(kDbConnTextBuffer, '\0');
  if (getDBConnInfo(suffix.data(), main.data(), standby.data()) == 0) return std::nullopt;
  const auto text = [](const std::vector<char>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
  };
  return DbConnTexts{text(suffix), text(main), text(standby)};
}

StationAccess::StationAccess(std::filesystem::path contpFile, GetDBConnInfoFunction getDBConnInfo,
                             common::LangLookup lookup)
    : contpFile_(std::move(contpFile)),
      getDBConnInfo_(getDBConnInfo != nullptr ? getDBConnInfo : &::GetDBConnInfo),
      lookup_(std::move(lookup)) {}

bool StationAccess::ReadDBLoginInfo(stationdb::TDBConnectionSettings& settings) {
  return stationdb::ReadDBLoginInfo(contpFile_, stationdb::kQuenlorAppId, settings);
}

bool StationAccess::WriteDBLoginInfo(const stationdb::TDBConnectionSettings& settings) {
  return stationdb::WriteDBLoginInfo(contpFile_, stationdb::kQuenlorAppId, settings);
}

std::int32_t StationAccess::ConnectDatabases(stationdb::TDBConnectionSettings& settings) {
  return rpt_.ConnectDatabases(settings);
}

std::optional<DbConnTexts> StationAccess::GetDBConnInfo() { return ReadDBConnTexts(getDBConnInfo_); }

std::int32_t StationAccess::InitRedundantConnections(const DbConnTexts& texts) {
  return rpt_.InitRedundantConnections(texts.suffix, texts.main, texts.standby);
}

std::int32_t StationAccess::LoadConfigTrees(std::int32_t recordSourceMode, stationdb::ConfigTrees& trees) {
  return stationdb::LoadConfigTrees(rpt_, recordSourceMode, trees, lookup_);
}

stationdb::LoginClock StationAccess::LoginClock() { return stationdb::ServerLoginClock(rpt_); }

std::int32_t StationAccess::WriteEventLog(std::int32_t userID, const std::string& description) {
  return stationdb::WriteEventLog(rpt_, stationdb::kProgramEventType, 0, false, userID,
                                  common::Utf8ToGbk(description), "", nullptr);
}

}  // namespace wave
