#include "stationdb/select/waveselect.h"

#include <fmt/format.h>

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "stationdb/core/normalfunction.h"

namespace stationdb {
namespace {

// A row as the list tells records apart (SameWaveformRecord), for a hash set.
struct RecordKey {
  const TWaveformRecord* row;
  bool operator==(const RecordKey& other) const { return SameWaveformRecord(*row, *other.row); }
};

struct RecordKeyHash {
  std::size_t operator()(const RecordKey& key) const {
    const TWaveformRecord& r = *key.row;
    // Times that compare equal hash alike (0.0 and -0.0).
    const double time = r.TriggerTime == 0.0 ? 0.0 : r.TriggerTime;
    std::size_t h = std::hash<double>{}(time);
    for (const std::uint64_t part : {std::uint64_t{r.StationID}, std::uint64_t{r.ChannelID}, std::uint64_t{r.MeterID},
                                     static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.Millisecond))})
      h = h * 1000003u ^ std::hash<std::uint64_t>{}(part);
    return h;
  }
};

// The nodes of one type below root by id, each id's first in FindNode's
// order (depth first, children in order): one walk instead of one search a row.
std::unordered_map<std::uint32_t, const CSetObj*> NodesByID(const CSetObj& root, std::uint32_t type) {
  std::unordered_map<std::uint32_t, const CSetObj*> nodes;
  std::vector<std::pair<const CSetObj*, std::int32_t>> path{{&root, 0}};
  while (!path.empty()) {
    const CSetObj* node = path.back().first;
    const std::int32_t next = path.back().second++;
    if (next == node->ChildCount()) {
      path.pop_back();
      continue;
    }
    const CSetObj* child = node->GetChild(next);
    if (child->NodeType() == type) nodes.emplace(child->NodeID(), child);
    path.emplace_back(child, 0);
  }
  return nodes;
}

}  // namespace

std::optional<WaveQueryArgs> QueryArgsFor(const CSetObj& node, std::int32_t mode, const CSetObj* stationRoot,
                                          common::TDateTime begin, common::TDateTime end) {
  WaveQueryArgs args;
  args.Begin = begin;
  args.End = end;
  const std::int64_t id = node.NodeID();
  const std::int64_t parent = node.ParentNodeID();
  if (mode == kSourcePowerQuality) {
    switch (node.NodeType()) {
      case kPqStationRootType: args.Station = id; return args;
      case kPqChannelType: args.Station = kPqChannelStation; args.Channel = id; return args;
      case kPqMeterType: args.Station = kPqChannelStation; args.Channel = parent; args.Meter = id; return args;
      default: return std::nullopt;
    }
  }
  if (mode == kSourceAutomation) {
    if (node.NodeType() == kAutoChannelType) {
      args.Station = parent;
      args.Channel = id;
      return args;
    }
    if (node.NodeType() == kAutoMeterType && stationRoot != nullptr) {
      const CSetObj* channel = stationRoot->FindNode(kAutoChannelType, parent);
      if (channel == nullptr) return std::nullopt;
      args.Station = channel->ParentNodeID();
      args.Channel = parent;
      args.Meter = id;
      return args;
    }
  }
  return std::nullopt;
}

std::uint32_t MeterTypeFor(std::int32_t mode) {
  if (mode == kSourcePowerQuality) return kPqMeterType;
  if (mode == kSourceAutomation) return kAutoMeterType;
  return 0;
}

common::TDateTime YearStartAtTimeOfDay(common::TDateTime value) {
  common::DateTimeParts parts = common::DecodeDateTime(value);
  parts.month = 1;
  parts.day = 1;
  return common::EncodeDateTime(parts).value_or(value);
}

std::string TriggerCaption(const TWaveformRecord& record) {
  return common::FormatDateTime("yyyy-mm-dd hh:nn:ss", record.TriggerTime) + "." +
         IntToZeroPadStr(record.Millisecond, 3);
}

std::vector<WaveListRow> BuildWaveListRows(const std::vector<TWaveformRecord>& rows, const CSetObj* stationRoot,
                                           std::uint32_t meterType) {
  std::vector<WaveListRow> list;
  if (stationRoot == nullptr) return list;
  const std::unordered_map<std::uint32_t, const CSetObj*> meters = NodesByID(*stationRoot, meterType);
  std::unordered_set<RecordKey, RecordKeyHash> listed;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TWaveformRecord& row = rows[i];
    const auto meter = meters.find(row.MeterID);
    if (meter == meters.end()) continue;
    if (!listed.insert(RecordKey{&row}).second) continue;
    list.push_back({i, TriggerCaption(row), meter->second->GetName(), fmt::format("{}", row.SerialNo)});
  }
  return list;
}

}  // namespace stationdb
