#pragma once
// Drawing of the wave view: frame and grid, one trace per channel on its row,
// channel names with their marker shapes, and the digital step lanes. Each
// function draws only what can reach the canvas's clip box; where points lie
// closer than a pixel a trace is reduced to each pixel column's extremes, with
// the same pixels as the full drawing.

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "waveform/analysis/draw_summary.h"
#include "waveform/canvas/canvas.h"
#include "recordmodel/record.h"
#include "waveform/view/trace_path.h"
#include "waveform/view/wave_geometry.h"
#include "waveform/view/wave_scales.h"
#include "waveform/view/window_options.h"

namespace wave {

// Everything one paint of the wave view reads. Buffers: the analogue
// channels' points (SampleBuffers); digital: the lanes, a byte per sample.
struct WaveScene {
  const WaveGeometry& geo;
  const WindowOptions& options;
  const WaveScales& scales;
  std::span<const std::span<const double>> buffers;
  std::span<const std::span<const std::uint8_t>> digital;
  const TcfgInfo& record;
  const std::array<TColor, kColorCount>& colors;
  bool interpolated = false;  // NoNegativeSamples = 0: the points between samples hold values
  // Tests only: draw every point even where points are denser than pixels.
  bool fullDetail = false;
  // The record's envelopes: zoomed-out traces read each pixel column's
  // extremes from them (the same pixels as from every point).
  const DrawSummary* summary = nullptr;
};

inline constexpr int kMarkerStyleCount = 10;

// One paint of the wave view: the clip box filled with the background (colour
// 22), which also becomes the brush, then Show_AllChannel_Wave.
void PaintWaveView(Canvas& canvas, const WaveScene& scene);

// Axis, traces with their names, row scales and digital lanes.
void Show_AllChannel_Wave(Canvas& canvas, const WaveScene& scene);

// Frame, dotted grid, cycle numbers and ticks.
void Show_Channel_Axis(Canvas& canvas, const WaveScene& scene);

// One trace: channel ch at position j of row g, drawn on used row r in colour;
// markerStyle is the shape of this channel's markers.
void Show_OneChannel_Wave(Canvas& canvas, const WaveScene& scene, int g, TColor colour, int j, int ch, int r,
                          int markerStyle);

// The channel's name and marker beside the row's zero line.
void Show_Channel_Info(Canvas& canvas, const WaveScene& scene, int g, int ch, int j, int zeroLineY, TColor colour,
                       int markerStyle);

// The offset of a channel name from the zero line: position j of c channels.
int ChannelInfoOffset(int channelCount, int j);

// One marker of the given style (0..9) and half-size centred on (x, y); other
// styles draw nothing. Keeps the brush colour.
void Draw_Point_Symbol(Canvas& canvas, int x, int size, TColor colour, int style, int y);

// The digital lanes below rowCount rows.
void Show_All_Status(Canvas& canvas, const WaveScene& scene, int rowCount);

// y of a value on a row: yb - Trunc(v / scale * amplitude), kept inside the int range.
inline int ValueY(int yb, double value, double scale, int amplitude) {
  const double d = value / scale * amplitude;
  if (!(std::fabs(d) < static_cast<double>(trace::kPixelLimit)))
    return trace::ClampPixel(d > 0 ? -trace::kPixelLimit : trace::kPixelLimit);
  return trace::ClampPixel(yb - static_cast<std::int64_t>(std::trunc(d)));
}

}  // namespace wave
