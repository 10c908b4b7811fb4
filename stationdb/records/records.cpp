#include "stationdb/records/records.h"

namespace stationdb {

bool SameWaveformRecord(const TWaveformRecord& a, const TWaveformRecord& b) {
  return a.StationID == b.StationID && a.ChannelID == b.ChannelID && a.MeterID == b.MeterID &&
         a.TriggerTime == b.TriggerTime && a.Millisecond == b.Millisecond;
}

const TEventHandle* FindWaveKind(const TWaveformHandle& kinds, std::int32_t code) {
  for (const auto* list : {&kinds.SagSwell, &kinds.Transient, &kinds.SetPoint})
    for (const auto& item : *list)
      if (item.Code >= 0 && item.Code == code) return &item;
  return nullptr;
}

}  // namespace stationdb
