#include "waveform/ui/fault_wave_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTest>
#include <QTreeWidget>

#include <fstream>

#include "common/lang/translateform.h"
#include "waveform/model/datafile.h"
#include "waveform/ui/fault_wave_form_fixture.h"

namespace wave {
namespace {

using uitest::FaultWaveFormTest;
using uitest::RecordingServices;
using uitest::smallSpec;

TEST_F(FaultWaveFormTest, OpensWithCaptionListsAndStatus) {
  chooseChannels({{0, 1}, {2}}, {0, 1});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "small")));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->property(lang::kFormClassProperty).toString(), QStringLiteral("TFaultWaveForm"));
  EXPECT_EQ(w->windowTitle(), QStringLiteral("small.cfg"));
  EXPECT_EQ(area.activeSubWindow()->windowTitle(), QStringLiteral("small.cfg"));
  EXPECT_EQ(w->statusText(0), QStringLiteral("Station A  rec 7"));
  EXPECT_TRUE(w->statusText(1).startsWith(QStringLiteral("起始时间:")));
  EXPECT_TRUE(w->statusText(1).contains(QStringLiteral("  触发时间:")));
  w->setClockText(QStringLiteral("12:00:00"));
  EXPECT_EQ(w->statusText(2), QStringLiteral("12:00:00"));

  auto* list = child<QTreeWidget>(w, "RealTimeDataListView");
  ASSERT_EQ(list->topLevelItemCount(), 4);  // three channels and the difference row
  EXPECT_EQ(list->topLevelItem(3)->text(0), QStringLiteral("△"));
  EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(list->topLevelItem(3)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("通道"));
  auto* combo = child<QComboBox>(w, "Channel_ComboBox");
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(combo->itemText(0), list->topLevelItem(0)->text(0));
  auto* pages = child<QTabWidget>(w, "FW_Info_PageControl");
  EXPECT_EQ(pages->tabText(0), QStringLiteral("当前数据"));
  EXPECT_EQ(pages->tabText(1), QStringLiteral("原始采样点"));
  EXPECT_EQ(w->action("RMS_HD_TBtn")->toolTip(), QStringLiteral("显示RMS曲线"));
  EXPECT_TRUE(w->action("Wave_TBtn")->isChecked());
  EXPECT_EQ(w->viewMode(), ViewMode::Waves);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(FaultWaveFormTest, ComponentsCarryTheirFormNames) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "names")));
  ASSERT_NE(w, nullptr);
  for (const char* name : {"InfoWindow_TBtn", "Options_TBtn", "Wave_TBtn", "RMS_HD_TBtn", "Print_TBtn", "ZoomOut_TBtn",
                           "ZoomIn_TBtn", "Return_TBtn", "X_TBtn", "Y_TBtn", "btnExportData"})
    EXPECT_NE(w->action(name), nullptr) << name;
  for (const char* name : {"ToolBar1", "Panel1", "FW_Panel", "FW_Info_PageControl", "Splitter1", "FW_ScrollBox",
                           "FW_PaintBox", "sgData", "StatusBar", "RealTimeDataTabSheet", "FaultimePanel", "Label1",
                           "FaulttimeEdit", "RealTimeDataListView", "AllDataTabSheet", "ComboBox_Panel", "Label2",
                           "Channel_ComboBox", "AllDataListView"})
    EXPECT_NE(child<QWidget>(w, name), nullptr) << name;
  EXPECT_FALSE(child<QWidget>(w, "sgData")->isVisible());
  EXPECT_EQ(w->action("Options_TBtn")->toolTip(), QStringLiteral("选择故障通道"));
}

