#include "stationdb/queries/configtrees.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/other_user.h"
#include "stationdb/db/error.h"
#include "stationdb/queries/testsupport.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"
#include "stationdb/tree/testblob.h"

namespace stationdb {
namespace {

using querytest::Complemented;
using querytest::FreeForOthers;
using querytest::MutexHolder;
using querytest::StoredNode;
using querytest::ReportingRptDB;
using querytest::StandIn;
using testing::Bytes;

constexpr std::int32_t kPQ = kSourcePowerQuality;
constexpr std::int32_t kAuto = kSourceAutomation;

std::vector<std::string> childNames(const CSetObj* node) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; node != nullptr && i < node->ChildCount(); ++i)
    names.push_back(node->GetChild(i)->GetName());
  return names;
}

std::vector<std::uint8_t> userBlob12(std::string_view remark, std::string_view password, std::uint8_t disabled,
                                     int rules) {
  Bytes b;
  b.str(remark).str(password).u8(disabled).u32(9).i32(rules);
  for (int i = 0; i < rules; ++i) b.u32(1).time(0, 0, 0, 0, 8, 0, 0, 0).time(0, 0, 0, 0, 17, 0, 0, 0);
  return Complemented(b.bytes());
}

std::vector<std::uint8_t> userBlob21(std::string_view remark, std::string_view password) {
  return Bytes().str(remark).str(password).bytes();
}

TEST(ChildNodesQueryTest, TextsOfBothModes) {
  struct Case {
    std::int32_t mode;
    std::uint32_t type;
    std::uint32_t id;
    std::string text;
  } cases[] = {
      {kPQ, 0x20000, 512, "SELECT * FROM S_QORVA_5 WHERE ParentNodeType=131072 and ParentNodeID=512"},
      {kAuto, 0x10040000, 0x10040000,
       "SELECT * FROM PC_TB_05 WHERE ParentNodeType=268697600 and ParentNodeID=268697600 order by NodeID asc"},
      {kAuto, 0x10120000, 0x90000000u,
       "SELECT * FROM PC_TB_05 WHERE ParentNodeType=269615104 and ParentNodeID=2415919104 order by NodeID asc"},
      {kPQ, 0, 0xFFFFFFFFu, "SELECT * FROM S_QORVA_5 WHERE ParentNodeType=0 and ParentNodeID=4294967295"},
      {kSourceFolder, 0x20000, 512, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ChildNodesQuery(c.mode, c.type, c.id), c.text) << c.mode << " " << c.id;
}

// The power-quality trees: complemented blobs, rows in the server's order.
class PowerQualityTrees : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& c = standIn_.config12();
    querytest::CreateTreeTable(c, kPQ);
    querytest::InsertNodes(
        c, kPQ,
        {
            {kUsersType12, kUsersID12, kSecurityRootType12, kSecurityRootID12, common::Utf8ToGbk("用户"), {}},
            {kUserGroupsType12, 1041, kSecurityRootType12, kSecurityRootID12, "groups", {}},
            {kUserType12, 1, kUsersType12, kUsersID12, "alice", userBlob12("r1", "pw1", 0, 1)},
            {kUserType12, 2, kUsersType12, kUsersID12, "bob   ", userBlob12("r2", "pw2", 1, 0)},
            {0x99999, 4, kUsersType12, kUsersID12, "unknown", {}},
            {kUserType12, 5, 0x99999, 4, "below unknown", userBlob12("", "", 0, 0)},
            {kUserType12, 3, kUsersType12, kUsersID12, " ", userBlob12("", "pw3", 0, 0)},
            {kStationRootType12, 2, kStationRootType12, kStationRootID12, "S2", {}},
            {kStationRootType12, 1, kStationRootType12, kStationRootID12, "S1", {}},
            {kChannelType12, 7, kStationRootType12, 1, "C7", {}},
            {kMeterType12, 70, kChannelType12, 7, "M70", {}},
        });
    standIn_.connect12(rpt_);
  }

  StandIn standIn_;
  RptDB rpt_;
  ConfigTrees trees_;
};

