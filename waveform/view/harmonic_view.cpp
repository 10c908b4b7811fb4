#include "waveform/view/harmonic_view.h"

#include <algorithm>
#include <cmath>

#include "waveform/model/scale.h"
#include "waveform/view/trace_path.h"
#include "waveform/view/wave_scales.h"

namespace wave {

using trace::Decimal;
using trace::Line;
using trace::TextIfShown;

namespace {

TColor colour(const HarmonicScene& scene, int number) { return scene.colors[static_cast<std::size_t>(number - 1)]; }

// Orders shown: 2 .. N1 div 2, as far as values were computed.
std::size_t barCount(const HarmonicScene& scene) {
  const std::size_t orders = static_cast<std::size_t>(std::max(0, scene.geo.N / 2 - 1));
  return std::min(orders, scene.harmonics.size());
}

}  // namespace

std::int32_t HarmonicScale(std::span<const double> harmonics) { return RoundUpScale(GetMaxAbsValue(harmonics)); }

void Show_OneChannel_HD(Canvas& canvas, const HarmonicScene& scene, TColor c, std::int32_t scale) {
  const WaveGeometry& geo = scene.geo;
  const Brush saved = canvas.brush();
  canvas.brush() = Brush{c, BrushStyle::Solid};
  const int yc = 2 * geo.T;
  const int B = 2 * geo.h;
  const int base = yc + B / 2;
  const Rect clip = canvas.clipBox();
  const std::size_t bars = barCount(scene);
  // Bar i stands at 16 * (i + 1) + L - 4 .. + 5; only those that reach the box.
  const auto firstVisible = static_cast<std::size_t>(std::max(0, (clip.left - geo.L - 5) / kBarSpacing - 1));
  for (std::size_t i = firstVisible; i < bars; ++i) {
    const int x = kBarSpacing * static_cast<int>(i + 1) + geo.L;
    if (x - 4 >= clip.right) break;
    const double value = scene.harmonics[i];
    const double top = -static_cast<double>(B) / scale * value + yc + B / 2;
    if (!(std::fabs(top) < static_cast<double>(trace::kPixelLimit))) continue;
    canvas.fillRect({x - 4, static_cast<int>(std::nearbyint(top)), x + 5, base});
  }
  canvas.brush().color = saved.color;
  canvas.brush().style = saved.style;
}

void Show_AllChannel_HD(Canvas& canvas, const HarmonicScene& scene) {
  const WaveGeometry& geo = scene.geo;
  const int L = geo.L;
  const int H = geo.N / 2;
  const int yc = 2 * geo.T;
  const int B = 2 * geo.h;
  const int m = geo.zoomLevelX == -3 ? 19 : 16;
  const int right = trace::ClampPixel(std::int64_t{kBarSpacing} * H + L + m);
  const int top = yc - B / 2, bottom = yc + B / 2;
  const TColor grid = colour(scene, 21);

  canvas.pen() = Pen{grid, 1, PenStyle::Solid, PenMode::Copy};
  Line(canvas, L - 2, top, L - 2, bottom);
  Line(canvas, right, top, right, bottom);
  Line(canvas, L - 12, top, right, top);
  Line(canvas, L - 2, bottom, right, bottom);
  const bool anyGrid = scene.options.anyGrid();
  if (anyGrid) {
    canvas.font().setSize(3);
    canvas.font().color = grid;
    const Rect clip = canvas.clipBox();
    const int firstOrder = std::max(2, (clip.left - L) / kBarSpacing);
    for (int order = firstOrder; order <= H; ++order) {
      const int x = kBarSpacing * (order - 1) + L;
      if (x >= clip.right) break;
      TextIfShown(canvas, x, bottom + 8, Decimal(order));
    }
    for (int i = 1; i <= 9; ++i) {
      const int y = (B * i) / 10 + yc - B / 2;
      Line(canvas, L - 2, y, L + 8, y);
    }
  }
  const std::int32_t scale = HarmonicScale(scene.harmonics.first(barCount(scene)));
  for (const auto& group : scene.options.WindowGroups) {
    if (group.Count == 0) continue;
    Show_OneChannel_HD(canvas, scene, ChannelTraceColor(scene.colors, group.ColorIndex[0]), scale);
    if (anyGrid) TextIfShown(canvas, L - 40, top - 5, Decimal(scale));
  }
}

void PaintHarmonicView(Canvas& canvas, const HarmonicScene& scene) {
  canvas.brush() = Brush{colour(scene, 22), BrushStyle::Solid};
  canvas.fillRect(canvas.clipBox());
  Show_AllChannel_HD(canvas, scene);
}

}  // namespace wave
