#include "waveform/print/preview_document.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "waveform/print/fake_print_target.h"

namespace wave {
namespace {

using printtest::FakePrintTarget;

TEST(ConvertUnits, GoesThroughWholePixels) {
  struct Case {
    int value, dpi;
    TUnits in, out;
    int expected;
  };
  const Case cases[] = {
      {2100, 96, TUnits::mmLoMetric, TUnits::mmPixel, 794},
      {794, 96, TUnits::mmPixel, TUnits::mmHiMetric, 21008},
      {2100, 96, TUnits::mmLoMetric, TUnits::mmHiMetric, 21008},
      {2970, 96, TUnits::mmLoMetric, TUnits::mmHiMetric, 29713},
      {100, 96, TUnits::mmHiEnglish, TUnits::mmPixel, 96},  // a hundredth of an inch
      {10, 96, TUnits::mmLoEnglish, TUnits::mmPixel, 96},   // a tenth of an inch
      {1440, 72, TUnits::mmTWIPS, TUnits::mmPixel, 72},
      {123, 600, TUnits::mmPixel, TUnits::mmPixel, 123},
      {50, 96, static_cast<TUnits>(9), static_cast<TUnits>(9), 50},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertUnits(c.value, c.dpi, c.in, c.out), c.expected) << c.value;
}

struct Recorder {
  std::vector<std::string> log;
  void attach(PreviewDocument& doc) {
    doc.events.OnBeginDoc = [this] { log.push_back("begin"); };
    doc.events.OnEndDoc = [this] { log.push_back("end"); };
    doc.events.OnNewPage = [this] { log.push_back("new"); };
    doc.events.OnChange = [this] { log.push_back("change"); };
    doc.events.OnAbort = [this] { log.push_back("abort"); };
    doc.events.OnBeforePrint = [this] { log.push_back("before"); };
    doc.events.OnAfterPrint = [this] { log.push_back("after"); };
  }
};

// A document of `pages` pages, page n holding one line from (n, n) to (2100, 2970).
void record(PreviewDocument& doc, int pages) {
  doc.BeginDoc();
  for (int n = 1; n <= pages; ++n) {
    if (n > 1) doc.NewPage();
    doc.canvas()->moveTo(n, n);
    doc.canvas()->lineTo(2100, 2970);
  }
  doc.EndDoc();
}

TEST(PreviewDocument, RecordsPagesBetweenBeginAndEnd) {
  PreviewDocument doc;
  Recorder events;
  events.attach(doc);
  doc.NewPage();  // outside a document: nothing
  doc.EndDoc();
  EXPECT_EQ(doc.TotalPages(), 0);
  EXPECT_EQ(doc.canvas(), nullptr);

  doc.BeginDoc();
  ASSERT_NE(doc.canvas(), nullptr);
  EXPECT_EQ(doc.canvas()->font().name, "Arial");
  doc.BeginDoc();  // already recording: ignored
  doc.NewPage();
  doc.NewPage();
  doc.EndDoc();
  EXPECT_EQ(doc.TotalPages(), 3);
  EXPECT_EQ(doc.CurrentPage(), 1);
  EXPECT_EQ(doc.state(), PreviewDocument::State::Idle);
  EXPECT_EQ(events.log, (std::vector<std::string>{"change", "begin", "new", "change", "new", "change", "new",
                                                  "change", "end"}));
  EXPECT_EQ(doc.page(1)->width, 2100);
  EXPECT_EQ(doc.page(4), nullptr);

  events.log.clear();
  doc.Clear();
  EXPECT_EQ(doc.TotalPages(), 0);
  EXPECT_EQ(doc.CurrentPage(), 0);
  EXPECT_EQ(events.log, std::vector<std::string>{"change"});
}

TEST(PreviewDocument, CurrentPageIsClampedAndChangesOnlyWhenItMoves) {
  PreviewDocument doc;
  doc.setCurrentPage(3);
  EXPECT_EQ(doc.CurrentPage(), 0);
  record(doc, 3);
  Recorder events;
  events.attach(doc);
  doc.setCurrentPage(0);
  EXPECT_EQ(doc.CurrentPage(), 1);
  EXPECT_TRUE(events.log.empty());
  doc.setCurrentPage(99);
  EXPECT_EQ(doc.CurrentPage(), 3);
  EXPECT_EQ(events.log, std::vector<std::string>{"change"});
}

TEST(PreviewDocument, OrientationSwapsThePaperWhenIdle) {
  PreviewDocument doc;
  int layouts = 0;
  doc.events.OnLayout = [&] { ++layouts; };
  doc.setOrientation(TPrinterOrientation::Landscape);
  EXPECT_EQ(doc.PaperWidth(), 2970);
  EXPECT_EQ(doc.PaperHeight(), 2100);
  EXPECT_EQ(layouts, 1);
  doc.BeginDoc();
  doc.setOrientation(TPrinterOrientation::Portrait);
  EXPECT_EQ(doc.Orientation(), TPrinterOrientation::Landscape);
  EXPECT_EQ(doc.PaperWidth(), 2970);
  doc.EndDoc();
}

TEST(PreviewDocument, ZoomAndUnits) {
  PreviewDocument doc;
  EXPECT_EQ(doc.ZoomState(), TZoomState::zsZoomToFit);
  doc.setZoom(doc.Zoom());
  EXPECT_EQ(doc.ZoomState(), TZoomState::zsZoomOther);

  EXPECT_EQ(doc.paperPixelWidth(), 794);
  EXPECT_EQ(doc.paperPixelHeight(), 1123);
  doc.MarginLeft = 70;
  doc.setUnits(TUnits::mmHiMetric);
  EXPECT_EQ(doc.PaperWidth(), 21008);
  EXPECT_EQ(doc.PaperHeight(), 29713);
  EXPECT_EQ(doc.MarginLeft, 688);  // 70 -> 26 px -> 688
  EXPECT_EQ(doc.font().height, 265);  // 27 -> 10 px -> 265
}

TEST(PreviewDocument, PrinterResolutionOnlyWithUsePrinterRes) {
  PreviewDocument doc;
  doc.setPrinterResolution(std::array<int, 2>{600, 600});
  EXPECT_EQ(doc.horizontalResolution(), 96);
  doc.setUsePrinterRes(true);
  EXPECT_EQ(doc.horizontalResolution(), 600);
  EXPECT_EQ(doc.paperPixelWidth(), 4961);
  doc.setPrinterResolution(std::nullopt);
  EXPECT_EQ(doc.horizontalResolution(), 96);
}

TEST(PreviewDocument, PrintPagesClampsTheRange) {
  struct Case {
    int from, to;
    std::vector<int> pages;  // the first point of each printed page tells which it was
  };
  const Case cases[] = {{0, 0, {1}}, {2, 99, {2, 3}}, {3, 2, {}}, {-5, 1, {1}}, {1, 3, {1, 2, 3}}};
  for (const Case& c : cases) {
    PreviewDocument doc;
    record(doc, 3);
    FakePrintTarget target;
    const PrintResult result = doc.PrintPages(c.from, c.to, target);
    std::vector<int> printed;
    if (!target.jobs.empty())
      for (const auto& page : target.jobs[0].pages) printed.push_back(page.at(0).points[0].x / 2);
    EXPECT_EQ(printed, c.pages) << c.from << ".." << c.to;
    EXPECT_EQ(result.started, !c.pages.empty());
    EXPECT_EQ(target.jobs.size(), c.pages.empty() ? 0u : 1u);
  }
}

TEST(PreviewDocument, PagesAreStretchedOverThePrinterPage) {
  PreviewDocument doc;
  record(doc, 1);
  FakePrintTarget target;
  target.page_ = {-10, -20, 4190, 5920};
  doc.setOrientation(TPrinterOrientation::Landscape);  // idle: swaps; the recorded page keeps its extent
  doc.Print(target);
  ASSERT_EQ(target.jobs.size(), 1u);
  EXPECT_EQ(target.jobs[0].orientation, TPrinterOrientation::Landscape);
  const CanvasOp& line = target.jobs[0].pages.at(0).at(0);
  EXPECT_EQ(line.points[0], (Point{-8, -18}));
  EXPECT_EQ(line.points[1], (Point{4190, 5920}));
}

TEST(PreviewDocument, NothingToPrint) {
  PreviewDocument doc;
  FakePrintTarget target;
  EXPECT_FALSE(doc.Print(target).started);  // no pages: no job for "page 0"
  record(doc, 2);
  target.available_ = false;
  EXPECT_FALSE(doc.Print(target).started);
  EXPECT_TRUE(target.jobs.empty());
}

TEST(PreviewDocument, ProgressAndTheUsersAbort) {
  PreviewDocument doc;
  record(doc, 4);
  Recorder events;
  events.attach(doc);
  std::vector<std::pair<int, int>> progress;
  doc.events.OnPrintProgress = [&](int page, int percent, bool& abortIt) {
    progress.emplace_back(page, percent);
    if (page == 3) abortIt = true;
  };
  FakePrintTarget target;
  const PrintResult result = doc.PrintPages(2, 4, target);
  EXPECT_TRUE(result.aborted);
  EXPECT_TRUE(result.error.empty());
  EXPECT_TRUE(doc.aborted());
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{2, 0}, {2, 33}, {3, 33}}));
  ASSERT_EQ(target.jobs.size(), 1u);
  EXPECT_TRUE(target.jobs[0].aborted);
  EXPECT_FALSE(target.jobs[0].ended);
  EXPECT_EQ(events.log, (std::vector<std::string>{"before", "abort"}));
  EXPECT_EQ(doc.state(), PreviewDocument::State::Idle);

  // The next job starts afresh.
  doc.events.OnPrintProgress = {};
  events.log.clear();
  EXPECT_FALSE(doc.Print(target).aborted);
  EXPECT_FALSE(doc.aborted());
  EXPECT_EQ(events.log, (std::vector<std::string>{"before", "after"}));
  EXPECT_TRUE(target.jobs.back().ended);
  EXPECT_EQ(target.jobs.back().pages.size(), 4u);
}