TEST_F(PowerQualityTrees, LoadsBothTrees) {
  ASSERT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), 0);

  const CSetObj* security = trees_.SecurityRoot.get();
  ASSERT_NE(security, nullptr);
  EXPECT_NE(dynamic_cast<const CSecurityGNode*>(security), nullptr);
  EXPECT_EQ(security->NodeType(), kSecurityRootType12);
  EXPECT_EQ(security->NodeID(), kSecurityRootID12);
  EXPECT_EQ(security->GetName(), common::Utf8ToGbk("安全性设置根节点"));
  EXPECT_EQ(childNames(security), (std::vector<std::string>{common::Utf8ToGbk("用户"), "groups"}));

  const CSetObj* users = security->FindNode(kUsersType12, kUsersID12);
  ASSERT_NE(users, nullptr);
  // The unknown row is skipped with its subtree; names lose trailing blanks, a lone blank stays.
  EXPECT_EQ(childNames(users), (std::vector<std::string>{"alice", "bob", " "}));
  const auto* alice = dynamic_cast<const CUserNode*>(users->GetChild(0));
  const auto* bob = dynamic_cast<const CUserNode*>(users->GetChild(1));
  ASSERT_TRUE(alice && bob);
  EXPECT_EQ(alice->Remark, "r1");
  EXPECT_EQ(alice->Password, "pw1");
  EXPECT_EQ(alice->Extra, 9u);
  ASSERT_EQ(alice->Rules.size(), 1u);
  EXPECT_EQ(alice->Rules[0].StartTime.wHour, 8);
  EXPECT_EQ(bob->Disabled, 1);
  EXPECT_FALSE(bob->DataLoadFailed());
  EXPECT_EQ(alice->ParentNodeType(), static_cast<std::int32_t>(kUsersType12));
  EXPECT_EQ(security->FindNode(kUserType12, 5), nullptr);

  const CSetObj* stations = trees_.StationRoot.get();
  ASSERT_NE(stations, nullptr);
  EXPECT_NE(dynamic_cast<const CStationGNode*>(stations), nullptr);
  EXPECT_EQ(stations->NodeID(), kStationRootID12);
  EXPECT_EQ(stations->GetName(), common::Utf8ToGbk("通讯厂站设置"));
  EXPECT_EQ(childNames(stations), (std::vector<std::string>{"S2", "S1"}));  // no order asked for
  const CSetObj* meter = stations->FindNode(kMeterType12, 70);
  ASSERT_NE(meter, nullptr);
  EXPECT_EQ(meter->Parent()->GetName(), "C7");
  EXPECT_EQ(meter->Parent()->Parent()->GetName(), "S1");

  // Outside mode 21 the connection is the load's own: closed again.
  EXPECT_FALSE(rpt_.ConfigConnection()->connected());
  EXPECT_FALSE(rpt_.ConfigDataSet()->active());
}

TEST_F(PowerQualityTrees, ReloadKeepsTheRootsAndReplacesTheirChildren) {
  ASSERT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), 0);
  const CSetObj* securityRoot = trees_.SecurityRoot.get();
  const CSetObj* stationRoot = trees_.StationRoot.get();
  standIn_.config12().exec("DELETE FROM S_QORVA_5 WHERE ParentNodeType = 262144");  // the security root's rows
  standIn_.config12().exec("DELETE FROM S_QORVA_5 WHERE NodeType = 131072 AND NodeID = 2");

  ASSERT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), 0);
  EXPECT_EQ(trees_.SecurityRoot.get(), securityRoot);
  EXPECT_EQ(trees_.StationRoot.get(), stationRoot);
  EXPECT_EQ(trees_.SecurityRoot->ChildCount(), 0);  // a query without rows removes the old children
  EXPECT_EQ(childNames(trees_.StationRoot.get()), (std::vector<std::string>{"S1"}));
  EXPECT_NE(trees_.StationRoot->FindNode(kMeterType12, 70), nullptr);
}

