#include "waveform/print/record_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "waveform/analysis/test_support.h"
#include "waveform/print/page_text_check.h"

namespace wave {
namespace {

// 300 dpi A4: a small page (Trunc(ScaleX * 10) = 11), and 600 dpi: a large one.
constexpr int kA4Width300 = 2480, kA4Height300 = 3508;
constexpr int kA4Width600 = 4961, kA4Height600 = 7016;

TEST(PrintGeometry, MarginsRowsAndCycles) {
  struct Case {
    const char* name;
    int W, H;
    double scaleX;
    int rows;
    int L, T, RH, firstRow, cyclesPerPage, cycleWidth, u;
  };
  const Case cases[] = {
      {"portrait, 3 rows", 2100, 2970, 1.18, 3, 210, 594, 594, 772, 7, 224, 10},
      {"portrait, large", 2100, 2970, 2.36, 3, 210, 594, 594, 772, 3, 448, 10},
      {"landscape", 2970, 2100, 1.18, 3, 297, 420, 420, 546, 10, 224, 15},
      {"landscape, large", 2970, 2100, 2.0, 3, 297, 420, 420, 546, 5, 448, 15},
      {"one row counts as three", 2100, 2970, 1.0, 1, 210, 594, 594, 772, 7, 224, 10},
      {"4 rows", 2100, 2970, 1.18, 4, 210, 446, 519, 580, 7, 224, 10},
      {"5 rows", 2100, 2970, 1.18, 5, 210, 416, 427, 541, 7, 224, 10},
      {"8 rows", 2100, 2970, 1.18, 8, 210, 297, 297, 386, 7, 224, 10},
      {"no room for a cycle", 200, 2970, 1.0, 3, 20, 594, 594, 772, 0, 224, 1},
  };
  TcfgInfo record = testing::MakeRecord(1, 0, 1000, 320);  // 20 per cycle, 16 cycles
  const RecordLayout layout = MakeRecordLayout(record);
  for (const Case& c : cases) {
    const PrintGeometry g = ComputePrintGeometry(c.W, c.H, c.scaleX, 1.0, c.rows, layout);
    EXPECT_EQ(g.L, c.L) << c.name;
    EXPECT_EQ(g.R, c.L) << c.name;
    EXPECT_EQ(g.T, c.T) << c.name;
    EXPECT_EQ(g.B, c.T) << c.name;
    EXPECT_EQ(g.RH, c.RH) << c.name;
    EXPECT_EQ(g.rowY(0), c.firstRow) << c.name;
    EXPECT_EQ(g.cyclesPerPage, c.cyclesPerPage) << c.name;
    EXPECT_EQ(g.cycleWidth, c.cycleWidth) << c.name;
    EXPECT_EQ(g.u, c.u) << c.name;
    EXPECT_EQ(g.totalPages, c.cyclesPerPage == 0 ? 0 : (16 + c.cyclesPerPage - 1) / c.cyclesPerPage) << c.name;
    EXPECT_EQ(g.P, 40) << c.name;
  }
}

TEST(PrintGeometry, RowsOfGroupsAndDigitalChannels) {
  std::array<TChannelGroup, kGroupRowCount> groups{};
  TDigitalSelection digital;
  const auto use = [&](int count) {
    groups = {};
    for (int g = 0; g < count; ++g) groups[static_cast<std::size_t>(g)].Count = 1;
  };
  use(3);
  EXPECT_EQ(PrintRowCount(groups, digital), 3);
  digital.Count = 6;
  use(7);
  EXPECT_EQ(PrintRowCount(groups, digital), 8);  // 7 + 6 div 5 + 1 = 9
  use(2);
  digital.Count = 4;
  EXPECT_EQ(PrintRowCount(groups, digital), 3);
  use(0);
  digital.Count = 0;
  EXPECT_EQ(PrintRowCount(groups, digital), 0);
}

TEST(PrintGeometry, CyclesOfBothRatesAndPointsWiderThanACycle) {
  TcfgInfo twoRates = testing::MakeRecord(1, 0, 1000, 200, 5000, 700);  // 10 cycles of 20, 5 of 100
  PrintGeometry g = ComputePrintGeometry(2100, 2970, 1.18, 1.0, 3, MakeRecordLayout(twoRates));
  EXPECT_EQ(g.cycles, 15);
  EXPECT_EQ(g.totalPages, 3);

  TcfgInfo dense = testing::MakeRecord(1, 0, 12800, 2560);  // 256 per cycle: more points than the cycle's width
  g = ComputePrintGeometry(2100, 2970, 1.18, 1.0, 3, MakeRecordLayout(dense));
  EXPECT_EQ(g.P, 256);
  EXPECT_EQ(g.stepX, 0);
  EXPECT_EQ(g.pointX(128), 210 + 112);
  EXPECT_EQ(g.pointX(256), 210 + 224);
}

// A record on paper: sines on the analogue channels, digital channel 0
// toggling every 10 samples, channel 1 always on.
struct PrintFixture {
  explicit PrintFixture(TcfgInfo r) : record(std::move(r)) {
    record.station_name = "Station";
    record.rec_dev_id = "dev";
    record.StartTime = common::EncodeDateTime({2024, 1, 2, 3, 4, 5, 6}).value();
    record.TriggerTime = common::EncodeDateTime({2024, 1, 2, 3, 4, 5, 106}).value();
    data = testing::Allocate(record);
    const RecordLayout& layout = data->layout();
    for (std::size_t c = 0; c < data->analogCount(); ++c) {
      auto b = data->samples(c);
      for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = 100.0 * static_cast<double>(c + 1) * std::sin(6.283185307179586 * static_cast<double>(i) /
                                                             (layout.f1 * layout.N1));
    }
    for (std::size_t d = 0; d < data->digitalCount(); ++d) {
      auto b = data->digital(d);
      for (std::size_t k = 0; k < b.size(); ++k) b[k] = d == 0 ? static_cast<std::uint8_t>((k / 10) % 2) : 1;
    }
    data->NoNegativeSamples = 0;
    settings.PrinterPageWidth = kA4Width300;
    settings.PrinterPageHeight = kA4Height300;
  }