TEST(PreviewDocument, DeviceFailuresAbortTheJobAndSayWhy) {
  PreviewDocument doc;
  record(doc, 3);
  FakePrintTarget failing;
  failing.failDrawOnPage_ = 2;
  PrintResult result = doc.Print(failing);
  EXPECT_TRUE(result.aborted);
  EXPECT_EQ(result.error, "paper jam");
  EXPECT_TRUE(failing.jobs.at(0).aborted);

  FakePrintTarget notReady;
  notReady.failBegin_ = true;
  result = doc.Print(notReady);
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.error, "device not ready");

  FakePrintTarget gaveUp;
  gaveUp.deviceAborted_ = true;
  result = doc.Print(gaveUp);
  EXPECT_TRUE(result.aborted);
  EXPECT_TRUE(result.error.empty());
}

TEST(PreviewDocument, NoClearingOrRelayingOutWhilePrinting) {
  PreviewDocument doc;
  record(doc, 2);
  int pagesSeen = 0;
  doc.events.OnPrintProgress = [&](int, int, bool&) {
    doc.BeginDoc();
    doc.Clear();
    pagesSeen = doc.TotalPages();
  };
  FakePrintTarget target;
  doc.Print(target);
  EXPECT_EQ(pagesSeen, 2);
  EXPECT_EQ(target.jobs.at(0).pages.size(), 2u);
}

