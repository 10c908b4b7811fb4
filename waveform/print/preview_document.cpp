#include "waveform/print/preview_document.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "common/arith.h"

namespace wave {

namespace {

std::optional<int> unitFactor(TUnits units) {
  switch (units) {
    case TUnits::mmPixel: return 1;
    case TUnits::mmLoMetric: return 254;
    case TUnits::mmHiMetric: return 2540;
    case TUnits::mmLoEnglish: return 10;
    case TUnits::mmHiEnglish: return 100;
    case TUnits::mmTWIPS: return 1440;
  }
  return std::nullopt;
}

void fire(const std::function<void()>& event) {
  if (event) event();
}

// Ends a job by the user's or the printer's wish.
struct AbortPrint {};

}  // namespace

int ConvertUnits(int value, int dpi, TUnits inUnits, TUnits outUnits) {
  const auto in = unitFactor(inUnits);
  const auto out = unitFactor(outUnits);
  if (in && inUnits != TUnits::mmPixel) value = common::MulDiv(value, dpi, *in);
  if (out && outUnits != TUnits::mmPixel) value = common::MulDiv(value, *out, dpi);
  return value;
}

LinearMap PreviewPage::mapOnto(const Rect& target) const {
  LinearMap map;
  map.scaleX = width > 0 ? static_cast<double>(target.width()) / width : 1.0;
  map.scaleY = height > 0 ? static_cast<double>(target.height()) / height : 1.0;
  map.offsetX = target.left;
  map.offsetY = target.top;
  return map;
}

PreviewDocument::PreviewDocument(RecordingCanvas::TextMeasure measure) : measure_(std::move(measure)) {
  font_.name = "Arial";
  font_.setSize(20);
  refreshPrinterInfo();
}

PreviewDocument::~PreviewDocument() = default;

void PreviewDocument::changed() { fire(events.OnChange); }

void PreviewDocument::relayout() { fire(events.OnLayout); }

void PreviewDocument::refreshPrinterInfo() {
  if (usePrinterRes_ && printerDpi_ && state_ != State::Printing) {
    dpiX_ = (*printerDpi_)[0];
    dpiY_ = (*printerDpi_)[1];
  } else {
    dpiX_ = dpiY_ = resolution_;
  }
  pixelWidth_ = ConvertUnits(paperWidth_, dpiX_, units_, TUnits::mmPixel);
  pixelHeight_ = ConvertUnits(paperHeight_, dpiY_, units_, TUnits::mmPixel);
  relayout();
}

bool PreviewDocument::SetPages(int total, PageDrawer draw) {
  if (state_ != State::Idle) return false;
  Clear();
  auto source = std::make_shared<PageSource>();
  source->total = std::max(0, total);
  source->draw = std::move(draw);
  source->width = paperWidth_;
  source->height = paperHeight_;
  source->font = font_;
  source_ = std::move(source);
  if (source_->total > 0) {
    current_ = 1;
    if (events.OnPaperShown) events.OnPaperShown(true);
  }
  changed();
  return true;
}

int PreviewDocument::TotalPages() const {
  return source_ ? source_->total : static_cast<int>(pages_.size());
}

std::unique_ptr<PreviewPage> PreviewDocument::recordPage(const PageSource& source, int number) const {
  auto page = std::make_unique<PreviewPage>(measure_, source.width, source.height);
  page->canvas.font() = source.font;
  source.draw(page->canvas, number);
  return page;
}

const PreviewPage* PreviewDocument::keptPage(int number) const {
  for (const auto& [kept, page] : kept_)
    if (kept == number) return page.get();
  return nullptr;
}

void PreviewDocument::BeginDoc() {
  // Also not while printing: that would free the pages being printed.
  if (state_ != State::Idle) return;
  Clear();
  refreshPrinterInfo();
  state_ = State::Recording;
  fire(events.OnBeginDoc);
  NewPage();
}

void PreviewDocument::closePage() {
  if (!recording_) return;
  pages_.push_back(std::move(recording_));
  if (current_ == 0) {
    current_ = 1;
    if (events.OnPaperShown) events.OnPaperShown(true);
  }
}

void PreviewDocument::NewPage() {
  if (state_ != State::Recording) return;
  if (recording_) {
    closePage();
    changed();
  }
  recording_ = std::make_unique<PreviewPage>(measure_, paperWidth_, paperHeight_);
  recording_->canvas.font() = font_;
  fire(events.OnNewPage);
}

void PreviewDocument::EndDoc() {
  if (state_ != State::Recording) return;
  closePage();
  changed();
  fire(events.OnEndDoc);
  state_ = State::Idle;
}

void PreviewDocument::Clear() {
  if (state_ == State::Printing) return;  // the print loop holds the pages
  pages_.clear();
  source_.reset();
  kept_.clear();
  recording_.reset();
  state_ = State::Idle;
  current_ = 0;
  aborted_ = false;
  if (events.OnPaperShown) events.OnPaperShown(false);
  changed();
}

Canvas* PreviewDocument::canvas() { return recording_ ? &recording_->canvas : nullptr; }

const PreviewPage* PreviewDocument::page(int number) const {
  if (number < 1 || number > TotalPages()) return nullptr;
  if (!source_) return pages_[static_cast<std::size_t>(number - 1)].get();
  const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const auto& kept) { return kept.first == number; });
  if (found != kept_.end()) {
    std::rotate(found, found + 1, kept_.end());
    return kept_.back().second.get();
  }
  std::unique_ptr<PreviewPage> recorded = recordPage(*source_, number);
  if (kept_.size() >= kKeptPages) kept_.erase(kept_.begin());
  kept_.emplace_back(number, std::move(recorded));
  return kept_.back().second.get();
}

