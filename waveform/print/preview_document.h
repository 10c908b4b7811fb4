#pragma once
// The print preview's document, without any window: the pages recorded on
// RecordingCanvas objects in the preview's units, the paper and its units, the
// recording and printing states, the current page and the print loop over a
// PrintTarget. TPrintPreview (print_preview.h) shows it.
//
// Pages come either all at once (BeginDoc, NewPage, EndDoc) or from a page
// drawer (SetPages): then a page is recorded when it is first shown or
// printed, and only the last few shown are kept.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "waveform/canvas/recording_canvas.h"
#include "waveform/print/print_target.h"

namespace wave {

enum class TUnits : std::uint8_t { mmPixel, mmLoMetric, mmHiMetric, mmLoEnglish, mmHiEnglish, mmTWIPS };
enum class TZoomState : std::uint8_t { zsZoomOther, zsZoomToWidth, zsZoomToHeight, zsZoomToFit };

// Value in InUnits to OutUnits through whole pixels at dpi (MulDiv both ways).
// Units outside the enumeration leave the value as it is.
int ConvertUnits(int value, int dpi, TUnits inUnits, TUnits outUnits);

// One recorded page: what was drawn, in the units of the document, on a page
// of width x height units.
struct PreviewPage {
  PreviewPage(RecordingCanvas::TextMeasure measure, int pageWidth, int pageHeight)
      : canvas(kUnlimitedRect, std::move(measure)), width(pageWidth), height(pageHeight) {}

  RecordingCanvas canvas;
  int width = 0;
  int height = 0;

  // The map that stretches the page over a device rectangle.
  LinearMap mapOnto(const Rect& target) const;
};

struct PrintResult {
  bool started = false;  // a job was begun
  bool aborted = false;  // by the user, the printer or an error
  std::string error;     // what went wrong, when it was not the user's abort
};

class PreviewDocument {
 public:
  enum class State : std::uint8_t { Idle = 0, Recording = 1, Printing = 2 };

  struct Events {
    std::function<void()> OnBeginDoc, OnEndDoc, OnNewPage, OnChange, OnAbort, OnBeforePrint, OnAfterPrint;
    // (page, percent done, abort): setting abort ends the job.
    std::function<void(int, int, bool&)> OnPrintProgress;
    // The paper's size or zoom changed: the view lays the paper out again.
    std::function<void()> OnLayout;
    // The paper appears (first page) or disappears (Clear).
    std::function<void(bool)> OnPaperShown;
  };

  // Text widths of the recording canvases (the view's font metrics); without
  // one, RecordingCanvas's default.
  explicit PreviewDocument(RecordingCanvas::TextMeasure measure = {});
  ~PreviewDocument();
  PreviewDocument(const PreviewDocument&) = delete;
  PreviewDocument& operator=(const PreviewDocument&) = delete;

  Events events;

  // Draws page `number` (1-based) onto a fresh page's canvas.
  using PageDrawer = std::function<void(Canvas& canvas, int number)>;
  // The most pages recorded by a drawer that are kept at one time.
  static constexpr std::size_t kKeptPages = 8;

  // --- recording
  // A document of `total` pages that draw records when they are needed, on
  // the paper as it is now; the first page becomes current. It replaces the
  // pages there were. Refused (false) unless idle.
  bool SetPages(int total, PageDrawer draw);
  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Clear();
  // The page being recorded; null when none is.
  Canvas* canvas();

  State state() const { return state_; }
  int TotalPages() const;
  // 1-based; null outside 1..TotalPages. A drawn page is recorded now when it
  // is not kept (the drawer's exceptions pass through); the page stays valid
  // until kKeptPages other pages have been recorded or the pages change.
  const PreviewPage* page(int number) const;
  // How many pages are held in memory.
  std::size_t pagesHeld() const { return pages_.size() + kept_.size(); }
  int CurrentPage() const { return current_; }
  void setCurrentPage(int page);
  bool aborted() const { return aborted_; }

  // --- printing
  PrintResult PrintPages(int fromPage, int toPage, PrintTarget& target);
  PrintResult Print(PrintTarget& target) { return PrintPages(1, TotalPages(), target); }

