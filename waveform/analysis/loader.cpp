#include "waveform/analysis/loader.h"

#include <algorithm>

#include "common/strings.h"
#include "waveform/analysis/interpolate.h"

namespace wave {

void CopyWaveChannels(RecordData& data, std::span<const wave::TWaveformData> channels) {
  const RecordLayout& layout = data.layout();
  const std::size_t count = std::min(data.analogCount(), channels.size());
  for (std::size_t i = 0; i < count; ++i) {
    const wave::TWaveformData& channel = channels[i];
    const std::span<double> out = data.samples(i);
    const std::size_t samples = std::min<std::size_t>(channel.Samples.size(), static_cast<std::size_t>(layout.rate1Samples));
    const long double offset = channel.Offset;
    for (std::size_t k = 0; k < samples; ++k)
      out[k * static_cast<std::size_t>(layout.f1)] =
          static_cast<double>((channel.Samples[k] + offset) * channel.Factor);
  }
}

std::vector<common::UserMessage> LoadChannelData(RecordData& data, std::int32_t source,
                                                 std::span<const wave::TWaveformData> waveChannels) {
  std::vector<common::UserMessage> messages;
  if (source == stationdb::kSourcePowerQuality) {
    CopyWaveChannels(data, waveChannels);
    return messages;
  }
  if (source != stationdb::kSourceFolder && source != stationdb::kSourceAutomation) return messages;

  const std::string& cfgPath = data.record().CfgPath;
  FileDataReader dat(FindDatPartner(cfgPath).value_or(std::filesystem::path(DatPartnerPath(cfgPath))));
  if (common::SameText(data.record().ft, "ASCII"))
    ReadAsciiDat(data, dat, messages);
  else
    ReadBinaryDat(data, dat, messages);
  if (data.layout().N1 < 32 && data.NoNegativeSamples == 0) InterpolateRecord(data);
  return messages;
}

}  // namespace wave