void PreviewDocument::setCurrentPage(int page) {
  if (TotalPages() == 0) return;
  page = std::clamp(page, 1, TotalPages());
  if (page == current_) return;
  current_ = page;
  changed();
}

PrintResult PreviewDocument::PrintPages(int fromPage, int toPage, PrintTarget& target) {
  PrintResult result;
  const int total = TotalPages();
  if (total == 0) return result;  // there is no page 0 to print
  fromPage = std::clamp(fromPage, 1, total);
  toPage = std::clamp(toPage, 1, total);
  if (state_ != State::Idle || fromPage > toPage || !target.available()) return result;

  aborted_ = false;
  // The job prints from the drawer it started with, one page at a time.
  const std::shared_ptr<const PageSource> source = source_;
  int printed = 0;
  const int count = toPage - fromPage + 1;
  state_ = State::Printing;
  bool abortIt = false;
  const auto progress = [&](int page) {
    if (events.OnPrintProgress) events.OnPrintProgress(page, common::MulDiv(100, printed, count), abortIt);
    if (target.aborted() || abortIt) throw AbortPrint{};
  };
  const auto fail = [&](const char* what) {
    abortIt = true;
    result.error = (what != nullptr && *what != '\0') ? what : "无法打印该页";
  };

  try {
    fire(events.OnBeforePrint);
    target.applyOptions(orientation_);
    const Rect pageRect = target.pageRect();
    target.beginDocument(PrintJobTitle);
    result.started = true;
    for (int p = fromPage; p <= toPage; ++p) {
      progress(p);
      std::unique_ptr<PreviewPage> drawn;
      const PreviewPage* page = source ? keptPage(p) : pages_[static_cast<std::size_t>(p - 1)].get();
      if (page == nullptr) {
        drawn = recordPage(*source, p);
        page = drawn.get();
      }
      page->canvas.replay(target.canvas(), page->mapOnto(pageRect));
      drawn.reset();
      ++printed;
      target.processEvents();
      progress(p);
      if (p != toPage) target.newPage();
    }
  } catch (const AbortPrint&) {
    abortIt = true;
  } catch (const std::exception& error) {
    fail(error.what());
  } catch (...) {
    fail(nullptr);
  }

  try {
    if (abortIt) {
      aborted_ = true;
      if (result.started) target.abortDocument();
      fire(events.OnAbort);
    } else {
      fire(events.OnAfterPrint);
      target.endDocument();
    }
  } catch (const std::exception& error) {
    aborted_ = true;
    fail(error.what());
  } catch (...) {
    aborted_ = true;
    fail(nullptr);
  }
  result.aborted = aborted_;
  state_ = State::Idle;
  return result;
}

void PreviewDocument::setUnits(TUnits units) {
  if (units == units_) return;
  const auto convertX = [&](int& v) { v = ConvertUnits(v, dpiX_, units_, units); };
  const auto convertY = [&](int& v) { v = ConvertUnits(v, dpiY_, units_, units); };
  convertX(MarginLeft);
  convertX(MarginRight);
  convertX(paperWidth_);
  convertY(MarginTop);
  convertY(MarginBottom);
  convertY(paperHeight_);
  convertY(font_.height);
  if (recording_) {
    convertX(recording_->width);
    convertY(recording_->height);
    convertY(recording_->canvas.font().height);
    convertX(recording_->canvas.pen().width);
  }
  units_ = units;
  refreshPrinterInfo();
}

