#include "stationdb/tree/security.h"

#include <algorithm>
#include <ctime>

#include "stationdb/tree/nodeblob.h"

namespace stationdb {
namespace {

bool storedComplemented(std::int32_t recordSourceMode) { return recordSourceMode == kSourcePowerQuality; }

bool readSystemTime(nodeblob::Reader& in, TSystemTime& time) {
  TSystemTime read;
  for (std::uint16_t* field : {&read.wYear, &read.wMonth, &read.wDayOfWeek, &read.wDay, &read.wHour, &read.wMinute,
                               &read.wSecond, &read.wMilliseconds})
    if (!in.readU16(*field)) return false;
  time = read;
  return true;
}

void writeSystemTime(nodeblob::Writer& out, const TSystemTime& time) {
  for (const std::uint16_t field : {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay, time.wHour, time.wMinute,
                                    time.wSecond, time.wMilliseconds})
    out.writeU16(field);
}

bool readRules(nodeblob::Reader& in, std::vector<TLoginRule>& rules) {
  std::size_t count = 0;
  if (!in.readCount(sizeof(TLoginRule), count)) return false;
  std::vector<TLoginRule> read(count);
  for (auto& rule : read)
    if (!in.readU32(rule.Kind) || !readSystemTime(in, rule.StartTime) || !readSystemTime(in, rule.EndTime))
      return false;
  rules = std::move(read);
  return true;
}

bool readIDs(nodeblob::Reader& in, std::vector<std::uint32_t>& ids) {
  std::size_t count = 0;
  if (!in.readCount(sizeof(std::uint32_t), count)) return false;
  std::vector<std::uint32_t> read(count);
  for (auto& id : read)
    if (!in.readU32(id)) return false;
  ids = std::move(read);
  return true;
}

// The blob of user groups and authorities: Remark, an i32 count and that many u32 ids.
constexpr std::size_t kRemarkIDsMinimum = 4;

bool loadRemarkIDs(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode, std::string& remark,
                   std::vector<std::uint32_t>& ids) {
  const auto plain = nodeblob::plainCopy(blob, kRemarkIDsMinimum, storedComplemented(recordSourceMode));
  if (!plain) return false;
  nodeblob::Reader in(plain->bytes());
  return in.readString(remark) && readIDs(in, ids);
}

void saveRemarkIDs(nodeblob::Writer& out, const std::string& remark, const std::vector<std::uint32_t>& ids) {
  out.writeString(remark);
  out.writeCount(ids.size());
  for (const std::uint32_t id : ids) out.writeU32(id);
}

// Constant-time for passwords of one length.
bool samePassword(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

TSystemTime localSystemTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  TSystemTime out;
  out.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
  out.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
  out.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  out.wDay = static_cast<std::uint16_t>(local.tm_mday);
  out.wHour = static_cast<std::uint16_t>(local.tm_hour);
  out.wMinute = static_cast<std::uint16_t>(local.tm_min);
  out.wSecond = static_cast<std::uint16_t>(std::min(local.tm_sec, 59));  // a leap second shows as :59
  out.wMilliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1'000'000);
  return out;
}

// Word1, Word2.
bool CSecurityGNode::loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) {
  const auto plain = nodeblob::plainCopy(blob, 8, storedComplemented(recordSourceMode));
  if (!plain) return false;
  nodeblob::Reader in(plain->bytes());
  return in.readU32(Word1) && in.readU32(Word2);
}

void CSecurityGNode::saveOwnData(nodeblob::Writer& out) const {
  out.writeU32(Word1);
  out.writeU32(Word2);
}

// Remark, Password; in mode 12 then Disabled (u8), Extra (u32), an i32 count
// and that many 36-byte rules.
bool CUserNode::loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) {
  const auto plain = nodeblob::plainCopy(blob, 8, storedComplemented(recordSourceMode));
  if (!plain) return false;
  nodeblob::Reader in(plain->bytes());
  if (!in.readString(Remark) || !in.readString(Password)) return false;
  if (recordSourceMode != kSourcePowerQuality) return true;
  return in.readU8(Disabled) && in.readU32(Extra) && readRules(in, Rules);
}

void CUserNode::saveOwnData(nodeblob::Writer& out) const {
  out.writeString(Remark);
  out.writeString(Password);
  out.writeU8(Disabled);
  out.writeU32(Extra);
  out.writeCount(Rules.size());
  for (const auto& rule : Rules) {
    out.writeU32(rule.Kind);
    writeSystemTime(out, rule.StartTime);
    writeSystemTime(out, rule.EndTime);
  }
}

bool CUserGroupNode::loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) {
  return loadRemarkIDs(blob, recordSourceMode, Remark, IDs);
}

