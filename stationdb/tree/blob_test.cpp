// Node data blobs: reading per record source mode, refusing short and corrupt
// blobs, and the exact bytes SaveData writes.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "stationdb/tree/factory.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"
#include "stationdb/tree/testblob.h"

namespace stationdb {
namespace {

using testing::Bytes;

constexpr std::int32_t kPQ = kSourcePowerQuality;
constexpr std::int32_t kAuto = kSourceAutomation;
const std::string kRemarkGbk = "\xB1\xB8\xD7\xA2";  // "备注"

template <typename Node>
const Node& as(const CSetObj& node) {
  return dynamic_cast<const Node&>(node);
}

Bytes twoRules() {
  return Bytes()
      .i32(2)
      .u32(1).time(0, 0, 0, 0, 8, 0, 0, 0).time(0, 0, 0, 0, 17, 30, 0, 0)
      .u32(2).time(2024, 1, 1, 10, 0, 0, 0, 0).time(2024, 1, 3, 20, 0, 0, 0, 0);
}

struct LoadCase {
  const char* name;
  std::uint32_t type;
  std::int32_t mode;
  std::optional<MemoryStream> blob;  // nullopt: no stream
  bool ok;
  std::function<void(const CSetObj&)> check;
};

void runLoadCases(const std::vector<LoadCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto node = newNodeOfType(nullptr, "n", c.type, 1);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->LoadData(c.blob ? &*c.blob : nullptr, c.mode), c.ok);
    EXPECT_EQ(node->DataLoadFailed(), !c.ok);
    if (c.check) c.check(*node);
  }
}

TEST(NodeBlobLoad, SecurityRoot) {
  const Bytes words = Bytes().u32(7).u32(9);
  const auto read = [](std::uint32_t w1, std::uint32_t w2) {
    return [=](const CSetObj& n) {
      EXPECT_EQ(as<CSecurityGNode>(n).Word1, w1);
      EXPECT_EQ(as<CSecurityGNode>(n).Word2, w2);
    };
  };
  runLoadCases({
      {"mode 12 complemented", kSecurityRootType12, kPQ, words.complemented(), true, read(7, 9)},
      {"mode 21 plain", kSecurityRootType21, kAuto, words.plain(), true, read(7, 9)},
      {"mode 0 plain", kSecurityRootType21, kSourceFolder, words.plain(), true, read(7, 9)},
      {"7 bytes", kSecurityRootType12, kPQ, Bytes().u32(7).raw({0, 0, 0}).complemented(), false, read(10001, 0)},
      {"no stream", kSecurityRootType12, kPQ, std::nullopt, false, read(10001, 0)},
  });
}

