// Names, counts and checks of stations, nodes, channels, meters and points.

#include "clientif/clientlib.h"
#include "common/gbk.h"

namespace velk {

std::string ClientLibrary::GetScadaName(std::int32_t slot, std::int32_t standby) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  const auto& entries = standby == 0 ? table_.main : table_.standby;
  return FieldText(entries[static_cast<std::size_t>(slot)].node.nodeName, 128);
}

std::string ClientLibrary::GetNodeName(std::int32_t node) {
  if (!attached()) return std::string();
  const std::lock_guard guard(netListLock_);
  if (node < 0 || node >= lastNetList_.nodeCount) return std::string();
  return FieldText(lastNetList_.nodes[static_cast<std::size_t>(node)].nodeName, 128);
}

std::string ClientLibrary::GetChannelName(std::int32_t slot, std::int32_t channel) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  const auto head = readChead(slot);
  if (!head || channel < 0 || channel >= ChannelCount(*head)) return std::string();
  return ChannelName(*head, channel);
}

std::string ClientLibrary::GetMeterName(std::int32_t slot, std::int32_t channel, std::int32_t meter) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  std::string name;
  readMeter(slot, channel, meter,
            [&](ByteView, const MeterRecord& record) { name = FieldText(record.head.meterName, 128); });
  return name;
}

std::string ClientLibrary::GetparaName(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t point,
                                       std::int32_t kind) {
  if (point < 0) return std::string();
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  std::string name;
  if (kind == 0) {
    // The stored total, as the client has it now (not the list of the last build).
    const auto total = reportItemCount(slot, ItemKind::Calc);
    if (!total || point >= *total) return std::string();
    readReport(slot, [&](ByteView view) {
      const std::size_t record = rptname::kCalcs + sizeof(TCalcItem) * static_cast<std::size_t>(point);
      name = view.text(record + rptname::kCalcName, 128).value_or(std::string());
      return true;
    });
  } else if (kind == 1 || kind == 2) {
    readMeter(slot, channel, meter, [&](ByteView view, const MeterRecord& record) {
      const int count = kind == 1 ? record.head.analogCount : record.head.statusCount;
      if (point < count) name = PointName(view, record, kind == 1 ? point : record.head.analogCount + point);
    });
  }
  return name;
}

std::int32_t ClientLibrary::GetScadaCount() {
  const auto lock = openAttached();
  if (!lock) return -1;
  return table_.stationCount;
}

std::int32_t ClientLibrary::GetChannelCount(std::int32_t slot) {
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  const auto head = readChead(slot);
  return head ? ChannelCount(*head) : -1;
}

std::int32_t ClientLibrary::GetMeterCount(std::int32_t slot, std::int32_t channel) {
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  const auto head = readChead(slot);
  if (!head || channel < 0 || channel >= ChannelCount(*head)) return -1;
  return MeterCount(*head, channel);
}

std::int32_t ClientLibrary::GetParaCount(std::int32_t slot, std::int32_t channel, std::int32_t meter,
                                         std::int32_t kind) {
  if ((kind != 1 && kind != 2)) return -1;
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  std::int32_t count = -1;
  readMeter(slot, channel, meter, [&](ByteView, const MeterRecord& record) {
    count = kind == 1 ? record.head.analogCount : record.head.statusCount;
  });
  return count;
}

std::int32_t ClientLibrary::IsParaValid(std::int32_t kind, std::int32_t slot, std::int32_t channel, std::int32_t meter,
                                        std::int32_t point) {
  if (point < 0) return 0;
  const auto lock = openSlot(slot);
  if (!lock) return 0;
  bool valid = false;
  if (kind == 0) {
    const auto total = reportItemCount(slot, ItemKind::Calc);
    valid = total && point < *total;
  } else if (kind == 1 || kind == 2) {
    readMeter(slot, channel, meter, [&](ByteView, const MeterRecord& record) {
      valid = point < (kind == 1 ? record.head.analogCount : record.head.statusCount);
    });
  }
  return valid ? -1 : 0;
}

std::int32_t ClientLibrary::IsParaCodeValid(std::int32_t a, std::int32_t b) {
  return a != 0 && a != -1 && b != 0 && b != -1 ? -1 : 0;
}

std::string ClientLibrary::vlogAnsi(int number) const { return common::Utf8ToGbk(lang::vlogText(engine_, number)); }

std::string ClientLibrary::GetMeasTypeName(std::int32_t kind) const {
  return vlogAnsi(kind >= 0 && kind <= 3 ? 32 + kind : 36);
}

std::string ClientLibrary::GetControlTypeName(std::int32_t kind) const {
  return kind >= 0 && kind <= 7 ? vlogAnsi(37 + kind) : std::string();
}

}  // namespace velk
