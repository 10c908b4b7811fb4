// Times, the login rules, the user search and the login check, on trees built
// the way the loader builds them: node by type code, data from its blob.
#include <gtest/gtest.h>

#include <string>

#include "stationdb/tree/factory.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/security.h"
#include "stationdb/tree/testblob.h"

namespace stationdb {
namespace {

using testing::Bytes;

TSystemTime at(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour = 0,
               std::uint16_t minute = 0, std::uint16_t second = 0, std::uint16_t dayOfWeek = 0) {
  return TSystemTime{year, month, dayOfWeek, day, hour, minute, second, 0};
}

TSystemTime daytime(std::uint16_t hour, std::uint16_t minute, std::uint16_t second = 0) {
  return at(0, 0, 0, hour, minute, second);
}

TLoginRule rule(std::uint32_t kind, TSystemTime start, TSystemTime end) { return TLoginRule{kind, start, end}; }

TEST(IsLoginForbidden, RuleMatrix) {
  const TLoginRule office = rule(kRuleDailyHours, daytime(8, 0), daytime(17, 0));
  const TLoginRule evening = rule(kRuleDailyHours, daytime(19, 0), daytime(21, 0));
  const TLoginRule days10to20 = rule(kRuleMonthDays, at(0, 0, 10), at(0, 0, 20));
  const TLoginRule june = rule(kRulePeriod, at(2024, 6, 1), at(2024, 6, 30, 23, 59, 59));
  const TLoginRule otherKind = rule(4, at(1970, 1, 1), at(2100, 1, 1));

  struct Case {
    const char* name;
    std::vector<TLoginRule> rules;
    TSystemTime moment;
    bool forbidden;
  };
  const Case cases[] = {
      {"no rules", {}, at(2024, 5, 5, 3, 0), false},
      {"hours: start", {office}, at(2024, 5, 5, 8, 0, 0), false},
      {"hours: end", {office}, at(2024, 5, 5, 17, 0, 0), false},
      {"hours: a second after the end", {office}, at(2024, 5, 5, 17, 0, 1), true},
      {"hours: a second before the start", {office}, at(2024, 5, 5, 7, 59, 59), true},
      {"hours: the moment's date does not count", {office}, at(2099, 12, 31, 9, 0), false},
      {"several hour rules: one hit suffices", {office, evening}, at(2024, 5, 5, 20, 0), false},
      {"several hour rules: none hits", {office, evening}, at(2024, 5, 5, 18, 0), true},
      {"days: first day", {days10to20}, at(2024, 5, 10, 23, 0), false},
      {"days: last day included", {days10to20}, at(2024, 5, 20, 23, 59, 59), false},
      {"days: the day after", {days10to20}, at(2024, 5, 21, 0, 0), true},
      {"days: the day before", {days10to20}, at(2024, 5, 9, 12, 0), true},
      {"hours and days: both hold", {office, days10to20}, at(2024, 5, 15, 9, 0), false},
      {"hours and days: only the hours hold", {office, days10to20}, at(2024, 5, 25, 9, 0), true},
      {"hours and days: only the days hold", {days10to20, office}, at(2024, 5, 15, 18, 0), true},
      {"period only, outside", {june}, at(2024, 7, 1, 0, 0), true},
      {"period only, inside", {june}, at(2024, 6, 15, 3, 0), false},
      {"period: last second", {june}, at(2024, 6, 30, 23, 59, 59), false},
      {"period hit overrides failing hours", {office, june}, at(2024, 6, 15, 3, 0), false},
      {"period miss leaves the hours to decide", {office, june}, at(2024, 7, 15, 9, 0), false},
      {"unknown kind only", {otherKind}, at(2024, 5, 5, 9, 0), true},
      {"unknown kind is skipped", {otherKind, office}, at(2024, 5, 5, 9, 0), false},
  };
  for (const auto& c : cases) {
    CUserNode user(nullptr, "u", kUserType12, 1);
    user.Rules = c.rules;
    EXPECT_EQ(IsLoginForbidden(user, c.moment), c.forbidden) << c.name;
  }
}

TEST(IsLoginForbidden, TheWeekdayIsNeverConsulted) {
  CUserNode user(nullptr, "u", kUserType12, 1);
  user.Rules = {rule(kRuleDailyHours, daytime(8, 0), daytime(17, 0)), rule(kRuleMonthDays, at(0, 0, 1), at(0, 0, 5))};
  for (std::uint16_t weekday = 0; weekday < 7; ++weekday) {
    EXPECT_FALSE(IsLoginForbidden(user, at(2024, 5, 3, 9, 0, 0, weekday))) << weekday;
    EXPECT_TRUE(IsLoginForbidden(user, at(2024, 5, 6, 9, 0, 0, weekday))) << weekday;
  }
}

// The security tree of mode 12 as the loader builds it: root, users container,
// users with complemented blobs; a groups container beside it.
class PowerQualityTree : public ::testing::Test {
 protected:
  void SetUp() override {
    users_ = add(&root_, kUsersType12, kUsersID12, "users", MemoryStream{});
    addUser(1, "admin", "Secret", 0, {});
    addUser(2, "dup", "first", 0, {});
    addUser(3, "dup", "second", 0, {});
    addUser(4, "\xD5\xC5\xC8\xFD", "\xC3\xDC\xC2\xEB", 0, {});  // GBK name and password
    addUser(5, "off", "pw", 1, {});
    addUser(6, "dayshift", "pw", 0, {rule(kRuleDailyHours, daytime(8, 0), daytime(17, 0))});
    addUser(7, "blank", "", 0, {});
    // A user row whose blob is cut short: its password is unknown.
    add(users_, kUserType12, 8, "broken", Bytes().str("").raw({0, 0}).complemented());
    // A node of another class under the users container.
    add(users_, kUserGroupType12, 9, "intruder", Bytes().str("").i32(0).complemented());
    add(&root_, kUserGroupsType12, 1041, "groups", MemoryStream{});
  }

