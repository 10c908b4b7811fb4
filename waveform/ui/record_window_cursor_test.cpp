// The record window's cursor, value lists, zoom, drag scrolling and its RMS
// and bar views, offscreen, on generated records and on a sample record.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStyleOptionFrame>
#include <QStyle>
#include <QLabel>
#include <QMdiSubWindow>
#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <cmath>

#include "common/datetime.h"
#include "waveform/model/cfgopen.h"
#include "waveform/ui/fault_wave_form_fixture.h"
#include "waveform/ui/sample_list_model.h"
#include "waveform/view/value_text.h"

namespace wave {
namespace {

using uitest::FaultWaveFormTest;
using uitest::smallSpec;

// Reads a .cfg as the main window does, choosing the channels itself.
class SampleOpener : public RecordOpener {
 public:
  explicit SampleOpener(DisplaySettings& settings) : settings_(settings) {}
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return false; }
  DisplaySettings& displaySettings() override { return settings_; }
  void setRecord(const TcfgInfo& r) override { record = r; }
  OptionsDialogResult showOptionsDialog() override { return {true, true}; }
  void createRecordWindow(const std::string&, RecordFiles) override { created = true; }

  TcfgInfo record;
  bool created = false;

 private:
  DisplaySettings& settings_;
};

class RecordWindowCursorTest : public FaultWaveFormTest {
 protected:
  QString listValue(TFaultWaveForm* w, int item) const {
    return child<QTreeWidget>(w, "RealTimeDataListView")->topLevelItem(item)->text(1);
  }
  static QString cell(TFaultWaveForm* w, int row, int column) {
    return w->allDataModel()->data(w->allDataModel()->index(row, column)).toString();
  }
  static std::filesystem::path artefact(const char* name) { return std::filesystem::path(WAVE_UI_ARTEFACT_DIR) / name; }
};

TEST_F(RecordWindowCursorTest, CursorAtTheRightEndReadsTheLastSample) {
  chooseChannels({{0, 1}, {2}}, {0});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "rightend")));
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->NoNegativeSamples(), 0);
  auto data = w->data();
  const auto start = w->WindowRecord().StartTime;
  EXPECT_EQ(child<QLineEdit>(w, "FaulttimeEdit")->text(),
            QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start)));
  EXPECT_EQ(w->CursorX(), 75) << "the line starts at the time origin";

  w->trackBar()->setValue(kTrackBarMax);
  // 200 samples of 40 pixels a cycle: the line at L + 400, the last of 400 points read.
  EXPECT_EQ(w->CursorX(), 475);
  EXPECT_EQ(child<QLineEdit>(w, "FaulttimeEdit")->text(),
            QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + 200 / 86400000.0)));
  EXPECT_EQ(child<QLineEdit>(w, "FaulttimeEdit")->cursorPosition(), 0) << "the date stays in view";
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(listValue(w, i), QString::fromStdString(FormatFixed(data->samples(i)[399], 5, 3))) << i;
  auto* list = child<QTreeWidget>(w, "RealTimeDataListView");
  EXPECT_EQ(list->topLevelItem(3)->text(0), QStringLiteral("△")) << "the difference row waits for its check";

  list->topLevelItem(3)->setCheckState(0, Qt::Checked);
  list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  const QString before = listValue(w, 0);
  w->trackBar()->setValue(kTrackBarMax / 2);
  EXPECT_EQ(w->CursorX(), 275);
  EXPECT_EQ(listValue(w, 0), before) << "an unchecked channel keeps its value";
  EXPECT_EQ(list->topLevelItem(3)->text(0),
            QStringLiteral("|%1-%2|").arg(list->topLevelItem(1)->text(0), list->topLevelItem(2)->text(0)));
  const double v1 = data->samples(1)[200], v2 = data->samples(2)[200];
  EXPECT_EQ(list->topLevelItem(3)->text(1), QString::fromStdString(FormatFixed(std::fabs(v1 - v2), 5, 3)));

  // The line is drawn last, in XOR, across the rows and the lane.
  const QImage image = paintBoxImage(w);
  const TColor background = settings.ChannelColors[kBackgroundColor];
  EXPECT_EQ(at(image, 275, 40), background ^ 0xFF0000);
  EXPECT_EQ(at(image, 276, 40), background);
  EXPECT_EQ(at(image, 275, 25), background) << "above the first row";
}

