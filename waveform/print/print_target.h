#pragma once
// Where the print preview's pages go: a printer or a file. The preview draws
// each page onto canvas() between beginDocument and endDocument. A target
// raises std::runtime_error when its device fails; the print loop then aborts
// the job.

#include <cstdint>
#include <string_view>

#include "waveform/canvas/canvas.h"

namespace wave {

enum class TPrinterOrientation : std::uint8_t { Portrait, Landscape };

class PrintTarget {
 public:
  virtual ~PrintTarget() = default;

  // There is a device to print on.
  virtual bool available() const = 0;
  // A4 paper in the given orientation, before the job begins.
  virtual void applyOptions(TPrinterOrientation orientation) = 0;
  // The page in device pixels, including what lies outside the printable area.
  virtual Rect pageRect() const = 0;
  virtual void beginDocument(std::string_view title) = 0;
  virtual Canvas& canvas() = 0;
  virtual void newPage() = 0;
  // The device gave the job up.
  virtual bool aborted() const { return false; }
  virtual void endDocument() = 0;
  // Ends the job without finishing it.
  virtual void abortDocument() = 0;
  // Lets the program handle its pending events between pages.
  virtual void processEvents() {}
};

}  // namespace wave