TEST_F(PowerQualityTrees, StoredNamesAreCutAndTrimmed) {
  const std::string gbkPair = common::Utf8ToGbk("站");
  ASSERT_EQ(gbkPair.size(), 2u);
  struct Case {
    std::string stored;
    std::string loaded;
  } cases[] = {
      {"abc   ", "abc"},
      {" ", " "},
      {"a\t\r\n", "a"},
      {std::string(85, 'x'), std::string(80, 'x')},
      {std::string(79, 'y') + gbkPair, std::string(79, 'y')},  // never half a character
      {std::string("ab\0cd", 5), "ab"},
  };
  standIn_.config12().exec("DELETE FROM S_QORVA_5");
  std::vector<StoredNode> rows;
  std::uint32_t id = 100;
  for (const auto& c : cases)
    rows.push_back({kStationRootType12, id++, kStationRootType12, kStationRootID12, c.stored, {}});
  querytest::InsertNodes(standIn_.config12(), kPQ, rows);

  ASSERT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), 0);
  ASSERT_EQ(trees_.StationRoot->ChildCount(), static_cast<std::int32_t>(std::size(cases)));
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(trees_.StationRoot->GetChild(static_cast<std::int32_t>(i))->GetName(), cases[i].loaded) << i;
}

TEST_F(PowerQualityTrees, MutexTimeOutKeepsTheChildrenAndFails) {
  ASSERT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), 0);
  const CSetObj* users = trees_.SecurityRoot->GetChild(0);
  standIn_.config12().exec("DELETE FROM S_QORVA_5");
  rpt_.setMutexTimeout(10);
  {
    MutexHolder other(kConfigDataSetMutexName);
    ASSERT_TRUE(other.holding());
    EXPECT_EQ(LoadConfigTrees(rpt_, kPQ, trees_), -1);
  }
  // The security tree stays as it was; the station root is emptied before its level is asked for.
  EXPECT_EQ(trees_.SecurityRoot->GetChild(0), users);
  EXPECT_EQ(trees_.SecurityRoot->ChildCount(), 2);
  EXPECT_EQ(trees_.StationRoot->ChildCount(), 0);
  EXPECT_FALSE(rpt_.ConfigConnection()->connected());
}

TEST_F(PowerQualityTrees, DatabaseErrorPassesOutAndReleasesEverything) {
  standIn_.config12().exec("DROP TABLE S_QORVA_5");
  EXPECT_THROW(LoadConfigTrees(rpt_, kPQ, trees_), db::Error);
  EXPECT_TRUE(FreeForOthers(kConfigDataSetMutexName));
  EXPECT_FALSE(rpt_.ConfigConnection()->connected());
}

TEST(LoadConfigTreesTest, AMutexFileAnotherUserPlantedIsNotOurs) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  StandIn standIn;
  auto& c = standIn.config12();
  querytest::CreateTreeTable(c, kPQ);
  querytest::InsertNodes(c, kPQ, {{kStationRootType12, 1, kStationRootType12, kStationRootID12, "S1", {}}});
  // Any local user can make a file under our mutex's name in /dev/shm.
  const std::string planted = ipc::PosixObjectName(ipc::ObjectKind::Mutex, kConfigDataSetMutexName).value();
  const common::test::NobodyProcess planter([&] {
    const int fd = ::shm_open(planted.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
    return fd >= 0 && ::fchmod(fd, 0666) == 0 && ::ftruncate(fd, 4096) == 0 && ::flock(fd, LOCK_SH) == 0;
  });
  ASSERT_TRUE(planter.succeeded());
  {
    RptDB rpt;
    standIn.connect12(rpt);
    ConfigTrees trees;
    EXPECT_EQ(LoadConfigTrees(rpt, kPQ, trees), 0);
    EXPECT_EQ(childNames(trees.StationRoot.get()), (std::vector<std::string>{"S1"}));
  }
  ::shm_unlink(planted.c_str());
}

