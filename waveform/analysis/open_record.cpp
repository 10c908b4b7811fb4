#include "waveform/analysis/open_record.h"

#include "waveform/analysis/draw_summary.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/rms_harmonics.h"

namespace wave {

OpenedRecord OpenRecordData(const TcfgInfo& record, std::int32_t source,
                            std::span<const wave::TWaveformData> waveChannels, const RecordLimits& limits) {
  auto created = RecordData::Create(record, limits);
  if (!created.data) return {nullptr, {std::move(*created.refusal)}};
  OpenedRecord opened{std::move(created.data), {}};
  opened.messages = LoadChannelData(*opened.data, source, waveChannels);
  AnalyseRecord(*opened.data);
  BuildDrawSummary(*opened.data);
  return opened;
}

}  // namespace wave