  void group(int g, std::vector<int> channels) {
    auto& row = settings.ChannelGroups[static_cast<std::size_t>(g)];
    row = {};
    row.Count = static_cast<int>(channels.size());
    for (std::size_t j = 0; j < channels.size(); ++j) row.Channel[j] = row.ColorIndex[j] = channels[j];
  }
  void digital(std::vector<int> indexes) {
    settings.DigitalSelection = {};
    settings.DigitalSelection.Count = static_cast<int>(indexes.size());
    std::copy(indexes.begin(), indexes.end(), settings.DigitalSelection.Index.begin());
  }

  LayoutResult layOut() {
    printed = MakePrintedRecord(record, data, WaveScales{}, settings.ChannelGroups);
    return Print_FW_Page(doc, printed, settings);
  }

  const std::vector<CanvasOp>& ops(int page) const { return doc.page(page)->canvas.ops(); }

  std::vector<CanvasOp> texts(int page, std::string_view text) const {
    std::vector<CanvasOp> found;
    for (const auto& op : ops(page))
      if (op.kind == OpKind::Text && op.text == text) found.push_back(op);
    return found;
  }

  // The traces: polylines in a pen of width 2.
  std::vector<CanvasOp> traces(int page) const {
    std::vector<CanvasOp> found;
    for (const auto& op : ops(page))
      if (op.kind == OpKind::Polyline && op.pen.width == 2) found.push_back(op);
    return found;
  }