TEST(NodeBlobLoad, User) {
  const Bytes full = Bytes().str(kRemarkGbk).str("pw").u8(1).u32(77).raw({});
  Bytes fullWithRules = full;
  const Bytes rules = twoRules();
  for (const auto byte : rules.bytes()) fullWithRules.u8(byte);

  const auto texts = [](std::string remark, std::string password) {
    return [=](const CSetObj& n) {
      EXPECT_EQ(as<CUserNode>(n).Remark, remark);
      EXPECT_EQ(as<CUserNode>(n).Password, password);
    };
  };
  runLoadCases({
      {"mode 12 with two rules", kUserType12, kPQ, fullWithRules.complemented(), true,
       [](const CSetObj& n) {
         const auto& u = as<CUserNode>(n);
         EXPECT_EQ(u.Remark, kRemarkGbk);
         EXPECT_EQ(u.Password, "pw");
         EXPECT_EQ(u.Disabled, 1);
         EXPECT_EQ(u.Extra, 77u);
         ASSERT_EQ(u.Rules.size(), 2u);
         EXPECT_EQ(u.Rules[0].Kind, 1u);
         EXPECT_EQ(u.Rules[0].StartTime.wHour, 8);
         EXPECT_EQ(u.Rules[0].EndTime.wMinute, 30);
         EXPECT_EQ(u.Rules[1].Kind, 2u);
         EXPECT_EQ(u.Rules[1].StartTime, (TSystemTime{2024, 1, 1, 10, 0, 0, 0, 0}));
         EXPECT_EQ(u.Rules[1].EndTime.wDay, 20);
       }},
      {"mode 21 holds the two texts only", kUserType21, kAuto, Bytes().str("r").str("p").plain(), true,
       texts("r", "p")},
      {"mode 21 ignores what follows the texts", kUserType21, kAuto, fullWithRules.plain(), true,
       [](const CSetObj& n) {
         EXPECT_EQ(as<CUserNode>(n).Password, "pw");
         EXPECT_EQ(as<CUserNode>(n).Disabled, 0);
         EXPECT_EQ(as<CUserNode>(n).Extra, 0u);
         EXPECT_TRUE(as<CUserNode>(n).Rules.empty());
       }},
      {"mode 12 without any rule", kUserType12, kPQ, Bytes().str("").str("").u8(0).u32(0).i32(0).complemented(),
       true, texts("", "")},
      {"mode 12 blob stored plain", kUserType12, kPQ, fullWithRules.plain(), false, texts("", "")},
      {"negative rule count", kUserType12, kPQ, Bytes().str("r").str("p").u8(1).u32(5).i32(-1).complemented(),
       false,
       [](const CSetObj& n) {
         EXPECT_EQ(as<CUserNode>(n).Password, "p");
         EXPECT_EQ(as<CUserNode>(n).Disabled, 1);  // read before the count
         EXPECT_TRUE(as<CUserNode>(n).Rules.empty());
       }},
      {"huge rule count", kUserType12, kPQ,
       Bytes().str("r").str("p").u8(0).u32(0).i32(0x7FFFFFFF).time(0, 0, 0, 0, 0, 0, 0, 0).u32(1).raw({}).complemented(),
       false, [](const CSetObj& n) { EXPECT_TRUE(as<CUserNode>(n).Rules.empty()); }},
      {"count 2 with one rule", kUserType12, kPQ,
       Bytes().str("r").str("p").u8(0).u32(0).i32(2).u32(1).time(0, 0, 0, 0, 8, 0, 0, 0).time(0, 0, 0, 0, 9, 0, 0, 0)
           .complemented(),
       false, [](const CSetObj& n) { EXPECT_TRUE(as<CUserNode>(n).Rules.empty()); }},
      {"rule cut short", kUserType12, kPQ,
       Bytes().str("r").str("p").u8(0).u32(0).i32(1).u32(1).time(0, 0, 0, 0, 8, 0, 0, 0).complemented(), false,
       [](const CSetObj& n) { EXPECT_TRUE(as<CUserNode>(n).Rules.empty()); }},
      {"disabled flag missing", kUserType12, kPQ, Bytes().str("r").str("p").complemented(), false, texts("r", "p")},
      {"password length 256", kUserType12, kPQ,
       [] {
         Bytes b;
         b.str("r").u32(256);
         for (int i = 0; i < 256; ++i) b.u8('x');
         return b.complemented();
       }(),
       false, texts("r", "")},
      {"password length past the end", kUserType21, kAuto, Bytes().str("r").u32(5).raw({'a', 'b'}).plain(), false,
       texts("r", "")},
      {"negative text length", kUserType21, kAuto, Bytes().i32(-4).u32(0).plain(), false, texts("", "")},
      {"7 bytes", kUserType21, kAuto, Bytes().u32(0).raw({0, 0, 0}).plain(), false, texts("", "")},
      {"empty blob (Null column)", kUserType12, kPQ, MemoryStream{}, false, texts("", "")},
      {"no stream", kUserType12, kPQ, std::nullopt, false, texts("", "")},
  });
}

