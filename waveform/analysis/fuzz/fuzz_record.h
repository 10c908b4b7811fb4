#pragma once
// The record a fuzz input describes: its first bytes choose the channel
// counts, rates and sample counts, the rest is the data file.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "recordmodel/record.h"

namespace wave::fuzz {

inline constexpr std::size_t kHeaderBytes = 8;

inline TcfgInfo RecordFromHeader(const std::uint8_t* header) {
  static constexpr std::int32_t kRates[] = {50, 100, 150, 200, 600, 1000, 1200, 1600, 3200, 25};
  TcfgInfo record;
  record.A = header[0] % 8;
  record.D = header[1] % 41;
  record.TT = static_cast<std::uint16_t>(record.A + record.D);
  for (int i = 0; i < record.A; ++i) {
    TAInfo channel;
    channel.a = (header[6] & 1) ? 0.5 : 1e300;
    channel.b = (header[6] & 2) ? -3 : 0;
    channel.primary = 10;
    channel.secondary = (header[6] & 4) ? 0.1 : 1e-300;
    channel.PS = (header[6] & 8) ? 'S' : 'P';
    record.AInfo.push_back(channel);
  }
  record.DInfo.resize(record.D);
  record.lf = 50;
  record.samp1 = kRates[header[2] % 10];
  record.endsamp1 = header[3] % 65;
  record.nrates = (header[4] & 0x80) ? 2 : 1;
  record.samp2 = record.nrates == 2 ? kRates[header[4] % 10] : record.samp1;
  record.endsamp2 = record.nrates == 2 ? record.endsamp1 + header[5] % 65 : record.endsamp1;
  return record;
}

}  // namespace wave::fuzz
