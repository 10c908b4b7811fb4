// The main window with the program's own record windows and options dialog.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "common/datetime.h"
#include "common/forms/wait_window.h"
#include "common/test_job_runner.h"
#include "waveform/app/form_record_windows.h"
#include "waveform/app/main_form.h"
#include "waveform/app/open_dlg.h"
#include "waveform/app/test_support.h"
#include "waveform/ui/fault_wave_form.h"
#include "waveform/ui/options_dlg.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

// Records what the forms would show.
class QuietFormServices : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>&) override {
    messages.push_back(message);
  }
  void showError(QWidget*, const QString& text) override { errors.push_back(text); }
  int execDialog(QDialog& dialog) override { return onDialog ? onDialog(dialog) : int(QDialog::Rejected); }

  std::vector<common::UserMessage> messages;
  std::vector<QString> errors;
  std::function<int(QDialog&)> onDialog;
};

// Two analogue channels, one cycle of 32 samples at 50 Hz, three cycles long.
fs::path writeRecord() {
  const fs::path folder = test::NewFolder("real record");
  test::WriteFile(folder / "rec.cfg",
                  "Station,Dev01,1999\r\n2,2A,0D\r\n"
                  "1,Ua,A,,kV,0.01,0,0,-32768,32767,110,0.1,S\r\n"
                  "2,Ia,A,,A,0.001,0,0,-32768,32767,600,1,S\r\n"
                  "50\r\n1\r\n1600,96\r\n"
                  "01/02/2020,10:11:12.000000\r\n01/02/2020,10:11:12.020000\r\nASCII\r\n1.0\r\n");
  std::string dat;
  for (int k = 0; k < 96; ++k) {
    const double phase = 2 * 3.14159265358979 * k / 32;
    dat += fmt::format("{},{},{},{}\r\n", k + 1, k * 625, std::lround(10000 * std::sin(phase)),
                       std::lround(5000 * std::cos(phase)));
  }
  test::WriteFile(folder / "rec.dat", dat);
  return folder;
}

class MainFormRecordsTest : public test::WithApplication, public ::testing::Test {
 protected:
  MainFormRecordsTest() {
    form.WaveTimer()->stop();
    kit.createOptionsDialog(&form, form);
    // The user puts the first channel on axis 1 and presses OK.
    services.onDialog = [](QDialog& dialog) {
      auto& options = dynamic_cast<TOptionsDlg&>(dialog);
      options.show();
      options.dropItem(options.findChild<QListWidget*>(QStringLiteral("AnalogListBox")), 0, options.axisList(0));
      options.OKBtnClick();
      return options.result();
    };
    ui.folderAnswer = writeRecord().string();
    ui.onExec = [](QDialog& dialog) {
      auto& open = dynamic_cast<TOpenDlg&>(dialog);
      open.ListView1()->setCurrentRow(0);
      open.BitBtnOKClick();
      return open.result();
    };
  }

  test::FakeUi ui;
  QuietFormServices services;
  FormRecordWindows kit{services};
  DisplaySettings settings;
  TMainForm form{ui, kit, settings, test::NewFolder("settings") / "zavoviv.ini"};
};

TEST_F(MainFormRecordsTest, OpensTheRecordInARecordWindowThatShowsTheClock) {
  form.show();
  form.menu_file_cfgClick();

  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(services.errors.empty());
  ASSERT_EQ(form.RecordWindows().size(), 1);
  auto* window = qobject_cast<TFaultWaveForm*>(form.RecordWindows().front());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("rec.cfg"));
  EXPECT_EQ(window->WindowRecord().A, 2);

  ui.clock = *common::EncodeDateTime({2021, 12, 31, 23, 59, 58, 0});
  form.WaveTimerTimer();
  EXPECT_EQ(window->statusText(2), QStringLiteral("2021/12/31 23:59:58"));
}

TEST_F(MainFormRecordsTest, FifthRecordIsRefusedWithRealWindows) {
  form.show();
  for (int i = 0; i < 4; ++i) form.menu_file_cfgClick();
  ASSERT_EQ(form.openWindowCount(), 4);
  form.menu_file_cfgClick();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].message.textKeys(), std::vector<std::string>{"str26"});
  EXPECT_EQ(form.openWindowCount(), 4);
}

