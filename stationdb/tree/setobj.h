#pragma once
// The configuration tree: CSetObj is one node (stations, channels and meters on
// the station side, users, groups, authorities and strategies on the security
// side). A node owns its children.
//
// Names and the texts of node data are the database's bytes (GBK) and compare
// as bytes; the user interface converts them for display.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "stationdb/core/memorystream.h"

namespace stationdb {

namespace nodeblob {
class Writer;
}

inline constexpr std::size_t kMaxNodeNameLength = 80;

// The first 80 bytes of a name, one less when byte 80 would split a GBK
// character in two.
std::string cutNodeName(std::string_view name);

class CSetObj {
 public:
  // Takes ParentNodeID and ParentNodeType from parent (-1 and -1 without one)
  // but does not add the node to the parent's children: AddChild does.
  CSetObj(CSetObj* parent, std::string_view name, std::uint32_t nodeType, std::uint32_t nodeID);
  virtual ~CSetObj();
  CSetObj(const CSetObj&) = delete;
  CSetObj& operator=(const CSetObj&) = delete;

  std::uint32_t NodeType() const { return nodeType_; }
  std::uint32_t NodeID() const { return nodeID_; }
  const std::string& GetName() const { return name_; }
  std::int32_t ParentNodeID() const { return parentNodeID_; }
  std::int32_t ParentNodeType() const { return parentNodeType_; }
  common::TDateTime CreateTime() const { return createTime_; }
  CSetObj* Parent() const { return parent_; }

  // GetDataSize + 97.
  std::int32_t GetTotalSize() const;
  // The number of bytes SaveData writes for the node's own data.
  std::int32_t GetDataSize() const;
  // One more than the highest child id; 0 without children.
  std::uint32_t GetNewChildID() const;
  // Empty, or the clash found first: the children's subtrees are checked in
  // list order before this node's own children are compared. The message is
  // UTF-8 text.
  void CheckDuplicateIDs(std::string& message) const;

  // Reads the node's own data from the whole blob in stream (whatever its
  // position), as the record source mode says (mode 12 stores most blobs
  // complemented); the stream is left as it was. False when no stream is
  // given or the blob is refused; fields not read keep their values.
  bool LoadData(const MemoryStream* stream, std::int32_t recordSourceMode);
  // Whether the last LoadData refused its blob (false before any LoadData).
  bool DataLoadFailed() const { return dataLoadFailed_; }
  // Empties the stream, writes the node's own data complemented and returns
  // the blob's size; -1 (the stream left empty) without a stream or when a
  // text is too long to be stored.
  std::int32_t SaveData(MemoryStream* stream) const;
  // True for containers.
  virtual bool IsGroup() const { return true; }

  // Appends child and points its parent links at this node; returns it.
  CSetObj* AddChild(std::unique_ptr<CSetObj> child);
  // Destroys every child, in list order, then empties the list.
  void ClearChildren();
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(children_.size()); }
  // nullptr for an index outside 0..ChildCount-1.
  const CSetObj* GetChild(std::int32_t index) const;
  CSetObj* GetChild(std::int32_t index);
  // Depth-first search below this node (the node itself is not tested): the
  // first child, in list order, whose NodeType equals type and whose NodeID
  // equals id, or any NodeID when id is -1. A negative type or an id below -1
  // matches nothing.
  const CSetObj* FindNode(std::int64_t type, std::int64_t id) const;
  CSetObj* FindNode(std::int64_t type, std::int64_t id);

 private:
  // The node's own data. The base class has none: it accepts any blob.
  virtual bool loadOwnData(std::span<const std::uint8_t> blob, std::int32_t recordSourceMode);
  virtual void saveOwnData(nodeblob::Writer& out) const;

  std::uint32_t nodeType_;
  std::uint32_t nodeID_;
  std::string name_;
  std::int32_t parentNodeID_ = -1;
  std::int32_t parentNodeType_ = -1;
  common::TDateTime createTime_;
  CSetObj* parent_;
  std::vector<std::unique_ptr<CSetObj>> children_;
  bool dataLoadFailed_ = false;
};

}  // namespace stationdb