void PreviewDocument::setPaperWidth(int value) {
  if (value == paperWidth_) return;
  paperWidth_ = value;
  refreshPrinterInfo();
}

void PreviewDocument::setPaperHeight(int value) {
  if (value == paperHeight_) return;
  paperHeight_ = value;
  refreshPrinterInfo();
}

void PreviewDocument::setOrientation(TPrinterOrientation orientation) {
  if (state_ == State::Recording || orientation == orientation_) return;
  orientation_ = orientation;
  std::swap(paperWidth_, paperHeight_);
  refreshPrinterInfo();
}

void PreviewDocument::setResulotion(int dpi) {
  if (dpi == resolution_) return;
  resolution_ = dpi;
  if (!usePrinterRes_) refreshPrinterInfo();
}

void PreviewDocument::setUsePrinterRes(bool on) {
  if (on == usePrinterRes_) return;
  usePrinterRes_ = on;
  refreshPrinterInfo();
}

void PreviewDocument::setPrinterResolution(std::optional<std::array<int, 2>> dpi) {
  printerDpi_ = dpi;
  if (usePrinterRes_) refreshPrinterInfo();
}

void PreviewDocument::setZoom(int percent) {
  zoom_ = percent;
  zoomState_ = TZoomState::zsZoomOther;
  relayout();
}

void PreviewDocument::setZoomState(TZoomState state) {
  if (state == zoomState_) return;
  zoomState_ = state;
  relayout();
}

// --- paper layout ---

ScrollBarsShown BarsWhileLayingOut(TZoomState state) {
  switch (state) {
    case TZoomState::zsZoomOther: return {true, true};
    case TZoomState::zsZoomToWidth: return {false, true};
    case TZoomState::zsZoomToHeight: return {true, false};
    case TZoomState::zsZoomToFit: return {false, false};
  }
  return {};
}

PaperLayout LayoutPaper(const PaperLayoutInput& in) {
  PaperLayout out;
  if (in.pixelWidth <= 0 || in.pixelHeight <= 0) return out;
  const int frame = 2 * in.borderSize + in.shadowSize;
  int paperWidth = 0;
  int paperHeight = 0;
  const auto heightFromWidth = [&] { paperHeight = common::MulDiv(paperWidth, in.pixelHeight, in.pixelWidth); };
  const auto widthFromHeight = [&] { paperWidth = common::MulDiv(paperHeight, in.pixelWidth, in.pixelHeight); };
  switch (in.zoomState) {
    case TZoomState::zsZoomOther:
      paperWidth = common::MulDiv(in.pixelWidth, in.screenDpi * in.zoom, in.horizontalResolution * 100);
      paperHeight = common::MulDiv(in.pixelHeight, in.screenDpi * in.zoom, in.verticalResolution * 100);
      break;
    case TZoomState::zsZoomToWidth:
      paperWidth = in.panelWidth - 12 - frame;
      heightFromWidth();
      break;
    case TZoomState::zsZoomToHeight:
      paperHeight = in.panelHeight - 12 - frame;
      widthFromHeight();
      break;
    case TZoomState::zsZoomToFit:
      // panel height / width against the paper's height / width, without division
      if (std::int64_t{in.panelHeight} * in.pixelWidth > std::int64_t{in.pixelHeight} * in.panelWidth) {
        paperWidth = in.panelWidth - 12 - frame;
        heightFromWidth();
      } else {
        paperHeight = in.panelHeight - 12 - frame;
      }
      widthFromHeight();
      break;
  }
  out.width = std::max(0, paperWidth) + frame;
  out.height = std::max(0, paperHeight) + frame;

  if (out.width >= in.panelWidth - 12) {
    out.left = 6;
    out.horizontalMax = out.width - in.panelWidth + 12;
  } else {
    out.left = (in.panelWidth - out.width) / 2;
  }
  if (out.height >= in.panelHeight - 12) {
    out.top = 6;
    out.verticalMax = out.height - in.panelHeight + 12;
  } else {
    out.top = (in.panelHeight - out.height) / 2;
  }
  return out;
}

}  // namespace wave
