#pragma once
// Security-side nodes of the configuration tree (users with their passwords,
// disabled flag and login rules; user groups, authorities, strategies), the
// search of a user by name and password, and the login-rule check.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/message.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {

inline constexpr std::string_view kSecurityClassSection = "Strings_SecurityClass";

// The computer's local time now.
TSystemTime localSystemTime();

// Kinds of TLoginRule; any other kind is ignored.
inline constexpr std::uint32_t kRuleDailyHours = 1;  // time of day in [StartTime, EndTime]
inline constexpr std::uint32_t kRuleMonthDays = 2;   // day of the month in [StartTime.wDay, EndTime.wDay]
inline constexpr std::uint32_t kRulePeriod = 3;      // the moment in [StartTime, EndTime]: allowed at once

// One login rule, 36 bytes as stored in a user's blob.
#pragma pack(push, 1)
struct TLoginRule {
  std::uint32_t Kind = 0;
  TSystemTime StartTime;
  TSystemTime EndTime;

  bool operator==(const TLoginRule&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TLoginRule) == 36);
static_assert(offsetof(TLoginRule, StartTime) == 4 && offsetof(TLoginRule, EndTime) == 20);

// Root of the security tree.
class CSecurityGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;

  std::uint32_t Word1 = 10001;
  std::uint32_t Word2 = 0;

 private:
  bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) override;
  void saveOwnData(nodeblob::Writer& out) const override;
};

class CUserGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
};

class CUserGroupGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
};

class CAuthorityGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
};

class CStrategyGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
};

// One user; its name is the log-in name. The blob holds Remark and Password,
// and in mode 12 also Disabled, Extra and the rules (SaveData always writes
// all of them).
class CUserNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
  bool IsGroup() const override { return false; }

  std::string Remark;    // at most 255 bytes
  std::string Password;  // at most 255 bytes, plain
  std::uint8_t Disabled = 0;
  std::uint32_t Extra = 0;
  std::vector<TLoginRule> Rules;

 private:
  bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) override;
  void saveOwnData(nodeblob::Writer& out) const override;
};

class CUserGroupNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
  bool IsGroup() const override { return false; }

  std::string Remark;  // at most 255 bytes
  std::vector<std::uint32_t> IDs;

 private:
  bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) override;
  void saveOwnData(nodeblob::Writer& out) const override;
};

class CAuthorityNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
  bool IsGroup() const override { return false; }

  std::string Remark;  // at most 255 bytes
  std::vector<std::uint32_t> IDs;

 private:
  bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) override;
  void saveOwnData(nodeblob::Writer& out) const override;
};

// Its blob is stored complemented in every mode.
class CStrategyNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
  bool IsGroup() const override { return false; }

  std::string Text1;  // at most 255 bytes each
  std::uint32_t Value = 0;
  std::string Text2;

 private:
  bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode) override;
  void saveOwnData(nodeblob::Writer& out) const override;
};

// The user's NodeID when the first user below the container FindNode(
// containerType, containerID) whose name equals name (bytes, case-sensitive)
// has that password; otherwise -1 (no root or container, no such name, a
// wrong password, or a user whose stored data could not be read). Children of
// the container that are not users are passed over.
std::int32_t FindUserID(const CSetObj* root, std::string_view name, std::string_view password,
                        std::int64_t containerType, std::int64_t containerID);

// Whether the user's rules forbid a log-in at moment.
bool IsLoginForbidden(const CUserNode& user, const TSystemTime& moment);

// Where the moment of a log-in comes from: the database server's clock, or
// the computer's local time when the server's cannot be read.
struct LoginClock {
  std::function<std::optional<TSystemTime>()> serverTime;  // nullopt: not available
  std::function<TSystemTime()> localTime = localSystemTime;
};

// Why the user FindNode(userType, userID) below root may not log in now, as a
// language text of kSecurityClassSection; nullopt when the user may. A
// negative userID names no user (FindUserID's "not found"). Without
// checkRules only the user's existence is checked; the clock is asked only
// when the rules are checked for a user who is not disabled.
std::optional<common::TextPiece> LoginRefusal(const CSetObj* root, std::int64_t userID, std::uint32_t userType,
                                              bool checkRules, const LoginClock& clock);

// LoginRefusal as text: message is emptied, or set to the looked-up reason.
void CheckUserLogin(const CSetObj* root, std::int64_t userID, std::uint32_t userType, bool checkRules,
                    std::string& message, const LoginClock& clock,
                    const common::LangLookup& lookup = common::BuiltInText);

// The user as the log-in dialog lists it.
TUserInfo userInfoOf(const CUserNode& user);

}  // namespace stationdb
