#pragma once
// The record selection dialog without widgets: which query a tree node asks
// for, and the list rows built from the query's rows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "stationdb/records/records.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {

// Built-in texts of the dialog's language section ("Strings_SelectWave_Dlg").
inline constexpr std::string_view kWaveListCaption = "波形文件";                   // str0
inline constexpr std::string_view kTriggerTimeColumn = "触发时间";                 // str10
inline constexpr std::string_view kMeterColumn = "监测节点";                       // str11
inline constexpr std::string_view kSerialNoColumn = "序号";                        // str12
inline constexpr std::string_view kLoadingWaves = "正在加载该节点下的波形文件......";  // str15

// Node types the dialog reacts to.
inline constexpr std::uint32_t kPqStationRootType = 0x20000;
inline constexpr std::uint32_t kPqChannelType = 0x21100;
inline constexpr std::uint32_t kPqMeterType = 0x21110;
inline constexpr std::uint32_t kAutoChannelType = 0x10121100;
inline constexpr std::uint32_t kAutoMeterType = 0x10121110;
// The station that every channel of the power-quality database belongs to.
inline constexpr std::int64_t kPqChannelStation = 512;

// The arguments of the waveform record query; -1 leaves a level open, and a
// begin and end of 0.0 leave the time open.
struct WaveQueryArgs {
  std::int64_t Station = -1;
  std::int64_t Channel = -1;
  std::int64_t Meter = -1;
  common::TDateTime Begin = 0.0;
  common::TDateTime End = 0.0;
  bool operator==(const WaveQueryArgs&) const = default;
};

// The query a click on node asks for in mode, with the time range already
// chosen; none for a node type without a query, for a mode-21 meter whose
// channel is not below stationRoot, and in other modes.
std::optional<WaveQueryArgs> QueryArgsFor(const CSetObj& node, std::int32_t mode, const CSetObj* stationRoot,
                                          common::TDateTime begin, common::TDateTime end);

// The meter node type of a mode (0 outside the database modes).
std::uint32_t MeterTypeFor(std::int32_t mode);

// 1 January of value's year at value's time of day.
common::TDateTime YearStartAtTimeOfDay(common::TDateTime value);

// One item of the record list.
struct WaveListRow {
  std::size_t Index = 0;  // the row of ZavoVivords the item stands for
  std::string Caption;    // trigger time "yyyy-mm-dd hh:nn:ss.zzz"
  std::string MeterName;  // as the tree holds it
  std::string SerialNo;
  bool operator==(const WaveListRow&) const = default;
};

// "yyyy-mm-dd hh:nn:ss" and the record's own millisecond in three digits.
std::string TriggerCaption(const TWaveformRecord& record);

// The list items in row order: rows whose meter (of meterType) is not below
// stationRoot are left out, and so is every row of a record already listed.
std::vector<WaveListRow> BuildWaveListRows(const std::vector<TWaveformRecord>& rows, const CSetObj* stationRoot,
                                           std::uint32_t meterType);

}  // namespace stationdb
