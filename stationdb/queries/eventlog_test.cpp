#include "stationdb/queries/eventlog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stationdb/queries/testsupport.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"

namespace stationdb {
namespace {

using querytest::FreeForOthers;
using querytest::MutexHolder;
using querytest::ReportingRptDB;
using querytest::Shown;
using querytest::StandIn;

constexpr std::int32_t kPQ = kSourcePowerQuality;
constexpr std::int32_t kAuto = kSourceAutomation;

// What the stand-in's PD_SP_16 wrote.
struct LoggedEvent {
  std::int64_t type, byte, canCancel, userID;
  std::string description, memo;
  std::int64_t dataLength;
  db::Bytes data;
  std::string dataKind;
};

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    querytest::DefineEventLog(standIn_.history21());
    standIn_.config21();
    ASSERT_EQ(StandIn::connect21(db_.rpt, "main", "none"), kMainAnswered);
  }

  std::vector<LoggedEvent> logged() {
    std::vector<LoggedEvent> events;
    for (const auto& r : standIn_.select("main", "velkora_DATA_7", "SELECT * FROM EventLog"))
      events.push_back({r[0].asInt64(), r[1].asInt64(), r[2].asInt64(), r[3].asInt64(), r[4].asText(), r[5].asText(),
                        r[6].asInt64(), r[7].asBytes(), r[8].asText()});
    return events;
  }

  StandIn standIn_;
  ReportingRptDB db_;
};

TEST_F(EventLogTest, WithoutDataSendsLengthZeroAndNull) {
  EXPECT_EQ(WriteEventLog(db_.rpt, kProgramEventType, 0, false, 17, "\xd3\xc3\xbb\xa7", "", nullptr),
            kProgramEventType + 1000);
  const auto events = logged();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, 0x3050);
  EXPECT_EQ(events[0].byte, 0);
  EXPECT_EQ(events[0].canCancel, 0);
  EXPECT_EQ(events[0].userID, 17);
  EXPECT_EQ(events[0].description, "\xd3\xc3\xbb\xa7");  // the bytes as given
  EXPECT_EQ(events[0].memo, "");
  EXPECT_EQ(events[0].dataLength, 0);
  EXPECT_EQ(events[0].dataKind, "null");
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(EventLogTest, WithDataAndCanCancel) {
  MemoryStream data(std::vector<std::uint8_t>{1, 2, 0, 255});
  data.setPosition(3);  // the whole stream goes, whatever its position
  EXPECT_EQ(WriteEventLog(db_.rpt, 5, 6, true, 7, "d", "m", &data), 1005);
  const auto events = logged();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].byte, 6);
  EXPECT_EQ(events[0].canCancel, 1);
  EXPECT_EQ(events[0].memo, "m");
  EXPECT_EQ(events[0].dataLength, 4);
  EXPECT_EQ(events[0].data, (db::Bytes{1, 2, 0, 255}));
  EXPECT_EQ(events[0].dataKind, "blob");
}

TEST_F(EventLogTest, FailingProcedureGivesMinusOneAndTheMessage) {
  standIn_.history21().exec("DROP TABLE EventLog");
  EXPECT_EQ(WriteEventLog(db_.rpt, kProgramEventType, 0, false, 1, "d", "", nullptr), -1);
  ASSERT_EQ(db_.messages.size(), 1u);
  EXPECT_EQ(db_.messages[0].section, "Strings_RptDB");
  EXPECT_EQ(db_.messages[0].textKeys(), (std::vector<std::string>{"str3"}));
  EXPECT_TRUE(Shown(db_.messages[0]).starts_with("数据库操作错误："));
  EXPECT_GT(Shown(db_.messages[0]).size(), std::string("数据库操作错误：").size());
  EXPECT_TRUE(FreeForOthers(kHistoryStoredProcMutexName));
}

TEST_F(EventLogTest, MutexTimeOutGivesMinusOneWithoutWriting) {
  db_.rpt.setMutexTimeout(10);
  MutexHolder other(kHistoryStoredProcMutexName);
  ASSERT_TRUE(other.holding());
  EXPECT_EQ(WriteEventLog(db_.rpt, kProgramEventType, 0, false, 1, "d", "", nullptr), -1);
  other.letGo();
  EXPECT_TRUE(logged().empty());
  EXPECT_TRUE(db_.messages.empty());
}

