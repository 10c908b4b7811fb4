#include "waveform/view/time_cursor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "waveform/view/test_scene.h"
#include "waveform/view/value_text.h"
#include "waveform/view/zoom.h"

namespace wave {
namespace {

using scenetest::TestRecord;

common::TDateTime startTime() { return *common::EncodeDateTime({2024, 3, 15, 10, 20, 30, 0}); }

std::string at(double msFromStart) {
  return common::FormatDateTime(kCursorTimePattern, startTime() + msFromStart / 86400000.0);
}

TestRecord timedRecord(int samp1, int lf, int samples, int samp2 = 0, int endsamp2 = 0, int analog = 1) {
  TestRecord t(analog, 0, samp1, lf, samples, samp2, endsamp2);
  t.record.StartTime = startTime();
  t.setRow(0, {0});
  return t;
}

// --- the cursor line, the time it reads and the thumb's jump ---------------------------

struct CursorCase {
  const char* name;
  int samp1, lf, samples;
  int position;
  int x;      // the cursor line
  double ms;  // from the start
};

TEST(TimeCursor, PositionGivesLineAndTime) {
  const CursorCase cases[] = {
      // 50 Hz, N 20, PixelsPerCycle1 40, ten cycles: track bar 418 wide.
      {"50Hz start", 1000, 50, 200, 0, 75, 0},
      {"50Hz middle", 1000, 50, 200, kTrackBarMax / 2, 275, 100},
      {"50Hz right end", 1000, 50, 200, kTrackBarMax, 475, 200},
      {"50Hz half a cycle", 1000, 50, 200, kTrackBarMax / 40, 85, 5},
      // 60 Hz: a cycle is 16.67 ms; the cursor at 30 cycles shows start + 500 ms.
      {"60Hz thirty cycles", 1200, 60, 600, kTrackBarMax, 1275, 500},
      {"60Hz half a cycle", 1200, 60, 600, 1666667, 95, 8},  // Round(20 * 16.67 / 40)
      // One cycle of 20 samples: PixelsPerCycle1 40 * (512 div 20) = 1000.
      {"one cycle end", 1000, 50, 20, kTrackBarMax, 1075, 20},
      {"one cycle middle", 1000, 50, 20, kTrackBarMax / 2, 575, 10},
      // 10.5 cycles: right of the last whole cycle the time is the start.
      {"past the last whole cycle", 1000, 50, 210, kTrackBarMax, 495, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRecord t = timedRecord(c.samp1, c.lf, c.samples);
    const WaveGeometry geo = t.prepare();
    const TrackBarSpan bar = MakeTrackBarSpan(geo, TrackBarWidth(geo));
    EXPECT_EQ(bar.left, 65);
    const int x = CursorLineX(bar, c.position);
    EXPECT_EQ(x, c.x);
    EXPECT_NEAR(CursorTimeOffsetMs(geo, t.record, x), c.ms, 1e-9);
    const ReadoutSource source{geo, t.record, ViewMode::Waves, true, t.spans, {}};
    EXPECT_EQ(ReadRealTimeData(source, x, {true}, false).time, at(c.ms));
  }
}

TEST(TimeCursor, SixtyHertzKeepsFractionsOfAMillisecondUntilShown) {
  TestRecord t = timedRecord(1200, 60, 600);
  const WaveGeometry geo = t.prepare();
  // One and a half cycles: Round(20 * 16.667 / 40) + 16.667 = 24.667 ms, shown as 025.
  EXPECT_NEAR(CursorTimeOffsetMs(geo, t.record, 75 + 60), 8 + 1000.0 / 60, 1e-9);
  const ReadoutSource source{geo, t.record, ViewMode::Waves, true, t.spans, {}};
  EXPECT_EQ(ReadRealTimeData(source, 75 + 60, {true}, false).time, "2024/03/15 10:20:30.025");
}

TEST(TimeCursor, PressOnTheTrackBarPutsTheThumbUnderThePointer) {
  TrackBarSpan bar;
  bar.width = 418;
  const struct {
    int x;
    int position;
  } cases[] = {{10, 0}, {410, kTrackBarMax}, {210, kTrackBarMax / 2}, {0, 0}, {5000, kTrackBarMax}, {11, 250000}};
  for (const auto& c : cases) {
    EXPECT_EQ(PositionAtPointer(bar, c.x), c.position) << c.x;
    if (c.x >= 10 && c.x <= 410) {
      EXPECT_EQ(CursorLineX(bar, PositionAtPointer(bar, c.x)), c.x + 65);
    }
  }
}

TEST(TimeCursor, CursorLineSpansRowsAndLanes) {
  TestRecord t(2, 2, 1000, 50, 200);
  t.setRow(0, {0});
  t.setRow(3, {1});
  t.setDigital({0, 1});
  const WaveGeometry geo = t.prepare();
  // From the top of the first row over two rows and two lanes: Dg = 30 * 2 + 10.
  EXPECT_EQ(CursorLineAt(geo, 100), (CursorLine{100, 30, 30 + 240 + 70}));
}

// --- what the cursor reads ---------------------------------------------------------

TEST(TimeCursor, RightEndReadsTheLastPoint) {
  // 200 samples at f1 2: 400 points; the right end maps to point 400, one past the buffer.
  TestRecord t = timedRecord(1000, 50, 200);
  const WaveGeometry geo = t.prepare();
  EXPECT_EQ(CursorPointAt(geo, true, 475), (CursorPoint{399, 199}));
  EXPECT_EQ(CursorPointAt(geo, false, 475), (CursorPoint{398, 199}));
  EXPECT_EQ(CursorPointAt(geo, true, 10000), (CursorPoint{399, 199}));
  EXPECT_EQ(CursorPointAt(geo, true, 0), (CursorPoint{0, 0}));
  t.data[0][399] = 7.25;
  t.data[0][398] = 3.5;
  const ReadoutSource interpolated{geo, t.record, ViewMode::Waves, true, t.spans, {}};
  EXPECT_EQ(ReadRealTimeData(interpolated, 475, {true}, false).values[0].text, "7.250");
  const ReadoutSource stored{geo, t.record, ViewMode::Waves, false, t.spans, {}};
  EXPECT_EQ(ReadRealTimeData(stored, 475, {true}, false).values[0].text, "3.500");
}

TEST(TimeCursor, RecordNotInterpolatedShowsTheStoredPoint) {
  TestRecord t = timedRecord(1000, 50, 200);  // f1 2: odd points were never written
  const WaveGeometry geo = t.prepare();
  for (std::size_t i = 0; i < t.data[0].size(); i += 2) t.data[0][i] = 5;
  const ReadoutSource source{geo, t.record, ViewMode::Waves, false, t.spans, {}};
  for (int x = 75; x < 90; ++x) EXPECT_EQ(ReadRealTimeData(source, x, {true}, false).values[0].text, "5.000") << x;
}

// The shipped record of 1600 Hz and then 800 Hz: on the 800 Hz part every
// other pixel is a point between two samples, which reads the value halfway
// between them (it read 0.000), and the right end reads the last sample.
TEST(TimeCursor, PointsBetweenSamplesOfASecondRateReadTheLineBetweenThem) {
  const auto opened = scenetest::OpenRecordFile(std::string(SAMPLES_DIR) + "/ascii_two_rate.cfg");
  ASSERT_TRUE(opened);
  TestRecord t(*opened);
  t.setRow(0, {0, 1, 2});
  const WaveGeometry geo = t.prepare();
  ASSERT_EQ(geo.P1, 320);
  ASSERT_FLOAT_EQ(geo.XStep1, 1.0f);
  const ReadoutSource source{geo, t.record, ViewMode::Waves, t.interpolated, std::span(t.spans).first(3), {}};
  int read = 0;
  for (int point = 321; point < 960; point += 2) {
    const auto values = ReadRealTimeData(source, 75 + point, {true, true, true}, false).values;
    ASSERT_EQ(values.size(), 3u);
    for (int c = 0; c < 3; ++c) {
      const auto& b = t.data[static_cast<std::size_t>(c)];
      const auto p = static_cast<std::size_t>(point);
      const double between = p + 1 < b.size() ? (b[p - 1] + b[p + 1]) / 2 : b[p - 1];
      EXPECT_EQ(values[static_cast<std::size_t>(c)].text, FormatFixed(between, 5, 3)) << "point " << point;
      read += values[static_cast<std::size_t>(c)].text != "0.000";
    }
  }
  EXPECT_GT(read, 900);
}

TEST(TimeCursor, TwoRatesReadTheirOwnPointsAndRmsValues) {
  // N1 24 (f1 2) for 48 samples, then N2 12 (f2 3) to 72: 96 + 72 points, both at a pixel each.
  TestRecord t = timedRecord(1200, 50, 48, 600, 72);
  const WaveGeometry geo = t.prepare();
  EXPECT_EQ(TrackBarWidth(geo), 186);
  EXPECT_EQ(CursorPointAt(geo, true, 75 + 126), (CursorPoint{126, 58}));
  EXPECT_EQ(CursorPointAt(geo, false, 75 + 127), (CursorPoint{126, 58}));
  // The right end: the last point, and the last of the 72 RMS values (not 167 div 2).
  const int end = CursorLineX(MakeTrackBarSpan(geo, TrackBarWidth(geo)), kTrackBarMax);
  EXPECT_EQ(end, 75 + 168);
  EXPECT_EQ(CursorPointAt(geo, true, end), (CursorPoint{167, 71}));
  std::vector<double> rms(72);
  rms[71] = 9;
  const std::vector<std::span<const double>> rmsSpans{rms};
  const ReadoutSource source{geo, t.record, ViewMode::Rms, true, t.spans, rmsSpans};
  EXPECT_EQ(ReadRealTimeData(source, end, {true}, false).values[0].text, "9.000");
}

TEST(TimeCursor, CheckedChannelsAndTheirDifference) {
  TestRecord t = timedRecord(1000, 50, 200, 0, 0, 3);
  const WaveGeometry geo = t.prepare();
  t.data[0][20] = 1.5;
  t.data[1][20] = 100;
  t.data[2][20] = -2.25;
  const ReadoutSource source{geo, t.record, ViewMode::Waves, true, t.spans, {}};
  RealTimeReadout r = ReadRealTimeData(source, 95, {true, false, true}, true);
  ASSERT_EQ(r.values.size(), 2u);
  EXPECT_EQ(r.values[0], (ChannelValue{0, "1.500"}));
  EXPECT_EQ(r.values[1], (ChannelValue{2, "-2.250"}));
  ASSERT_TRUE(r.delta.has_value());
  EXPECT_EQ(*r.delta, (DeltaValue{"|A1-A3|", "3.750"}));
  // The difference row keeps its texts with one channel checked or itself unchecked.
  EXPECT_FALSE(ReadRealTimeData(source, 95, {false, true, false}, true).delta.has_value());
  EXPECT_FALSE(ReadRealTimeData(source, 95, {true, true, true}, false).delta.has_value());
  // More than two checked: the first two count.
  EXPECT_EQ(ReadRealTimeData(source, 95, {true, true, true}, true).delta->caption, "|A1-A2|");
}

// --- typed times ---------------------------------------------------------------------

TEST(TimeCursor, TypedTimes) {
  const struct {
    const char* text;
    std::optional<common::DateTimeParts> parts;
  } cases[] = {
      {"2024/03/15 10:20:30.125", common::DateTimeParts{2024, 3, 15, 10, 20, 30, 125}},
      {"2024/3/5 9:05", common::DateTimeParts{2024, 3, 5, 9, 5, 0, 0}},
      {" 2024/03/15 ", common::DateTimeParts{2024, 3, 15, 0, 0, 0, 0}},
      {"2024/03/15 10:20:30.5", common::DateTimeParts{2024, 3, 15, 10, 20, 30, 500}},
      {"2024-03-15 10:20:30.125", std::nullopt},
      {"15/03/2024 10:20:30", std::nullopt},
      {"2024/13/15 10:20:30", std::nullopt},
      {"2024/02/30", std::nullopt},
      {"2024/03/15 24:00:00", std::nullopt},
      {"2024/03/15 10:20:30.125 x", std::nullopt},
      {"2024/03/1510:20", std::nullopt},
      {"", std::nullopt},
      {"abc", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseTypedTime(c.text);
    ASSERT_EQ(parsed.has_value(), c.parts.has_value()) << c.text;
    if (parsed) {
      EXPECT_DOUBLE_EQ(*parsed, *common::EncodeDateTime(*c.parts)) << c.text;
    }
  }
}

TEST(TimeCursor, TypedTimeBeforeAndAfterTheRecord) {
  TestRecord t = timedRecord(1000, 50, 200);  // 200 ms
  const WaveGeometry geo = t.prepare();
  const TrackBarSpan bar = MakeTrackBarSpan(geo, TrackBarWidth(geo));
  const auto position = [&](double ms) {
    return PositionForTime(geo, t.record, t.record.StartTime + ms / 86400000.0, bar);
  };
  EXPECT_EQ(position(-1000), kTrackBarMin);
  EXPECT_EQ(position(-86400000.0 * 365 * 3000), kTrackBarMin);
  EXPECT_EQ(position(0), kTrackBarMin);
  EXPECT_EQ(position(100), kTrackBarMax / 2);
  EXPECT_EQ(position(200), kTrackBarMax);
  EXPECT_EQ(position(201), kTrackBarMax - 75);  // after the end: Max - 75, not Max
  EXPECT_EQ(position(86400000.0 * 365 * 3000), kTrackBarMax - 75);
  // The typed time is where the cursor then stands.
  EXPECT_NEAR(CursorTimeOffsetMs(geo, t.record, CursorLineX(bar, position(135))), 135, 1e-9);
}

// --- the all-samples list --------------------------------------------------------------

TEST(SampleList, RowsOfSamplesAndRmsValues) {
  TestRecord t(2, 0, 1000, 50, 40);  // N 20, f1 2
  t.prepare();
  t.data[1][6] = -12.3456;
  std::vector<double> rms0(40), rms1(40);
  rms1[3] = 0.0625;
  const std::vector<std::span<const double>> rms{rms0, rms1};
  SampleListSource waves{t.layout, ViewMode::Waves, t.spans, rms, {}};
  EXPECT_EQ(SampleListRowCount(waves), 40);
  EXPECT_EQ(SampleListRow(waves, 1, 3), (std::array<std::string, 3>{"4", "0.150", "-12.346"}));
  EXPECT_EQ(SampleListRow(waves, 1, 0), (std::array<std::string, 3>{"1", "0.000", "0.000"}));
  SampleListSource rmsView = waves;
  rmsView.mode = ViewMode::Rms;
  EXPECT_EQ(SampleListRow(rmsView, 1, 3), (std::array<std::string, 3>{"4", "0.150", "0.063"}));
}

TEST(SampleList, TwoRatesCountBothAndPlaceTheSecond) {
  TestRecord t(1, 0, 1200, 50, 48, 600, 72);  // N1 24 f1 2, N2 12 f2 3
  t.prepare();
  t.data[0][96 + 3 * 4] = 4.5;  // sample 52
  const SampleListSource source{t.layout, ViewMode::Waves, t.spans, {}, {}};
  EXPECT_EQ(SampleListRowCount(source), 72);
  EXPECT_EQ(SampleListRow(source, 0, 52), (std::array<std::string, 3>{"53", "2.333", "4.500"}));
}

TEST(SampleList, HarmonicListShowsOnlyComputedOrders) {
  // One and a half cycles count as one: room for 30 div 2 - 1 = 14 values, 9 computed.
  TestRecord t(1, 0, 1000, 50, 30);
  auto created = RecordData::Create(t.record);
  ASSERT_TRUE(created.data);
  ASSERT_TRUE(created.data->layout().oneCycle);
  EXPECT_EQ(created.data->harmonics().size(), 14u);
  auto values = created.data->harmonics();
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 1000.0 + static_cast<double>(i);
  const std::span<const double> computed = ComputedHarmonics(*created.data);
  ASSERT_EQ(computed.size(), 9u);
  const SampleListSource source{created.data->layout(), ViewMode::HarmonicBars, {}, {}, computed};
  EXPECT_EQ(SampleListRowCount(source), 9);
  EXPECT_EQ(SampleListRow(source, 0, 0), (std::array<std::string, 3>{"2", "1000.000", ""}));
  EXPECT_EQ(SampleListRow(source, 0, 8), (std::array<std::string, 3>{"10", "1008.000", ""}));
}

// --- numbers in the lists --------------------------------------------------------------

TEST(ValueText, FixedPointLikeTheListsWriteIt) {
  const struct {
    double value;
    int width, decimals;
    const char* text;
  } cases[] = {
      {0, 5, 3, "0.000"},
      {1.5, 5, 3, "1.500"},
      {-2.25, 5, 3, "-2.250"},
      {0.0625, 5, 3, "0.063"},
      {-0.0625, 5, 3, "-0.063"},
      {1.0005, 5, 3, "1.000"},
      {0.0005, 5, 3, "0.001"},
      {0.9995, 5, 3, "1.000"},
      {9.9996, 5, 3, "10.000"},
      {-0.0004, 5, 3, "0.000"},
      {12345.6789, 5, 3, "12345.679"},
      {2863311530.0, 5, 3, "2863311530.000"},
      {1e-300, 5, 3, "0.000"},
      {0.15, 3, 3, "0.150"},
      {0.5, 7, 1, "    0.5"},
      {123.456, 1, 0, "123"},
      {1e20, 5, 3, "100000000000000000000.000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFixed(c.value, c.width, c.decimals), c.text) << c.value;
  EXPECT_EQ(FormatFixed(std::nan(""), 5, 3), "  NAN");
  EXPECT_EQ(FormatFixed(-INFINITY, 5, 3), " -INF");
}

// --- zoom ---------------------------------------------------------------------------

struct ZoomCase {
  const char* name;
  const char* steps;  // '+' enlarges (ZoomOut_TBtn), '-' shrinks (ZoomIn_TBtn)
  bool x, y;
  int changes;
  int levelX, levelY;
  int pixelsPerCycle1, rowHeight, topMargin;
};

TEST(Zoom, LevelsStayWithinFourStepsEachWay) {
  // N 12, f1 3: PixelsPerCycle1 36, which halving does not keep.
  const ZoomCase cases[] = {
      {"five enlarging steps change four times", "+++++", true, false, 4, 4, 0, 576, 120, 90},
      {"five shrinking steps on both axes", "-----", true, true, 4, -4, -4, 2, 0, 30},
      {"both switches off", "+-+", false, false, 0, 0, 0, 36, 120, 90},
      {"vertical only", "++", false, true, 2, 0, 2, 36, 180, 120},
      {"down and back up gives the first scale", "----++++", true, false, 8, 0, 0, 36, 120, 90},
      {"shrink, enlarge past 4", "-+++++++", true, true, 6, 4, 4, 576, 240, 150},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRecord t(1, 0, 600, 50, 120);
    WaveViewport v = InitialViewport(t.layout);
    ASSERT_EQ(v.PixelsPerCycle1, 36);
    int changes = 0;
    for (const char* s = c.steps; *s; ++s)
      changes += ZoomStep(v, t.layout, *s == '+' ? ZoomDirection::Enlarge : ZoomDirection::Shrink, c.x, c.y);
    EXPECT_EQ(changes, c.changes);
    EXPECT_EQ(v.ZoomLevelX, c.levelX);
    EXPECT_EQ(v.ZoomLevelY, c.levelY);
    EXPECT_EQ(v.PixelsPerCycle1, c.pixelsPerCycle1);
    EXPECT_EQ(v.RowHeight, c.rowHeight);
    EXPECT_EQ(v.TopMargin, c.topMargin);
    if (c.levelX == 0 && c.levelY == 0) {
      EXPECT_EQ(v, InitialViewport(t.layout));
    }
  }
}

TEST(Zoom, ReturnGivesTheFirstView) {
  // A second rate of exactly one cycle: the first view does not stretch it, and neither does restoring.
  TestRecord t(1, 0, 1200, 50, 48, 600, 60);
  const WaveViewport first = InitialViewport(t.layout);
  EXPECT_EQ(first.PixelsPerCycle2, 36);
  WaveViewport v = first;
  EXPECT_FALSE(ZoomReturn(v, t.layout)) << "nothing to restore at level 0";
  ASSERT_TRUE(ZoomStep(v, t.layout, ZoomDirection::Shrink, true, true));
  ASSERT_TRUE(ZoomStep(v, t.layout, ZoomDirection::Shrink, true, false));
  EXPECT_EQ(v.PixelsPerCycle1, 12);
  EXPECT_EQ(v.PixelsPerCycle2, 9);
  EXPECT_TRUE(ZoomReturn(v, t.layout));
  EXPECT_EQ(v, first);
  // A one-cycle record keeps its stretch.
  TestRecord one(1, 0, 1000, 50, 20);
  WaveViewport w = SetZoomLevels(one.layout, 2, 0);
  EXPECT_EQ(w.PixelsPerCycle1, 4000);
  EXPECT_TRUE(ZoomReturn(w, one.layout));
  EXPECT_EQ(w.PixelsPerCycle1, 1000);
}

TEST(ScrollShowingTest, KeepsAViewThatShowsTheColumnElseCentresIt) {
  struct Case {
    std::int64_t x, scroll, visible, want;
  };
  for (const Case c : {Case{500, 400, 300, 400}, Case{400, 400, 300, 400}, Case{699, 400, 300, 400},
                       Case{700, 400, 300, 550}, Case{399, 400, 300, 249}, Case{100, 400, 300, 0},
                       Case{32000075, 0, 1000, 31999575}}) {
    EXPECT_EQ(ScrollShowing(c.x, c.scroll, c.visible), c.want) << c.x << " " << c.scroll;
  }
}

}  // namespace
}  // namespace wave
