#pragma once
// The small preview of the options dialog: a frame, one sine per channel on
// each used axis in its colour, and one line per chosen digital channel.

#include "waveform/canvas/canvas.h"
#include "waveform/model/settings.h"

namespace wave {

inline constexpr TColor kPreviewAxisNumberColor = 0xFF0000;  // blue

// The frame and the vertical axis line of the preview box.
void DrawPreviewFrame(Canvas& canvas, int width, int height);
// The curves and digital lines (Draw_AllChannel_Wave without its repaint).
void Draw_AllChannel_Wave(Canvas& canvas, int width, int height, const DisplaySettings& settings);

// One paint of the preview: white background, frame, curves.
void PaintOptionsPreview(Canvas& canvas, int width, int height, const DisplaySettings& settings);

}  // namespace wave
