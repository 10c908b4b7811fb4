#pragma once
// The waveform record model that both the database layer and the waveform
// program stand on: one record's configuration as read from a .cfg file or
// built from a database record (copied by value into every window that shows
// the record), and the channels decoded from a power-quality database record.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/datetime.h"

namespace wave {

// The largest number of channels (analogue and digital together) a record may have.
inline constexpr int kMaxChannels = 500;

// The value that marks a sample without value; such samples are skipped.
inline constexpr double kNoValueMarker = 2863311530.0;

struct TAInfo {
  std::string ch_id;  // channel name
  std::string uu;     // unit text
  double a = 0;       // value = raw * a + b
  double b = 0;
  std::int32_t min = 0;
  std::int32_t max = 0;
  double primary = 1.0;
  double secondary = 1.0;
  char PS = 'S';  // 'P': the file holds primary values; 'S': secondary (scaled by primary/secondary)
};

struct TDInfo {
  std::string ch_id;
  std::uint8_t NormalState = 0;
};

struct TcfgInfo {
  std::string CfgPath;
  std::string station_name;
  std::string rec_dev_id;
  std::uint16_t TT = 0;
  std::uint16_t A = 0;
  std::uint16_t D = 0;
  std::vector<TAInfo> AInfo;
  std::vector<TDInfo> DInfo;
  std::int32_t lf = 0;
  std::int32_t nrates = 0;
  std::int32_t samp1 = 0;
  std::int32_t endsamp1 = 0;
  std::int32_t samp2 = 0;
  std::int32_t endsamp2 = 0;
  common::TDateTime StartTime = 0;
  common::TDateTime TriggerTime = 0;
  std::string ft;
};

// The longest channel name a TWaveformData holds (a short string).
inline constexpr std::size_t kMaxChannelNameLength = 255;

// One channel decoded from a power-quality waveform blob.
// A sample's value is (raw + Offset) * Factor.
struct TWaveformData {
  std::uint16_t ChannelNo = 0;
  std::string ChannelName;  // at most kMaxChannelNameLength bytes
  std::uint32_t Param1 = 0;
  std::uint32_t Param2 = 0;
  std::uint32_t Param3 = 0;
  double Param4 = 0;
  double Offset = 0;
  double Factor = 0;
  std::vector<std::int32_t> Samples;
};

}  // namespace wave
