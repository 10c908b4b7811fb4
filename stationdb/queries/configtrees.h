#pragma once
// The two configuration trees read from the configuration database: the
// security tree (users, groups, authorities, strategies) and the station tree
// (stations, communication nodes, channels, meters). Every node is one row of
// the configuration table, found by its parent's type code and id, with its
// own data in a binary column.
//
//   ConfigTrees trees;                       // owned by the application
//   if (LoadConfigTrees(rpt, mode, trees, lookup) < 0) ...show str64...
//   FillStationTree(topItem, treeItems, trees);
//
// Node names and node data are the database's bytes (GBK). Main thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/message.h"
#include "stationdb/core/rptdb.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {

// Configuration table of the power-quality database (mode 12); mode 21 uses
// kConfigTreeTable ("PC_TB_05").
inline constexpr std::string_view kQorvaTreeTable = "S_QORVA_5";

// Built-in names of the roots (keys of kRptDBSection).
inline constexpr std::string_view kSecurityRootName = "安全性设置根节点";  // str0 (mode 12), str1 (mode 21)
inline constexpr std::string_view kStationRootName = "通讯厂站设置";       // str2 (mode 12)

// One row of the configuration table as read; the node data travels beside
// it in a memory stream.
struct TNodeRow {
  std::int32_t NodeType = 0;
  std::int32_t NodeID = 0;
  std::string Name;  // at most 80 bytes, trailing blanks and control bytes cut
  std::int32_t Value4 = 0;
  std::int32_t Value5 = 0;
  std::int32_t Value6 = 0;
  std::int32_t DataLength = 0;
};

// The roots of the two trees: created by the first LoadConfigTrees and kept;
// each load replaces their children.
struct ConfigTrees {
  std::unique_ptr<CSetObj> SecurityRoot;
  std::unique_ptr<CSetObj> StationRoot;

  // Drops both trees (the link is closed or the log-in cancelled).
  void Drop() {
    SecurityRoot.reset();
    StationRoot.reset();
  }
};

// The command text that asks for the children of the node (type, id):
//   mode 12: "SELECT * FROM S_QORVA_5 WHERE ParentNodeType=<type> and ParentNodeID=<id>"
//   mode 21: "SELECT * FROM PC_TB_05 WHERE ParentNodeType=<type> and ParentNodeID=<id> order by NodeID asc"
// with both numbers in decimal as unsigned 32-bit values; empty for any other mode.
std::string ChildNodesQuery(std::int32_t recordSourceMode, std::uint32_t nodeType, std::uint32_t nodeID);

// Reads both trees, the security tree first. 0 done; -1 when there is no
// configuration connection for the mode (modes 12 and 21 only; mode 21 needs
// InitRedundantConnections to have bound the configuration dataset) or when
// a level could not be read because its mutex was not obtained (the rest is
// still loaded); -2 when the mode-12 connection cannot be opened. Outside
// mode 21 the configuration connection is opened here and closed at the end.
// A database error while a level is read passes out as db::Error (the mutex
// is released, the dataset and the mode-12 connection closed).
// A root that was created for the other mode is replaced by this mode's.
std::int32_t LoadConfigTrees(RptDB& rpt, std::int32_t recordSourceMode, ConfigTrees& trees,
                             const common::LangLookup& lookup = common::BuiltInText);

// Loads all descendants of node, however many levels deep, with dataset under
// ConfigDataSetMutex (held across the whole subtree). A level whose query returns no row set keeps
// its children; otherwise they are replaced by the rows read. Rows of an
// unknown type code are skipped with their subtrees. A node that repeats the
// type and id of one of its ancestors is added but not descended into (its
// rows would repeat for ever). False when the mutex was not obtained.
bool LoadChildNodes(RptDB& rpt, std::int32_t recordSourceMode, db::Dataset* dataset, CSetObj* node,
                    const common::LangLookup& lookup = common::BuiltInText);

// A new node of the class of row.NodeType (codes of both modes), not yet
// added to parent; nullptr for a code without a class.
std::unique_ptr<CSetObj> CreateNodeByType(const TNodeRow& row, CSetObj* parent,
                                          const common::LangLookup& lookup = common::BuiltInText);

// A tree view's items, as FillTreeNodes fills them; the form adapts its tree
// widget. An item is named by a handle the adapter gives out (never 0).
using TreeItemHandle = std::uintptr_t;
inline constexpr TreeItemHandle kNoTreeItem = 0;
inline constexpr int kNoImage = -1;
inline constexpr int kGroupImage = 1;  // containers
inline constexpr int kLeafImage = 2;

class TreeItems {
 public:
  virtual ~TreeItems() = default;
  // Adds an item below parent (kNoTreeItem: a top-level item) with the
  // caption (GBK bytes), the node as its data and the image index (also the
  // selected image index; kNoImage: none set); returns it.
  virtual TreeItemHandle AddItem(TreeItemHandle parent, const std::string& caption, const CSetObj* node,
                                 int imageIndex) = 0;
  virtual void DeleteChildren(TreeItemHandle item) = 0;
  virtual void Expand(TreeItemHandle item) = 0;
};

// Adds node's subtree below parent, depth first in child order. Without a
// parent item node itself becomes a top-level item; with one, node's children
// go directly below it.
void FillTreeNodes(TreeItems& items, TreeItemHandle parent, const CSetObj* node);

// Shows the station tree below item (its old children deleted, then expanded),
// or as a top-level item when item is kNoTreeItem.
void FillStationTree(TreeItemHandle item, TreeItems& items, const ConfigTrees& trees);

}  // namespace stationdb