  // Solid black lines from (x1, y) to (x2, y).
  int axesAt(int page, int y) const {
    int n = 0;
    for (const auto& op : ops(page))
      n += op.kind == OpKind::Line && op.pen.style == PenStyle::Solid && op.pen.color == kBlack &&
           op.points[0].y == y && op.points[1].y == y && op.points[0].x == 210 && op.points[1].x == 1890;
    return n;
  }

  TcfgInfo record;
  std::shared_ptr<RecordData> data;
  DisplaySettings settings;
  PrintedRecord printed;
  PreviewDocument doc;
};

TEST(RecordPages, PagesOfARecordWithSparseGroupsAndDigitalChannels) {
  PrintFixture f(testing::MakeRecord(3, 2, 1000, 320));  // 16 cycles of 20 samples, P = 40
  f.group(0, {0});
  f.group(2, {1, 2});  // group 1 stays empty
  f.digital({0, 1});
  const LayoutResult result = f.layOut();

  EXPECT_EQ(result.geometry.rows, 3);  // 2 groups + 2 div 5 + 1
  EXPECT_EQ(result.geometry.cyclesPerPage, 7);
  EXPECT_EQ(f.doc.TotalPages(), 3);
  EXPECT_EQ(result.pageLabel, "第1页  共3页");
  EXPECT_EQ(result.savedWidth, 2100);
  EXPECT_EQ(f.doc.PaperWidth(), 2100);  // the printer's page is larger: no change

  // Header and footer; texts are measured at 17 per ASCII character and 33 per Chinese one.
  const auto title = f.texts(1, "Station  dev 波形图");
  ASSERT_EQ(title.size(), 1u);
  EXPECT_EQ(title[0].points[0], (Point{(2100 - (13 * 17 + 33 * 3) - 210) / 2, 297}));
  EXPECT_EQ(title[0].font.name, "宋体");
  EXPECT_EQ(title[0].font.height, 33);
  const std::string times = "起始时间:2024/01/02 03:04:05.006 触发时间:2024/01/02 03:04:05.106";
  ASSERT_EQ(f.texts(1, times).size(), 1u);
  EXPECT_EQ(f.texts(1, times)[0].points[0].y, 356);
  ASSERT_EQ(f.texts(3, "第3页  共3页").size(), 1u);
  EXPECT_EQ(f.texts(3, "第3页  共3页")[0].points[0].y, 2970 - 416);

  // Row 0 (group 0) at 772, row 1 (group 2) at 1366, each axis drawn once per channel.
  EXPECT_EQ(f.axesAt(1, 772), 1);
  EXPECT_EQ(f.axesAt(1, 1366), 2);
  // The row's scale label belongs to its group, not to the row's number.
  const auto maxima = f.printed.GroupMaxima;
  const auto label = f.texts(1, std::to_string(maxima[2]));
  ASSERT_FALSE(label.empty());
  EXPECT_EQ(label[0].points[0], (Point{210 + 42, 1366 - 267}));
  EXPECT_TRUE(label[0].font.bold);
  EXPECT_EQ(label[0].font.height, 40);
  EXPECT_EQ(f.texts(1, "A3").at(0).points[0], (Point{210 + 8 * 42, 1366 - 267 - 6}));

  // Three traces per page in their colours; a full page runs over 7 cycles of 40 points.
  const auto first = f.traces(1);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[0].pen.color, f.settings.ChannelColors[0]);
  EXPECT_EQ(first[2].pen.color, f.settings.ChannelColors[2]);
  EXPECT_EQ(first[0].points.size(), 7u * 40 + 1);
  EXPECT_EQ(first[0].points.front(), (Point{210, 772}));
  EXPECT_EQ(first[0].points.back().x, 210 + 7 * 40 * 5);
  // The last page stops at the last sample, point 638 (page 3 starts at point 560).
  const auto last = f.traces(3);
  EXPECT_EQ(last[0].points.back().x, 210 + (638 - 560) * 5);

