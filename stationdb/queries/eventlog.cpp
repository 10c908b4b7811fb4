#include "stationdb/queries/eventlog.h"

#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "common/datetime.h"
#include "stationdb/db/error.h"
#include "stationdb/tree/nodetypes.h"

namespace stationdb {
namespace {

constexpr int kEventTextSize = 256;

void addEventLogParameters(db::Parameters& p, std::int32_t type, std::int32_t byte, bool canCancel, std::int32_t userID,
                           std::string_view description, std::string_view memo, const MemoryStream* data) {
  using db::DataType;
  using db::Direction;
  using db::Value;
  p.add("@RETURN_VALUE", DataType::Integer, Direction::ReturnValue);
  p.add("@Type", DataType::Integer, Direction::Input, 0, Value::integer(type));
  p.add("@Byte", DataType::Integer, Direction::Input, 0, Value::integer(byte));
  p.add("@CanCancel", DataType::Boolean, Direction::Input, 0, Value::boolean(canCancel));
  p.add("@UserID", DataType::Integer, Direction::Input, 0, Value::integer(userID));
  p.add("@Description", DataType::Text, Direction::Input, kEventTextSize, Value::text(std::string(description)));
  p.add("@Memo", DataType::Text, Direction::Input, kEventTextSize, Value::text(std::string(memo)));
  const auto length = data != nullptr ? static_cast<std::int64_t>(data->size()) : 0;
  p.add("@datalength", DataType::Integer, Direction::Input, 0, Value::integer(length));
  p.add("@Data", DataType::Binary, Direction::Input, 0, data != nullptr ? StreamToVariant(*data) : Value());
}

// Sunday 0 .. Saturday 6; day 0 (1899-12-30) was a Saturday.
std::uint16_t dayOfWeek(const common::DateTimeParts& parts) {
  const common::DateTimeParts date{parts.year, parts.month, parts.day};
  const std::optional<common::TDateTime> days = common::EncodeDateTime(date);
  if (!days) return 0;
  const auto day = static_cast<std::int64_t>(*days);
  return static_cast<std::uint16_t>(((day + 6) % 7 + 7) % 7);
}

std::vector<const CUserNode*> usersOf(const CSetObj& container) {
  std::vector<const CUserNode*> users;
  for (std::int32_t i = 0; i < container.ChildCount(); ++i)
    if (const auto* user = dynamic_cast<const CUserNode*>(container.GetChild(i))) users.push_back(user);
  return users;
}

}  // namespace

std::int32_t WriteEventLog(RptDB& rpt, std::int32_t type, std::int32_t byte, bool canCancel, std::int32_t userID,
                           std::string_view description, std::string_view memo, const MemoryStream* data) {
  db::StoredProc* proc = rpt.HistoryStoredProc();
  if (proc == nullptr) return kDbFailed;
  return rpt.RunLocked(rpt.HistoryStoredProcMutex(), "str3", [&] {
    proc->parameters().clear();
    proc->setProcedureName(std::string(kEventLogProc));
    addEventLogParameters(proc->parameters(), type, byte, canCancel, userID, description, memo, data);
    proc->execute();
    return proc->parameters()[0].value.asInt32();
  });
}

TSystemTime DateTimeToSystemTime(common::TDateTime value) {
  const common::DateTimeParts parts = common::DecodeDateTime(value);
  TSystemTime time;
  time.wYear = static_cast<std::uint16_t>(parts.year);
  time.wMonth = static_cast<std::uint16_t>(parts.month);
  time.wDayOfWeek = dayOfWeek(parts);
  time.wDay = static_cast<std::uint16_t>(parts.day);
  time.wHour = static_cast<std::uint16_t>(parts.hour);
  time.wMinute = static_cast<std::uint16_t>(parts.minute);
  time.wSecond = static_cast<std::uint16_t>(parts.second);
  time.wMilliseconds = static_cast<std::uint16_t>(parts.millisecond);
  return time;
}

std::int32_t GetServerTime(RptDB& rpt, TSystemTime& time, const std::function<TSystemTime()>& localTime) {
  time = localTime();
  db::StoredProc* proc = rpt.ConfigStoredProc();
  if (proc == nullptr) return kDbFailed;
  proc->setConnection(rpt.ConnectionState() == kStandbyAnswered ? rpt.ConfigStandbyConnection()
                                                                : rpt.ConfigConnection());
  return rpt.RunLocked(rpt.ConfigStoredProcMutex(), "str4", [&] {
    db::Parameters& p = proc->parameters();
    p.clear();
    proc->setProcedureName(std::string(kServerTimeProc));
    p.add("@RETURN_VALUE", db::DataType::Integer, db::Direction::ReturnValue);
    p.add("@DT", db::DataType::DateTime, db::Direction::Output);
    proc->execute();
    const std::int32_t result = p[0].value.asInt32();
    if (result != 0) return result;
    // An empty time would read as 1899-12-30 and decide the log-in rules.
    if (p[1].value.isNull()) throw db::Error(fmt::format("{} returned 0 without a time in @DT", kServerTimeProc));
    time = DateTimeToSystemTime(p[1].value.asDateTime());
    return result;
  });
}

LoginClock ServerLoginClock(RptDB& rpt) {
  LoginClock clock;
  clock.serverTime = [&rpt]() -> std::optional<TSystemTime> {
    TSystemTime time;
    if (GetServerTime(rpt, time) != 0) return std::nullopt;
    return time;
  };
  return clock;
}

const CSetObj* FindUsersContainer(const ConfigTrees& trees, std::int32_t recordSourceMode) {
  const std::optional<LoginCodes> codes = loginCodes(recordSourceMode);
  if (!codes || !trees.SecurityRoot || trees.SecurityRoot->ChildCount() == 0) return nullptr;
  return trees.SecurityRoot->FindNode(codes->usersType, codes->usersID);
}

std::int32_t GetUserCount(const ConfigTrees& trees, std::int32_t recordSourceMode) {
  const CSetObj* container = FindUsersContainer(trees, recordSourceMode);
  return container != nullptr ? static_cast<std::int32_t>(usersOf(*container).size()) : 0;
}

bool GetUserList(const ConfigTrees& trees, std::int32_t recordSourceMode, std::span<TUserInfo> users) {
  const CSetObj* container = FindUsersContainer(trees, recordSourceMode);
  if (container == nullptr) return false;
  const std::vector<const CUserNode*> found = usersOf(*container);
  if (found.size() > users.size()) return false;
  for (std::size_t i = 0; i < found.size(); ++i) users[i] = userInfoOf(*found[i]);
  return true;
}

}  // namespace stationdb