// A drawer of `total` pages: page n holds the text "page n"; it counts its
// calls and fails on page `failOn`.
struct Drawer {
  int calls = 0;
  int failOn = 0;
  PreviewDocument::PageDrawer drawer() {
    return [this](Canvas& canvas, int n) {
      ++calls;
      if (n == failOn) throw std::runtime_error("cannot draw page " + std::to_string(n));
      canvas.textOut(100, 100, "page " + std::to_string(n));
    };
  }
};

std::string textOf(const std::vector<CanvasOp>& page) {
  for (const CanvasOp& op : page)
    if (op.kind == OpKind::Text) return op.text;
  return {};
}

TEST(PreviewDocument, DrawnPagesAreRecordedWhenNeededAndFewAreKept) {
  PreviewDocument doc;
  Recorder events;
  events.attach(doc);
  Drawer drawer;
  ASSERT_TRUE(doc.SetPages(16667, drawer.drawer()));
  EXPECT_EQ(doc.TotalPages(), 16667);
  EXPECT_EQ(doc.CurrentPage(), 1);
  EXPECT_EQ(events.log, (std::vector<std::string>{"change", "change"}));  // cleared, then laid out
  EXPECT_EQ(drawer.calls, 0);
  EXPECT_EQ(doc.pagesHeld(), 0u);

  const PreviewPage* page = doc.page(5);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(textOf(page->canvas.ops()), "page 5");
  EXPECT_EQ(page->width, 2100);
  EXPECT_EQ(page->canvas.ops().at(0).font.name, "Arial");  // the document's font
  EXPECT_EQ(doc.page(5), page);  // kept: not drawn again
  EXPECT_EQ(drawer.calls, 1);
  EXPECT_EQ(doc.page(16668), nullptr);
  for (int n = 1; n <= 40; ++n) EXPECT_EQ(textOf(doc.page(n)->canvas.ops()), "page " + std::to_string(n));
  EXPECT_EQ(doc.pagesHeld(), PreviewDocument::kKeptPages);
  doc.setCurrentPage(16667);
  EXPECT_EQ(doc.CurrentPage(), 16667);

  // Printed one page after the other; the pages kept for the view stay as they are.
  FakePrintTarget target;
  const int callsBefore = drawer.calls;
  const PrintResult result = doc.PrintPages(1, 3000, target);
  EXPECT_FALSE(result.aborted);
  ASSERT_EQ(target.jobs.at(0).pages.size(), 3000u);
  EXPECT_EQ(textOf(target.jobs[0].pages[0]), "page 1");
  EXPECT_EQ(textOf(target.jobs[0].pages[2999]), "page 3000");
  EXPECT_EQ(drawer.calls - callsBefore, 3000 - static_cast<int>(PreviewDocument::kKeptPages));
  EXPECT_EQ(doc.pagesHeld(), PreviewDocument::kKeptPages);

  doc.Clear();
  EXPECT_EQ(doc.TotalPages(), 0);
  EXPECT_EQ(doc.pagesHeld(), 0u);
}

