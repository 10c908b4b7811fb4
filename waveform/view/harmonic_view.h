#pragma once
// The harmonic view of a one-cycle record: the spectrum of analogue channel 0
// as bars of orders 2 .. N1 div 2, in percent of the fundamental.

#include <array>
#include <span>

#include "waveform/view/wave_geometry.h"
#include "waveform/view/window_options.h"

namespace wave {

inline constexpr int kBarSpacing = 16;

struct HarmonicScene {
  const WaveGeometry& geo;
  const WindowOptions& options;
  std::span<const double> harmonics;  // the computed orders 2 .. N1 div 2
  const std::array<TColor, kColorCount>& colors;
};

// The bar chart's scale in percent: RoundUpScale of the largest value.
std::int32_t HarmonicScale(std::span<const double> harmonics);

// The bars of every computed order in colour, against the scale.
void Show_OneChannel_HD(Canvas& canvas, const HarmonicScene& scene, TColor colour, std::int32_t scale);
// Frame, order numbers, ticks, and the bars once per used row in the colour of
// the row's first channel, each followed by the scale.
void Show_AllChannel_HD(Canvas& canvas, const HarmonicScene& scene);

// One paint of the bar view: the clip box filled with the background (colour 22), then Show_AllChannel_HD.
void PaintHarmonicView(Canvas& canvas, const HarmonicScene& scene);

}  // namespace wave
