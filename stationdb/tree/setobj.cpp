#include "stationdb/tree/setobj.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "common/gbk.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/tree/nodeblob.h"

namespace stationdb {
namespace {

bool isGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

}  // namespace

std::string cutNodeName(std::string_view name) {
  std::size_t end = 0;
  while (end < name.size()) {
    const bool pair = isGbkLeadByte(static_cast<unsigned char>(name[end])) && end + 1 < name.size();
    const std::size_t next = end + (pair ? 2 : 1);
    if (next > kMaxNodeNameLength) break;
    end = next;
  }
  return std::string(name.substr(0, end));
}

CSetObj::CSetObj(CSetObj* parent, std::string_view name, std::uint32_t nodeType, std::uint32_t nodeID)
    : nodeType_(nodeType),
      nodeID_(nodeID),
      name_(cutNodeName(name)),
      createTime_(common::NowLocal()),
      parent_(parent) {
  if (parent != nullptr) {
    parentNodeID_ = static_cast<std::int32_t>(parent->nodeID_);
    parentNodeType_ = static_cast<std::int32_t>(parent->nodeType_);
  }
}

CSetObj::~CSetObj() { ClearChildren(); }

std::int32_t CSetObj::GetTotalSize() const { return GetDataSize() + 97; }

std::int32_t CSetObj::GetDataSize() const {
  std::vector<std::uint8_t> scratch;
  nodeblob::Writer out(scratch);
  saveOwnData(out);
  return static_cast<std::int32_t>(std::min<std::size_t>(scratch.size(), std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t CSetObj::GetNewChildID() const {
  std::uint32_t id = 0;
  for (const auto& child : children_)
    if (id <= child->nodeID_) id = child->nodeID_ + 1;
  return id;
}

// A tree from the database may be any number of levels deep, so no walk
// below recurses: each keeps its path in a vector of (node, next child).

void CSetObj::CheckDuplicateIDs(std::string& message) const {
  message.clear();
  std::vector<std::pair<const CSetObj*, std::size_t>> path{{this, 0}};
  while (!path.empty()) {
    const CSetObj* node = path.back().first;
    const std::size_t next = path.back().second++;
    if (next < node->children_.size()) {
      path.emplace_back(node->children_[next].get(), 0);
      continue;
    }
    // Every subtree below node is checked: now its own children are compared.
    path.pop_back();
    const auto& children = node->children_;
    for (std::size_t i = 0; i < children.size(); ++i)
      for (std::size_t j = i + 1; j < children.size(); ++j)
        if (children[i]->nodeID_ == children[j]->nodeID_) {
          message = "“" + common::GbkToUtf8(node->name_) + "”下设有重复的ID号";
          return;
        }
  }
}

bool CSetObj::LoadData(const MemoryStream* stream, std::int32_t recordSourceMode) {
  const bool loaded = stream != nullptr && loadOwnData(stream->bytes(), recordSourceMode);
  dataLoadFailed_ = !loaded;
  return loaded;
}

std::int32_t CSetObj::SaveData(MemoryStream* stream) const {
  if (stream == nullptr) return -1;
  stream->clear();
  std::vector<std::uint8_t> blob;
  nodeblob::Writer out(blob);
  saveOwnData(out);
  if (!out.ok() || blob.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return -1;
  stream->write(blob);
  NotStreamBytes(*stream);
  return static_cast<std::int32_t>(stream->size());
}

CSetObj* CSetObj::AddChild(std::unique_ptr<CSetObj> child) {
  child->parent_ = this;
  child->parentNodeID_ = static_cast<std::int32_t>(nodeID_);
  child->parentNodeType_ = static_cast<std::int32_t>(nodeType_);
  children_.push_back(std::move(child));
  return children_.back().get();
}

void CSetObj::ClearChildren() {
  // Every node below is taken out of its parent, level by level, and the
  // nodes are then destroyed deepest level first: each has no children left
  // when it goes, so no destructor recurses.
  std::vector<std::unique_ptr<CSetObj>> below = std::move(children_);
  children_.clear();
  for (std::size_t i = 0; i < below.size(); ++i) {
    std::vector<std::unique_ptr<CSetObj>>& children = below[i]->children_;
    for (auto& child : children) below.push_back(std::move(child));
    children.clear();
  }
  while (!below.empty()) below.pop_back();
}

const CSetObj* CSetObj::GetChild(std::int32_t index) const {
  if (index < 0 || index >= ChildCount()) return nullptr;
  return children_[static_cast<std::size_t>(index)].get();
}

CSetObj* CSetObj::GetChild(std::int32_t index) {
  return const_cast<CSetObj*>(std::as_const(*this).GetChild(index));
}

const CSetObj* CSetObj::FindNode(std::int64_t type, std::int64_t id) const {
  if (type < 0 || id < -1) return nullptr;
  std::vector<std::pair<const CSetObj*, std::size_t>> path{{this, 0}};
  while (!path.empty()) {
    const CSetObj* node = path.back().first;
    const std::size_t next = path.back().second++;
    if (next == node->children_.size()) {
      path.pop_back();
      continue;
    }
    const CSetObj* child = node->children_[next].get();
    if (child->nodeType_ == type && (id == -1 || child->nodeID_ == id)) return child;
    path.emplace_back(child, 0);
  }
  return nullptr;
}

CSetObj* CSetObj::FindNode(std::int64_t type, std::int64_t id) {
  return const_cast<CSetObj*>(std::as_const(*this).FindNode(type, id));
}

bool CSetObj::loadOwnData(std::span<const std::uint8_t>, std::int32_t) { return true; }

void CSetObj::saveOwnData(nodeblob::Writer&) const {}

}  // namespace stationdb