// The value column of the data panel lies wholly inside the list and shows
// every value in full, whatever the panel's width and whether the list needs a
// scroll bar for many channels.
TEST_F(FaultWaveFormTest, ValuesAtTheCursorFitInTheDataPanel) {
  for (const int channels : {3, 40}) {
    recordgen::RecordSpec spec = smallSpec();
    spec.analog = channels;  // values up to some -264000.000 in the fault
    chooseChannels({{0, 1}});
    TFaultWaveForm* w = open(setupFor(written(spec, "panel" + std::to_string(channels))));
    ASSERT_NE(w, nullptr);
    auto* list = child<QTreeWidget>(w, "RealTimeDataListView");
    auto* splitter = child<QSplitter>(w, "Splitter1");
    // The room an item view leaves for text beside a cell's edges.
    const int textMargins = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
    qsizetype longest = 0;
    const auto expectBothColumnsShown = [&](const char* when) {
      settle();
      const QRect value = list->visualItemRect(list->topLevelItem(0));
      const int valueWidth = list->header()->sectionSize(1);
      EXPECT_GE(valueWidth, 75) << channels << " " << when;
      EXPECT_GT(list->header()->sectionSize(0), 0) << channels << " " << when;
      for (int i = 0; i < channels; ++i) {
        const QString text = list->topLevelItem(i)->text(1);
        longest = std::max(longest, text.size());
        EXPECT_LE(QFontMetricsF(list->font()).horizontalAdvance(text) + textMargins, valueWidth)
            << channels << " " << when << ": " << text.toStdString() << " is cut";
      }
      EXPECT_LE(list->header()->sectionPosition(1) + list->header()->sectionSize(1), list->viewport()->width())
          << channels << " " << when;
      EXPECT_LE(value.right(), list->viewport()->rect().right()) << channels << " " << when;
      EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << channels << " " << when;
    };
    expectBothColumnsShown("at the start");
    for (const int percent : {10, 45, 50, 90}) {
      w->trackBar()->setValue(kTrackBarMax / 100 * percent);
      expectBothColumnsShown("in the fault and beside it");
    }
    EXPECT_GE(longest, QStringLiteral("-76054.000").size()) << channels << ": the long values were met";
    w->action("InfoWindow_TBtn")->trigger();
    w->action("InfoWindow_TBtn")->trigger();  // shown again at its own width
    expectBothColumnsShown("shown again");
    const int narrow = list->header()->sectionSize(0);
    auto* panel = child<QWidget>(w, "FW_Panel");
    const int before = panel->width();
    splitter->setSizes({320, 600});
    expectBothColumnsShown("widened");
    // Widened as far as the names need: they take the room won.
    EXPECT_EQ(panel->width(), std::min(320, panel->maximumWidth())) << channels;
    if (panel->width() > before) {
      EXPECT_GT(list->header()->sectionSize(0), narrow) << channels << ": the names take the room won";
    }
    area.closeAllSubWindows();
    settle();
  }
}

TEST_F(FaultWaveFormTest, PaintsBackgroundTracesAndGrid) {
  chooseChannels({{0}, {1}}, {0});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "paint")));
  ASSERT_NE(w, nullptr);
  const QImage image = paintBoxImage(w);
  const TColor background = settings.ChannelColors[kBackgroundColor];
  EXPECT_EQ(at(image, image.width() - 5, image.height() - 5), background);
  EXPECT_EQ(at(image, 5, 5), background);
  // The first row's trace crosses its zero line somewhere in its colour.
  int trace = 0, grid = 0;
  for (int x = 80; x < 75 + 400; ++x) {
    for (int y = 90 - 60; y <= 90 + 60; ++y) trace += at(image, x, y) == settings.ChannelColors[0];
    grid += at(image, x, 30) == settings.ChannelColors[kGridColor];
  }
  EXPECT_GT(trace, 100);
  EXPECT_GT(grid, 50) << "the dotted top line of the first row";

  // Both grids off: no dotted lines, ticks or cycle numbers.
  settings.ShowGridX = 0;
  settings.ShowGridY = 0;
  settings.OptionsAccepted = 1;
  w->paintBox()->repaint();
  settle();
  EXPECT_EQ(settings.OptionsAccepted, 0);
  const QImage bare = paintBoxImage(w);
  int gridPixels = 0;
  for (int y = 24; y < 90 + 60 + 40; ++y)
    for (int x = 75 + 1; x < 75 + 395; ++x) gridPixels += at(bare, x, y) == settings.ChannelColors[kGridColor];
  EXPECT_EQ(gridPixels, 0);
  const std::filesystem::path shot = std::filesystem::path(WAVE_UI_ARTEFACT_DIR) / "record_window_nogrid.png";
  bare.save(QString::fromStdString(shot.string()));
}

