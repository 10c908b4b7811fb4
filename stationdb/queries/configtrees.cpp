#include "stationdb/queries/configtrees.h"

#include <fmt/format.h>

#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/gbk.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/factory.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"

namespace stationdb {
namespace {

// Column positions of the configuration table.
struct TreeColumns {
  int nodeType;
  int nodeID;
  int name;
  int value4;
  int dataLength;
  int data;
};
constexpr TreeColumns kColumns12{0, 1, 3, 4, 7, 8};
constexpr TreeColumns kColumns21{0, 1, 3, 4, 8, 9};

bool isTreeMode(std::int32_t mode) { return mode == kSourcePowerQuality || mode == kSourceAutomation; }

// An integer column as a 32-bit word: signed and unsigned storage give the same bits.
std::int32_t intColumn(const db::Dataset& dataset, int position) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(dataset.field(position).asInt64()));
}

// The stored name as the row's 81-byte field holds it: up to the first NUL,
// at most 80 bytes, then trailing bytes of code 32 or below cut (never the first).
std::string rowName(const db::Value& value) {
  std::string name = value.asText();
  name.resize(std::min(name.size(), name.find('\0')));
  name = cutNodeName(name);
  TrimRightPChar(name);
  return name;
}

TNodeRow readRow(const db::Dataset& dataset, const TreeColumns& columns) {
  TNodeRow row;
  row.NodeType = intColumn(dataset, columns.nodeType);
  row.NodeID = intColumn(dataset, columns.nodeID);
  row.Name = rowName(dataset.field(columns.name));
  row.Value4 = intColumn(dataset, columns.value4);
  row.Value5 = intColumn(dataset, columns.value4 + 1);
  row.Value6 = intColumn(dataset, columns.value4 + 2);
  row.DataLength = intColumn(dataset, columns.dataLength);
  return row;
}

// A node's place in the table: its type code and id.
std::uint64_t nodeKey(const CSetObj& node) { return (std::uint64_t{node.NodeType()} << 32) | node.NodeID(); }

// Reads the rows of one level into node's children; false when the query gave no row set.
bool readLevel(std::int32_t mode, db::Dataset& dataset, CSetObj& node, const common::LangLookup& lookup) {
  dataset.close();
  dataset.setCommandText(ChildNodesQuery(mode, node.NodeType(), node.NodeID()));
  dataset.open();
  if (!dataset.active()) return false;
  node.ClearChildren();
  const int count = dataset.recordCount();
  const TreeColumns& columns = mode == kSourcePowerQuality ? kColumns12 : kColumns21;
  MemoryStream stream;
  for (int i = 0; i < count; ++i) {
    const TNodeRow row = readRow(dataset, columns);
    VariantToStream(dataset.field(columns.data), stream);
    dataset.moveNext();
    std::unique_ptr<CSetObj> child = CreateNodeByType(row, &node, lookup);
    if (!child) continue;
    child->LoadData(&stream, mode);
    node.AddChild(std::move(child));
  }
  return true;
}

// Loads the subtree below node depth first, each level read whole before
// its children are asked for (the one dataset is reused). The walk keeps its
// path in a vector rather than on the stack, as a parent chain in the table
// may be any number of rows long; a row that repeats a node of its own path
// (a cycle in the table) is kept without loading below it. The mutex is held
// across the whole walk.
bool loadBelow(RptDB& rpt, std::int32_t mode, db::Dataset& dataset, CSetObj& node, const common::LangLookup& lookup) {
  const MutexHold hold(rpt.ConfigDataSetMutex(), rpt.mutexTimeout());
  if (!hold.obtained()) return false;
  if (!readLevel(mode, dataset, node, lookup)) return true;
  std::vector<std::pair<CSetObj*, std::int32_t>> path{{&node, 0}};
  std::unordered_set<std::uint64_t> onPath;
  for (const CSetObj* up = &node; up != nullptr; up = up->Parent()) onPath.insert(nodeKey(*up));
  while (!path.empty()) {
    CSetObj* parent = path.back().first;
    const std::int32_t next = path.back().second++;
    if (next >= parent->ChildCount()) {
      onPath.erase(nodeKey(*parent));
      path.pop_back();
      continue;
    }
    CSetObj* child = parent->GetChild(next);
    if (onPath.contains(nodeKey(*child))) continue;
    if (!readLevel(mode, dataset, *child, lookup)) continue;
    onPath.insert(nodeKey(*child));
    path.emplace_back(child, 0);
  }
  return true;
}

std::string rootName(const common::LangLookup& lookup, std::string_view key, std::string_view fallback) {
  return common::Utf8ToGbk(lookup(kRptDBSection, key, fallback));
}

std::unique_ptr<CSetObj> newSecurityRoot(std::int32_t mode, const common::LangLookup& lookup) {
  if (mode == kSourcePowerQuality)
    return std::make_unique<CSecurityGNode>(nullptr, rootName(lookup, "str0", kSecurityRootName), kSecurityRootType12,
                                            kSecurityRootID12);
  return std::make_unique<CSecurityGNode>(nullptr, rootName(lookup, "str1", kSecurityRootName), kSecurityRootType21,
                                          kSecurityRootType21);
}

std::unique_ptr<CSetObj> newStationRoot(std::int32_t mode, const common::LangLookup& lookup) {
  if (mode == kSourcePowerQuality)
    return std::make_unique<CStationGNode>(nullptr, rootName(lookup, "str2", kStationRootName), kStationRootType12,
                                           kStationRootID12);
  return std::make_unique<CSystemMeaurePointGNode>(nullptr, lookup);
}

