// Opens the W5 record (64 A + 32 D, 20 kHz, 1 200 000 samples) through
// Quenlor's real main window, offscreen, the way a user does after choosing
// the file: the options dialog is answered (8 axes of one channel, all 32
// digital channels), the samples are read and analysed on worker threads
// behind the wait window, the record window is made and painted. A 1 ms
// timer measures the event loop's longest stall meanwhile; then the record
// window's options button is pressed and answered with OK (new scales) and
// the longest stall until its repaint is measured too, and last the
// all-samples page is shown for the first time (its list takes its rows). See
// bench/README.md.
//
//   window_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/forms/form_services.h"
#include "common/forms/wait_window.h"
#include "bench/bench_support.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/app/form_record_windows.h"
#include "waveform/app/main_form.h"
#include "waveform/app/ui_services.h"
#include "waveform/ui/fault_wave_form.h"
#include "waveform/ui/options_dlg.h"

namespace {

namespace fs = std::filesystem;

class BenchUi : public wave::UiServices {
 public:
  wave::MessageAnswer showMessage(QWidget*, const common::UserMessage&, wave::MessageButtons) override {
    ++messages;
    return wave::MessageAnswer::Ok;
  }
  void showError(QWidget*, const QString&) override { ++messages; }
  std::optional<std::string> browseFolder(QWidget*, const QString&, const std::string&) override { return std::nullopt; }
  int execDialog(QDialog&) override { return QDialog::Rejected; }
  common::TDateTime now() override { return 0; }
  common::JobRunner& jobRunner() override { return forms::BackgroundRunner(); }
  int messages = 0;
};

// Plays the user in the options dialog.
class BenchFormServices : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage&, const std::vector<std::string>&) override { ++messages; }
  void showError(QWidget*, const QString&) override { ++messages; }
  int execDialog(QDialog& dialog) override {
    auto* options = dynamic_cast<wave::TOptionsDlg*>(&dialog);
    if (options == nullptr) return QDialog::Rejected;
    options->show();
    auto* analog = options->findChild<QListWidget*>(QStringLiteral("AnalogListBox"));
    for (int axis = 0; axis < 8; ++axis) options->dropItem(analog, axis, options->axisList(axis));
    options->SelectAllDigitalBtnClick();
    options->OKBtnClick();
    return options->result();
  }
  common::JobRunner& jobRunner() override { return forms::BackgroundRunner(); }
  int messages = 0;
};

struct W5 {
  fs::path folder;
  fs::path cfg;
};

W5& w5() {
  static W5 record = [] {
    W5 r;
    r.folder = bench::NewTempFolder("window_bench");
    r.cfg = recordgen::WriteRecord(bench::W5Spec(), r.folder, "W5").cfg;
    return r;
  }();
  return record;
}

void openThroughMainWindow(benchmark::State& state) {
  double longestStallMs = 0;
  double optionsStallMs = 0;
  double listStallMs = 0;
  double messages = 0;
  for (auto _ : state) {
    BenchUi ui;
    BenchFormServices services;
    wave::FormRecordWindows kit(services);
    wave::DisplaySettings settings;
    wave::TMainForm form(ui, kit, settings, w5().folder / "zavoviv.ini");
    form.WaveTimer()->stop();
    kit.createOptionsDialog(&form, form);
    form.setWindowState(Qt::WindowNoState);
    form.resize(1600, 1000);
    form.show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    qint64 windowAt = -1;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, now - last);
      if (getenv("WINDOW_BENCH_TRACE") && now - last > 20'000'000)
        std::fprintf(stderr, "stall %.1f ms ending at %.1f ms, windows %d\n", (now - last) / 1e6, now / 1e6,
                     static_cast<int>(form.RecordWindows().size()));
      last = now;
      // A few ticks after the window came: it has been painted.
      if (windowAt < 0 && !form.RecordWindows().isEmpty()) windowAt = now;
      if (windowAt >= 0 && now - windowAt > 50'000'000) loop.quit();
    });
    clock.start();
    tick.start();
    QTimer::singleShot(0, &form, [&] { form.openCfgFile(w5().cfg.string()); });
    loop.exec();
    state.SetIterationTime(static_cast<double>(windowAt) / 1e9);
    longestStallMs = std::max(longestStallMs, static_cast<double>(longest) / 1e6 - 1);

    // The record window's options button, answered with OK: new scales.
    auto* window = qobject_cast<wave::TFaultWaveForm*>(form.RecordWindows().front());
    QEventLoop optionsLoop;
    qint64 pressedAt = -1;
    longest = 0;
    QObject::disconnect(&tick, nullptr, nullptr, nullptr);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, now - last);
      last = now;
      if (pressedAt >= 0 && now - pressedAt > 50'000'000) optionsLoop.quit();
    });
    QTimer::singleShot(0, window, [&] {
      pressedAt = clock.nsecsElapsed();
      window->Options_TBtnClick();
    });
    optionsLoop.exec();
    optionsStallMs = std::max(optionsStallMs, static_cast<double>(longest) / 1e6 - 1);

    // The all-samples page shown for the first time: its list takes its rows.
    QEventLoop listLoop;
    qint64 shownAt = -1;
    longest = 0;
    QObject::disconnect(&tick, nullptr, nullptr, nullptr);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      longest = std::max(longest, now - last);
      if (getenv("WINDOW_BENCH_TRACE") && now - last > 20'000'000)
        std::fprintf(stderr, "stall %.1f ms ending at %.1f ms\n", (now - last) / 1e6, now / 1e6);
      last = now;
      if (shownAt >= 0 && now - shownAt > 50'000'000) listLoop.quit();
    });
    QTimer::singleShot(0, window, [&] {
      shownAt = clock.nsecsElapsed();
      if (getenv("WINDOW_BENCH_TRACE")) std::fprintf(stderr, "list shown at %.1f ms\n", shownAt / 1e6);
      window->findChild<QTabWidget*>(QStringLiteral("FW_Info_PageControl"))->setCurrentIndex(1);
    });
    listLoop.exec();
    listStallMs = std::max(listStallMs, static_cast<double>(longest) / 1e6 - 1);
    messages += ui.messages + services.messages;
    form.Window_CloseAll_ItemClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  state.counters["max_stall_ms"] = longestStallMs;
  state.counters["options_stall_ms"] = optionsStallMs;
  state.counters["list_stall_ms"] = listStallMs;
  state.counters["messages"] = messages;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static const fs::path home = fs::temp_directory_path() / "window_bench_home";
  fs::create_directories(home);
  setenv("QUENLOR_SETTINGS_DIR", home.c_str(), 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing W5...\n");
  w5();
  benchmark::RegisterBenchmark("OpenInMainWindow/W5", openThroughMainWindow)
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime()
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(w5().folder, ec);
  return 0;
}