TEST_F(RecordWindowCursorTest, PressOnTheTrackBarJumpsThere) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "jump")));
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->trackBar()->width(), 418);
  w->TrackBarMouseDown(Qt::RightButton, 210);
  EXPECT_EQ(w->trackBar()->value(), 0);
  QTest::mousePress(w->trackBar(), Qt::LeftButton, Qt::NoModifier, QPoint(210, 10));
  QTest::mouseRelease(w->trackBar(), Qt::LeftButton, Qt::NoModifier, QPoint(210, 10));
  EXPECT_EQ(w->trackBar()->value(), kTrackBarMax / 2);
  EXPECT_EQ(w->CursorX(), 275);
  // With the data window hidden the track bar is gone and does nothing.
  w->InfoWindow_TBtnClick();
  w->TrackBarMouseDown(Qt::LeftButton, 10);
  EXPECT_EQ(w->trackBar()->value(), kTrackBarMax / 2);
}

TEST_F(RecordWindowCursorTest, TypedTimesMoveTheCursor) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "typed")));
  ASSERT_NE(w, nullptr);
  auto* edit = child<QLineEdit>(w, "FaulttimeEdit");
  const auto start = w->WindowRecord().StartTime;
  const auto typed = [&](double ms) {
    edit->setText(QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + ms / 86400000.0)));
    w->FaulttimeEditExit();
    return w->trackBar()->value();
  };
  EXPECT_EQ(typed(100), kTrackBarMax / 2);
  EXPECT_EQ(w->CursorX(), 275);
  EXPECT_EQ(edit->text(), QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + 0.1 / 86400)));
  EXPECT_EQ(typed(-5000), kTrackBarMin);
  EXPECT_EQ(typed(5000), kTrackBarMax - 75);
  EXPECT_TRUE(services.messages.empty());

  w->trackBar()->setValue(kTrackBarMax / 4);
  edit->setText(QStringLiteral("15:20 yesterday"));
  w->FaulttimeEditExit();
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].message.textKeys(), std::vector<std::string>{"str30"});
  EXPECT_EQ(services.messages[0].message.caption.key, "str31");
  EXPECT_EQ(services.messages[0].text, QStringLiteral("时间输入有误，请检查"));
  EXPECT_EQ(services.messages[0].message.icon, common::MessageIcon::Warning);
  EXPECT_EQ(w->trackBar()->value(), kTrackBarMax / 4) << "the cursor stays";

  // Enter ends the entry: the focus goes to the status bar, and leaving the field reads it.
  QApplication::setActiveWindow(&area);
  edit->setFocus();
  settle();
  ASSERT_EQ(QApplication::focusWidget(), edit);
  edit->setText(QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + 0.03 / 86400)));
  QTest::keyClick(edit, Qt::Key_Return);
  settle();
  EXPECT_EQ(QApplication::focusWidget(), child<QStatusBar>(w, "StatusBar"));
  EXPECT_EQ(w->trackBar()->value(), kTrackBarMax / 100 * 15) << "30 ms of 200";
}

TEST_F(RecordWindowCursorTest, ZoomStepsAndRestore) {
  chooseChannels({{0, 1}, {2}}, {0, 1});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "zoom")));
  ASSERT_NE(w, nullptr);
  const WaveViewport first = w->viewport();
  const std::int64_t firstHeight = w->contentSize().height;
  w->trackBar()->setValue(kTrackBarMax / 2);
  w->ZoomOut_TBtnClick();
  EXPECT_EQ(w->viewport(), first) << "both axis switches are off";

  w->action("X_TBtn")->trigger();
  EXPECT_TRUE(w->XZoomOn());
  for (int i = 0; i < 5; ++i) w->action("ZoomOut_TBtn")->trigger();
  EXPECT_EQ(w->viewport().ZoomLevelX, 4);
  EXPECT_EQ(w->viewport().PixelsPerCycle1, 640);
  EXPECT_EQ(w->contentSize().width, 10 * 640 + 75 + 40);
  EXPECT_EQ(w->trackBar()->barWidth(), 10 * 640 + 18);
  EXPECT_EQ(w->CursorX(), 75 + 5 * 640) << "the cursor keeps its time";

  w->action("Y_TBtn")->trigger();
  for (int i = 0; i < 9; ++i) w->action("ZoomIn_TBtn")->trigger();
  EXPECT_EQ(w->viewport().ZoomLevelX, -4);
  EXPECT_EQ(w->viewport().ZoomLevelY, -4);
  EXPECT_EQ(w->viewport().RowHeight, 0);
  paintBoxImage(w);  // rows of no height paint
  w->action("Return_TBtn")->trigger();
  EXPECT_EQ(w->viewport(), first);
  EXPECT_EQ(w->CursorX(), 275);
  EXPECT_EQ(w->contentSize().height, firstHeight);
  EXPECT_EQ(child<QAbstractScrollArea>(w, "FW_ScrollBox")->horizontalScrollBar()->value(), 0);
}