TEST(LoadConfigTreesTest, WithoutAUsableConnection) {
  StandIn standIn;
  querytest::CreateTreeTable(standIn.config12(), kPQ);
  ConfigTrees trees;
  RptDB neverSetUp;
  EXPECT_EQ(LoadConfigTrees(neverSetUp, kPQ, trees), -1);
  EXPECT_EQ(LoadConfigTrees(neverSetUp, kAuto, trees), -1);
  EXPECT_EQ(LoadConfigTrees(neverSetUp, kSourceFolder, trees), -1);

  RptDB unreachable;
  TDBConnectionSettings settings;
  settings.ConfigServer = settings.HistoryServer = "nowhere";
  ASSERT_EQ(unreachable.ConnectDatabases(settings), 0);
  EXPECT_EQ(LoadConfigTrees(unreachable, kPQ, trees), -2);
  EXPECT_FALSE(trees.SecurityRoot);
}

// The automation system's trees: plain blobs, rows in NodeID order, the
// standby pair when the main one does not answer.
class AutomationTrees : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& c = standIn_.config21("standby");
    standIn_.history21("standby");
    querytest::CreateTreeTable(c, kAuto);
    querytest::InsertNodes(
        c, kAuto,
        {
            {kUsersType21, kUsersType21, kSecurityRootType21, kSecurityRootType21, "users", {}},
            {kUserType21, 5, kUsersType21, kUsersType21, "carol", userBlob21("r5", "pw5")},
            {kUserType21, 3, kUsersType21, kUsersType21, "dave", userBlob21("r3", "pw3")},
            {kStationType21, 0x90000000u, kSystemMeasurePointType21, kSystemMeasurePointType21, "big", {}},
            {kStationType21, 1, kSystemMeasurePointType21, kSystemMeasurePointType21, "S1", {}},
            {kCommuType21, 2, kStationType21, 1, "comm", {}},
            {kChannelType21, 3, kCommuType21, 2, "C3", {}},
            {kMeterType21, 4, kChannelType21, 3, "M4", {}},
            {kChannelType21, 8, kStationType21, 0x90000000u, "C8", {}},
            // A row that names itself as its parent.
            {kCommuType21, 9, kStationType21, 1, "loop", {}},
            {kCommuType21, 9, kCommuType21, 9, "loop", {}},
        });
    ASSERT_EQ(StandIn::connect21(rpt_, "main", "standby"), kStandbyAnswered);
  }

  StandIn standIn_;
  RptDB rpt_;
  ConfigTrees trees_;
};

TEST_F(AutomationTrees, LoadsBothTreesInNodeIDOrder) {
  ASSERT_EQ(LoadConfigTrees(rpt_, kAuto, trees_), 0);
  ASSERT_TRUE(trees_.SecurityRoot);
  EXPECT_EQ(trees_.SecurityRoot->NodeType(), kSecurityRootType21);
  EXPECT_EQ(trees_.SecurityRoot->NodeID(), kSecurityRootType21);
  const CSetObj* users = trees_.SecurityRoot->FindNode(kUsersType21, kUsersType21);
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(childNames(users), (std::vector<std::string>{"dave", "carol"}));
  const auto* carol = dynamic_cast<const CUserNode*>(users->GetChild(1));
  ASSERT_NE(carol, nullptr);
  EXPECT_EQ(carol->Remark, "r5");  // plain in this mode
  EXPECT_EQ(carol->Password, "pw5");
  EXPECT_FALSE(carol->DataLoadFailed());

  const CSetObj* stations = trees_.StationRoot.get();
  ASSERT_NE(dynamic_cast<const CSystemMeaurePointGNode*>(stations), nullptr);
  EXPECT_EQ(stations->GetName(), common::Utf8ToGbk("厂站设置"));
  EXPECT_EQ(childNames(stations), (std::vector<std::string>{"S1", "big"}));
  EXPECT_EQ(childNames(stations->GetChild(0)), (std::vector<std::string>{"comm", "loop"}));
  ASSERT_NE(stations->FindNode(kMeterType21, 4), nullptr);
  EXPECT_EQ(stations->FindNode(kMeterType21, 4)->Parent()->GetName(), "C3");
  // An id above 2^31 is asked for as an unsigned number.
  EXPECT_EQ(childNames(stations->GetChild(1)), (std::vector<std::string>{"C8"}));

  // The self-parented row is read once below itself and not followed further.
  const CSetObj* loop = stations->GetChild(0)->GetChild(1);
  ASSERT_EQ(loop->ChildCount(), 1);
  EXPECT_EQ(loop->GetChild(0)->ChildCount(), 0);

  // Mode 21 keeps the connection that the set-up left open.
  EXPECT_TRUE(rpt_.ConfigStandbyConnection()->connected());
  EXPECT_FALSE(rpt_.ConfigDataSet()->active());
}

