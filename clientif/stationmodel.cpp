#include "clientif/stationmodel.h"

#include <algorithm>

#include "common/strings.h"

namespace velk {
namespace {

int clampCount(std::int32_t value, int maximum) { return std::clamp<std::int32_t>(value, 0, maximum); }

bool isMainFrontEnd(const TNetNode& node) {
  return (node.role & kRoleFrontEnd) != 0 && (node.role & kRoleStandbyFrontEnd) == 0;
}

// The columns of a meter record's points, each holding P entries.
struct PointColumns {
  std::size_t ids, names, bytes, shorts1, shorts2, shorts3, values1, values2;
};

PointColumns columnsOf(const MeterRecord& meter) {
  const std::size_t p = static_cast<std::size_t>(meter.pointCount());
  const std::size_t ids = meter.offset + commhead::kMeterHeadSize;
  const std::size_t names = ids + 4 * p;
  const std::size_t bytes = names + 128 * p;
  const std::size_t shorts1 = bytes + p;
  return {ids, names, bytes, shorts1, shorts1 + 2 * p, shorts1 + 4 * p, shorts1 + 6 * p, shorts1 + 14 * p};
}

}  // namespace

std::optional<NetList> CopyNetList(ByteView section) {
  NetList list;
  const auto nodeCount = section.load<std::int32_t>(netlist::kNodeCount);
  const auto stationCount = section.load<std::int32_t>(netlist::kStationCount);
  if (!nodeCount || !stationCount || !section.copy(netlist::kNodes, list.nodes.data(), sizeof list.nodes))
    return std::nullopt;
  list.nodeCount = clampCount(*nodeCount, kMaxNodes);
  list.stationCount = clampCount(*stationCount, kMaxStations);
  NumberStationSlots(list);
  return list;
}

void NumberStationSlots(NetList& list) {
  std::vector<std::uint32_t> ids;
  for (const TNetNode& node : list)
    if (isMainFrontEnd(node)) ids.push_back(static_cast<std::uint32_t>(node.stationId));
  std::sort(ids.begin(), ids.end());
  for (int i = 0; i < list.nodeCount; ++i) {
    TNetNode& node = list.nodes[static_cast<std::size_t>(i)];
    node.stationSlot = -1;
    if ((node.role & kRoleFrontEnd) == 0) continue;
    const auto found = std::lower_bound(ids.begin(), ids.end(), static_cast<std::uint32_t>(node.stationId));
    if (found != ids.end() && *found == static_cast<std::uint32_t>(node.stationId))
      node.stationSlot = static_cast<std::int32_t>(found - ids.begin());
  }
}

StationTable BuildStationTable(const NetList& list) {
  StationTable table;
  table.stationCount = list.stationCount;
  for (const TNetNode& node : list) {
    if ((node.role & kRoleServer) != 0) {
      StationEntry& server = (node.role & kRoleStandbyServer) != 0 ? table.standbyServer : table.mainServer;
      server = {node, true};
    }
    if ((node.role & kRoleFrontEnd) != 0) {
      if (!table.validSlot(node.stationSlot)) continue;  // skipped for the client rule too
      const auto slot = static_cast<std::size_t>(node.stationSlot);
      StationEntry& entry = (node.role & kRoleStandbyFrontEnd) != 0 ? table.standby[slot] : table.main[slot];
      entry = {node, true};
    }
    if ((node.role & kRoleClient) != 0) table.clients.push_back(node);
  }
  return table;
}

bool SameComputerName(const char* field, std::string_view name) {
  return common::SameText(FieldText(field, 128), name);
}

std::optional<CHEAD> CopyChead(ByteView section) {
  CHEAD head;
  if (!section.copy(commhead::kChead, &head, sizeof head)) return std::nullopt;
  return head;
}

int ChannelCount(const CHEAD& head) { return std::min<int>(head.channelCount, kMaxChannels); }

int MeterCount(const CHEAD& head, int channel) {
  return channel >= 0 && channel < ChannelCount(head) ? head.meterCounts[channel] : 0;
}

std::int32_t ChannelId(const CHEAD& head, int channel) {
  std::int32_t id = 0;
  std::memcpy(&id, reinterpret_cast<const std::uint8_t*>(&head) + offsetof(CHEAD, channelIds) + 4 * channel, 4);
  return id;
}

std::string ChannelName(const CHEAD& head, int channel) { return FieldText(head.channelNames[channel], 128); }

int StationMeterTotal(const CHEAD& head) {
  int total = 0;
  for (int c = 0; c < ChannelCount(head); ++c) total += head.meterCounts[c];
  return total;
}

std::optional<MeterRecord> MeterAt(ByteView section, std::size_t offset) {
  MeterRecord meter;
  meter.offset = offset;
  if (!section.copy(offset, &meter.head, sizeof meter.head)) return std::nullopt;
  const int a = meter.head.analogCount;
  const int s = meter.head.statusCount;
  if (a < 0 || s < 0 || a + s > kMaxPoints) return std::nullopt;
  const std::size_t length = commhead::kMeterHeadSize + commhead::kPointSize * static_cast<std::size_t>(a + s);
  if (!section.holds(offset, length)) return std::nullopt;
  return meter;
}

std::optional<std::size_t> ChannelMetersOffset(ByteView section, const CHEAD& head, int channel) {
  if (channel < 0 || channel >= ChannelCount(head)) return std::nullopt;
  std::size_t offset = commhead::kMeters;
  for (int c = 0; c < channel; ++c) {
    for (int m = 0; m < head.meterCounts[c]; ++m) {
      const auto meter = MeterAt(section, offset);
      if (!meter) return std::nullopt;
      offset += commhead::kMeterHeadSize + commhead::kPointSize * static_cast<std::size_t>(meter->pointCount());
    }
  }
  return offset;
}

std::optional<MeterRecord> FindMeter(ByteView section, const CHEAD& head, int channel, int meter) {
  if (meter < 0 || meter >= MeterCount(head, channel)) return std::nullopt;
  std::optional<MeterRecord> found;
  WalkChannelMeters(section, head, channel, [&](int m, const MeterRecord& record) {
    if (m != meter) return false;
    found = record;
    return true;
  });
  return found;
}

std::int32_t PointId(ByteView section, const MeterRecord& meter, int index) {
  return section.load<std::int32_t>(columnsOf(meter).ids + 4 * static_cast<std::size_t>(index)).value_or(0);
}

std::string PointName(ByteView section, const MeterRecord& meter, int index) {
  return section.text(columnsOf(meter).names + 128 * static_cast<std::size_t>(index), 128).value_or(std::string());
}

void ExpandMeter(ByteView section, const MeterRecord& meter, TMeterPara& out) {
  std::memset(&out, 0, sizeof out);
  const TMeterHead& head = meter.head;
  out.meterId = head.meterId;
  out.field2 = head.field2;
  out.field3 = head.field3;
  out.field4 = head.field4;
  std::memcpy(out.meterName, head.meterName, sizeof out.meterName);
  out.analogCount = head.analogCount;
  out.statusCount = head.statusCount;
  out.field5 = head.field5;
  const std::size_t p = static_cast<std::size_t>(meter.pointCount());
  const PointColumns columns = columnsOf(meter);
  // MeterAt has checked that the whole record lies inside the view.
  section.copy(columns.ids, out.pointIds, 4 * p);
  section.copy(columns.names, out.pointNames, 128 * p);
  section.copy(columns.bytes, out.pointBytes, p);
  section.copy(columns.shorts1, out.pointShorts1, 2 * p);
  section.copy(columns.shorts2, out.pointShorts2, 2 * p);
  section.copy(columns.shorts3, out.pointShorts3, 2 * p);
  section.copy(columns.values1, out.pointValues1, 8 * p);
  section.copy(columns.values2, out.pointValues2, 8 * p);
}

}  // namespace velk
