#pragma once
// The plot scales of the wave view: each analogue channel's peak, each row's
// rounded maximum and each channel's share of it. Peaks are computed once from
// the data; row scales again whenever ScalesDirty is set (new options, a view
// switch).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "waveform/view/window_options.h"

namespace wave {

struct WaveScales {
  std::vector<double> ChannelPeaks;                 // per analogue channel
  std::vector<std::int32_t> ChannelScales;          // RoundUpScale of each peak
  std::array<std::int32_t, kGroupRowCount> GroupMaxima{};
  std::array<std::array<double, kChannelsPerGroup>, kGroupRowCount> GroupRatios{};
  std::uint8_t ScalesDirty = 1;
};

// ChannelPeaks and ChannelScales of the analogue buffers over their first
// `points` points (P1, plus P2 with two rates).
void ComputeChannelPeaks(WaveScales& scales, std::span<const std::span<const double>> analog, std::int64_t points);
// The same from peaks found before (GetMaxAbsValue of each channel's points).
void SetChannelPeaks(WaveScales& scales, std::span<const double> peaks);

// The number of channels of a row that drawing uses (Count within 0..4).
int GroupSize(const TChannelGroup& group);

// GroupRatios[g][j]: the channel's peak over the row's maximum when the row holds
// more than one channel and the maximum is above the peak, else 1.0.
void CalcGroupRatio(WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups, int g, int ch, int j);

// When ScalesDirty: GroupMaxima and GroupRatios of every used row, then clears it.
void UpdateGroupScales(WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups);

}  // namespace wave
