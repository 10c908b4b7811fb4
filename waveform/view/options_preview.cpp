#include "waveform/view/options_preview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/arith.h"
#include "waveform/view/wave_scales.h"
#include "waveform/view/window_options.h"

namespace wave {

namespace {

void line(Canvas& canvas, int x1, int y1, int x2, int y2) {
  canvas.moveTo(x1, y1);
  canvas.lineTo(x2, y2);
}

// One channel at position p on preview row r: the axis line, the axis number
// and the sine drawn pixel by pixel.
void Draw_OneChannel_Wave(Canvas& canvas, int width, int rowHeight, int r, int axis, int p, TColor colour) {
  const int W = width / 16;
  const int R = rowHeight;
  const int y = R * (r + 1);
  canvas.pen().color = kBlack;
  line(canvas, 2 * W, y, 16 * W, y);
  canvas.font().color = kPreviewAxisNumberColor;
  canvas.textOut(W, y - 5, std::to_string(axis + 1));
  canvas.brush() = Brush{colour, BrushStyle::Solid};
  if (W <= 0) return;
  for (int x = 2 * W; x <= width - W; ++x) {
    const double phase = 6.2831852 / (13.0 * W) * 4.0 * x / 1.5 + 90.0 * p;
    const int py = y + static_cast<int>(std::trunc(0.5 * R * std::sin(phase)));
    canvas.fillRect({x, py, x + 1, py + 1});
  }
}

}  // namespace

void DrawPreviewFrame(Canvas& canvas, int width, int height) {
  canvas.pen() = Pen{kBlack, 1, PenStyle::Solid, PenMode::Copy};
  canvas.brush().style = BrushStyle::Clear;
  canvas.rectangle({1, 1, width - 1, height - 1});
  canvas.brush().style = BrushStyle::Solid;
  const int x = width / 8;
  line(canvas, x, height / 15, x, height - height / 15);
}

void Draw_AllChannel_Wave(Canvas& canvas, int width, int height, const DisplaySettings& settings) {
  const auto& sel = settings.DigitalSelection;
  const int n = std::clamp(sel.Count, 0, kMaxDigitalShown);
  const int R = height / (std::max(0, settings.ChannelGroupCount) + (n > 0 ? 2 : 1));
  const int W = width / 16;
  int r = 0;
  for (int a = 0; a < kGroupRowCount; ++a) {
    const auto& g = settings.ChannelGroups[static_cast<std::size_t>(a)];
    if (g.Count == 0) continue;
    for (int p = 0; p < GroupSize(g); ++p)
      Draw_OneChannel_Wave(canvas, width, R, r, a, p,
                           ChannelTraceColor(settings.ChannelColors, g.ColorIndex[static_cast<std::size_t>(p)]));
    ++r;
  }
  if (n < 1) return;
  canvas.pen().color = settings.ChannelColors[kDigitalTraceColor];
  canvas.font().color = kPreviewAxisNumberColor;
  const int lane = R / (n + 1);
  canvas.textOut(W, static_cast<int>(common::Round(0.5L * R + r * R + ((n - 1) * 0.5L + 1) * lane - 6)), "k");
  for (int d = 0; d < n; ++d) {
    const int y = static_cast<int>(common::Round(0.5L * R)) + r * R + lane * (d + 1);
    line(canvas, 2 * W, y, 16 * W, y);
  }
}

void PaintOptionsPreview(Canvas& canvas, int width, int height, const DisplaySettings& settings) {
  canvas.brush() = Brush{kWhite, BrushStyle::Solid};
  canvas.fillRect({0, 0, width, height});
  DrawPreviewFrame(canvas, width, height);
  Draw_AllChannel_Wave(canvas, width, height, settings);
}

}  // namespace wave
