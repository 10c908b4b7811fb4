#include "stationdb/convert/waveconvert.h"

#include <limits>
#include <utility>

#include <fmt/format.h>

#include "common/gbk.h"
#include "common/paths.h"
#include "common/strings.h"
#include "stationdb/convert/pqrecord.h"
#include "stationdb/convert/recordfiles.h"
#include "stationdb/core/normalfunction.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {
namespace {

constexpr std::string_view kKindsFileName = "davureva.ini";
// Power-quality records are taken at a line frequency of 50 Hz.
constexpr std::int32_t kPowerQualityLineFrequency = 50;

ConvertOutcome refused() { return {WaveInfoErrorMessage(), std::nullopt}; }
ConvertOutcome failed(std::string text) { return {std::nullopt, std::move(text)}; }

// The first character of a UTF-8 text (a whole character, not one byte of it).
std::string firstCharacter(std::string_view text) {
  if (text.empty()) return {};
  const auto lead = static_cast<unsigned char>(text.front());
  const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return std::string(text.substr(0, length));
}

// samp1 of a power-quality record: the samples per cycle written before the
// first "x" of its first channel's name, times 50. Throws common::ConvertError
// when there is no number; empty when the rate does not fit its field.
std::optional<std::int32_t> powerQualityRate(std::string_view channelName) {
  const std::int64_t rate =
      std::int64_t{common::StrToInt(KeyPart(channelName, "x"))} * kPowerQualityLineFrequency;
  if (rate > std::numeric_limits<std::int32_t>::max() || rate < std::numeric_limits<std::int32_t>::min())
    return std::nullopt;
  return static_cast<std::int32_t>(rate);
}

wave::TAInfo analogChannel(const wave::TWaveformData& channel, const std::string& name) {
  wave::TAInfo info;
  info.ch_id = name;
  info.uu = firstCharacter(name);
  info.a = channel.Factor;
  info.b = channel.Offset;
  MinMaxOfArray(channel.Samples, info.min, info.max);
  info.primary = 1.0;
  info.secondary = 1.0;
  info.PS = 's';
  return info;
}

// The record's name: trigger time to the millisecond and its three ids.
std::string powerQualityName(const TWaveformRecord& first) {
  return fmt::format("{}{}_{}_{}_{}", common::FormatDateTime("yyyymmddhhnnss", first.TriggerTime),
                     IntToZeroPadStr(first.Millisecond, 3), first.StationID, first.ChannelID, first.MeterID);
}

ConvertOutcome fillPowerQuality(DbState& state, const std::vector<const TWaveformRecord*>& parts,
                                const CSetObj* stationRoot, wave::TcfgInfo& info, const ConvertSettings& settings) {
  const TWaveformRecord& first = *parts.front();
  const CSetObj* meter = stationRoot != nullptr ? stationRoot->FindNode(kMeterType12, first.MeterID) : nullptr;
  if (meter == nullptr) return refused();
  state.WaveKinds = ReadConfigFile(settings.kindsFile);
  // The channel counts are 16-bit fields.
  if (parts.size() > std::numeric_limits<std::uint16_t>::max()) return refused();
  std::vector<wave::TWaveformData> channels;
  if (!DecodeWaveformData(parts, channels)) return failed("The waveform data of the record is shorter than its fields");

  wave::TcfgInfo record;
  record.station_name = common::GbkToUtf8(meter->GetName());
  record.rec_dev_id = fmt::format("{}", first.MeterID);
  record.TT = record.A = static_cast<std::uint16_t>(parts.size());
  record.D = 0;
  std::int32_t found = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string name;
    GetChannelName(state.WaveKinds, parts[i]->AuxWord, found, name);
    record.AInfo.push_back(analogChannel(channels[i], name));
  }
  const std::optional<std::int32_t> rate = powerQualityRate(channels.front().ChannelName);
  if (!rate) return refused();
  record.lf = kPowerQualityLineFrequency;
  record.nrates = 1;
  record.samp1 = record.samp2 = *rate;
  // A blob's samples fit in int32: each takes 4 of its bytes.
  record.endsamp1 = record.endsamp2 = static_cast<std::int32_t>(channels.front().Samples.size());
  record.StartTime = record.TriggerTime = first.TriggerTime;
  record.ft = fmt::format("{}", found);
  record.CfgPath = powerQualityName(first);

  info = std::move(record);
  state.WaveChannels = std::move(channels);
  return {};
}

}  // namespace

common::UserMessage WaveInfoErrorMessage() {
  return common::UserMessage::warning(std::string(kSelectWaveSection), "str16", "解析数据库中的波形信息出错！",
                                      "str17");
}

ConvertSettings DefaultConvertSettings() {
  return {common::RecordCacheFolder(), common::ProgramFolder() / kKindsFileName, common::NowLocal};
}

std::vector<const TWaveformRecord*> GatherRecordParts(const std::vector<TWaveformRecord>& rows,
                                                      const TWaveformRecord& record) {
  std::vector<const TWaveformRecord*> parts;
  for (const TWaveformRecord& row : rows)
    if (SameWaveformRecord(row, record)) parts.push_back(&row);
  return parts;
}

ConvertOutcome FillWaveinfoTocfg_velkora(DbState& state, const TWaveformRecord& record, wave::TcfgInfo& info,
                                         const ConvertSettings& settings) {
  const std::vector<const TWaveformRecord*> parts = GatherRecordParts(state.ZavoVivords, record);
  state.WaveChannels.clear();
  info.CfgPath.clear();
  if (parts.empty()) return {};
  // A record of one part is refused with the message; a damaged record of
  // several parts is an error (the dialog stays open), except one whose
  // first text has not 10 lines, which is no record to merge: refused too.
  std::optional<RecordFiles> files;
  try {
    files = BuildRecordFiles(parts);
  } catch (const common::ConvertError& error) {
    return failed(error.what());
  }
  if (!files) return refused();
  const std::string baseName = common::FormatDateTime("yyyymmddhhnnsszzz", settings.now());
  const std::optional<std::filesystem::path> cfg = WriteRecordFiles(settings.cacheFolder, baseName, *files);
  if (!cfg) {
    if (!IsMergedRecord(parts)) return refused();
    return failed(fmt::format("Cannot create the record files in {}", settings.cacheFolder.string()));
  }
  info.CfgPath = cfg->string();
  return {};
}

ConvertOutcome FillWaveinfoToCfg(DbState& state, const TWaveformRecord& record, const CSetObj* stationRoot,
                                 wave::TcfgInfo& info, const ConvertSettings& settings) {
  const std::vector<const TWaveformRecord*> parts = GatherRecordParts(state.ZavoVivords, record);
  state.WaveChannels.clear();
  info.CfgPath.clear();
  if (parts.empty()) return {};
  try {
    return fillPowerQuality(state, parts, stationRoot, info, settings);
  } catch (const common::ConvertError& error) {
    return {std::nullopt, std::string(error.what())};
  }
}

}  // namespace stationdb
