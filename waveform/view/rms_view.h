#pragma once
// The RMS view of a record window: each displayed analogue channel's one-cycle
// RMS curve on the rows of the wave view, drawn up from each row's lower edge,
// with its own frame and grid, and the digital lanes below. Its scales are
// kept apart from the wave view's: peaks of the RMS values, a rounded scale
// per row and each channel's share of it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "waveform/view/wave_draw.h"

namespace wave {

struct RmsScales {
  std::vector<double> RmsPeaks;                // per analogue channel
  std::vector<std::int32_t> RmsChannelScales;  // RoundUpScale of each peak
  std::array<std::int32_t, kGroupRowCount> RmsRowScales{};
  std::array<std::array<double, kChannelsPerGroup>, kGroupRowCount> RmsRatios{};
  std::uint8_t ScalesDirty = 1;
};

// The peaks of the RMS arrays over their first `count` values (endsamp2 with
// two rates, else endsamp1).
void ComputeRmsPeaks(RmsScales& scales, std::span<const std::span<const double>> rms, std::int64_t count);
// The same from peaks found before (GetMaxAbsValue of each RMS curve).
void SetRmsPeaks(RmsScales& scales, std::span<const double> peaks);

// When ScalesDirty: each used row's scale (RoundUpScale of its first channel's
// peak, replaced by a later channel's when that peak is larger) and the ratios,
// by the rule of CalcGroupRatio; then clears it.
void UpdateRmsScales(RmsScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups);

struct RmsScene {
  const WaveScene& wave;  // geometry, options, record, colours, digital lanes
  std::span<const std::span<const double>> rms;
  const RmsScales& scales;
};

// Pixels per RMS value of a rate with f points and n samples per cycle:
// (PixelsPerCycle1 div (f * n)) * f, or, when the view is zoomed out so far
// that this is 0, PixelsPerCycle1 / n, so the curve keeps its cycles on the grid.
float RmsPixelsPerSample(int pixelsPerCycle1, int f, int n);

// Wt: the width of the whole cycles at both rates.
std::int64_t RmsPlotWidth(const WaveGeometry& geo);
// The time cursor's track bar in the RMS view: Wt + 18.
std::int64_t RmsTrackBarWidth(const WaveGeometry& geo);

// x of RMS value n.
std::int64_t RmsValueX(const WaveGeometry& geo, std::int64_t n);

void Show_Channel_AxisRMS(Canvas& canvas, const RmsScene& scene);
// The curve of channel ch at position p of row g, on used row r.
void Show_OneChannel_RMS(Canvas& canvas, const RmsScene& scene, int r, int g, int p, int ch, TColor colour,
                         int markerStyle);
// Axis, curves with their names, row scales and digital lanes.
void Show_AllChannel_RMS(Canvas& canvas, const RmsScene& scene);

// One paint of the RMS view: the clip box filled with the background (colour 22), then Show_AllChannel_RMS.
void PaintRmsView(Canvas& canvas, const RmsScene& scene);

}  // namespace wave
