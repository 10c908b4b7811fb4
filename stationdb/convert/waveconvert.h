#pragma once
// Turning a stored waveform record (the rows of DbState::ZavoVivords that make
// up one record, one row per channel) into something the record window shows:
//
//   FillWaveinfoTocfg_velkora  the automation system's databases (record source
//                              21): a .cfg/.dat pair in the record cache folder,
//                              read afterwards like any record file;
//   FillWaveinfoToCfg          the power-quality database (record source 12):
//                              the channels decoded into DbState::WaveChannels
//                              and the TcfgInfo filled in memory.
//
// Both fill info.CfgPath only when the record was converted: an empty CfgPath
// afterwards means there is nothing to open. A refusal comes back as a
// message to show (the selection dialog then closes) or as an error text for
// the general error box (the dialog stays open); nothing is shown here.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "common/message.h"
#include "stationdb/records/records.h"
#include "recordmodel/record.h"

namespace stationdb {

class CSetObj;

inline constexpr std::string_view kSelectWaveSection = "Strings_SelectWave_Dlg";

// str16 "解析数据库中的波形信息出错！" (caption str17): a stored record that cannot be converted.
common::UserMessage WaveInfoErrorMessage();

// Where the conversions read and write, and their clock.
struct ConvertSettings {
  std::filesystem::path cacheFolder;  // record pairs of source 21 (created when missing)
  std::filesystem::path kindsFile;    // davureva.ini: the record kinds of source 12
  std::function<common::TDateTime()> now;
};

// The program's own: common::RecordCacheFolder(), davureva.ini in the
// program's folder, common::NowLocal.
ConvertSettings DefaultConvertSettings();

struct ConvertOutcome {
  std::optional<common::UserMessage> message;  // the refusal to show; the dialog closes
  std::optional<std::string> error;            // for the general error box; the dialog stays open
  bool converted() const { return !message && !error; }
};

// The rows of rows that describe the same record as record (SameWaveformRecord),
// in array order.
std::vector<const TWaveformRecord*> GatherRecordParts(const std::vector<TWaveformRecord>& rows,
                                                      const TWaveformRecord& record);

// Source 21. Empties state.WaveChannels, writes the record's pair and sets
// info.CfgPath to the .cfg path; the other fields of info stay as they were
// (the .cfg reader fills them). On a refusal or an error no file is left
// behind and info.CfgPath is empty. A record of one part that cannot be
// written, or one of several parts whose first text has not 10 lines, is
// refused with str16; a damaged record of several parts (a blob shorter than
// its lengths, a further part with fewer than 3 lines or fewer data rows) or
// files of several parts that cannot be created give an error.
ConvertOutcome FillWaveinfoTocfg_velkora(DbState& state, const TWaveformRecord& record, wave::TcfgInfo& info,
                                         const ConvertSettings& settings);

// Source 12. Reads state.WaveKinds from the kinds file, decodes the record's
// channels into state.WaveChannels and fills every field of info; CfgPath is
// the record's name ("yyyymmddhhnnsszzz_<station>_<channel>_<meter>"), no
// file. The meter is looked up below stationRoot. A blob shorter than its
// fields, a first channel name without a number before "x" or a kind code
// that is no integer give an error. On a refusal or an error
// state.WaveChannels is empty and so is info.CfgPath.
ConvertOutcome FillWaveinfoToCfg(DbState& state, const TWaveformRecord& record, const CSetObj* stationRoot,
                                 wave::TcfgInfo& info, const ConvertSettings& settings);

}  // namespace stationdb