TEST_F(RecordWindowCursorTest, TypedTimeOutOfSightBringsTheViewToTheCursor) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "typedview")));
  ASSERT_NE(w, nullptr);
  w->action("X_TBtn")->trigger();
  for (int i = 0; i < 4; ++i) w->ZoomOut_TBtnClick();  // 640 pixels a cycle: 6400 for the record
  settle();
  QScrollBar* h = child<QAbstractScrollArea>(w, "FW_ScrollBox")->horizontalScrollBar();
  const int shown = w->paintBox()->width();
  ASSERT_LT(shown, 6000);
  auto* edit = child<QLineEdit>(w, "FaulttimeEdit");
  const auto start = w->WindowRecord().StartTime;
  const auto typed = [&](double ms) {
    edit->setText(QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + ms / 86400000.0)));
    w->FaulttimeEditExit();
  };
  const auto inSight = [&] { return w->CursorX() >= h->value() && w->CursorX() < h->value() + shown; };
  typed(150);  // cycle 7.5: x = 75 + 4800
  EXPECT_EQ(w->CursorX(), 75 + 4800);
  EXPECT_TRUE(inSight()) << h->value();
  EXPECT_EQ(h->value(), 75 + 4800 - shown / 2) << "the cursor comes to the middle";
  const int before = h->value();
  typed(151);  // still in sight: the view stays
  EXPECT_EQ(h->value(), before);
  typed(5);
  EXPECT_TRUE(inSight()) << h->value();
  EXPECT_EQ(h->value(), 0) << "not scrolled past the start";
  typed(5000);  // after the end: Max - 75
  EXPECT_TRUE(inSight()) << h->value();
}

// Zooming keeps the cursor's time where it stands on screen; without a cursor
// in sight, the time at the view's centre.
TEST_F(RecordWindowCursorTest, ZoomKeepsTheCursorsTimeInPlace) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "zoomkeeps")));
  ASSERT_NE(w, nullptr);
  QScrollBar* h = child<QAbstractScrollArea>(w, "FW_ScrollBox")->horizontalScrollBar();
  auto* edit = child<QLineEdit>(w, "FaulttimeEdit");
  w->action("X_TBtn")->trigger();
  w->ZoomOut_TBtnClick();
  w->ZoomOut_TBtnClick();  // 160 pixels a cycle: 1600 for the record
  settle();
  const common::TDateTime typed = w->WindowRecord().StartTime + 150 / 86400000.0;
  edit->setText(QString::fromStdString(common::FormatDateTime(kCursorTimePattern, typed)));
  w->FaulttimeEditExit();
  const int onScreen = w->CursorX() - h->value();
  ASSERT_GT(h->value(), 0) << "the view came to the typed time";
  for (const bool enlarge : {true, true, false, false, false}) {
    if (enlarge)
      w->ZoomOut_TBtnClick();
    else
      w->ZoomIn_TBtnClick();
    const double ms = 20.0 * (w->CursorX() - 75) / w->viewport().PixelsPerCycle1;
    EXPECT_NEAR(ms, 150, 20.0 / w->viewport().PixelsPerCycle1 + 1e-9) << "level " << w->viewport().ZoomLevelX;
    if (h->value() > 0 && h->value() < h->maximum()) {
      EXPECT_NEAR(w->CursorX() - h->value(), onScreen, 1) << "level " << w->viewport().ZoomLevelX;
    }
    EXPECT_GE(w->CursorX(), h->value());
    EXPECT_LT(w->CursorX(), h->value() + w->paintBox()->width());
  }

  // The data panel hidden: no cursor, the centre's time stays.
  w->InfoWindow_TBtnClick();
  settle();
  for (int i = 0; i < 3; ++i) w->ZoomOut_TBtnClick();
  settle();
  const int shown = w->paintBox()->width();
  const double centreBefore = (h->value() + shown / 2 - 75.0) / w->viewport().PixelsPerCycle1;
  w->ZoomIn_TBtnClick();
  const double centreAfter = (h->value() + shown / 2 - 75.0) / w->viewport().PixelsPerCycle1;
  EXPECT_NEAR(centreAfter, centreBefore, 2.0 / w->viewport().PixelsPerCycle1) << "cycles at the centre";
}

