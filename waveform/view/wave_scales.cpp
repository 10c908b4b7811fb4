#include "waveform/view/wave_scales.h"

#include <algorithm>

#include "waveform/analysis/parallel.h"
#include "waveform/model/scale.h"

namespace wave {

namespace {

double peakOf(const WaveScales& scales, int ch) {
  if (ch < 0 || static_cast<std::size_t>(ch) >= scales.ChannelPeaks.size()) return 0.05;
  return scales.ChannelPeaks[static_cast<std::size_t>(ch)];
}

}  // namespace

void ComputeChannelPeaks(WaveScales& scales, std::span<const std::span<const double>> analog, std::int64_t points) {
  scales.ChannelPeaks.assign(analog.size(), 0.05);
  scales.ChannelScales.assign(analog.size(), 1);
  const auto count = static_cast<std::size_t>(std::max<std::int64_t>(0, points));
  ParallelFor(analog.size(), 4, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const auto values = analog[i].first(std::min(count, analog[i].size()));
      scales.ChannelPeaks[i] = GetMaxAbsValue(values);
      scales.ChannelScales[i] = RoundUpScale(scales.ChannelPeaks[i]);
    }
  });
}

void SetChannelPeaks(WaveScales& scales, std::span<const double> peaks) {
  scales.ChannelPeaks.assign(peaks.begin(), peaks.end());
  scales.ChannelScales.clear();
  for (const double peak : peaks) scales.ChannelScales.push_back(RoundUpScale(peak));
}

int GroupSize(const TChannelGroup& group) { return std::clamp(group.Count, 0, kChannelsPerGroup); }

void CalcGroupRatio(WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups, int g, int ch, int j) {
  const double peak = peakOf(scales, ch);
  const auto row = static_cast<std::size_t>(g);
  const double maximum = scales.GroupMaxima[row];
  scales.GroupRatios[row][static_cast<std::size_t>(j)] =
      (groups[row].Count > 1 && maximum > peak) ? peak / maximum : 1.0;
}

void UpdateGroupScales(WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups) {
  if (scales.ScalesDirty != 1) return;
  for (int g = 0; g < kGroupRowCount; ++g) {
    const auto& group = groups[static_cast<std::size_t>(g)];
    const int count = GroupSize(group);
    if (count == 0) continue;
    auto& maximum = scales.GroupMaxima[static_cast<std::size_t>(g)];
    maximum = RoundUpScale(peakOf(scales, group.Channel[0]));
    for (int j = 1; j < count; ++j) {
      const double peak = peakOf(scales, group.Channel[static_cast<std::size_t>(j)]);
      if (peak > maximum) maximum = RoundUpScale(peak);
    }
  }
  for (int g = 0; g < kGroupRowCount; ++g) {
    const auto& group = groups[static_cast<std::size_t>(g)];
    for (int j = 0; j < GroupSize(group); ++j) CalcGroupRatio(scales, groups, g, group.Channel[static_cast<std::size_t>(j)], j);
  }
  scales.ScalesDirty = 0;
}

}  // namespace wave
