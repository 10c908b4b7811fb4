#include "waveform/analysis/open_record.h"

#include "waveform/analysis/draw_summary.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/parallel.h"
#include "waveform/analysis/rms_harmonics.h"
#include "waveform/model/scale.h"

namespace wave {
namespace {

// GetMaxAbsValue of values, taken in blocks so that a cancelled job stops
// within one (the largest of the blocks' values is the whole one's).
double maxAbsValue(std::span<const double> values, const common::JobProgress& progress) {
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  double peak = 0;
  for (std::size_t begin = 0; begin < values.size() && !progress.cancelled(); begin += kBlock)
    peak = std::max(peak, GetMaxAbsValue(values.subspan(begin, std::min(kBlock, values.size() - begin))));
  return values.empty() ? GetMaxAbsValue(values) : peak;
}

// Each analogue channel's peak of its points and of its RMS curve.
void findPeaks(OpenedRecord& opened, const common::JobProgress& progress) {
  const RecordData& data = *opened.data;
  opened.analogPeaks.assign(data.analogCount(), 0.0);
  opened.rmsPeaks.assign(data.layout().oneCycle ? 0 : data.analogCount(), 0.0);
  const auto analogPoints = static_cast<std::size_t>(data.analogPointsWritten());
  const auto rmsValues = static_cast<std::size_t>(data.rmsValuesWritten());
  ParallelFor(data.analogCount(), 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      // The zeros past what was written change no peak.
      opened.analogPeaks[i] = maxAbsValue(data.samples(i).first(analogPoints), progress);
      if (!opened.rmsPeaks.empty()) opened.rmsPeaks[i] = maxAbsValue(data.rms(i).first(rmsValues), progress);
    }
  });
}

}  // namespace

OpenedRecord OpenRecordData(const TcfgInfo& record, std::int32_t source,
                            std::span<const wave::TWaveformData> waveChannels, const RecordLimits& limits,
                            common::JobProgress* progress) {
  common::JobProgress unwatched;
  if (!progress) progress = &unwatched;
  const OpenedRecord cancelled{nullptr, {}, true};
  auto created = RecordData::Create(record, limits);
  if (!created.data) return {nullptr, {std::move(*created.refusal)}};
  OpenedRecord opened{std::move(created.data), {}};
  opened.messages = LoadChannelData(*opened.data, source, waveChannels, progress);
  if (progress->cancelled()) return cancelled;
  AnalyseRecord(*opened.data, progress);
  if (progress->cancelled()) return cancelled;
  findPeaks(opened, *progress);
  BuildDrawSummary(*opened.data, progress);
  if (progress->cancelled()) return cancelled;
  return opened;
}

}  // namespace wave