// 10^6 samples at 20 a cycle and zoom 4: 32 000 115 pixels, more than a widget can
// be wide. The whole record can be scrolled through, and the cursor line, the
// track bar's thumb and the time agree at its far end.
TEST_F(RecordWindowCursorTest, RecordWiderThanAWidgetCanBeIsReachedToItsEnd) {
  recordgen::RecordSpec spec = smallSpec();
  spec.analog = 1;
  spec.digital = 0;
  spec.rates = {{1000, 1000000}};
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(spec, "wide")));
  ASSERT_NE(w, nullptr);
  w->action("X_TBtn")->trigger();
  for (int i = 0; i < 4; ++i) w->ZoomOut_TBtnClick();
  settle();
  ASSERT_EQ(w->viewport().PixelsPerCycle1, 640);
  const std::int64_t wide = std::int64_t{50000} * 640 + 75 + 40;
  ASSERT_EQ(w->contentSize().width, wide);
  ASSERT_GT(wide, 16777215);
  QScrollBar* h = child<QAbstractScrollArea>(w, "FW_ScrollBox")->horizontalScrollBar();
  const int shown = w->paintBox()->width();
  EXPECT_EQ(h->maximum(), wide - shown);
  EXPECT_EQ(w->trackBar()->barWidth(), std::int64_t{50000} * 640 + 18);

  h->setValue(h->maximum());
  w->trackBar()->setValue(kTrackBarMax);
  settle();
  const int x = w->CursorX();
  EXPECT_EQ(x, 75 + 32000000) << "the last cycle's end";
  ASSERT_GE(x, h->value());
  ASSERT_LT(x, h->value() + shown);
  const auto start = w->WindowRecord().StartTime;
  EXPECT_EQ(child<QLineEdit>(w, "FaulttimeEdit")->text(),
            QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + 1000.0 / 86400)));
  // The line is drawn where the view shows it.
  const QImage image = paintBoxImage(w);
  const TColor background = settings.ChannelColors[kBackgroundColor];
  EXPECT_EQ(at(image, x - h->value(), 40), background ^ 0xFF0000);
  EXPECT_EQ(at(image, x - h->value() - 1, 40), background);
  // The track bar's shown part covers the cursor, and a press there is read on the whole bar.
  TMyTrackBar* bar = w->trackBar();
  const int local = x - h->value() - bar->x();
  ASSERT_GE(local, 0);
  ASSERT_LT(local, bar->width());
  EXPECT_EQ(bar->thumbCentre(), local) << "the thumb stands on the line";
  // Above the groove only the thumb is drawn.
  const QImage barImage = bar->grab().toImage();
  EXPECT_NE(at(barImage, local, 5), background) << "the thumb is drawn there";
  EXPECT_EQ(at(barImage, local - 40, 5), background) << "and only there";
  const int target = x - 200 - h->value() - bar->x();
  QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, QPoint(target, 10));
  QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, QPoint(target, 10));
  EXPECT_NEAR(w->CursorX(), x - 200, 1) << "the thumb and the line follow the pointer";
  // Half way: every part of the record can be scrolled to.
  h->setValue(static_cast<int>(wide / 2));
  w->trackBar()->setValue(kTrackBarMax / 2);
  settle();
  EXPECT_EQ(w->CursorX(), 75 + 16000000);
  EXPECT_EQ(bar->thumbCentre() + bar->x() + h->value(), w->CursorX());
  EXPECT_GE(w->CursorX(), h->value());
  EXPECT_LT(w->CursorX(), h->value() + shown);
  EXPECT_EQ(child<QLineEdit>(w, "FaulttimeEdit")->text(),
            QString::fromStdString(common::FormatDateTime(kCursorTimePattern, start + 500.0 / 86400)));
}

