#pragma once
// The station model read from the sections: the net list with its station
// slots, the station table, and the walk through a station's channel table
// and meter records. Pure functions over copied or mapped bytes; every count
// and offset that comes from a section is checked before it is used.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clientif/layout.h"

namespace velk {

struct NetList {
  std::int32_t nodeCount = 0;     // 0..128
  std::int32_t stationCount = 0;  // 0..128
  std::array<TNetNode, kMaxNodes> nodes{};

  const TNetNode* begin() const { return nodes.data(); }
  const TNetNode* end() const { return nodes.data() + nodeCount; }
};

// Copies VELK_NET_LIST; counts outside 0..128 are brought into it. Station
// slots are numbered in the copy (NumberStationSlots). Empty when the view
// is too small.
std::optional<NetList> CopyNetList(ByteView section);

// Slots are the ranks of the main front ends' station ids, compared as
// unsigned values; every front end (main or standby) gets the position of
// the first equal id, every other node -1.
void NumberStationSlots(NetList& list);

struct StationEntry {
  TNetNode node{};
  bool present = false;
};

struct StationTable {
  std::int32_t stationCount = 0;
  std::array<StationEntry, kMaxStations> main{};
  std::array<StationEntry, kMaxStations> standby{};
  StationEntry mainServer;
  StationEntry standbyServer;
  std::vector<TNetNode> clients;

  bool validSlot(int slot) const { return slot >= 0 && slot < stationCount; }
  // The station id of a slot's main front end (0 when it has none).
  std::int32_t stationId(int slot) const { return main[static_cast<std::size_t>(slot)].node.stationId; }
};

StationTable BuildStationTable(const NetList& list);

bool SameComputerName(const char* field, std::string_view name);

// --- a station's VELK_COMM_HEAD-NN section (the whole view) ---

std::optional<CHEAD> CopyChead(ByteView section);
// The channel count, at most 128.
int ChannelCount(const CHEAD& head);
int MeterCount(const CHEAD& head, int channel);  // 0 for a channel out of range
std::int32_t ChannelId(const CHEAD& head, int channel);
std::string ChannelName(const CHEAD& head, int channel);
int StationMeterTotal(const CHEAD& head);

// A meter record found by the walk: its offset and head.
struct MeterRecord {
  std::size_t offset = 0;
  TMeterHead head{};
  int pointCount() const { return head.analogCount + head.statusCount; }
};

// The head at offset when the whole record lies inside the view and its
// point counts are sane (A, S >= 0, A + S <= 1024).
std::optional<MeterRecord> MeterAt(ByteView section, std::size_t offset);
// Meter `meter` of channel `channel` (positions, checked against the
// channel table), found by walking the records from the first one.
std::optional<MeterRecord> FindMeter(ByteView section, const CHEAD& head, int channel, int meter);
// Calls visit(meter position, record) for the meters of channel in order
// until it returns true (found: stop). False when a record is broken.
template <class Visit>
bool WalkChannelMeters(ByteView section, const CHEAD& head, int channel, Visit visit);

std::int32_t PointId(ByteView section, const MeterRecord& meter, int index);
std::string PointName(ByteView section, const MeterRecord& meter, int index);
// The whole meter, expanded as callers receive it.
void ExpandMeter(ByteView section, const MeterRecord& meter, TMeterPara& out);

// The offset of the first meter record of channel (after those of the channels before it).
std::optional<std::size_t> ChannelMetersOffset(ByteView section, const CHEAD& head, int channel);

template <class Visit>
bool WalkChannelMeters(ByteView section, const CHEAD& head, int channel, Visit visit) {
  auto offset = ChannelMetersOffset(section, head, channel);
  if (!offset) return false;
  for (int m = 0; m < MeterCount(head, channel); ++m) {
    const auto meter = MeterAt(section, *offset);
    if (!meter) return false;
    if (visit(m, *meter)) return true;
    *offset += commhead::kMeterHeadSize + commhead::kPointSize * static_cast<std::size_t>(meter->pointCount());
  }
  return true;
}

}  // namespace velk