TEST(EventLogSetUpTest, BeforeAnySetUp) {
  RptDB rpt;
  EXPECT_EQ(WriteEventLog(rpt, 1, 0, false, 1, "", "", nullptr), -1);
  TSystemTime time;
  const TSystemTime local{2001, 2, 6, 3, 4, 5, 6, 7};
  EXPECT_EQ(GetServerTime(rpt, time, [&] { return local; }), -1);
  EXPECT_EQ(time, local);
}

TEST(DateTimeToSystemTimeTest, FieldsAndDayOfWeek) {
  struct Case {
    common::DateTimeParts parts;
    TSystemTime time;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, {1899, 12, 6, 30, 0, 0, 0, 0}},  // a Saturday
      {{2000, 1, 2, 23, 59, 59, 999}, {2000, 1, 0, 2, 23, 59, 59, 999}},
      {{2024, 2, 29, 13, 45, 10, 123}, {2024, 2, 4, 29, 13, 45, 10, 123}},
      {{1850, 6, 1, 12, 0, 0, 0}, {1850, 6, 6, 1, 12, 0, 0, 0}},  // before day 0
  };
  for (const auto& c : cases) {
    const auto value = common::EncodeDateTime(c.parts);
    ASSERT_TRUE(value);
    EXPECT_EQ(DateTimeToSystemTime(*value), c.time) << c.parts.year;
  }
}

class ServerTimeTest : public ::testing::Test {
 protected:
  std::function<TSystemTime()> local() const {
    return [this] { return local_; };
  }

  StandIn standIn_;
  ReportingRptDB db_;
  const TSystemTime local_{2001, 2, 6, 3, 4, 5, 6, 7};
};