TEST_F(RecordWindowCursorTest, DragScrollsFourTimesTheWay) {
  chooseChannels({{0}, {1}, {2}}, {0, 1});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "drag")));
  ASSERT_NE(w, nullptr);
  w->action("X_TBtn")->trigger();
  w->action("Y_TBtn")->trigger();
  for (int i = 0; i < 4; ++i) w->ZoomOut_TBtnClick();
  settle();
  QScrollBar* h = child<QAbstractScrollArea>(w, "FW_ScrollBox")->horizontalScrollBar();
  QScrollBar* v = child<QAbstractScrollArea>(w, "FW_ScrollBox")->verticalScrollBar();
  ASSERT_GT(h->maximum(), 1000);
  ASSERT_GT(v->maximum(), 200);
  h->setValue(500);
  v->setValue(100);
  QTest::mousePress(w->paintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(900, 400));
  EXPECT_EQ(h->value(), 500) << "nothing moves while the button is held";
  QTest::mouseRelease(w->paintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(850, 380));
  EXPECT_EQ(h->value(), 500 + 200);
  EXPECT_EQ(v->value(), 100 + 80);
  w->FW_PaintBoxMouseDown(Qt::RightButton, 0, 0);
  w->FW_PaintBoxMouseUp(Qt::RightButton, 100, 100);
  EXPECT_EQ(h->value(), 700);
}

TEST_F(RecordWindowCursorTest, AllSamplesListFormatsOnlyTheRowsShown) {
  recordgen::RecordSpec spec = smallSpec();
  spec.rates = {{1000, 100000}};
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(spec, "long")));
  ASSERT_NE(w, nullptr);
  AllDataListModel* model = w->allDataModel();
  EXPECT_EQ(model->rowCount(), 100000);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("序列"));
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("数据(Y)"));
  child<QTabWidget>(w, "FW_Info_PageControl")->setCurrentIndex(1);
  settle();
  child<QTableView>(w, "AllDataListView")->viewport()->grab();
  EXPECT_GT(model->formattedRows(), 0);
  EXPECT_LT(model->formattedRows(), 200);
  auto data = w->data();
  EXPECT_EQ(cell(w, 99999, 0), QStringLiteral("100000"));
  EXPECT_EQ(cell(w, 99999, 1), QStringLiteral("4999.950"));
  EXPECT_EQ(cell(w, 5, 2), QString::fromStdString(FormatFixed(data->samples(0)[10], 5, 3)));

  auto* combo = child<QComboBox>(w, "Channel_ComboBox");
  combo->setCurrentIndex(2);
  Q_EMIT combo->activated(2);
  EXPECT_EQ(cell(w, 5, 2), QString::fromStdString(FormatFixed(data->samples(2)[10], 5, 3)));

  w->action("RMS_HD_TBtn")->trigger();
  EXPECT_EQ(cell(w, 5, 2), QString::fromStdString(FormatFixed(data->rms(2)[5], 5, 3)));
  EXPECT_EQ(model->rowCount(), 100000);
}