TEST(PreviewDocument, APageThatCannotBeDrawn) {
  PreviewDocument doc;
  Drawer drawer;
  drawer.failOn = 7;
  doc.SetPages(9, drawer.drawer());
  EXPECT_THROW(doc.page(7), std::runtime_error);
  EXPECT_NE(doc.page(8), nullptr);

  FakePrintTarget target;
  const PrintResult result = doc.PrintPages(6, 8, target);
  EXPECT_TRUE(result.aborted);
  EXPECT_EQ(result.error, "cannot draw page 7");
  EXPECT_EQ(target.jobs.at(0).pages.size(), 2u);  // page 6, then the aborted page
  EXPECT_TRUE(target.jobs[0].aborted);
  EXPECT_EQ(doc.state(), PreviewDocument::State::Idle);
}

TEST(PreviewDocument, NoNewPagesWhilePrinting) {
  PreviewDocument doc;
  Drawer first;
  doc.SetPages(4, first.drawer());
  Drawer second;
  bool laidOut = true;
  doc.events.OnPrintProgress = [&](int, int, bool&) {
    laidOut = laidOut && doc.SetPages(2, second.drawer());
    doc.Clear();
  };
  FakePrintTarget target;
  doc.Print(target);
  EXPECT_FALSE(laidOut);
  EXPECT_EQ(second.calls, 0);
  ASSERT_EQ(target.jobs.at(0).pages.size(), 4u);
  EXPECT_EQ(textOf(target.jobs[0].pages[3]), "page 4");
  EXPECT_EQ(doc.TotalPages(), 4);
  doc.events.OnPrintProgress = {};
  EXPECT_TRUE(doc.SetPages(2, second.drawer()));  // idle again
  EXPECT_EQ(doc.TotalPages(), 2);
}

TEST(LayoutPaper, PlacesThePaperInThePanel) {
  struct Case {
    const char* name;
    PaperLayoutInput in;
    PaperLayout out;
  };
  PaperLayoutInput a4;
  a4.panelWidth = 800;
  a4.panelHeight = 600;
  a4.pixelWidth = 794;
  a4.pixelHeight = 1123;
  const auto with = [&](TZoomState state, int zoom, int w, int h) {
    PaperLayoutInput in = a4;
    in.zoomState = state;
    in.zoom = zoom;
    in.panelWidth = w;
    in.panelHeight = h;
    return in;
  };
  const Case cases[] = {
      {"fit, tall paper", with(TZoomState::zsZoomToFit, 100, 800, 600), {191, 6, 417, 588, 0, 0}},
      {"fit, narrow panel", with(TZoomState::zsZoomToFit, 100, 300, 900), {6, 247, 288, 405, 0, 0}},
      {"width", with(TZoomState::zsZoomToWidth, 100, 800, 600), {6, 6, 788, 1112, 0, 524}},
      {"height", with(TZoomState::zsZoomToHeight, 100, 800, 600), {191, 6, 417, 588, 0, 0}},
      {"20 %", with(TZoomState::zsZoomOther, 20, 800, 600), {318, 185, 164, 230, 0, 0}},
      {"200 %", with(TZoomState::zsZoomOther, 200, 800, 600), {6, 6, 1593, 2251, 805, 1663}},
  };
  for (const Case& c : cases) {
    const PaperLayout out = LayoutPaper(c.in);
    EXPECT_EQ(out.left, c.out.left) << c.name;
    EXPECT_EQ(out.top, c.out.top) << c.name;
    EXPECT_EQ(out.width, c.out.width) << c.name;
    EXPECT_EQ(out.height, c.out.height) << c.name;
    EXPECT_EQ(out.horizontalMax, c.out.horizontalMax) << c.name;
    EXPECT_EQ(out.verticalMax, c.out.verticalMax) << c.name;
  }
  EXPECT_EQ(LayoutPaper(PaperLayoutInput{}).width, 0);  // no paper: nothing to place
}

}  // namespace
}  // namespace wave