TEST(NodeBlobLoad, GroupsAndAuthorities) {
  const Bytes three = Bytes().str(kRemarkGbk).i32(3).u32(10).u32(20).u32(0xFFFFFFFF);
  const auto ids = [](std::string remark, std::vector<std::uint32_t> expected) {
    return [=](const CSetObj& n) {
      if (const auto* g = dynamic_cast<const CUserGroupNode*>(&n)) {
        EXPECT_EQ(g->Remark, remark);
        EXPECT_EQ(g->IDs, expected);
      } else {
        EXPECT_EQ(as<CAuthorityNode>(n).Remark, remark);
        EXPECT_EQ(as<CAuthorityNode>(n).IDs, expected);
      }
    };
  };
  runLoadCases({
      {"group, mode 12", kUserGroupType12, kPQ, three.complemented(), true, ids(kRemarkGbk, {10, 20, 0xFFFFFFFF})},
      {"authority, mode 21", kAuthorityType21, kAuto, three.plain(), true, ids(kRemarkGbk, {10, 20, 0xFFFFFFFF})},
      {"no ids", kAuthorityType12, kPQ, Bytes().str("a").i32(0).complemented(), true, ids("a", {})},
      {"four bytes: the count is missing", kUserGroupType21, kAuto, Bytes().str("").plain(), false, ids("", {})},
      {"3 bytes", kUserGroupType21, kAuto, Bytes().raw({0, 0, 0}).plain(), false, ids("", {})},
      {"negative count", kUserGroupType12, kPQ, Bytes().str("a").i32(-1).complemented(), false, ids("a", {})},
      {"count 3 with two ids", kAuthorityType21, kAuto, Bytes().str("a").i32(3).u32(1).u32(2).plain(), false,
       ids("a", {})},
      {"huge count", kUserGroupType21, kAuto, Bytes().str("a").i32(0x40000000).u32(1).plain(), false, ids("a", {})},
  });
}

TEST(NodeBlobLoad, StrategiesAreComplementedInEveryMode) {
  const Bytes blob = Bytes().str("t1").u32(0x01020304).str(kRemarkGbk);
  const auto fields = [](std::string t1, std::uint32_t value, std::string t2) {
    return [=](const CSetObj& n) {
      EXPECT_EQ(as<CStrategyNode>(n).Text1, t1);
      EXPECT_EQ(as<CStrategyNode>(n).Value, value);
      EXPECT_EQ(as<CStrategyNode>(n).Text2, t2);
    };
  };
  runLoadCases({
      {"mode 12", kStrategyType12, kPQ, blob.complemented(), true, fields("t1", 0x01020304, kRemarkGbk)},
      {"mode 21", kStrategyType21, kAuto, blob.complemented(), true, fields("t1", 0x01020304, kRemarkGbk)},
      {"mode 21 stored plain", kStrategyType21, kAuto, blob.plain(), false, fields("", 0, "")},
      {"second text missing", kStrategyType21, kAuto, Bytes().str("t1").u32(5).complemented(), false,
       fields("t1", 5, "")},
      {"value cut short", kStrategyType12, kPQ, Bytes().str("").raw({1, 2}).complemented(), false,
       fields("", 0, "")},
      {"3 bytes", kStrategyType12, kPQ, Bytes().raw({0, 0, 0}).complemented(), false, fields("", 0, "")},
  });
}

TEST(NodeBlobLoad, StationSideNodesKeepTheirDefaults) {
  const MemoryStream anything = Bytes().u32(0xDEADBEEF).str("abc").u8(9).plain();
  runLoadCases({
      {"station", kStationType21, kAuto, anything, true,
       [](const CSetObj& n) {
         const auto& s = as<CStationGNode>(n);
         EXPECT_EQ(std::vector<std::uint32_t>({s.W1, s.W2, s.W3, s.W4, s.W5}),
                   std::vector<std::uint32_t>({0, 0, 1, 1000000, 0}));
       }},
      {"channel", kChannelType12, kPQ, anything, true,
       [](const CSetObj& n) {
         EXPECT_EQ(as<CChannelGNode>(n).Word1, 0u);
         EXPECT_TRUE(as<CChannelGNode>(n).Text1.empty());
         EXPECT_TRUE(as<CChannelGNode>(n).Items.empty());
       }},
      {"meter, empty blob", kMeterType21, kAuto, MemoryStream{}, true,
       [](const CSetObj& n) { EXPECT_TRUE(as<CMeterGNode>(n).Text.empty()); }},
      {"communication node", kCommuType21, kAuto, anything, true, nullptr},
      {"container", kUsersType12, kPQ, anything, true, nullptr},
      {"meter, no stream", kMeterType12, kPQ, std::nullopt, false, nullptr},
  });
}