// A table view keeps a header section per row: the list's view is given its
// rows a step at a time while its page is hidden, and all of them the moment
// the page is shown, with the same texts as the list at the first, middle and
// last sample.
TEST_F(RecordWindowCursorTest, AllSamplesViewHasEveryRowOnceItsPageIsShown) {
  recordgen::RecordSpec spec = smallSpec();
  spec.rates = {{1000, 2 * ShownRowsModel::kRowsPerStep + 500}};
  chooseChannels({{0}});
  const RecordWindowSetup setup = setupFor(written(spec, "shown"));
  for (const bool showAtOnce : {true, false}) {
    SCOPED_TRACE(showAtOnce);
    TFaultWaveForm* w = TFaultWaveForm::Create(setup).release();
    ASSERT_NE(w, nullptr);
    auto* view = child<QTableView>(w, "AllDataListView");
    const int rows = 2 * ShownRowsModel::kRowsPerStep + 500;
    EXPECT_EQ(w->allDataModel()->rowCount(), rows);
    EXPECT_EQ(view->model()->rowCount(), 0) << "no rows made while the window is made";
    EXPECT_EQ(view->model()->columnCount(), 3);
    QMdiSubWindow* sub = area.addSubWindow(w);
    sub->show();
    if (showAtOnce) {
      child<QTabWidget>(w, "FW_Info_PageControl")->setCurrentIndex(1);
      EXPECT_EQ(view->model()->rowCount(), rows) << "shown: every row at once";
    } else {
      QCoreApplication::processEvents();
      EXPECT_LT(view->model()->rowCount(), rows) << "hidden: a step a turn";
      for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents();
      EXPECT_EQ(view->model()->rowCount(), rows);
      child<QTabWidget>(w, "FW_Info_PageControl")->setCurrentIndex(1);
    }
    settle();
    ASSERT_EQ(view->model()->rowCount(), rows);
    EXPECT_EQ(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("周波(X)"));
    auto data = w->data();
    const auto shown = [view](int row, int column) { return view->model()->index(row, column).data().toString(); };
    for (const int row : {0, rows / 2, rows - 1}) {
      SCOPED_TRACE(row);
      EXPECT_EQ(shown(row, 0), QString::number(row + 1));
      EXPECT_EQ(shown(row, 1), QString::fromStdString(FormatFixed(row / 20.0, 3, 3)));
      EXPECT_EQ(shown(row, 2),
                QString::fromStdString(FormatFixed(data->samples(0)[data->layout().pointOf(row)], 5, 3)));
    }
    view->scrollToBottom();
    settle();
    EXPECT_EQ(view->rowAt(view->viewport()->height() - 2), rows - 1) << "the last sample can be scrolled to";

    // Another view of the record: the list keeps every row.
    w->action("RMS_HD_TBtn")->trigger();
    settle();
    ASSERT_EQ(view->model()->rowCount(), rows);
    EXPECT_EQ(shown(rows - 1, 2), QString::fromStdString(FormatFixed(data->rms(0)[rows - 1], 5, 3)));
    delete sub;
  }
}

// A .cfg that claims more samples than its .dat holds: while the list's page
// is hidden its view gets only the rows of the samples the file holds (a row
// costs the view memory); shown, it has every row the record claims.
TEST_F(RecordWindowCursorTest, AllSamplesViewGetsTheClaimedRowsOnlyWhenShown) {
  recordgen::RecordSpec spec = smallSpec();
  spec.rates = {{1000, 300}};
  chooseChannels({{0}});
  TcfgInfo record = written(spec, "lying");
  const int claimed = 3 * ShownRowsModel::kRowsPerStep;
  record.nrates = 2;  // the claim in a second rate: the first rate's samples load
  record.samp2 = 1000;
  record.endsamp2 = claimed;
  TFaultWaveForm* w = TFaultWaveForm::Create(setupFor(record)).release();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->data()->samplesWritten(), 300);
  auto* view = child<QTableView>(w, "AllDataListView");
  QMdiSubWindow* sub = area.addSubWindow(w);
  sub->show();
  for (int turn = 0; turn < 10; ++turn) QCoreApplication::processEvents();
  EXPECT_EQ(view->model()->rowCount(), 300) << "hidden: the rows of the samples the file holds";
  child<QTabWidget>(w, "FW_Info_PageControl")->setCurrentIndex(1);
  settle();
  EXPECT_EQ(view->model()->rowCount(), claimed) << "shown: every row the record claims";
  delete sub;
}

TEST_F(RecordWindowCursorTest, RmsViewDrawsCurvesAndReadsRmsValues) {
  chooseChannels({{0, 1}, {2}}, {0});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "rms")));
  ASSERT_NE(w, nullptr);
  w->action("RMS_HD_TBtn")->trigger();
  settle();
  ASSERT_EQ(w->viewMode(), ViewMode::Rms);
  EXPECT_EQ(w->rmsScales().ScalesDirty, 0);
  EXPECT_GT(w->rmsScales().RmsRowScales[0], 0);
  const QImage image = paintBoxImage(w);
  int curve = 0;
  for (int x = 80; x < 470; ++x)
    for (int y = 30; y <= 150; ++y) curve += at(image, x, y) == settings.ChannelColors[0];
  EXPECT_GT(curve, 100);
  EXPECT_EQ(w->trackBar()->width(), 10 * 40 + 18);
  w->trackBar()->setValue(kTrackBarMax);
  EXPECT_EQ(listValue(w, 2), QString::fromStdString(FormatFixed(w->data()->rms(2)[199], 5, 3)));
  w->trackBar()->setValue(kTrackBarMax / 4);
  EXPECT_EQ(listValue(w, 0), QString::fromStdString(FormatFixed(w->data()->rms(0)[50], 5, 3)));
}