// Names alike but for a middle part read apart in the value list, and the
// user drags the data panel wider, up to where every name shows whole; the
// panel keeps that width when it is hidden and shown again.
TEST_F(FaultWaveFormTest, DataPanelWidensToWholeNamesAndNamesReadApart) {
  recordgen::RecordSpec spec = smallSpec();
  spec.analog = 4;
  TcfgInfo record = written(spec, "names");
  const char* names[] = {"SRC 1  Vag Mag", "SRC 1  Vag Angle", "SRC 2  Vag Mag", "SRC 2  Vag Angle"};
  for (int i = 0; i < 4; ++i) record.AInfo[static_cast<std::size_t>(i)].ch_id = names[i];
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(record));
  ASSERT_NE(w, nullptr);
  area.activeSubWindow()->resize(1200, 557);
  settle();
  auto* list = child<QTreeWidget>(w, "RealTimeDataListView");
  auto* panel = child<QWidget>(w, "FW_Panel");
  auto* splitter = child<QSplitter>(w, "Splitter1");
  const auto shownNames = [&] {
    QStringList shown;
    for (int i = 0; i < 4; ++i) shown.append(list->topLevelItem(i)->text(0));
    return shown;
  };
  const int first = panel->width();
  QStringList shown = shownNames();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < i; ++j) EXPECT_NE(shown[i], shown[j]) << shown[i].toStdString();

  // Dragged as far as it goes: no wider than the names need, and each whole.
  QSplitterHandle* handle = splitter->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip + QPoint(600, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(600, 0));
  settle();
  EXPECT_GT(panel->width(), first);
  EXPECT_LT(panel->width(), first + 300) << "no wider than the longest name needs";
  EXPECT_EQ(shownNames().join(QLatin1Char('|')).toStdString(),
            QStringList(std::begin(names), std::end(names)).join(QLatin1Char('|')).toStdString())
      << "panel " << panel->width() << ", name column " << list->header()->sectionSize(0);
  const QFontMetrics metrics(list->font());
  for (int i = 0; i < 4; ++i)
    EXPECT_LE(metrics.horizontalAdvance(list->topLevelItem(i)->text(0)) + 20, list->header()->sectionSize(0)) << i;

  const int dragged = panel->width();
  w->InfoWindow_TBtnClick();
  settle();
  EXPECT_EQ(panel->width(), 0);
  w->InfoWindow_TBtnClick();
  settle();
  EXPECT_EQ(panel->width(), dragged) << "the width the user gave it";
}

// The clock shows whole in a window of any width; the panels beside it give
// way and never overlap it or each other (vertical tiling of four windows).
TEST_F(FaultWaveFormTest, StatusPanelsNeverOverlap) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "status")));
  ASSERT_NE(w, nullptr);
  w->setClockText(QStringLiteral("2026/12/10 10:49:33"));
  for (int width : {1400, 942, 700, 340}) {
    area.activeSubWindow()->resize(width, 557);
    settle();
    auto* clock = child<QLabel>(w, "StatusPanel2");
    EXPECT_GE(clock->contentsRect().width(), clock->fontMetrics().horizontalAdvance(clock->text())) << width;
    int right = 0;
    for (const char* name : {"StatusPanel0", "StatusPanel1", "StatusPanel2"}) {
      const QLabel* panel = child<QLabel>(w, name);
      if (panel->width() == 0) continue;
      EXPECT_GE(panel->x(), right) << name << " at " << width;
      right = panel->geometry().right() + 1;
    }
    EXPECT_LE(right, w->width()) << width;
  }
}

TEST_F(FaultWaveFormTest, SavesAScreenshotOfARecordWindow) {
  recordgen::RecordSpec spec = smallSpec();
  spec.analog = 6;
  spec.digital = 4;
  spec.rates = {{2000, 1200}};
  chooseChannels({{0, 1, 2}, {3, 4, 5}}, {0, 1, 2, 3});
  TFaultWaveForm* w = open(setupFor(written(spec, "screenshot")));
  ASSERT_NE(w, nullptr);
  area.activeSubWindow()->resize(1100, 700);
  settle();
  w->trackBar()->setValue(kTrackBarMax / 3);
  settle();
  const std::filesystem::path shot = std::filesystem::path(WAVE_UI_ARTEFACT_DIR) / "record_window.png";
  ASSERT_TRUE(area.grab().save(QString::fromStdString(shot.string())));
  expectWavePicture(w, {{0, 1, 2}, {3, 4, 5}}, true);
}