TEST_F(ServerTimeTest, ReadsTheServerClock) {
  querytest::DefineServerTime(standIn_.config12(), 0, "2024-02-29 13:45:10.123");
  standIn_.connect12(db_.rpt);
  TSystemTime time;
  EXPECT_EQ(GetServerTime(db_.rpt, time, local()), 0);
  EXPECT_EQ(time, (TSystemTime{2024, 2, 4, 29, 13, 45, 10, 123}));
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(ServerTimeTest, OtherReturnValueKeepsTheLocalTime) {
  querytest::DefineServerTime(standIn_.config12(), 1, "2024-02-29 13:45:10.123");
  standIn_.connect12(db_.rpt);
  TSystemTime time;
  EXPECT_EQ(GetServerTime(db_.rpt, time, local()), 1);
  EXPECT_EQ(time, local_);
}

TEST_F(ServerTimeTest, ZeroWithoutATimeIsAFailureThatKeepsTheLocalTime) {
  querytest::DefineServerTime(standIn_.config12(), 0, "2024-02-29 13:45:10.123");
  standIn_.config12().exec("UPDATE clock SET dt = NULL");
  standIn_.connect12(db_.rpt);
  TSystemTime time;
  EXPECT_EQ(GetServerTime(db_.rpt, time, local()), -1);
  EXPECT_EQ(time, local_) << "not 1899-12-30";
  ASSERT_EQ(db_.messages.size(), 1u);
  EXPECT_EQ(db_.messages[0].textKeys(), (std::vector<std::string>{"str4"}));
  EXPECT_EQ(Shown(db_.messages[0]), "数据库操作错误：SP_24 returned 0 without a time in @DT");
  EXPECT_TRUE(FreeForOthers(kConfigStoredProcMutexName));
}

TEST_F(ServerTimeTest, FailingProcedureGivesMinusOneAndTheMessage) {
  standIn_.config12();  // the catalog has no SP_24
  standIn_.connect12(db_.rpt);
  TSystemTime time;
  EXPECT_EQ(GetServerTime(db_.rpt, time, local()), -1);
  EXPECT_EQ(time, local_);
  ASSERT_EQ(db_.messages.size(), 1u);
  EXPECT_EQ(db_.messages[0].textKeys(), (std::vector<std::string>{"str4"}));
  EXPECT_EQ(Shown(db_.messages[0]), "数据库操作错误：Could not find stored procedure 'SP_24'");
  EXPECT_TRUE(FreeForOthers(kConfigStoredProcMutexName));
}

TEST_F(ServerTimeTest, MutexTimeOutKeepsTheLocalTime) {
  querytest::DefineServerTime(standIn_.config12(), 0, "2024-02-29 13:45:10.123");
  standIn_.connect12(db_.rpt);
  db_.rpt.setMutexTimeout(10);
  MutexHolder other(kConfigStoredProcMutexName);
  ASSERT_TRUE(other.holding());
  TSystemTime time;
  EXPECT_EQ(GetServerTime(db_.rpt, time, local()), -1);
  EXPECT_EQ(time, local_);
  EXPECT_TRUE(db_.messages.empty());
}

TEST_F(ServerTimeTest, AsksTheStandbyInStateTwo) {
  querytest::DefineServerTime(standIn_.config21("main"), 0, "2020-01-01 00:00:00.000");
  standIn_.history21("main");
  querytest::DefineServerTime(standIn_.config21("standby"), 0, "2021-03-04 05:06:07.008");
  standIn_.history21("standby");
  ASSERT_EQ(StandIn::connect21(db_.rpt, "gone", "standby"), kStandbyAnswered);
  TSystemTime time;
  ASSERT_EQ(GetServerTime(db_.rpt, time, local()), 0);
  EXPECT_EQ(time.wYear, 2021);
  EXPECT_EQ(time.wMilliseconds, 8);

  // Both answer: the main server's clock.
  ASSERT_EQ(StandIn::connect21(db_.rpt, "main", "standby"), kBothAnswered);
  ASSERT_EQ(GetServerTime(db_.rpt, time, local()), 0);
  EXPECT_EQ(time.wYear, 2020);
}

TEST_F(ServerTimeTest, ServesTheLoginClock) {
  querytest::DefineServerTime(standIn_.config12(), 0, "2024-02-29 13:45:10.123");
  standIn_.connect12(db_.rpt);
  const LoginClock clock = ServerLoginClock(db_.rpt);
  const auto time = clock.serverTime();
  ASSERT_TRUE(time);
  EXPECT_EQ(time->wDay, 29);
  querytest::DefineServerTime(standIn_.config12(), 3, "2024-02-29 13:45:10.123");
  EXPECT_FALSE(clock.serverTime());
}

// A security tree in memory with a users container of the mode.
ConfigTrees securityTree(std::int32_t mode, int users, bool withStranger = false) {
  const LoginCodes codes = *loginCodes(mode);
  ConfigTrees trees;
  const std::uint32_t rootType = mode == kPQ ? kSecurityRootType12 : kSecurityRootType21;
  trees.SecurityRoot = std::make_unique<CSecurityGNode>(nullptr, "root", rootType, rootType);
  CSetObj* groups = trees.SecurityRoot->AddChild(
      std::make_unique<CUserGroupGNode>(trees.SecurityRoot.get(), "groups", codes.usersType + 0x1000, 1));
  groups->AddChild(std::make_unique<CUserGroupNode>(groups, "g", codes.usersType + 0x1100, 1));
  CSetObj* container = trees.SecurityRoot->AddChild(
      std::make_unique<CUserGNode>(trees.SecurityRoot.get(), "users", codes.usersType, codes.usersID));
  for (int i = 0; i < users; ++i) {
    auto user = std::make_unique<CUserNode>(container, "u" + std::to_string(i), codes.userType,
                                            static_cast<std::uint32_t>(10 + i));
    user->Remark = "remark" + std::to_string(i);
    user->Password = "pw" + std::to_string(i);
    user->Disabled = static_cast<std::uint8_t>(i % 2);
    container->AddChild(std::move(user));
    if (withStranger && i == 0)
      container->AddChild(std::make_unique<CUserGroupNode>(container, "not a user", codes.userType + 0x1000, 99));
  }
  return trees;
}

TEST(UserListTest, CopiesWhenTheArrayIsLargeEnough) {
  for (const std::int32_t mode : {kPQ, kAuto}) {
    const ConfigTrees trees = securityTree(mode, 3);
    EXPECT_EQ(GetUserCount(trees, mode), 3) << mode;

    TUserInfo sentinel;
    sentinel.UserName = "untouched";
    std::vector<TUserInfo> small(2, sentinel);
    EXPECT_FALSE(GetUserList(trees, mode, small));
    EXPECT_EQ(small[0].UserName, "untouched");

    std::vector<TUserInfo> large(5, sentinel);
    ASSERT_TRUE(GetUserList(trees, mode, large));
    EXPECT_EQ(large[0].UserID, 10u);
    EXPECT_EQ(large[0].UserName, "u0");
    EXPECT_EQ(large[0].Password, "pw0");
    EXPECT_EQ(large[0].Remark, "remark0");
    EXPECT_EQ(large[1].Disabled, 1);
    EXPECT_EQ(large[2].UserName, "u2");
    EXPECT_EQ(large[3].UserName, "untouched");
  }
}

TEST(UserListTest, MissingTreeOrContainer) {
  ConfigTrees none;
  std::vector<TUserInfo> users(3);
  EXPECT_EQ(GetUserCount(none, kPQ), 0);
  EXPECT_FALSE(GetUserList(none, kPQ, users));

  ConfigTrees empty;
  empty.SecurityRoot = std::make_unique<CSecurityGNode>(nullptr, "root", kSecurityRootType12, kSecurityRootID12);
  EXPECT_EQ(GetUserCount(empty, kPQ), 0);
  EXPECT_FALSE(GetUserList(empty, kPQ, users));

  // The container of the other mode is not found.
  const ConfigTrees trees21 = securityTree(kAuto, 2);
  EXPECT_EQ(GetUserCount(trees21, kPQ), 0);
  EXPECT_FALSE(GetUserList(trees21, kPQ, users));
  EXPECT_EQ(GetUserCount(trees21, kSourceFolder), 0);

  const ConfigTrees noUsers = securityTree(kPQ, 0);
  EXPECT_EQ(GetUserCount(noUsers, kPQ), 0);
  EXPECT_TRUE(GetUserList(noUsers, kPQ, std::span<TUserInfo>()));
}

TEST(UserListTest, ChildrenThatAreNotUsersAreLeftOut) {
  const ConfigTrees trees = securityTree(kPQ, 2, true);
  ASSERT_EQ(trees.SecurityRoot->FindNode(kUsersType12, kUsersID12)->ChildCount(), 3);
  EXPECT_EQ(GetUserCount(trees, kPQ), 2);
  std::vector<TUserInfo> users(2);
  ASSERT_TRUE(GetUserList(trees, kPQ, users));
  EXPECT_EQ(users[0].UserName, "u0");
  EXPECT_EQ(users[1].UserName, "u1");
}

// The road of a log-in over the stand-in: trees loaded, then users listed,
// in mode 12 against a connection that the load closed again.
TEST(UserListTest, FromLoadedTrees) {
  StandIn standIn;
  auto& config = standIn.config12();
  querytest::CreateTreeTable(config, kPQ);
  querytest::InsertNodes(
      config, kPQ,
      {{kUsersType12, kUsersID12, kSecurityRootType12, kSecurityRootID12, "users", {}},
       {kUserType12, 1, kUsersType12, kUsersID12, "alice",
        querytest::Complemented({2, 0, 0, 0, 'r', '1', 3, 0, 0, 0, 'p', 'w', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0})}});
  querytest::DefineServerTime(config, 0, "2024-02-29 13:45:10.123");
  ReportingRptDB db;
  standIn.connect12(db.rpt);
  ConfigTrees trees;
  ASSERT_EQ(LoadConfigTrees(db.rpt, kPQ, trees), 0);
  ASSERT_EQ(GetUserCount(trees, kPQ), 1);
  std::vector<TUserInfo> users(1);
  ASSERT_TRUE(GetUserList(trees, kPQ, users));
  EXPECT_EQ(users[0].UserName, "alice");
  EXPECT_EQ(users[0].Password, "pw1");
  EXPECT_EQ(users[0].Remark, "r1");
  EXPECT_EQ(FindUserID(trees.SecurityRoot.get(), "alice", "pw1", kUsersType12, kUsersID12), 1);

  TSystemTime time;
  EXPECT_EQ(GetServerTime(db.rpt, time), 0);  // opens the closed connection by itself
  EXPECT_EQ(time.wYear, 2024);
}

}  // namespace
}  // namespace stationdb
