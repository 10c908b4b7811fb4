#pragma once
// ImageList1: the record window's 12 tool-button images, drawn with lines and
// shapes so that they show the same on every machine, whatever fonts it has.

#include <QImage>

namespace wave {

inline constexpr int kToolImageCount = 12;
inline constexpr int kToolImageSize = 20;

// Image i of ImageList1: 0 hide the data panel, 1 channel options, 2 print
// preview, 3 enlarge, 4 shrink, 5 restore, 6 X zoom, 7 Y zoom, 8 harmonic
// bars, 9 RMS curve, 10 waveform, 11 show the data panel.
QImage ToolImage(int index);

}  // namespace wave