TEST_F(FaultWaveFormTest, ActivationHandsTheWindowsOptionsToTheSettings) {
  chooseChannels({{0, 1}});
  TFaultWaveForm* first = open(setupFor(written(smallSpec(), "first")));
  chooseChannels({{2}, {}, {1}}, {1});
  TFaultWaveForm* second = open(setupFor(written(smallSpec(), "second")));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->windowOptions().WindowGroups[2].Count, 1);
  area.setActiveSubWindow(area.subWindowList()[0]);
  settle();
  EXPECT_EQ(settings.ChannelGroups[0].Count, 2);
  EXPECT_EQ(settings.ChannelGroups[2].Count, 0);
  EXPECT_EQ(settings.DigitalSelection.Count, 0);
  // Options accepted for the active window are not taken by the other one.
  settings.ChannelGroups[5] = {1, {2, 0, 0, 0}, {2, 0, 0, 0}};
  settings.OptionsAccepted = 1;
  second->paintBox()->repaint();
  EXPECT_EQ(settings.OptionsAccepted, 1);
  EXPECT_EQ(second->windowOptions().WindowGroups[5].Count, 0);
  first->paintBox()->repaint();
  EXPECT_EQ(settings.OptionsAccepted, 0);
  EXPECT_EQ(first->windowOptions().WindowGroups[5].Count, 1);
}

TEST_F(FaultWaveFormTest, OptionsButtonShowsTheDialogForThisRecord) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "options")));
  ASSERT_NE(w, nullptr);
  host.onDialog = [](TOptionsDlg& dialog) {
    EXPECT_EQ(dialog.findChild<QListWidget*>(QStringLiteral("AnalogListBox"))->count(), 3);
    EXPECT_EQ(dialog.axisList(0)->count(), 1) << "the window's own axes";
    dialog.dropItem(dialog.findChild<QListWidget*>(QStringLiteral("AnalogListBox")), 2, dialog.axisList(3));
    dialog.OKBtnClick();
  };
  w->action("Options_TBtn")->trigger();
  EXPECT_EQ(host.record_.CfgPath, w->WindowRecord().CfgPath);
  EXPECT_EQ(w->scales().ScalesDirty, 1);
  w->paintBox()->repaint();
  EXPECT_EQ(w->windowOptions().WindowGroups[3].Count, 1);
  EXPECT_EQ(w->scales().ScalesDirty, 0);
}

TEST_F(FaultWaveFormTest, ViewButtonsFollowTheRecord) {
  chooseChannels({{0}});
  recordgen::RecordSpec positive = smallSpec();
  positive.amplitude = 1000;
  positive.faultGain = 1;
  positive.offset = 5000;  // no negative sample: nothing is interpolated, no RMS view
  TFaultWaveForm* plain = open(setupFor(written(positive, "positive")));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->NoNegativeSamples(), 1);
  EXPECT_FALSE(plain->action("Wave_TBtn")->isEnabled());
  EXPECT_TRUE(plain->action("RMS_HD_TBtn")->isChecked());
  plain->action("RMS_HD_TBtn")->trigger();
  EXPECT_EQ(plain->viewMode(), ViewMode::Waves);

  TFaultWaveForm* waves = open(setupFor(written(smallSpec(), "negative")));
  ASSERT_NE(waves, nullptr);
  EXPECT_EQ(waves->NoNegativeSamples(), 0);
  waves->action("RMS_HD_TBtn")->trigger();
  EXPECT_EQ(waves->viewMode(), ViewMode::Rms);
  EXPECT_EQ(child<QTabWidget>(waves, "FW_Info_PageControl")->tabText(1), QStringLiteral("RMS数据点"));
  waves->action("Wave_TBtn")->trigger();
  EXPECT_EQ(waves->viewMode(), ViewMode::Waves);

  waves->action("InfoWindow_TBtn")->trigger();
  EXPECT_FALSE(waves->DataPanelShown());
  EXPECT_EQ(waves->action("InfoWindow_TBtn")->toolTip(), QStringLiteral("显示数据窗口"));
  EXPECT_FALSE(waves->trackBar()->isVisible());
  waves->action("InfoWindow_TBtn")->trigger();
  EXPECT_TRUE(waves->DataPanelShown());
  EXPECT_EQ(waves->action("InfoWindow_TBtn")->toolTip(), QStringLiteral("隐藏数据窗口"));
}