  // Ticks and their times: 7 on a full page, 2 (cycles 15 and 16) on the last.
  EXPECT_EQ(f.texts(1, "140").size(), 3u + 1u);  // once per channel of the analogue rows, once on the digital axis
  EXPECT_EQ(f.texts(3, "320").size(), 3u + 1u);
  EXPECT_EQ(f.texts(3, "340").size(), 1u);  // the digital axis labels every cycle of the page
  EXPECT_EQ(f.texts(3, "320")[0].points[0], (Point{210 + 400, 772 + 20}));
}

// Every text of the first and the last page lies whole on the sheet and apart
// from every other: 1 and 8 rows, no and 32 digital channels, 50 and 60 Hz, on
// portrait and landscape pages with small and large texts.
TEST(RecordPages, EveryTextLiesOnTheSheetApartFromTheOthers) {
  struct Rows {
    const char* name;
    int groups, digital;
  };
  const Rows rowCases[] = {{"1 row", 1, 0}, {"8 rows", 8, 0}, {"1 row and 32 digital", 1, 32},
                           {"7 rows and 32 digital", 7, 32}};
  struct Paper {
    const char* name;
    int width, height;
  };
  const Paper papers[] = {{"portrait", kA4Width300, kA4Height300},
                          {"landscape", kA4Height300, kA4Width300},
                          {"portrait, large", kA4Width600, kA4Height600},
                          {"landscape, large", kA4Height600, kA4Width600}};
  for (const int lf : {50, 60}) {
    for (const Rows& rows : rowCases) {
      for (const Paper& paper : papers) {
        SCOPED_TRACE(::testing::Message() << lf << " Hz, " << rows.name << ", " << paper.name);
        testing::CrowdedRecord c = testing::MakeCrowdedRecord(rows.groups, rows.digital, lf);
        c.settings.PrinterPageWidth = paper.width;
        c.settings.PrinterPageHeight = paper.height;
        PreviewDocument doc;
        Print_FW_Page(doc, MakePrintedRecord(c.record, c.data, WaveScales{}, c.settings.ChannelGroups), c.settings);
        ASSERT_GT(doc.TotalPages(), 1);
        const Rect sheet{0, 0, doc.printableWidth(), doc.printableHeight()};
        for (const int page : {1, doc.TotalPages()})
          for (const std::string& fault :
               testing::PageTextFaults(doc.page(page)->canvas.ops(), sheet, &RecordingCanvas::DefaultTextWidth))
            ADD_FAILURE() << "page " << page << ": " << fault;
      }
    }
  }
}

// The grid is dotted with dots of the page (they scale with it on every
// device): six lines for each analogue channel, one for the digital row.
TEST(RecordPages, GridLinesAreDottedInPageUnits) {
  PrintFixture f(testing::MakeRecord(2, 1, 1000, 320));
  f.group(0, {0, 1});
  f.digital({0});
  f.layOut();
  int dotted = 0;
  for (const auto& op : f.ops(1)) {
    if (op.kind != OpKind::Line || op.pen.style != PenStyle::Dot) continue;
    ++dotted;
    EXPECT_EQ(op.pen.dotLength, kPrintDotLength);
    EXPECT_EQ(op.pen.width, 1);
  }
  EXPECT_EQ(dotted, 2 * 6 + 1);
}

TEST(RecordPages, DigitalLanesStepUnderTheirAnalogueSamples) {
  PrintFixture f(testing::MakeRecord(1, 2, 1000, 320));
  f.group(0, {0});
  f.digital({0, 1});
  f.layOut();
  // Rows: 1 group + 1 for the digital channels, counted as 3; the lanes are in row 1.
  const int Y0 = 1366, Yb = Y0 + 475;
  const int h = 82;  // Round(594 * 1.1 / 8)
  const int low = Yb - 16, high = Yb - 66;
  std::vector<CanvasOp> lanes;
  for (const auto& op : f.ops(1))
    if (op.kind == OpKind::Polyline && op.pen.width == 1) lanes.push_back(op);
  ASSERT_EQ(lanes.size(), 2u);
  EXPECT_EQ(lanes[0].pen.color, f.settings.ChannelColors[kDigitalTraceColor]);
  // Sample k at x = 210 + 10 k (its analogue point 2k, 5 apart); a rise at the later
  // sample, a fall at the earlier.
  const std::vector<Point> start(lanes[0].points.begin(), lanes[0].points.begin() + 7);
  EXPECT_EQ(start, (std::vector<Point>{{210, low}, {310, low}, {310, high}, {400, high}, {400, low}, {510, low},
                                       {510, high}}));
  EXPECT_EQ(lanes[0].points.back().x, 210 + 140 * 10);  // 7 cycles of 20 samples
  EXPECT_EQ(lanes[1].points, (std::vector<Point>{{210, high - h}, {1610, high - h}}));

  const auto zero = f.texts(1, "0");
  ASSERT_EQ(zero.size(), 2u);
  EXPECT_EQ(zero[0].points[0], (Point{160, low - 20}));
  EXPECT_EQ(zero[0].font.color, f.settings.ChannelColors[kGridColor]);
  const auto name = f.texts(1, "D2");
  ASSERT_EQ(name.size(), 1u);
  EXPECT_EQ(name[0].points[0], (Point{210 - 80 - 34, Yb - h - 41 - 20}));
  EXPECT_EQ(name[0].font.color, f.settings.ChannelColors[kDigitalNameColor]);
  EXPECT_EQ(f.axesAt(1, Yb), 1);

  // The last page draws the remaining samples (2 cycles) to the record's last one.
  std::vector<CanvasOp> lastLanes;
  for (const auto& op : f.ops(3))
    if (op.kind == OpKind::Polyline && op.pen.width == 1) lastLanes.push_back(op);
  EXPECT_EQ(lastLanes.at(1).points.back().x, 210 + (319 - 280) * 10);
}

TEST(RecordPages, StoredSamplesOnlyWhenNothingWasInterpolated) {
  PrintFixture f(testing::MakeRecord(1, 0, 1000, 320));
  f.data->NoNegativeSamples = 1;
  f.group(0, {0});
  f.layOut();
  const auto trace = f.traces(1).at(0);
  EXPECT_EQ(trace.points.size(), 7u * 20 + 1);
  EXPECT_EQ(trace.points[1].x - trace.points[0].x, 10);
}

TEST(RecordPages, ColourIndexesBeyondTheTraceColoursWrap) {
  PrintFixture f(testing::MakeRecord(1, 0, 1000, 320));
  f.group(0, {0});
  f.settings.ChannelGroups[0].ColorIndex[0] = 23;
  f.layOut();
  EXPECT_EQ(f.traces(1).at(0).pen.color, f.settings.ChannelColors[3]);
}

TEST(RecordPages, TickTimesFollowTheLineFrequency) {
  TcfgInfo record = testing::MakeRecord(1, 0, 1200, 240);  // 60 Hz, 20 per cycle, 12 cycles
  record.lf = 60;
  PrintFixture f(record);
  f.group(0, {0});
  f.layOut();
  for (const char* ms : {"17", "33", "50", "117"}) EXPECT_EQ(f.texts(1, ms).size(), 1u) << ms;
  EXPECT_TRUE(f.texts(1, "20").empty());
}

TEST(RecordPages, PrinterPageDecidesOrientationAndScale) {
  {
    PrintFixture f(testing::MakeRecord(1, 0, 1000, 320));
    f.group(0, {0});
    f.settings.PrinterPageWidth = kA4Height300;  // landscape
    f.settings.PrinterPageHeight = kA4Width300;
    const LayoutResult result = f.layOut();
    EXPECT_EQ(f.doc.Orientation(), TPrinterOrientation::Landscape);
    EXPECT_EQ(f.doc.PaperWidth(), 2970);
    EXPECT_EQ(result.geometry.cyclesPerPage, 10);
    EXPECT_EQ(f.doc.TotalPages(), 2);
  }
  {
    PrintFixture f(testing::MakeRecord(1, 0, 1000, 320));
    f.group(0, {0});
    f.settings.PrinterPageWidth = kA4Width600;
    f.settings.PrinterPageHeight = kA4Height600;
    const LayoutResult result = f.layOut();
    EXPECT_TRUE(result.geometry.large);
    EXPECT_EQ(result.geometry.stepX, 11);
    EXPECT_EQ(f.doc.TotalPages(), 6);  // 3 cycles of 448 per page
    EXPECT_EQ(f.texts(1, "ms").at(0).font.height, 53);
    int thickAxes = 0;
    for (const auto& op : f.ops(1)) thickAxes += op.kind == OpKind::Line && op.pen.width == 5;
    EXPECT_GT(thickAxes, 0);
  }
  {
    // A printer of fewer pixels than the paper has tenths of millimetres: the page shrinks to them.
    PrintFixture f(testing::MakeRecord(1, 0, 1000, 320));
    f.group(0, {0});
    f.settings.PrinterPageWidth = 1240;
    f.settings.PrinterPageHeight = 1754;
    const LayoutResult result = f.layOut();
    EXPECT_EQ(result.savedWidth, 2100);
    EXPECT_EQ(f.doc.PaperWidth(), 1240);
    EXPECT_EQ(f.doc.PaperHeight(), 1754);
    EXPECT_EQ(result.geometry.cyclesPerPage, 4);
  }
}

TEST(RecordPages, NoCycleNoPage) {
  PrintFixture f(testing::MakeRecord(1, 0, 1000, 15));  // less than one cycle
  f.group(0, {0});
  f.doc.BeginDoc();
  f.doc.EndDoc();
  const LayoutResult result = f.layOut();
  EXPECT_EQ(f.doc.TotalPages(), 0);
  EXPECT_EQ(result.pageLabel, "第0页  共0页");
}

TEST(RecordPages, PagesLabelsFromTheLanguage) {
  PrintTexts texts;
  texts.lookup = [](std::string_view section, std::string_view key, std::string_view fallback) {
    EXPECT_EQ(section, kPrintPreviewSection);
    if (key == "str9") return std::string("Page %d of %d");
    if (key == "str10") return std::string("Page %s");  // wrong placeholders: the built-in text
    return std::string(fallback);
  };
  EXPECT_EQ(PageLabel(texts, 9, 2, 5), "Page 2 of 5");
  EXPECT_EQ(PageLabel(texts, 10, 2, 5), "第2页  共5页");
}

TEST(RecordPages, TwoRatesAndDensePointsStayInsideTheBuffers) {
  // Runs under the address sanitizer in CI: every page of both records is drawn.
  PrintFixture twoRates(testing::MakeRecord(2, 1, 1000, 200, 5000, 700));
  twoRates.group(0, {0, 1});
  twoRates.digital({0});
  twoRates.layOut();
  EXPECT_EQ(twoRates.doc.TotalPages(), 3);
  const auto lastTrace = twoRates.traces(3).at(0);
  EXPECT_LE(lastTrace.points.back().x, 1890);

  PrintFixture dense(testing::MakeRecord(1, 1, 12800, 2560));
  dense.group(0, {0});
  dense.digital({0});
  dense.layOut();
  const auto trace = dense.traces(1).at(0);
  EXPECT_EQ(trace.points.back().x, 210 + 7 * 224);
  std::vector<int> ticks;
  for (const auto& op : dense.ops(1))
    if (op.kind == OpKind::Line && op.points[0].x == op.points[1].x && op.points[0].y == 772 &&
        op.points[1].y == 762)
      ticks.push_back(op.points[0].x);
  EXPECT_EQ(ticks, (std::vector<int>{434, 658, 882, 1106, 1330, 1554, 1778}));
}

}  // namespace
}  // namespace wave