void CUserGroupNode::saveOwnData(nodeblob::Writer& out) const { saveRemarkIDs(out, Remark, IDs); }

bool CAuthorityNode::loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) {
  return loadRemarkIDs(blob, recordSourceMode, Remark, IDs);
}

void CAuthorityNode::saveOwnData(nodeblob::Writer& out) const { saveRemarkIDs(out, Remark, IDs); }

// Text1, Value, Text2; complemented whatever the mode.
bool CStrategyNode::loadOwnData(std::span<const std::uint8_t> blob, std::int32_t) {
  const auto plain = nodeblob::plainCopy(blob, 4, true);
  if (!plain) return false;
  nodeblob::Reader in(plain->bytes());
  return in.readString(Text1) && in.readU32(Value) && in.readString(Text2);
}

void CStrategyNode::saveOwnData(nodeblob::Writer& out) const {
  out.writeString(Text1);
  out.writeU32(Value);
  out.writeString(Text2);
}

std::int32_t FindUserID(const CSetObj* root, std::string_view name, std::string_view password,
                        std::int64_t containerType, std::int64_t containerID) {
  const CSetObj* container = root != nullptr ? root->FindNode(containerType, containerID) : nullptr;
  if (container == nullptr) return -1;
  for (std::int32_t i = 0; i < container->ChildCount(); ++i) {
    const auto* user = dynamic_cast<const CUserNode*>(container->GetChild(i));
    if (user == nullptr || user->GetName() != name) continue;
    // A user whose blob was refused has no trustworthy password or rules.
    if (user->DataLoadFailed() || !samePassword(user->Password, password)) return -1;
    return static_cast<std::int32_t>(user->NodeID());
  }
  return -1;
}

bool IsLoginForbidden(const CUserNode& user, const TSystemTime& moment) {
  if (user.Rules.empty()) return false;
  TSystemTime timeOfDay;
  timeOfDay.wHour = moment.wHour;
  timeOfDay.wMinute = moment.wMinute;
  timeOfDay.wSecond = moment.wSecond;

  bool hasHours = false, hoursOk = false, hasDays = false, daysOk = false;
  for (const auto& rule : user.Rules) {
    switch (rule.Kind) {
      case kRuleDailyHours:
        hasHours = true;
        if (TimeInRange(timeOfDay, rule.StartTime, rule.EndTime)) hoursOk = true;
        break;
      case kRuleMonthDays:
        hasDays = true;
        if (moment.wDay >= rule.StartTime.wDay && moment.wDay <= rule.EndTime.wDay) daysOk = true;
        break;
      case kRulePeriod:
        if (TimeInRange(moment, rule.StartTime, rule.EndTime)) return false;
        break;
      default:
        break;
    }
  }
  if (!hasHours && !hasDays) return true;
  return !((daysOk || !hasDays) && (hoursOk || !hasHours));
}

std::optional<common::TextPiece> LoginRefusal(const CSetObj* root, std::int64_t userID, std::uint32_t userType,
                                              bool checkRules, const LoginClock& clock) {
  // FindNode takes id -1 as "any node of the type": never a user to check.
  const CSetObj* node = root != nullptr && userID >= 0 ? root->FindNode(userType, userID) : nullptr;
  const auto* user = dynamic_cast<const CUserNode*>(node);
  if (user == nullptr) return common::TextPiece{"str0", "用户不存在，可能已被删除！"};
  if (!checkRules) return std::nullopt;
  if (user->Disabled != 0) return common::TextPiece{"str1", "用户帐号被禁用！"};

  std::optional<TSystemTime> moment = clock.serverTime ? clock.serverTime() : std::nullopt;
  if (!moment) moment = clock.localTime ? clock.localTime() : localSystemTime();
  if (IsLoginForbidden(*user, *moment)) return common::TextPiece{"str2", "用户此时不能登录！"};
  return std::nullopt;
}

void CheckUserLogin(const CSetObj* root, std::int64_t userID, std::uint32_t userType, bool checkRules,
                    std::string& message, const LoginClock& clock, const common::LangLookup& lookup) {
  message.clear();
  const auto refusal = LoginRefusal(root, userID, userType, checkRules, clock);
  if (refusal) message = lookup(kSecurityClassSection, refusal->key, refusal->defaultText);
}

TUserInfo userInfoOf(const CUserNode& user) {
  TUserInfo info;
  info.UserID = user.NodeID();
  info.UserName = user.GetName();
  info.Password = user.Password;
  info.Remark = user.Remark;
  info.Disabled = user.Disabled;
  return info;
}

}  // namespace stationdb