// At 1366 x 768 every record window opens wholly inside the client area,
// each a title bar down and right of the one before.
TEST_F(MainFormRecordsTest, RecordWindowsOpenInsideTheClientAreaCascaded) {
  form.setWindowState(Qt::WindowNoState);
  form.setGeometry(0, 0, 1366, 768);
  form.show();
  for (int i = 0; i < 4; ++i) form.menu_file_cfgClick();
  ASSERT_EQ(form.openWindowCount(), 4);
  const QRect area = form.MdiArea()->viewport()->rect();
  QList<QMdiSubWindow*> windows = form.MdiArea()->subWindowList(QMdiArea::CreationOrder);
  ASSERT_EQ(windows.size(), 4);
  for (QMdiSubWindow* sub : windows) {
    EXPECT_TRUE(area.contains(sub->geometry())) << sub->geometry().x() << "," << sub->geometry().y();
    EXPECT_EQ(sub->size(), QSize(942, 557));
  }
  EXPECT_EQ(windows[0]->pos(), QPoint(0, 0));
  const QPoint step = windows[1]->pos() - windows[0]->pos();
  EXPECT_GT(step.x(), 0);
  EXPECT_EQ(step.x(), step.y());
  EXPECT_EQ(windows[3]->pos(), 3 * step);
}

// A record the automation database wrote for this opening belongs to its window:
// closing the window deletes the pair. One opened from a folder stays.
TEST_F(MainFormRecordsTest, ClosingAWindowDeletesOnlyAPairWrittenFromTheDatabase) {
  form.show();
  for (const bool fromDatabase : {false, true}) {
    SCOPED_TRACE(fromDatabase);
    const fs::path cfg = writeRecord() / "rec.cfg";
    form.TempFilesFlag = fromDatabase ? 1 : 0;
    form.RecordSourceMode = fromDatabase ? 21 : 0;
    form.openCfgFile(cfg.string());
    ASSERT_EQ(form.RecordWindows().size(), 1);
    form.Window_CloseAll_ItemClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(fs::exists(cfg), !fromDatabase);
    EXPECT_EQ(fs::exists(fs::path(cfg).replace_extension(".dat")), !fromDatabase);
  }
}

forms::TWaitForm* shownWaitForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<forms::TWaitForm*>(widget); form && form->isVisible()) return form;
  return nullptr;
}

// The samples are read on a worker while the wait window shows how far it
// got; the record window comes when they are complete, never before.
TEST_F(MainFormRecordsTest, TheWindowComesOnlyWhenTheDataAreComplete) {
  common::testing::HeldJobRunner runner;
  ui.runner = &runner;
  form.show();
  form.menu_file_cfgClick();  // returns with the job still waiting for its worker

  ASSERT_EQ(runner.jobs.size(), 1u);
  EXPECT_EQ(form.RecordWindows().size(), 0);
  forms::TWaitForm* wait = shownWaitForm();
  ASSERT_NE(wait, nullptr);
  EXPECT_TRUE(wait->isModal());
  EXPECT_EQ(wait->cancelButton()->text(), QStringLiteral("取消"));

  runner.jobs.front().work();  // the worker reads and analyses
  wait->refresh();
  EXPECT_EQ(wait->textLabel()->text(), QStringLiteral("正在分析数据：100 %"));
  EXPECT_EQ(form.RecordWindows().size(), 0);

  runner.jobs.front().finished();  // back on the window thread
  runner.jobs.clear();
  EXPECT_EQ(shownWaitForm(), nullptr);
  ASSERT_EQ(form.RecordWindows().size(), 1);
  auto* window = qobject_cast<TFaultWaveForm*>(form.RecordWindows().front());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("rec.cfg"));
  ASSERT_TRUE(window->data());
  EXPECT_FALSE(window->data()->rms(0).empty());
  EXPECT_TRUE(services.messages.empty());
}

