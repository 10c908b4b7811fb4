// The readers of bytes that come from outside: the two cache files, the net
// list and a station's channel table with its meter records. The first byte
// picks the reader; for the channel table the next bytes are the channel
// count and the meter counts, and the rest are the meter records.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "clientif/cachefiles.h"
#include "clientif/stationmodel.h"

namespace {

void walkMeters(const std::uint8_t* data, std::size_t size) {
  CHEAD head{};
  if (size > 0) head.channelCount = data[0];
  const std::size_t counts = std::min<std::size_t>(size > 0 ? size - 1 : 0, 128);
  if (counts > 0) std::memcpy(head.meterCounts, data + 1, counts);
  std::vector<std::uint8_t> section(velk::commhead::kMeters, 0);
  std::memcpy(section.data() + velk::commhead::kChead, &head, sizeof head);
  section.insert(section.end(), data + std::min(size, 1 + counts), data + size);
  const velk::ByteView view{section.data(), section.size()};
  static const auto para = std::make_unique<TMeterPara>();
  for (int c = 0; c < velk::ChannelCount(head); ++c) {
    velk::WalkChannelMeters(view, head, c, [&](int, const velk::MeterRecord& meter) {
      velk::ExpandMeter(view, meter, *para);
      for (int p = 0; p < meter.pointCount(); ++p) velk::PointName(view, meter, p);
      return false;
    });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t* rest = data + 1;
  const std::size_t restSize = size - 1;
  const std::string_view bytes(reinterpret_cast<const char*>(rest), restSize);
  switch (data[0] % 4) {
    case 0: {
      static const auto cache = std::make_unique<velk::DeviceTypeCache>();
      velk::ParseDeviceTypeCache(bytes, *cache);
      cache->idOfName("x");
      break;
    }
    case 1:
      velk::ParseDbConn(bytes);
      break;
    case 2: {
      std::vector<std::uint8_t> list(velk::netlist::kSize, 0);
      std::memcpy(list.data(), rest, std::min(restSize, list.size()));
      if (auto copy = velk::CopyNetList({list.data(), list.size()})) velk::BuildStationTable(*copy);
      break;
    }
    default:
      walkMeters(rest, restSize);
      break;
  }
  return 0;
}
