#include "stationdb/tree/nodetypes.h"

#include "stationdb/records/records.h"

namespace stationdb {

std::optional<LoginCodes> loginCodes(std::int32_t recordSourceMode) {
  if (recordSourceMode == kSourcePowerQuality) return LoginCodes{kUsersType12, kUsersID12, kUserType12, true};
  if (recordSourceMode == kSourceAutomation) return LoginCodes{kUsersType21, kUsersType21, kUserType21, false};
  return std::nullopt;
}

}  // namespace stationdb