// Cancel abandons the opening as the options dialog's Cancel does, once the
// worker has stopped: a pair the database wrote for it is deleted, one from a
// folder stays, and no window comes. No open window takes over the options
// that were accepted for the abandoned record.
TEST_F(MainFormRecordsTest, CancelAbandonsTheOpening) {
  common::testing::HeldJobRunner runner;
  ui.runner = &runner;
  form.show();
  for (const bool fromDatabase : {false, true}) {
    SCOPED_TRACE(fromDatabase);
    const fs::path cfg = writeRecord() / "rec.cfg";
    form.TempFilesFlag = fromDatabase ? 1 : 0;
    form.RecordSourceMode = fromDatabase ? 21 : 0;
    form.openCfgFile(cfg.string());
    ASSERT_EQ(settings.OptionsAccepted, 1);
    forms::TWaitForm* wait = shownWaitForm();
    ASSERT_NE(wait, nullptr);
    wait->cancelButton()->click();
    EXPECT_EQ(shownWaitForm(), wait) << "the wait window stays until the worker has stopped";

    runner.runAll();
    EXPECT_EQ(shownWaitForm(), nullptr);
    EXPECT_EQ(fs::exists(cfg), !fromDatabase);
    EXPECT_EQ(fs::exists(fs::path(cfg).replace_extension(".dat")), !fromDatabase);
    EXPECT_EQ(settings.OptionsAccepted, 0);
    EXPECT_EQ(form.RecordWindows().size(), 0);
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(services.messages.empty());
}

// One channel, one cycle of 10^6 samples (BINARY): its harmonic spectrum is long work.
fs::path writeOneCycleRecord() {
  const fs::path folder = test::NewFolder("one long cycle");
  constexpr int kSamples = 1'000'000;
  test::WriteFile(folder / "cycle.cfg",
                  "Station,Dev01,1999\r\n1,1A,0D\r\n"
                  "1,Ua,A,,kV,0.01,0,0,-32768,32767,110,0.1,P\r\n"
                  "50\r\n1\r\n50000000," + std::to_string(kSamples) + "\r\n"
                  "01/02/2020,10:11:12.000000\r\n01/02/2020,10:11:12.010000\r\nBINARY\r\n1.0\r\n");
  std::string dat;
  dat.reserve(std::size_t{10} * kSamples);
  const auto put = [&dat](std::uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) dat += static_cast<char>((value >> (8 * b)) & 0xff);
  };
  for (int k = 0; k < kSamples; ++k) {
    put(static_cast<std::uint32_t>(k + 1), 4);
    put(static_cast<std::uint32_t>(k / 50), 4);
    put(static_cast<std::uint16_t>(std::lround(10000 * std::sin(2 * 3.14159265358979 * k / kSamples))), 2);
  }
  test::WriteFile(folder / "cycle.dat", dat);
  return folder / "cycle.cfg";
}

// Leaving the program while a worker computes a long spectrum: the worker is
// told to stop and ends, within the second the program waits for it (here 2 s
// more, for unoptimised sanitizer builds on a busy machine); no record window
// comes afterwards.
TEST_F(MainFormRecordsTest, LeavingWhileAWorkerRunsStopsAndJoinsIt) {
  forms::ThreadJobRunner runner;
  ui.runner = &runner;
  form.show();
  form.openCfgFile(writeOneCycleRecord().string());
  forms::TWaitForm* wait = shownWaitForm();
  ASSERT_NE(wait, nullptr);
  // Until the worker is in the spectrum (a bounded wait).
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto analysing = [wait] { return wait->textLabel()->text().startsWith(QStringLiteral("正在分析")); };
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    wait->refresh();
  } while (!analysing() && std::chrono::steady_clock::now() < end);
  ASSERT_TRUE(analysing()) << wait->textLabel()->text().toStdString();

  form.close();  // 文件→退出→确定
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(runner.stopAll(forms::kWorkerStopBound + std::chrono::seconds(2)));
  QCoreApplication::sendPostedEvents();  // the job's end: nothing opens
  EXPECT_EQ(form.RecordWindows().size(), 0);
  EXPECT_TRUE(ui.errors.empty());
}

// A first-time user's folder: every record shipped with the program opens.
TEST_F(MainFormRecordsTest, EveryShippedSampleOpens) {
  form.show();
  ui.folderAnswer = std::string(SAMPLES_DIR);
  QStringList listed;
  ui.onExec = [&listed](QDialog& dialog) {
    auto& open = dynamic_cast<TOpenDlg&>(dialog);
    listed.clear();
    for (int i = 0; i < open.ListView1()->count(); ++i) listed.append(open.ListView1()->item(i)->text());
    return int(QDialog::Rejected);
  };
  form.menu_file_cfgClick();
  ASSERT_FALSE(listed.isEmpty());

  for (const QString& name : QStringList(listed)) {
    ui.onExec = [name](QDialog& dialog) {
      auto& open = dynamic_cast<TOpenDlg&>(dialog);
      open.ListView1()->setCurrentItem(open.ListView1()->findItems(name, Qt::MatchExactly).front());
      open.BitBtnOKClick();
      return open.result();
    };
    form.menu_file_cfgClick();
    ASSERT_EQ(form.RecordWindows().size(), 1) << name.toStdString();
    auto* window = qobject_cast<TFaultWaveForm*>(form.RecordWindows().front());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), name);
    EXPECT_GT(window->WindowRecord().A, 0) << name.toStdString();
    form.Window_CloseAll_ItemClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(services.errors.empty());
  EXPECT_EQ(settings.CfgFolderPath, SAMPLES_DIR);
}

}  // namespace
}  // namespace wave
