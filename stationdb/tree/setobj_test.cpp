#include "stationdb/tree/setobj.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include "common/datetime.h"
#include "stationdb/tree/factory.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"

namespace stationdb {
namespace {

std::unique_ptr<CSetObj> node(std::string_view name, std::uint32_t type, std::uint32_t id) {
  return std::make_unique<CSetObj>(nullptr, name, type, id);
}

TEST(CSetObj, ConstructorTakesParentLinksButDoesNotJoinTheList) {
  const common::TDateTime before = common::NowLocal();
  CSetObj root(nullptr, "root", 7, 70);
  EXPECT_EQ(root.ParentNodeID(), -1);
  EXPECT_EQ(root.ParentNodeType(), -1);
  EXPECT_EQ(root.Parent(), nullptr);
  EXPECT_GE(root.CreateTime(), before);
  EXPECT_LE(root.CreateTime(), common::NowLocal());

  CSetObj child(&root, "child", 8, 80);
  EXPECT_EQ(child.ParentNodeID(), 70);
  EXPECT_EQ(child.ParentNodeType(), 7);
  EXPECT_EQ(child.Parent(), &root);
  EXPECT_EQ(root.ChildCount(), 0);
}

TEST(CSetObj, AddChildPointsTheParentLinksAtTheNewParent) {
  CSetObj root(nullptr, "root", 7, 70);
  CSetObj* child = root.AddChild(node("child", 8, 80));
  EXPECT_EQ(child->Parent(), &root);
  EXPECT_EQ(child->ParentNodeID(), 70);
  EXPECT_EQ(child->ParentNodeType(), 7);
  EXPECT_EQ(root.ChildCount(), 1);
  EXPECT_EQ(root.GetChild(0), child);
  EXPECT_EQ(root.GetChild(-1), nullptr);
  EXPECT_EQ(root.GetChild(1), nullptr);
}

TEST(CSetObj, NamesAreCutToEightyBytesWithoutSplittingACharacter) {
  const std::string gbkPair = "\xB3\xA7";  // one GBK character, two bytes
  struct Case {
    const char* name;
    std::string given;
    std::string kept;
  };
  const Case cases[] = {
      {"short", "abc", "abc"},
      {"empty", "", ""},
      {"exactly 80", std::string(80, 'a'), std::string(80, 'a')},
      {"81", std::string(81, 'a'), std::string(80, 'a')},
      {"300", std::string(300, 'b'), std::string(80, 'b')},
      {"40 GBK characters", [&] { std::string s; for (int i = 0; i < 41; ++i) s += gbkPair; return s; }(),
       [&] { std::string s; for (int i = 0; i < 40; ++i) s += gbkPair; return s; }()},
      {"pair across byte 80", std::string(79, 'a') + gbkPair, std::string(79, 'a')},
      {"lone lead byte at the end", std::string(79, 'a') + "\xB3", std::string(79, 'a') + "\xB3"},
  };
  for (const auto& c : cases) {
    CSetObj n(nullptr, c.given, 1, 1);
    EXPECT_EQ(n.GetName(), c.kept) << c.name;
    EXPECT_EQ(cutNodeName(c.given), c.kept) << c.name;
  }
}

// root(1,0)
//   A(10,1) - A1(20,5) - A11(30,9)
//   B(20,6)
//   C(30,7) - C1(30,8)
//   D(40,0x90000000)
class FindNodeTree : public ::testing::Test {
 protected:
  void SetUp() override {
    CSetObj* a = root_.AddChild(node("A", 10, 1));
    CSetObj* a1 = a->AddChild(node("A1", 20, 5));
    a1->AddChild(node("A11", 30, 9));
    root_.AddChild(node("B", 20, 6));
    CSetObj* c = root_.AddChild(node("C", 30, 7));
    c->AddChild(node("C1", 30, 8));
    root_.AddChild(node("D", 40, 0x90000000u));
  }
  CSetObj root_{nullptr, "root", 1, 0};
};

TEST_F(FindNodeTree, SearchesDepthFirstBelowTheNode) {
  struct Case {
    std::int64_t type, id;
    const char* found;  // nullptr: none
  };
  const Case cases[] = {
      {20, -1, "A1"},  // in A's subtree, before the later sibling B
      {20, 6, "B"},    {30, -1, "A11"}, {30, 8, "C1"},        {10, 1, "A"},
      {1, 0, nullptr},  // the node itself is not tested
      {99, -1, nullptr}, {-1, -1, nullptr}, {20, -2, nullptr}, {20, 4, nullptr},
      {40, 0x90000000LL, "D"},  // ids above 2^31 are whole
      {40, static_cast<std::int32_t>(0x90000000u), nullptr},
  };
  for (const auto& c : cases) {
    const CSetObj* hit = std::as_const(root_).FindNode(c.type, c.id);
    if (c.found == nullptr) {
      EXPECT_EQ(hit, nullptr) << c.type << "/" << c.id;
    } else {
      ASSERT_NE(hit, nullptr) << c.type << "/" << c.id;
      EXPECT_EQ(hit->GetName(), c.found) << c.type << "/" << c.id;
    }
  }
}

TEST_F(FindNodeTree, AMatchingNodeIsReturnedBeforeItsMatchingDescendants) {
  EXPECT_EQ(root_.FindNode(30, -1)->GetName(), "A11");
  CSetObj* c = root_.FindNode(30, 7);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->FindNode(30, -1)->GetName(), "C1");
}

TEST(CSetObj, NewChildIdIsOneAboveTheHighest) {
  struct Case {
    std::vector<std::uint32_t> ids;
    std::uint32_t expected;
  };
  const Case cases[] = {{{}, 0}, {{0}, 1}, {{3, 1, 7}, 8}, {{7, 3}, 8}, {{5, 5}, 6}};
  for (const auto& c : cases) {
    CSetObj parent(nullptr, "p", 1, 1);
    for (const auto id : c.ids) parent.AddChild(node("c", 2, id));
    EXPECT_EQ(parent.GetNewChildID(), c.expected) << c.ids.size();
  }
}

TEST(CSetObj, DuplicateIdsReportTheInnermostNodeFirstReached) {
  CSetObj root(nullptr, "\xB3\xA7\xD5\xBE", 1, 0);  // "厂站" in GBK
  std::string message = "stale";
  root.CheckDuplicateIDs(message);
  EXPECT_EQ(message, "");

  CSetObj* first = root.AddChild(node("first", 2, 1));
  first->AddChild(node("x", 3, 1));
  CSetObj* deep = first->AddChild(node("deep", 3, 2));
  root.AddChild(node("second", 2, 1));  // clashes with "first"
  root.CheckDuplicateIDs(message);
  EXPECT_EQ(message, "“厂站”下设有重复的ID号");

  deep->AddChild(node("d1", 4, 9));
  deep->AddChild(node("d2", 4, 9));
  first->AddChild(node("y", 3, 1));  // a clash of first's own children, found after deep's
  root.CheckDuplicateIDs(message);
  EXPECT_EQ(message, "“deep”下设有重复的ID号");
}

class Tracked : public CSetObj {
 public:
  Tracked(int& alive, std::uint32_t id) : CSetObj(nullptr, "t", 1, id), alive_(alive) { ++alive_; }
  ~Tracked() override { --alive_; }

