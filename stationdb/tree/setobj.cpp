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

void CSetObj::CheckDuplicateIDs(std::string& message) const {
  message.clear();
  for (const auto& child : children_) {
    child->CheckDuplicateIDs(message);
    if (!message.empty()) return;
  }
  for (std::size_t i = 0; i < children_.size(); ++i)
    for (std::size_t j = i + 1; j < children_.size(); ++j)
      if (children_[i]->nodeID_ == children_[j]->nodeID_) {
        message = "“" + common::GbkToUtf8(name_) + "”下设有重复的ID号";
        return;
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
  for (auto& child : children_) child.reset();
  children_.clear();
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
  for (const auto& child : children_) {
    if (child->nodeType_ == type && (id == -1 || child->nodeID_ == id)) return child.get();
    if (const CSetObj* hit = child->FindNode(type, id)) return hit;
  }
  return nullptr;
}

CSetObj* CSetObj::FindNode(std::int64_t type, std::int64_t id) {
  return const_cast<CSetObj*>(std::as_const(*this).FindNode(type, id));
}

bool CSetObj::loadOwnData(std::span<const std::uint8_t>, std::int32_t) { return true; }

void CSetObj::saveOwnData(nodeblob::Writer&) const {}

}  // namespace stationdb