  CSetObj* add(CSetObj* parent, std::uint32_t type, std::uint32_t id, std::string_view name, const MemoryStream& blob) {
    auto node = newNodeOfType(parent, name, type, id);
    node->LoadData(&blob, kSourcePowerQuality);
    return parent->AddChild(std::move(node));
  }

  void addUser(std::uint32_t id, std::string_view name, std::string_view password, std::uint8_t disabled,
               const std::vector<TLoginRule>& rules) {
    Bytes blob;
    blob.str("remark").str(password).u8(disabled).u32(0).i32(static_cast<std::int32_t>(rules.size()));
    for (const auto& r : rules) {
      blob.u32(r.Kind);
      for (const TSystemTime& t : {r.StartTime, r.EndTime})
        blob.time(t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    }
    add(users_, kUserType12, id, name, blob.complemented());
  }

  std::int32_t find(std::string_view name, std::string_view password) const {
    return FindUserID(&root_, name, password, kUsersType12, kUsersID12);
  }

  CSetObj root_{nullptr, "security", kSecurityRootType12, kSecurityRootID12};
  CSetObj* users_ = nullptr;
};

TEST_F(PowerQualityTree, FindUserID) {
  struct Case {
    const char* name;
    std::string user, password;
    std::int32_t id;
  };
  const Case cases[] = {
      {"match", "admin", "Secret", 1},
      {"wrong password", "admin", "secret", -1},
      {"name is case-sensitive", "Admin", "Secret", -1},
      {"unknown name", "nobody", "Secret", -1},
      {"password prefix", "admin", "Secre", -1},
      {"first of two equal names", "dup", "first", 2},
      {"only the first of two equal names is tried", "dup", "second", -1},
      {"GBK bytes", "\xD5\xC5\xC8\xFD", "\xC3\xDC\xC2\xEB", 4},
      {"disabled users are still found", "off", "pw", 5},
      {"empty password", "blank", "", 7},
      {"a user whose blob was refused", "broken", "", -1},
      {"not a user node", "intruder", "", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(find(c.user, c.password), c.id) << c.name;
}

TEST_F(PowerQualityTree, FindUserIDNeedsTheContainer) {
  EXPECT_EQ(FindUserID(nullptr, "admin", "Secret", kUsersType12, kUsersID12), -1);
  EXPECT_EQ(FindUserID(&root_, "admin", "Secret", kUsersType12, 1041), -1);
  EXPECT_EQ(FindUserID(&root_, "admin", "Secret", kUsersType21, kUsersType21), -1);
  EXPECT_EQ(FindUserID(&root_, "admin", "Secret", kUsersType12, -1), 1);
}

TEST_F(PowerQualityTree, CheckUserLogin) {
  const LoginClock nine{[] { return std::optional<TSystemTime>(at(2024, 5, 6, 9, 0)); }, [] {
                          ADD_FAILURE() << "the local time is not needed while the server answers";
                          return TSystemTime{};
                        }};
  struct Case {
    const char* name;
    std::int64_t id;
    bool checkRules;
    std::string message;
  };
  const Case cases[] = {
      {"allowed", 1, true, ""},
      {"missing user", 99, true, "用户不存在，可能已被删除！"},
      {"missing user without rules", 99, false, "用户不存在，可能已被删除！"},
      {"the id of a node that is not a user", 1041, true, "用户不存在，可能已被删除！"},
      {"FindUserID's -1 is no user", -1, false, "用户不存在，可能已被删除！"},
      {"disabled", 5, true, "用户帐号被禁用！"},
      {"disabled, rules not checked", 5, false, ""},
      {"inside the hours", 6, true, ""},
  };
  for (const auto& c : cases) {
    std::string message = "stale";
    CheckUserLogin(&root_, c.id, kUserType12, c.checkRules, message, nine);
    EXPECT_EQ(message, c.message) << c.name;
  }
}

TEST_F(PowerQualityTree, TheServerTimeDecidesAndTheLocalTimeStandsIn) {
  const auto atHour = [](std::uint16_t hour) { return at(2024, 5, 6, hour, 0); };
  const LoginClock serverEvening{[&] { return std::optional<TSystemTime>(atHour(20)); }, [&] { return atHour(9); }};
  const LoginClock serverDown{[] { return std::optional<TSystemTime>(); }, [&] { return atHour(20); }};
  const LoginClock serverDownLocalMorning{[] { return std::optional<TSystemTime>(); }, [&] { return atHour(9); }};

  const auto check = [&](const LoginClock& time) {
    std::string message;
    CheckUserLogin(&root_, 6, kUserType12, true, message, time);
    return message;
  };
  EXPECT_EQ(check(serverEvening), "用户此时不能登录！");
  EXPECT_EQ(check(serverDown), "用户此时不能登录！");
  EXPECT_EQ(check(serverDownLocalMorning), "");
}

TEST_F(PowerQualityTree, RefusalsAreLanguageTexts) {
  const LoginClock evening{[] { return std::optional<TSystemTime>(at(2024, 5, 6, 20, 0)); }, nullptr};
  const auto refusal = LoginRefusal(&root_, 6, kUserType12, true, evening);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->key, "str2");

  const common::LangLookup lookup = [](std::string_view section, std::string_view key, std::string_view) {
    return std::string(section) + ":" + std::string(key);
  };
  std::string message;
  CheckUserLogin(&root_, 5, kUserType12, true, message, evening, lookup);
  EXPECT_EQ(message, "Strings_SecurityClass:str1");
}

TEST_F(PowerQualityTree, UserInfoCopiesTheListedFields) {
  const auto* user = dynamic_cast<const CUserNode*>(root_.FindNode(kUserType12, 5));
  ASSERT_NE(user, nullptr);
  const TUserInfo info = userInfoOf(*user);
  EXPECT_EQ(info.UserID, 5u);
  EXPECT_EQ(info.UserName, "off");
  EXPECT_EQ(info.Password, "pw");
  EXPECT_EQ(info.Remark, "remark");
  EXPECT_EQ(info.Disabled, 1);
}

TEST(AutomationTree, OnlyTheUsersExistenceCounts) {
  CSetObj root(nullptr, "security", kSecurityRootType21, kSecurityRootType21);
  auto users = newNodeOfType(&root, "users", kUsersType21, kUsersType21);
  auto user = newNodeOfType(users.get(), "op", kUserType21, 0x10041101);
  // The mode-21 blob carries the two texts only, stored plain.
  const MemoryStream blob = Bytes().str("note").str("pw").plain();
  ASSERT_TRUE(user->LoadData(&blob, kSourceAutomation));
  users->AddChild(std::move(user));
  root.AddChild(std::move(users));

  const auto codes = loginCodes(kSourceAutomation);
  ASSERT_TRUE(codes);
  const std::int32_t id = FindUserID(&root, "op", "pw", codes->usersType, codes->usersID);
  EXPECT_EQ(id, 0x10041101);
  std::string message = "stale";
  CheckUserLogin(&root, id, codes->userType, codes->checkRules, message, LoginClock{});
  EXPECT_EQ(message, "");
  CheckUserLogin(&root, 0x10041102, codes->userType, codes->checkRules, message, LoginClock{});
  EXPECT_EQ(message, "用户不存在，可能已被删除！");
}

}  // namespace
}  // namespace stationdb
