#include "waveform/view/wave_geometry.h"

#include <gtest/gtest.h>

#include "waveform/view/test_scene.h"

namespace wave {
namespace {

using scenetest::TestRecord;

TEST(WaveGeometry, PixelsPerCycleWhenTheWindowOpens) {
  const struct {
    int samp1, lf, samples, ppc1, stretch;
  } cases[] = {
      {1000, 50, 200, 40, 1},    // N 20, f1 2
      {1000, 50, 20, 1000, 25},  // one cycle: 40 * (512 div 20)
      {1600, 50, 32, 512, 16},   // N 32, f1 1, one cycle
      {30000, 50, 600, 600, 1},  // one cycle of 600 samples: 512 div 600 = 0 keeps the width
      {600, 60, 5, 40, 1},       // N 10, f1 4, less than a cycle
  };
  for (const auto& c : cases) {
    TestRecord t(1, 0, c.samp1, c.lf, c.samples);
    EXPECT_EQ(InitialPixelsPerCycle1(t.layout), c.ppc1) << c.samp1 << "/" << c.lf << "/" << c.samples;
    EXPECT_EQ(OneCycleStretch(t.layout), c.stretch) << c.samp1 << "/" << c.lf << "/" << c.samples;
  }
}

TEST(WaveGeometry, OneCycleRecordOfManySamplesSizesItsBarViewWithoutDividingByZero) {
  TestRecord t(1, 0, 30000, 50, 600);
  t.setRow(0, {0});
  const WaveGeometry geo = t.prepare();
  const Size s = PaintBoxSize(geo, ViewMode::HarmonicBars, {100, 300});
  EXPECT_EQ(s.width, (600 / 2) * 16 + 75 + 40);
  EXPECT_EQ(s.height, 300);
}

TEST(WaveGeometry, PointsOfAFractionalStepRoundHalvesToEven) {
  TestRecord t(1, 0, 1000, 50, 200);  // f1 2, 40 points a cycle
  t.viewport.PixelsPerCycle1 = 20;    // half a pixel a point
  const WaveGeometry geo = MakeWaveGeometry(t.layout, t.viewport, t.options);
  EXPECT_FLOAT_EQ(geo.XStep1, 0.5f);
  const std::int64_t expected[] = {75, 76, 76, 76, 77, 78, 78, 78, 79};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(geo.xOfPoint1(i), expected[i]) << "point " << i;
}

TEST(WaveGeometry, SecondRateContinuesAfterTheFirst) {
  TestRecord t(1, 1, 1000, 50, 40, 500, 60);  // N 20 f1 2; N2 10 f2 4
  const WaveGeometry geo = MakeWaveGeometry(t.layout, t.viewport, t.options);
  EXPECT_EQ(geo.P1, 80);
  EXPECT_EQ(geo.P2, 80);
  EXPECT_EQ(geo.pixelsPerCycle2, 40);
  EXPECT_EQ(geo.xOfPoint2(0), 75 + 80);
  EXPECT_EQ(geo.xOfPoint2(4), 75 + 80 + 4);
  EXPECT_EQ(geo.cycles, 2 + 2);
  EXPECT_EQ(geo.recordWidth(), 80 + 80);
  // Digital samples: 40 div 20 = 2 pixels in the first rate, 40 div 10 = 4 in the second.
  EXPECT_EQ(geo.xOfDigital(39), 75 + 78);
  EXPECT_EQ(geo.xOfDigital(40), 75 + 80);
  EXPECT_EQ(geo.xOfDigital(41), 75 + 84);
  // Where a cycle's pixels are no multiple of its samples: the exact positions,
  // halves to the even neighbour.
  t.viewport.PixelsPerCycle1 = 30;
  const WaveGeometry odd = MakeWaveGeometry(t.layout, t.viewport, t.options);
  EXPECT_EQ(odd.xOfDigital(1), 75 + 2);    // 1.5
  EXPECT_EQ(odd.xOfDigital(3), 75 + 4);    // 4.5
  EXPECT_EQ(odd.xOfDigital(39), 75 + 58);  // 58.5
  EXPECT_EQ(odd.xOfDigital(40), 75 + 60);
  EXPECT_EQ(odd.xOfDigital(41), 75 + 63);  // 60 + 3
  t.viewport.PixelsPerCycle1 = 5;
  const WaveGeometry narrow = MakeWaveGeometry(t.layout, t.viewport, t.options);
  EXPECT_EQ(narrow.xOfDigital(2), 75 + 0);   // 0.5
  EXPECT_EQ(narrow.xOfDigital(6), 75 + 2);   // 1.5
  EXPECT_EQ(narrow.xOfDigital(40), 75 + 10);
  EXPECT_EQ(narrow.xOfDigital(41), 75 + 10);  // 10.5
  EXPECT_EQ(narrow.xOfDigital(43), 75 + 12);  // 11.5
  EXPECT_EQ(TrackBarWidth(geo), 40 / 20 * 40 + 20 / 10 * 40 + 18);
}

TEST(WaveGeometry, PaintBoxSizeFollowsRowsAndDigitalLanes) {
  TestRecord t(2, 1, 1000, 50, 200);
  t.setRow(0, {0});
  t.setRow(3, {1});
  t.setDigital({0});
  const WaveGeometry geo = MakeWaveGeometry(t.layout, t.viewport, t.options);
  EXPECT_EQ(geo.R, 2);
  EXPECT_EQ(geo.Dg, 40);  // (120 div 4) * 1 + 10
  const std::int64_t wn = 200 * 40 / 20 + 75;
  EXPECT_EQ(PaintBoxSize(geo, ViewMode::Waves, {300, 200}), (Size{wn + 40, 2 * 120 + 90 + 40 - 30}));
  EXPECT_EQ(PaintBoxSize(geo, ViewMode::Rms, {9000, 900}), (Size{9000, 900}));
  EXPECT_EQ(TrackBarWidth(geo), 400 + 18);
}

TEST(WaveGeometry, ListFontColourSwitchesAtHalfWhite) {
  EXPECT_EQ(ListFontColor(0x7FFFFE), kWhite);
  EXPECT_EQ(ListFontColor(0x7FFFFF), kBlack);
  EXPECT_EQ(ListFontColor(0xE9FFBE), kBlack);
}

TEST(WaveGeometry, WindowOptionsGoBothWays) {
  DisplaySettings settings;
  settings.ChannelGroups[2].Count = 1;
  settings.ChannelGroups[2].Channel[0] = 5;
  settings.ChannelGroupCount = 1;
  settings.ShowGridY = 0;
  WindowOptions o = WindowOptions::From(settings);
  EXPECT_EQ(o.rowsInUse(), 1);
  EXPECT_EQ(o.WindowGridY, 0);
  DisplaySettings other;
  o.WriteTo(other);
  EXPECT_EQ(other.ChannelGroups, settings.ChannelGroups);
  EXPECT_EQ(other.ShowGridY, 0);
  EXPECT_EQ(ChannelTraceColor(settings.ChannelColors, 23), settings.ChannelColors[3]);
}

}  // namespace
}  // namespace wave
