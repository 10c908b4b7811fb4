#include "stationdb/select/waveselect.h"


#include <fmt/format.h>

#include "stationdb/core/normalfunction.h"

namespace stationdb {

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
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TWaveformRecord& row = rows[i];
    const CSetObj* meter = stationRoot->FindNode(meterType, row.MeterID);
    if (meter == nullptr) continue;
    bool listed = false;
    for (const WaveListRow& item : list) listed = listed || SameWaveformRecord(rows[item.Index], row);
    if (listed) continue;
    list.push_back({i, TriggerCaption(row), meter->GetName(), fmt::format("{}", row.SerialNo)});
  }
  return list;
}

}  // namespace stationdb