// Whether a root has this mode's type code; a root of the other mode would ask for rows that this mode's table never
// holds.
bool rootFitsMode(const CSetObj& root, std::int32_t mode, std::uint32_t type12, std::uint32_t type21) {
  return root.NodeType() == (mode == kSourcePowerQuality ? type12 : type21);
}

// What a load leaves behind however it ends: the dataset closed, and outside
// mode 21 the configuration connection too.
class LoadCleanup {
 public:
  LoadCleanup(db::Dataset& dataset, db::Connection* connection) : dataset_(dataset), connection_(connection) {}
  ~LoadCleanup() {
    dataset_.close();
    if (connection_ != nullptr) connection_->close();
  }
  LoadCleanup(const LoadCleanup&) = delete;
  LoadCleanup& operator=(const LoadCleanup&) = delete;

 private:
  db::Dataset& dataset_;
  db::Connection* connection_;
};

// Opens the mode-12 configuration connection: 0, or -2 when it does not answer.
std::int32_t openConfigConnection(db::Connection& connection) {
  try {
    connection.open();
  } catch (...) {
    return kDbNotConnected;
  }
  return connection.connected() ? 0 : kDbNotConnected;
}

}  // namespace

std::string ChildNodesQuery(std::int32_t recordSourceMode, std::uint32_t nodeType, std::uint32_t nodeID) {
  if (recordSourceMode == kSourcePowerQuality)
    return fmt::format("SELECT * FROM {} WHERE ParentNodeType={} and ParentNodeID={}", kQorvaTreeTable, nodeType,
                       nodeID);
  if (recordSourceMode == kSourceAutomation)
    return fmt::format("SELECT * FROM {} WHERE ParentNodeType={} and ParentNodeID={} order by NodeID asc",
                       kConfigTreeTable, nodeType, nodeID);
  return {};
}

std::unique_ptr<CSetObj> CreateNodeByType(const TNodeRow& row, CSetObj* parent, const common::LangLookup& lookup) {
  return newNodeOfType(parent, row.Name, static_cast<std::uint32_t>(row.NodeType),
                       static_cast<std::uint32_t>(row.NodeID), lookup);
}

bool LoadChildNodes(RptDB& rpt, std::int32_t recordSourceMode, db::Dataset* dataset, CSetObj* node,
                    const common::LangLookup& lookup) {
  if (node == nullptr) return true;
  if (dataset == nullptr || !isTreeMode(recordSourceMode)) return false;
  return loadBelow(rpt, recordSourceMode, *dataset, *node, lookup);
}

std::int32_t LoadConfigTrees(RptDB& rpt, std::int32_t recordSourceMode, ConfigTrees& trees,
                             const common::LangLookup& lookup) {
  if (!isTreeMode(recordSourceMode)) return kDbFailed;
  db::Dataset* dataset = rpt.ConfigDataSet();
  db::Connection* ownConnection = nullptr;
  if (recordSourceMode == kSourceAutomation) {
    if (dataset == nullptr || dataset->connection() == nullptr) return kDbFailed;
  } else {
    ownConnection = rpt.ConfigConnection();
    if (ownConnection == nullptr || dataset == nullptr) return kDbFailed;
    if (openConfigConnection(*ownConnection) != 0) return kDbNotConnected;
  }
  const LoadCleanup cleanup(*dataset, ownConnection);

  if (trees.SecurityRoot &&
      !rootFitsMode(*trees.SecurityRoot, recordSourceMode, kSecurityRootType12, kSecurityRootType21))
    trees.SecurityRoot.reset();
  if (!trees.SecurityRoot) trees.SecurityRoot = newSecurityRoot(recordSourceMode, lookup);
  bool complete = LoadChildNodes(rpt, recordSourceMode, dataset, trees.SecurityRoot.get(), lookup);

  if (trees.StationRoot &&
      !rootFitsMode(*trees.StationRoot, recordSourceMode, kStationRootType12, kSystemMeasurePointType21))
    trees.StationRoot.reset();
  if (!trees.StationRoot) trees.StationRoot = newStationRoot(recordSourceMode, lookup);
  trees.StationRoot->ClearChildren();
  complete = LoadChildNodes(rpt, recordSourceMode, dataset, trees.StationRoot.get(), lookup) && complete;
  return complete ? 0 : kDbFailed;
}

void FillTreeNodes(TreeItems& items, TreeItemHandle parent, const CSetObj* node) {
  if (node == nullptr) return;
  if (parent == kNoTreeItem) parent = items.AddItem(kNoTreeItem, node->GetName(), node, kNoImage);
  // Depth first in child order, without recursion (a tree may be very deep).
  std::vector<std::tuple<const CSetObj*, TreeItemHandle, std::int32_t>> path{{node, parent, 0}};
  while (!path.empty()) {
    auto& [below, item, next] = path.back();
    if (next >= below->ChildCount()) {
      path.pop_back();
      continue;
    }
    const CSetObj* child = below->GetChild(next++);
    const TreeItemHandle childItem =
        items.AddItem(item, child->GetName(), child, child->IsGroup() ? kGroupImage : kLeafImage);
    path.emplace_back(child, childItem, 0);
  }
}

void FillStationTree(TreeItemHandle item, TreeItems& items, const ConfigTrees& trees) {
  if (item != kNoTreeItem) items.DeleteChildren(item);
  if (trees.StationRoot) FillTreeNodes(items, item, trees.StationRoot.get());
  if (item != kNoTreeItem) items.Expand(item);
}

}  // namespace stationdb