TEST(NodeBlobLoad, PlainModeTwentyOneAndComplementedModeTwelveReadAlike) {
  const Bytes content = Bytes().str(kRemarkGbk).i32(2).u32(3).u32(4);
  CUserGroupNode plain(nullptr, "g", kUserGroupType21, 1);
  CUserGroupNode scrambled(nullptr, "g", kUserGroupType12, 1);
  const MemoryStream plainBlob = content.plain();
  const MemoryStream scrambledBlob = content.complemented();
  ASSERT_TRUE(plain.LoadData(&plainBlob, kAuto));
  ASSERT_TRUE(scrambled.LoadData(&scrambledBlob, kPQ));
  EXPECT_EQ(plain.Remark, scrambled.Remark);
  EXPECT_EQ(plain.IDs, scrambled.IDs);
  EXPECT_EQ(scrambledBlob.bytes(), content.complemented().bytes());  // the caller's blob is left as it was
}

TEST(NodeBlobLoad, ALaterGoodLoadClearsTheFailure) {
  CUserNode user(nullptr, "u", kUserType21, 1);
  const MemoryStream bad = Bytes().raw({1}).plain();
  const MemoryStream good = Bytes().str("").str("p").plain();
  EXPECT_FALSE(user.DataLoadFailed());
  EXPECT_FALSE(user.LoadData(&bad, kAuto));
  EXPECT_TRUE(user.DataLoadFailed());
  EXPECT_TRUE(user.LoadData(&good, kAuto));
  EXPECT_FALSE(user.DataLoadFailed());
}

struct SaveCase {
  const char* name;
  std::function<std::unique_ptr<CSetObj>()> make;
  std::vector<std::uint8_t> expected;  // before complementing
};