TEST_F(AutomationTrees, RootsOfTheOtherModeAreReplaced) {
  trees_.SecurityRoot = std::make_unique<CSecurityGNode>(nullptr, "old", kSecurityRootType12, kSecurityRootID12);
  trees_.StationRoot = std::make_unique<CStationGNode>(nullptr, "old", kStationRootType12, kStationRootID12);
  ASSERT_EQ(LoadConfigTrees(rpt_, kAuto, trees_), 0);
  EXPECT_EQ(trees_.SecurityRoot->NodeType(), kSecurityRootType21);
  EXPECT_EQ(trees_.StationRoot->NodeType(), kSystemMeasurePointType21);
  EXPECT_EQ(trees_.SecurityRoot->ChildCount(), 1);
  EXPECT_EQ(trees_.StationRoot->ChildCount(), 2);
}

TEST(CreateNodeByTypeTest, CodesOfBothModesAndUnknownOnes) {
  CSetObj parent(nullptr, "p", 1, 2);
  TNodeRow row;
  row.Name = "n";
  row.NodeID = 42;
  for (const std::uint32_t type : {kChannelType12, kChannelType21, kUserType12, kUserType21}) {
    row.NodeType = static_cast<std::int32_t>(type);
    const auto node = CreateNodeByType(row, &parent);
    ASSERT_NE(node, nullptr) << type;
    EXPECT_EQ(node->NodeType(), type);
    EXPECT_EQ(node->NodeID(), 42u);
    EXPECT_EQ(node->GetName(), "n");
    EXPECT_EQ(parent.ChildCount(), 0);  // not yet added
  }
  row.NodeType = 0x12345;
  EXPECT_EQ(CreateNodeByType(row, &parent), nullptr);
}

// A tree view's items as a list of what was added.
class RecordingTreeItems : public TreeItems {
 public:
  struct Item {
    TreeItemHandle parent;
    std::string caption;
    const CSetObj* node;
    int image;
  };
  TreeItemHandle AddItem(TreeItemHandle parent, const std::string& caption, const CSetObj* node,
                         int imageIndex) override {
    items.push_back({parent, caption, node, imageIndex});
    return items.size();
  }
  void DeleteChildren(TreeItemHandle item) override { log.push_back("delete " + std::to_string(item)); }
  void Expand(TreeItemHandle item) override { log.push_back("expand " + std::to_string(item)); }

  std::vector<Item> items;
  std::vector<std::string> log;
};

TEST(FillTreeNodesTest, DepthFirstWithGroupAndLeafImages) {
  CSecurityGNode root(nullptr, "root", kSecurityRootType12, kSecurityRootID12);
  CSetObj* users = root.AddChild(std::make_unique<CUserGNode>(&root, "users", kUsersType12, kUsersID12));
  users->AddChild(std::make_unique<CUserNode>(users, "u1", kUserType12, 1));
  root.AddChild(std::make_unique<CUserGroupGNode>(&root, "groups", kUserGroupsType12, 1041));

  RecordingTreeItems view;
  FillTreeNodes(view, kNoTreeItem, &root);
  ASSERT_EQ(view.items.size(), 4u);
  const auto expect = [&](std::size_t i, TreeItemHandle parent, const char* caption, int image) {
    EXPECT_EQ(view.items[i].parent, parent) << i;
    EXPECT_EQ(view.items[i].caption, caption) << i;
    EXPECT_EQ(view.items[i].image, image) << i;
  };
  expect(0, kNoTreeItem, "root", kNoImage);
  expect(1, 1, "users", kGroupImage);
  expect(2, 2, "u1", kLeafImage);
  expect(3, 1, "groups", kGroupImage);
  EXPECT_EQ(view.items[2].node, users->GetChild(0));
  EXPECT_TRUE(view.log.empty());
}