TEST_F(RecordWindowCursorTest, BarViewListsTheComputedOrders) {
  recordgen::RecordSpec spec = smallSpec();
  spec.rates = {{1000, 30}};  // a cycle and a half of 20 samples counts as one cycle: orders 2 .. 10
  chooseChannels({{1}});
  settings.ChannelGroups[0].ColorIndex[0] = 22;  // drawn in colour (22 mod 20) + 1
  TFaultWaveForm* w = open(setupFor(written(spec, "bars")));
  ASSERT_NE(w, nullptr);
  w->action("RMS_HD_TBtn")->trigger();
  settle();
  ASSERT_EQ(w->viewMode(), ViewMode::HarmonicBars);
  AllDataListModel* model = w->allDataModel();
  ASSERT_EQ(model->rowCount(), 9);
  EXPECT_EQ(cell(w, 0, 0), QStringLiteral("2"));
  EXPECT_EQ(cell(w, 8, 0), QStringLiteral("10"));
  EXPECT_EQ(cell(w, 1, 1), QString::fromStdString(FormatFixed(w->data()->harmonics()[1], 5, 3)));
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("次数(X)"));
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QString());
  // The generated fault has a 3rd harmonic: its bar stands in the row's colour.
  const QImage image = paintBoxImage(w);
  int bar = 0;
  for (int y = 60; y < 300; ++y) bar += at(image, 75 + 32, y) == settings.ChannelColors[2];
  EXPECT_GT(bar, 0);
  EXPECT_EQ(at(image, 75 + 32 + 8, 299), settings.ChannelColors[kBackgroundColor]) << "bars are 9 pixels wide";

  // No horizontal zoom here: the button pops back up and says so.
  w->action("X_TBtn")->trigger();
  EXPECT_FALSE(w->action("X_TBtn")->isChecked());
  EXPECT_FALSE(w->XZoomOn());
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].message.textKeys(), std::vector<std::string>{"str9"});
  EXPECT_EQ(services.messages[0].message.caption.key, "str10");
  EXPECT_EQ(services.messages[0].message.icon, common::MessageIcon::Information);
  EXPECT_EQ(services.messages[0].text, QStringLiteral("谐波棒图不支持X轴缩放"));
}

// The values at the cursor are those of the view shown: RMS values in the RMS
// view, samples again after switching back.
TEST_F(RecordWindowCursorTest, ValuesFollowTheViewSwitch) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "switch")));
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->NoNegativeSamples(), 0);
  w->trackBar()->setValue(kTrackBarMax / 2);  // point 200: sample 100
  const QString sample = listValue(w, 0);
  EXPECT_EQ(sample, QString::fromStdString(FormatFixed(w->data()->samples(0)[200], 5, 3)));

  w->action("RMS_HD_TBtn")->trigger();
  settle();
  ASSERT_EQ(w->viewMode(), ViewMode::Rms);
  EXPECT_EQ(listValue(w, 0), QString::fromStdString(FormatFixed(w->data()->rms(0)[100], 5, 3)));

  w->action("Wave_TBtn")->trigger();
  settle();
  ASSERT_EQ(w->viewMode(), ViewMode::Waves);
  EXPECT_EQ(listValue(w, 0), sample);
}

