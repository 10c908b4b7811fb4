#include "waveform/view/wave_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/arith.h"

namespace wave {

namespace {

std::int64_t roundPixel(double value) {
  if (!(std::fabs(value) < 9.0e18)) return 0;
  return static_cast<std::int64_t>(std::nearbyint(value));
}

}  // namespace

int OneCycleStretch(const RecordLayout& layout) {
  if (!layout.oneCycle || layout.rate1Samples <= 0) return 1;
  return static_cast<int>(std::max<std::int64_t>(1, 512 / layout.rate1Samples));
}

int InitialPixelsPerCycle1(const RecordLayout& layout) { return layout.f1 * layout.N1 * OneCycleStretch(layout); }

int InitialPixelsPerCycle2(const RecordLayout& layout) { return layout.twoRates ? layout.f2 * layout.N2 : 0; }

WaveViewport InitialViewport(const RecordLayout& layout) {
  WaveViewport v;
  v.PixelsPerCycle1 = InitialPixelsPerCycle1(layout);
  v.PixelsPerCycle2 = InitialPixelsPerCycle2(layout);
  return v;
}

WaveGeometry MakeWaveGeometry(const RecordLayout& layout, const WaveViewport& viewport,
                              const WindowOptions& options) {
  WaveGeometry g;
  g.h = std::max(0, viewport.RowHeight);
  g.L = viewport.LeftMargin;
  g.T = viewport.TopMargin;
  g.pixelsPerCycle1 = viewport.PixelsPerCycle1;
  g.pixelsPerCycle2 = viewport.PixelsPerCycle2;
  g.zoomLevelX = viewport.ZoomLevelX;
  g.N = std::max(1, layout.N1);
  g.N2 = std::max(1, layout.N2);
  g.f1 = std::max(1, layout.f1);
  g.f2 = std::max(1, layout.f2);
  g.twoRates = layout.twoRates;
  g.endsamp1 = layout.rate1Samples;
  g.endsamp2 = layout.sampleCount;

  g.pointsPerCycle1 = g.f1 * g.N;
  g.pointsPerCycle2 = g.f2 * g.N2;
  g.P1 = (std::int64_t{g.pointsPerCycle1} * g.endsamp1) / g.N;
  g.P2 = g.twoRates ? ((g.endsamp2 - g.endsamp1) * g.pointsPerCycle2) / g.N2 : 0;
  g.XStep1 = static_cast<float>(g.pixelsPerCycle1) / static_cast<float>(g.pointsPerCycle1);
  g.XStep2 = static_cast<float>(g.pixelsPerCycle2) / static_cast<float>(g.pointsPerCycle2);
  g.h2 = g.h / 2;
  g.R = options.rowsInUse();
  const int digital = std::clamp(options.WindowDigital.Count, 0, kMaxDigitalShown);
  g.Dg = digital > 0 ? (g.h / 4) * digital + 10 : 0;

  g.cycles = (g.endsamp1 - 1) / g.N + 1;
  if (g.twoRates) g.cycles += (g.endsamp2 - g.endsamp1 - 1) / g.N2 + 1;
  g.gridWidth = g.cycles * g.pixelsPerCycle1;
  return g;
}

std::int64_t DrawingShift(std::int64_t left) {
  if (left <= 0) return 0;
  return std::min<std::int64_t>(left, std::numeric_limits<int>::max() - 1) & ~std::int64_t{1};
}

WaveGeometry ShiftedLeft(WaveGeometry geo, std::int64_t shift) {
  geo.L = static_cast<int>(geo.L - shift);
  return geo;
}

std::int64_t WaveGeometry::xOfPoint1(std::int64_t i) const {
  return roundPixel(static_cast<double>(i) * static_cast<double>(XStep1) + L);
}

std::int64_t WaveGeometry::xOfPoint2(std::int64_t k) const {
  return roundPixel(static_cast<double>(P1) * static_cast<double>(XStep1) +
                    static_cast<double>(k) * static_cast<double>(XStep2) + L);
}

namespace {

__extension__ using Wide = __int128;

// Round(num / den) for num >= 0 and den > 0, halves to the even neighbour.
std::int64_t roundQuotient(Wide num, Wide den) {
  Wide q = num / den;
  const Wide twice = 2 * (num % den);
  if (twice > den || (twice == den && q % 2 != 0)) ++q;
  return static_cast<std::int64_t>(q);
}

}  // namespace

// The exact positions: the integer steps PixelsPerCycle1 div N would put every
// sample on x = L once a cycle is narrower than its samples.
std::int64_t WaveGeometry::xOfDigital(std::int64_t i) const {
  const Wide ppc = std::max(0, pixelsPerCycle1);
  if (i <= 0) return L;
  if (!twoRates || i <= endsamp1) return roundQuotient(ppc * i, N) + L;
  return roundQuotient(ppc * endsamp1 * N2 + ppc * (i - endsamp1) * N, Wide{N} * N2) + L;
}

std::int64_t WaveGeometry::recordWidth() const {
  std::int64_t w = (std::int64_t{pixelsPerCycle1} * endsamp1) / N;
  if (twoRates) w += ((endsamp2 - endsamp1) * pixelsPerCycle2) / N2;
  return w;
}

Size PaintBoxSize(const WaveGeometry& geo, ViewMode mode, Size scrollBox) {
  Size size;
  if (mode == ViewMode::HarmonicBars) {
    const std::int64_t stretch = std::max<std::int64_t>(1, geo.endsamp1 > 0 ? 512 / geo.endsamp1 : 1);
    const std::int64_t needed = ((geo.pixelsPerCycle1 / stretch) / 2) * 16 + geo.L;
    size.width = scrollBox.width < needed ? needed + 40 : scrollBox.width;
    size.height = scrollBox.height;
    return size;
  }
  const std::int64_t wn = geo.neededWidth();
  size.width = scrollBox.width < wn ? wn + 40 : scrollBox.width;
  const std::int64_t content = std::int64_t{geo.R} * geo.h + geo.T + geo.Dg;
  size.height = scrollBox.height < content ? content - common::Round(geo.h * 0.25L) : scrollBox.height;
  return size;
}

std::int64_t TrackBarWidth(const WaveGeometry& geo) {
  long double w = static_cast<long double>(geo.endsamp1) / geo.N * geo.pixelsPerCycle1 + 18;
  if (geo.twoRates)
    w = static_cast<long double>(geo.endsamp1) / geo.N * geo.pixelsPerCycle1 +
        static_cast<long double>(geo.endsamp2 - geo.endsamp1) / geo.N2 * geo.pixelsPerCycle2 + 18;
  return common::Round(w);
}

TColor ListFontColor(TColor background) { return background < 0x7FFFFF ? kWhite : kBlack; }

}  // namespace wave