TEST(FillStationTreeTest, BelowAnItemOrAtTheTop) {
  ConfigTrees trees;
  trees.StationRoot = std::make_unique<CStationGNode>(nullptr, "root", kStationRootType12, kStationRootID12);
  trees.StationRoot->AddChild(std::make_unique<CStationGNode>(trees.StationRoot.get(), "S1", kStationRootType12, 1));

  RecordingTreeItems below;
  FillStationTree(77, below, trees);
  ASSERT_EQ(below.items.size(), 1u);  // the root gets no item of its own
  EXPECT_EQ(below.items[0].parent, 77u);
  EXPECT_EQ(below.items[0].caption, "S1");
  EXPECT_EQ(below.log, (std::vector<std::string>{"delete 77", "expand 77"}));

  RecordingTreeItems top;
  FillStationTree(kNoTreeItem, top, trees);
  ASSERT_EQ(top.items.size(), 2u);
  EXPECT_EQ(top.items[0].caption, "root");
  EXPECT_TRUE(top.log.empty());

  RecordingTreeItems none;
  FillStationTree(5, none, ConfigTrees());
  EXPECT_TRUE(none.items.empty());
  EXPECT_EQ(none.log, (std::vector<std::string>{"delete 5", "expand 5"}));
}

TEST(LoadConfigTreesTest, AChainOfAHundredThousandLevels) {
  // Channel n hangs below channel n - 1, channel 1 below the station root;
  // the last channel has a meter. Every walk below must go without recursion.
  constexpr int kDepth = 100000;
  StandIn standIn;
  auto& c = standIn.config12();
  querytest::CreateTreeTable(c, kPQ);
  c.exec(fmt::format(
      "WITH RECURSIVE chain(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM chain WHERE n < {0})"
      " INSERT INTO S_QORVA_5 SELECT {1}, n, CASE n WHEN 1 THEN {3} ELSE n - 1 END, 'C' || n, 4, 5, 6, 0, X'',"
      " CASE n WHEN 1 THEN {2} ELSE {1} END FROM chain",
      kDepth, kChannelType12, kStationRootType12, kStationRootID12));
  querytest::InsertNodes(c, kPQ, {{kMeterType12, 1, kChannelType12, kDepth, "M", {}}});
  c.exec("CREATE INDEX parents ON S_QORVA_5(ParentNodeType, ParentNodeID)");
  RptDB rpt;
  standIn.connect12(rpt);
  ConfigTrees trees;

  ASSERT_EQ(LoadConfigTrees(rpt, kPQ, trees), 0);
  const CSetObj* meter = trees.StationRoot->FindNode(kMeterType12, 1);
  ASSERT_NE(meter, nullptr);
  EXPECT_EQ(meter->Parent()->GetName(), fmt::format("C{}", kDepth));
  EXPECT_EQ(trees.StationRoot->FindNode(kChannelType12, kDepth), meter->Parent());
  EXPECT_EQ(trees.StationRoot->FindNode(kUserType12, -1), nullptr);  // searched to the bottom
  std::string message = "old";
  trees.StationRoot->CheckDuplicateIDs(message);
  EXPECT_EQ(message, "");

  RecordingTreeItems view;
  FillStationTree(kNoTreeItem, view, trees);
  ASSERT_EQ(view.items.size(), std::size_t{kDepth} + 2);
  EXPECT_EQ(view.items.back().caption, "M");
  EXPECT_EQ(view.items.back().parent, view.items.size() - 1);

  trees.StationRoot.reset();  // the whole chain is destroyed
}

}  // namespace
}  // namespace stationdb