TEST_F(FaultWaveFormTest, OneCycleOfManySamplesOpensAndShowsItsBars) {
  recordgen::RecordSpec spec = smallSpec();
  spec.rates = {{30000, 600}};  // one cycle of 600 samples at 50 Hz
  chooseChannels({{0, 1}});
  TFaultWaveForm* w = open(setupFor(written(spec, "onecycle")));
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->viewport().PixelsPerCycle1, 600);
  EXPECT_EQ(w->action("RMS_HD_TBtn")->toolTip(), QStringLiteral("显示谐波棒图"));
  EXPECT_EQ(w->NoNegativeSamples(), 0);
  w->action("RMS_HD_TBtn")->trigger();
  settle();
  EXPECT_EQ(w->viewMode(), ViewMode::HarmonicBars);
  EXPECT_FALSE(w->trackBar()->isVisible());
  EXPECT_FALSE(child<QTabWidget>(w, "FW_Info_PageControl")->isTabVisible(0));
  EXPECT_GE(w->contentSize().width, (600 / 2) * 16 + 75);
}

TEST_F(FaultWaveFormTest, RecordsItCannotShowNeverReachTheWindow) {
  chooseChannels({{0}});
  TcfgInfo wide = written(smallSpec(), "wide");
  wide.TT = 501;
  wide.D = static_cast<std::uint16_t>(501 - wide.A);
  wide.DInfo.resize(wide.D);
  EXPECT_EQ(TFaultWaveForm::Create(setupFor(wide)), nullptr);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].message.textKeys(), std::vector<std::string>{"str47"});

  TcfgInfo noCycle = written(smallSpec(), "nocycle");
  noCycle.samp1 = 20;  // below the line frequency: no sample in a cycle
  EXPECT_EQ(TFaultWaveForm::Create(setupFor(noCycle)), nullptr);

  RecordWindowSetup tooLarge = setupFor(written(smallSpec(), "large"));
  tooLarge.limits.maxBytes = 1024;
  EXPECT_EQ(TFaultWaveForm::Create(tooLarge), nullptr);
  ASSERT_EQ(services.messages.size(), 3u);
  EXPECT_EQ(services.messages[2].message.section, "Strings_FaultWave_Form");

  // Within every cap but larger than the address space: the memory cannot be had.
  TcfgInfo huge = written(smallSpec(), "huge");
  huge.endsamp1 = std::numeric_limits<std::int32_t>::max();
  RecordWindowSetup noMemory = setupFor(huge);
  noMemory.limits.maxBytes = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(TFaultWaveForm::Create(noMemory), nullptr);
  ASSERT_EQ(services.messages.size(), 4u);
  EXPECT_EQ(services.messages[3].message.textKeys(), std::vector<std::string>{"str55"});
}

// A window owns only the pair handed to it (one written from the database for
// it): closing the window deletes that pair, while the files of a window that
// was handed none stay. A refused record leaves the pair with whoever handed
// it over, so that its opening deletes it.
TEST_F(FaultWaveFormTest, ClosingDeletesOnlyTheFilesHandedToTheWindow) {
  for (const bool handed : {false, true}) {
    SCOPED_TRACE(handed);
    chooseChannels({{0}});
    const TcfgInfo record = written(smallSpec(), handed ? "handed" : "kept");
    const std::string cfg = record.CfgPath;
    const std::string dat = DatPartnerPath(cfg);
    RecordFiles files = handed ? RecordFiles(cfg) : RecordFiles();
    RecordWindowSetup setup = setupFor(record, handed ? stationdb::kSourceAutomation : stationdb::kSourceFolder);
    setup.recordFiles = &files;
    TFaultWaveForm* w = open(setup);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(files.empty()) << "the window took the files over";
    ASSERT_TRUE(std::filesystem::exists(cfg));
    area.activeSubWindow()->close();
    settle();
    EXPECT_EQ(!std::filesystem::exists(cfg), handed);
    EXPECT_EQ(!std::filesystem::exists(dat), handed);
  }
  EXPECT_TRUE(area.subWindowList().isEmpty());

  const TcfgInfo refused = written(smallSpec(), "refused");
  RecordFiles files(refused.CfgPath);
  RecordWindowSetup setup = setupFor(refused, stationdb::kSourceAutomation);
  setup.recordFiles = &files;
  setup.limits.maxBytes = 1024;  // over the buffer cap
  EXPECT_EQ(TFaultWaveForm::Create(setup), nullptr);
  EXPECT_EQ(files.cfgPath(), refused.CfgPath);
  EXPECT_TRUE(std::filesystem::exists(refused.CfgPath));
}

}  // namespace
}  // namespace wave
