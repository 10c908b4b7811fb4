#pragma once
// Where the wave view puts things: one value object computed from the record's
// layout, the window's viewport numbers and its options. Every coordinate is a
// paint-box pixel; widths of long records are 64-bit.

#include <cstdint>

#include "waveform/analysis/record_data.h"
#include "waveform/canvas/canvas.h"
#include "waveform/view/window_options.h"

namespace wave {

enum class ViewMode : std::uint8_t { Waves = 0, HarmonicBars = 1, Rms = 2 };

// The window's layout numbers that zooming changes.
struct WaveViewport {
  int RowHeight = 120;  // h
  int LeftMargin = 75;  // L
  int TopMargin = 90;   // T: the zero line of the first row
  int PixelsPerCycle1 = 0;
  int PixelsPerCycle2 = 0;
  int ZoomLevelX = 0;
  int ZoomLevelY = 0;
  bool operator==(const WaveViewport&) const = default;
};

// PixelsPerCycle1 when the window is created: f1 * N, times 512 div endsamp1 for
// a record of one cycle (at least once, so that a cycle of more than 512
// samples keeps its unmultiplied width).
int InitialPixelsPerCycle1(const RecordLayout& layout);
// f2 * N2 with two rates, else 0.
int InitialPixelsPerCycle2(const RecordLayout& layout);
// The one-cycle multiplier 512 div endsamp1, at least 1.
int OneCycleStretch(const RecordLayout& layout);

WaveViewport InitialViewport(const RecordLayout& layout);

struct WaveGeometry {
  // Taken over from the record and the viewport.
  int h = 0, L = 0, T = 0;
  int pixelsPerCycle1 = 0, pixelsPerCycle2 = 0;
  int zoomLevelX = 0;
  int N = 1, N2 = 1, f1 = 1, f2 = 1;
  bool twoRates = false;
  std::int64_t endsamp1 = 0, endsamp2 = 0;  // endsamp2 = endsamp1 with one rate

  // Derived.
  int pointsPerCycle1 = 0, pointsPerCycle2 = 0;
  std::int64_t P1 = 0, P2 = 0;  // points of each rate in an analogue buffer (P2 = 0 with one rate)
  float XStep1 = 0, XStep2 = 0;
  int h2 = 0;
  int R = 0;   // RowsInUse
  int Dg = 0;  // DigitalAreaHeight
  std::int64_t cycles = 0;  // C: cycles of the grid
  std::int64_t gridWidth = 0;  // W = C * PixelsPerCycle1

  int rowZero(int r) const { return r * h + T; }
  int rowTop(int r) const { return r * h + T - h2; }
  // Bottom edge of the last row: where the digital area starts.
  int rowsBottom() const { return R * h + T - h2; }

  // x of point i of the first rate: Round(i * XStep1 + L).
  std::int64_t xOfPoint1(std::int64_t i) const;
  // x of point k of the second rate: Round(P1 * XStep1 + k * XStep2 + L).
  std::int64_t xOfPoint2(std::int64_t k) const;
  // x of digital sample i, by the rate it belongs to: L + Round(i *
  // PixelsPerCycle1 / N), and from endsamp1 on L + Round(endsamp1 *
  // PixelsPerCycle1 / N + (i - endsamp1) * PixelsPerCycle1 / N2). Never
  // decreases with i.
  std::int64_t xOfDigital(std::int64_t i) const;

  // Width of the record in pixels (Wr) and the width it needs with the margin (Wn).
  std::int64_t recordWidth() const;
  std::int64_t neededWidth() const { return recordWidth() + L; }
};

WaveGeometry MakeWaveGeometry(const RecordLayout& layout, const WaveViewport& viewport, const WindowOptions& options);

// A paint of the part of the view from x = left on draws relative to it, so
// that its coordinates stay small however far into a long record it lies:
// with the geometry moved left by DrawingShift(left) pixels. The shift is even
// (0 <= left - shift <= 1), which keeps every Round of a half the same.
std::int64_t DrawingShift(std::int64_t left);
WaveGeometry ShiftedLeft(WaveGeometry geo, std::int64_t shift);

struct Size {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool operator==(const Size&) const = default;
};

// The paint box's size for a view, given the scroll box's client size.
Size PaintBoxSize(const WaveGeometry& geo, ViewMode mode, Size scrollBox);

// Width of the time cursor's track bar.
std::int64_t TrackBarWidth(const WaveGeometry& geo);

// The font colour of the lists on a background colour: white when the
// background is below $7FFFFF, else black.
TColor ListFontColor(TColor background);

}  // namespace wave