TEST_F(RecordWindowCursorTest, SavesAScreenshotOfTheSampleRecord) {
  SampleOpener opener(settings);
  const std::string cfg = std::string(SAMPLES_DIR) + "/bay_fault_5k.cfg";
  const CfgOpenOutcome outcome = ReadCfgFile(cfg, opener);
  ASSERT_TRUE(outcome.opened) << cfg;
  chooseChannels({{0, 1, 2}, {3, 4, 5}, {6, 7}}, {0, 1, 2, 3, 4, 5});
  TFaultWaveForm* w = open(setupFor(opener.record));
  ASSERT_NE(w, nullptr);
  area.resize(1500, 760);
  area.activeSubWindow()->showMaximized();
  settle();
  // From the start past the fault (40 % into the record), the cursor just after it.
  w->trackBar()->setValue(kTrackBarMax / 100 * 44);
  settle();
  const auto shot = artefact("record_window_bay_fault.png");
  ASSERT_TRUE(area.grab().save(QString::fromStdString(shot.string())));
  expectWavePicture(w, {{0, 1, 2}, {3, 4, 5}, {6, 7}}, true);
  EXPECT_NE(child<QLineEdit>(w, "FaulttimeEdit")->text(), QString());
  w->action("RMS_HD_TBtn")->trigger();
  settle();
  ASSERT_TRUE(area.grab().save(QString::fromStdString(artefact("record_window_bay_fault_rms.png").string())));
}

// At the window's own size, with a record whose values are short: the time
// field shows its whole text, and every status panel its whole text while
// the bar has room for all three.
TEST_F(RecordWindowCursorTest, TimeFieldAndStatusPanelsShowTheirWholeTexts) {
  SampleOpener opener(settings);
  ASSERT_TRUE(ReadCfgFile(std::string(SAMPLES_DIR) + "/bay_fault_5k.cfg", opener).opened);
  chooseChannels({{0, 1, 2}}, {0});
  TFaultWaveForm* w = open(setupFor(opener.record));
  ASSERT_NE(w, nullptr);
  w->setClockText(QStringLiteral("2026/12/10 10:49:33"));
  settle();
  ASSERT_EQ(area.activeSubWindow()->size(), QSize(942, 557));
  ASSERT_TRUE(area.grab().save(QString::fromStdString(artefact("record_window_own_size.png").string())));

  // Values of a few digits leave the data panel at its narrowest.
  chooseChannels({{0}});
  TFaultWaveForm* small = open(setupFor(written(smallSpec(), "shortvalues")));
  ASSERT_NE(small, nullptr);
  auto* edit = child<QLineEdit>(small, "FaulttimeEdit");
  for (const double ms : {0.0, 188.888}) {
    edit->setText(QString::fromStdString(
        common::FormatDateTime(kCursorTimePattern, small->WindowRecord().StartTime + ms / 86400000.0)));
    small->FaulttimeEditExit();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect text = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    // A line edit leaves 2 pixels beside its text on each side.
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()), text.width() - 4) << edit->text().toStdString();
  }

  int needed = 0;
  for (const char* name : {"StatusPanel0", "StatusPanel1", "StatusPanel2"}) {
    const QLabel* panel = child<QLabel>(w, name);
    needed += panel->fontMetrics().horizontalAdvance(panel->text());
    EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()))
        << name << ": " << panel->text().toStdString();
  }
  EXPECT_LT(needed, w->width() - 60) << "room for all three";
}

TEST_F(RecordWindowCursorTest, SavesAScreenshotOfTheHarmonicBars) {
  SampleOpener opener(settings);
  ASSERT_TRUE(ReadCfgFile(std::string(SAMPLES_DIR) + "/one_cycle_harmonics.cfg", opener).opened);
  chooseChannels({{0, 1}, {2}});
  TFaultWaveForm* w = open(setupFor(opener.record));
  ASSERT_NE(w, nullptr);
  area.resize(1100, 600);
  area.activeSubWindow()->showMaximized();
  w->action("RMS_HD_TBtn")->trigger();
  settle();
  ASSERT_EQ(w->viewMode(), ViewMode::HarmonicBars);
  // 64 samples a cycle: orders 2 .. 32, the 3rd at 10 % and the 5th at 5 % of the fundamental.
  ASSERT_EQ(w->allDataModel()->rowCount(), 31);
  EXPECT_NEAR(w->data()->harmonics()[1], 10, 1.5);
  EXPECT_NEAR(w->data()->harmonics()[3], 5, 1.5);
  ASSERT_TRUE(area.grab().save(QString::fromStdString(artefact("record_window_harmonics.png").string())));
}

}  // namespace
}  // namespace wave