  // --- paper and units
  TUnits Units() const { return units_; }
  void setUnits(TUnits units);
  int PaperWidth() const { return paperWidth_; }
  int PaperHeight() const { return paperHeight_; }
  void setPaperWidth(int value);
  void setPaperHeight(int value);
  TPrinterOrientation Orientation() const { return orientation_; }
  void setOrientation(TPrinterOrientation orientation);
  int MarginLeft = 0, MarginRight = 0, MarginTop = 0, MarginBottom = 0;
  int printableWidth() const { return paperWidth_ - (MarginLeft + MarginRight); }
  int printableHeight() const { return paperHeight_ - (MarginTop + MarginBottom); }

  int Resulotion() const { return resolution_; }
  void setResulotion(int dpi);
  bool UsePrinterRes() const { return usePrinterRes_; }
  void setUsePrinterRes(bool on);
  // The printer's resolution (LOGPIXELSX, LOGPIXELSY) when one is there; used
  // while UsePrinterRes is on.
  void setPrinterResolution(std::optional<std::array<int, 2>> dpi);
  // The resolution pair and the paper in pixels (refreshed on every change).
  int horizontalResolution() const { return dpiX_; }
  int verticalResolution() const { return dpiY_; }
  int paperPixelWidth() const { return pixelWidth_; }
  int paperPixelHeight() const { return pixelHeight_; }

  int Zoom() const { return zoom_; }
  void setZoom(int percent);
  TZoomState ZoomState() const { return zoomState_; }
  void setZoomState(TZoomState state);

  // The font that every new page starts with (height in the document's units).
  Font& font() { return font_; }
  const Font& font() const { return font_; }

  std::string PrintJobTitle;

 private:
  void refreshPrinterInfo();
  void relayout();
  void changed();
  void closePage();

  // What a drawer records pages with: the paper and font of SetPages.
  struct PageSource {
    int total = 0;
    PageDrawer draw;
    int width = 0, height = 0;
    Font font;
  };
  std::unique_ptr<PreviewPage> recordPage(const PageSource& source, int number) const;
  // A kept page of the drawer; null when it is not kept.
  const PreviewPage* keptPage(int number) const;

  RecordingCanvas::TextMeasure measure_;
  State state_ = State::Idle;
  std::vector<std::unique_ptr<PreviewPage>> pages_;
  std::shared_ptr<const PageSource> source_;
  // Pages recorded by the drawer, the most recently used last.
  mutable std::vector<std::pair<int, std::unique_ptr<PreviewPage>>> kept_;
  std::unique_ptr<PreviewPage> recording_;
  int current_ = 0;
  bool aborted_ = false;

  TUnits units_ = TUnits::mmLoMetric;
  int paperWidth_ = 2100;
  int paperHeight_ = 2970;
  TPrinterOrientation orientation_ = TPrinterOrientation::Portrait;
  int resolution_ = 96;
  bool usePrinterRes_ = false;
  std::optional<std::array<int, 2>> printerDpi_;
  int dpiX_ = 96, dpiY_ = 96;
  int pixelWidth_ = 0, pixelHeight_ = 0;
  int zoom_ = 100;
  TZoomState zoomState_ = TZoomState::zsZoomToFit;
  Font font_;
};

// --- the paper's place in the view (UpdateZoom) ---

struct PaperLayoutInput {
  int panelWidth = 0;
  int panelHeight = 0;
  int pixelWidth = 0;   // the paper in pixels at the document's resolution
  int pixelHeight = 0;
  int horizontalResolution = 96;
  int verticalResolution = 96;
  int screenDpi = 96;
  TZoomState zoomState = TZoomState::zsZoomToFit;
  int zoom = 100;
  int borderSize = 1;
  int shadowSize = 3;
};

struct PaperLayout {
  // The paper control (page, frame and shadow) in the panel; scrolled by the bars.
  int left = 0, top = 0, width = 0, height = 0;
  int horizontalMax = 0, verticalMax = 0;  // a bar shows when its Max is not 0
};

// The bars that stand while the layout is computed (the panel is the view
// less these).
struct ScrollBarsShown {
  bool horizontal = false;
  bool vertical = false;
};
ScrollBarsShown BarsWhileLayingOut(TZoomState state);

PaperLayout LayoutPaper(const PaperLayoutInput& in);

}  // namespace wave