 private:
  int& alive_;
};

TEST(CSetObj, ClearingAndDestroyingFreeTheWholeSubtree) {
  int alive = 0;
  {
    auto root = std::make_unique<Tracked>(alive, 0);
    CSetObj* a = root->AddChild(std::make_unique<Tracked>(alive, 1));
    a->AddChild(std::make_unique<Tracked>(alive, 2));
    a->AddChild(std::make_unique<Tracked>(alive, 3));
    root->AddChild(std::make_unique<Tracked>(alive, 4));
    EXPECT_EQ(alive, 5);
    a->ClearChildren();
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(a->ChildCount(), 0);
  }
  EXPECT_EQ(alive, 0);
}

TEST(NodeFactory, EachTypeCodeGetsItsClassInEitherMode) {
  struct Case {
    std::uint32_t type;
    const std::type_info& cls;
    bool group;
  };
  const Case cases[] = {
      {kStationRootType12, typeid(CStationGNode), true},    {kStationType21, typeid(CStationGNode), true},
      {kCommuType21, typeid(CCommuGNode), true},             {kChannelType12, typeid(CChannelGNode), true},
      {kChannelType21, typeid(CChannelGNode), true},         {kMeterType12, typeid(CMeterGNode), true},
      {kMeterType21, typeid(CMeterGNode), true},             {kSecurityRootType12, typeid(CSecurityGNode), true},
      {kSecurityRootType21, typeid(CSecurityGNode), true},   {kUsersType12, typeid(CUserGNode), true},
      {kUsersType21, typeid(CUserGNode), true},              {kUserType12, typeid(CUserNode), false},
      {kUserType21, typeid(CUserNode), false},               {kUserGroupsType12, typeid(CUserGroupGNode), true},
      {kUserGroupsType21, typeid(CUserGroupGNode), true},    {kUserGroupType12, typeid(CUserGroupNode), false},
      {kUserGroupType21, typeid(CUserGroupNode), false},     {kAuthoritiesType12, typeid(CAuthorityGNode), true},
      {kAuthoritiesType21, typeid(CAuthorityGNode), true},   {kAuthorityType12, typeid(CAuthorityNode), false},
      {kAuthorityType21, typeid(CAuthorityNode), false},     {kStrategiesType12, typeid(CStrategyGNode), true},
      {kStrategiesType21, typeid(CStrategyGNode), true},     {kStrategyType12, typeid(CStrategyNode), false},
      {kStrategyType21, typeid(CStrategyNode), false},
  };
  CSetObj parent(nullptr, "p", 1, 2);
  for (const auto& c : cases) {
    auto made = newNodeOfType(&parent, "n", c.type, 42);
    ASSERT_NE(made, nullptr) << std::hex << c.type;
    const CSetObj& madeRef = *made;
    EXPECT_EQ(typeid(madeRef), c.cls) << std::hex << c.type;
    EXPECT_EQ(made->IsGroup(), c.group) << std::hex << c.type;
    EXPECT_EQ(made->NodeType(), c.type);
    EXPECT_EQ(made->NodeID(), 42u);
    EXPECT_EQ(made->GetName(), "n");
    EXPECT_EQ(made->ParentNodeID(), 2);
    EXPECT_EQ(parent.ChildCount(), 0);
  }
  for (const std::uint32_t unknown : {0u, 0x21000u, 0x10121001u, 0x41101u})
    EXPECT_EQ(newNodeOfType(&parent, "n", unknown, 1), nullptr) << std::hex << unknown;
}

TEST(NodeFactory, SystemMeasurePointRootNamesItselfFromTheLanguage) {
  auto builtIn = newNodeOfType(nullptr, "ignored", kSystemMeasurePointType21, 5);
  ASSERT_NE(dynamic_cast<CSystemMeaurePointGNode*>(builtIn.get()), nullptr);
  EXPECT_EQ(builtIn->NodeType(), kSystemMeasurePointType21);
  EXPECT_EQ(builtIn->NodeID(), kSystemMeasurePointType21);
  EXPECT_EQ(builtIn->GetName(), "\xB3\xA7\xD5\xBE\xC9\xE8\xD6\xC3");  // "厂站设置" in GBK
  EXPECT_TRUE(builtIn->IsGroup());

  const common::LangLookup lookup = [](std::string_view section, std::string_view key, std::string_view) {
    return std::string(section) + "/" + std::string(key);
  };
  CSystemMeaurePointGNode translated(nullptr, lookup);
  EXPECT_EQ(translated.GetName(), "Strings_ScadaClass/str0");
}

TEST(CSetObj, TotalSizeIsDataSizePlus97) {
  CSetObj plain(nullptr, "n", 1, 1);
  EXPECT_EQ(plain.GetDataSize(), 0);
  EXPECT_EQ(plain.GetTotalSize(), 97);
  CStationGNode station(nullptr, "s", kStationType21, 1);
  EXPECT_EQ(station.GetTotalSize(), 117);
}

TEST(LoginCodes, PerMode) {
  const auto pq = loginCodes(12);
  ASSERT_TRUE(pq);
  EXPECT_EQ(pq->usersType, 0x41000u);
  EXPECT_EQ(pq->usersID, 1040u);
  EXPECT_EQ(pq->userType, 0x41100u);
  EXPECT_TRUE(pq->checkRules);
  const auto automation = loginCodes(21);
  ASSERT_TRUE(automation);
  EXPECT_EQ(automation->usersType, 0x10041000u);
  EXPECT_EQ(automation->usersID, 0x10041000u);
  EXPECT_EQ(automation->userType, 0x10041100u);
  EXPECT_FALSE(automation->checkRules);
  EXPECT_FALSE(loginCodes(0));
  EXPECT_FALSE(loginCodes(1));
}

}  // namespace
}  // namespace stationdb