TEST(NodeBlobSave, WritesTheFieldsInOrderComplemented) {
  const std::vector<SaveCase> cases = {
      {"base", [] { return std::make_unique<CSetObj>(nullptr, "n", 1, 1); }, {}},
      {"station defaults: W1 W2 W3 W5 W4",
       [] { return std::make_unique<CStationGNode>(nullptr, "s", kStationType21, 1); },
       Bytes().u32(0).u32(0).u32(1).u32(0).u32(1000000).bytes()},
      {"meter",
       [] {
         auto m = std::make_unique<CMeterGNode>(nullptr, "m", kMeterType21, 1);
         m->Word1 = 1;
         m->Word2 = 2;
         m->Text = "mt";
         return m;
       },
       Bytes().u32(1).u32(2).str("mt").bytes()},
      {"channel",
       [] {
         auto c = std::make_unique<CChannelGNode>(nullptr, "c", kChannelType21, 1);
         c->Word1 = 1;
         c->Text1 = "a";
         c->Text2 = "";
         c->Word2 = 2;
         c->Flag = 3;
         c->Text3 = "bc";
         c->Text4 = "d";
         c->Word3 = 4;
         c->Tail = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
         TChannelItem item;
         item.Word1 = 5;
         item.Bytes[0] = 0xAA;
         item.Bytes[15] = 0xBB;
         item.Word2 = 6;
         item.Flags = {7, 8, 9};
         item.Last = 10;
         c->Items = {item};
         return c;
       },
       Bytes()
           .u32(1).str("a").str("").u32(2).u8(3).str("bc").str("d").u32(4)
           .u32(1)
           .u32(5).raw({0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xBB}).u32(6).raw({7, 8, 9}).u8(10)
           .raw({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})
           .bytes()},
      {"security root", [] { return std::make_unique<CSecurityGNode>(nullptr, "r", kSecurityRootType12, 1); },
       Bytes().u32(10001).u32(0).bytes()},
      {"mode-21 user: still the whole blob",
       [] {
         auto u = std::make_unique<CUserNode>(nullptr, "u", kUserType21, 1);
         u->Remark = "r";
         u->Password = "pw";
         u->Disabled = 1;
         u->Extra = 9;
         u->Rules = {TLoginRule{3, {2024, 1, 1, 1, 0, 0, 0, 0}, {2024, 12, 2, 31, 23, 59, 59, 999}}};
         return u;
       },
       Bytes().str("r").str("pw").u8(1).u32(9).i32(1).u32(3)
           .time(2024, 1, 1, 1, 0, 0, 0, 0).time(2024, 12, 2, 31, 23, 59, 59, 999).bytes()},
      {"authority",
       [] {
         auto a = std::make_unique<CAuthorityNode>(nullptr, "a", kAuthorityType12, 1);
         a->Remark = "x";
         a->IDs = {1, 2};
         return a;
       },
       Bytes().str("x").i32(2).u32(1).u32(2).bytes()},
      {"strategy",
       [] {
         auto s = std::make_unique<CStrategyNode>(nullptr, "s", kStrategyType21, 1);
         s->Text1 = "p";
         s->Value = 7;
         s->Text2 = "qq";
         return s;
       },
       Bytes().str("p").u32(7).str("qq").bytes()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto node = c.make();
    MemoryStream stream(std::vector<std::uint8_t>{0x55, 0x66});  // emptied first
    std::vector<std::uint8_t> expected = c.expected;
    for (auto& byte : expected) byte = static_cast<std::uint8_t>(~byte);
    EXPECT_EQ(node->SaveData(&stream), static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(stream.bytes(), expected);
    EXPECT_EQ(node->GetDataSize(), static_cast<std::int32_t>(expected.size()));
  }
}

TEST(NodeBlobSave, RefusesNoStreamAndTextsTooLongToStore) {
  CUserNode user(nullptr, "u", kUserType12, 1);
  EXPECT_EQ(user.SaveData(nullptr), -1);
  user.Password = std::string(256, 'p');
  MemoryStream stream(std::vector<std::uint8_t>{1, 2, 3});
  EXPECT_EQ(user.SaveData(&stream), -1);
  EXPECT_EQ(stream.size(), 0u);
  user.Password = std::string(255, 'p');
  EXPECT_EQ(user.SaveData(&stream), 17 + 255);
}

TEST(NodeBlobSave, SecurityNodesSurviveASaveAndAModeTwelveLoad) {
  CUserNode user(nullptr, "u", kUserType12, 1);
  user.Remark = kRemarkGbk;
  user.Password = "\xC3\xDC\xC2\xEB";  // GBK bytes
  user.Disabled = 1;
  user.Extra = 0xCAFE;
  user.Rules = {TLoginRule{1, {0, 0, 0, 0, 8, 0, 0, 0}, {0, 0, 0, 0, 18, 0, 0, 0}},
                TLoginRule{9, {1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}}};
  MemoryStream blob;
  ASSERT_EQ(user.SaveData(&blob), 17 + 4 + 4 + 72);
  CUserNode back(nullptr, "u", kUserType12, 1);
  ASSERT_TRUE(back.LoadData(&blob, kPQ));
  EXPECT_EQ(back.Remark, user.Remark);
  EXPECT_EQ(back.Password, user.Password);
  EXPECT_EQ(back.Disabled, user.Disabled);
  EXPECT_EQ(back.Extra, user.Extra);
  EXPECT_EQ(back.Rules, user.Rules);

  CStrategyNode strategy(nullptr, "s", kStrategyType21, 1);
  strategy.Text1 = "a";
  strategy.Value = 3;
  strategy.Text2 = "b";
  ASSERT_GT(strategy.SaveData(&blob), 0);
  CStrategyNode strategyBack(nullptr, "s", kStrategyType21, 1);
  ASSERT_TRUE(strategyBack.LoadData(&blob, kAuto));  // complemented in mode 21 too
  EXPECT_EQ(strategyBack.Text1, "a");
  EXPECT_EQ(strategyBack.Value, 3u);
  EXPECT_EQ(strategyBack.Text2, "b");
}

}  // namespace
}  // namespace stationdb
