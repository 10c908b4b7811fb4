// The print preview of a record of 8 channels x 10^6 samples at 20 per cycle
// (16 667 pages of 3 cycles on the 600 dpi PDF page), written by the record
// generator into a temporary folder at start (see bench/README.md).
//
//   print_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <QApplication>
#include <QPrinter>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/bench_support.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/open_record.h"
#include "waveform/print/print_preview.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/print/print_services.h"

namespace {

namespace fs = std::filesystem;

// Every dialog answered at once: no box, no file name.
class QuietServices : public wave::PrintFormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage&, const std::vector<std::string>& = {}) override {}
  int execDialog(QDialog&) override { return 0; }
  bool setupPrinter(QWidget*, QPrinter&) override { return false; }
  std::optional<QString> pdfFileName(QWidget*) override { return std::nullopt; }
  void showError(QWidget*, const QString&) override {}
};

struct LongRecord {
  LongRecord() {
    folder = bench::NewTempFolder("print_bench");
    recordgen::RecordSpec spec;
    spec.analog = 8;
    spec.digital = 0;
    spec.rates = {{1000, 1000000}};
    const auto written = recordgen::WriteRecord(spec, folder, "long");
    record = recordgen::MakeCfgInfo(spec, written.cfg.string());
    auto opened = wave::OpenRecordData(record, 0, {});
    data = std::move(opened.data);
    for (int g = 0; g < 8; ++g) {  // one channel to a row
      settings.ChannelGroups[static_cast<std::size_t>(g)].Count = 1;
      settings.ChannelGroups[static_cast<std::size_t>(g)].Channel[0] = g;
      settings.ChannelGroups[static_cast<std::size_t>(g)].ColorIndex[0] = g;
    }
    settings.ChannelGroupCount = 8;
    printed = wave::MakePrintedRecord(record, data, wave::WaveScales{}, settings.ChannelGroups);
  }
  ~LongRecord() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  fs::path folder;
  wave::TcfgInfo record;
  std::shared_ptr<wave::RecordData> data;
  wave::DisplaySettings settings;
  wave::PrintedRecord printed;
};

LongRecord& longRecord() {
  static LongRecord instance;
  return instance;
}

std::unique_ptr<wave::TPrintPreviewFm> previewForm(QuietServices& services) {
  LongRecord& r = longRecord();
  auto form = std::make_unique<wave::TPrintPreviewFm>(
      r.settings, services, nullptr, nullptr,
      std::make_unique<wave::PrinterAdapter>(wave::PrinterAdapter::Output::PdfFile));
  form->resize(1600, 1000);
  return form;
}

// What pressing the print button of the record window costs until the first
// page is on the screen: showing the form lays the record out and draws it.
void openPreview(benchmark::State& state) {
  LongRecord& r = longRecord();
  QuietServices services;
  std::uint64_t extraKib = 0;
  int pages = 0;
  for (auto _ : state) {
    auto form = previewForm(services);
    r.settings.PrinterWarningPending = 0;
    form->setRecord(r.printed);
    const std::uint64_t before = bench::StatusKib("VmRSS:");
    bench::ResetPeakMemory();
    const auto start = std::chrono::steady_clock::now();
    form->show();
    form->PrintPreview().paper()->repaint();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    extraKib = std::max(extraKib, bench::StatusKib("VmHWM:") - std::min(before, bench::StatusKib("VmHWM:")));
    pages = form->PrintPreview().document().TotalPages();
    form->close();
  }
  state.counters["pages"] = pages;
  state.counters["peak_extra_MiB"] = bench::Mib(extraKib);
}

// Printing the first `pages` pages into a PDF file: pages per second and the
// rise of the resident set while printing (the pages are drawn one by one).
void printPages(benchmark::State& state) {
  LongRecord& r = longRecord();
  QuietServices services;
  const int count = static_cast<int>(state.range(0));
  std::uint64_t extraKib = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto form = previewForm(services);
    r.settings.PrinterWarningPending = 0;
    form->setRecord(r.printed);
    form->show();
    const fs::path file = r.folder / "pages.pdf";
    QPrinter& printer = form->printer().printer();
    printer.setOutputFileName(QString::fromStdString(file.string()));
    const std::uint64_t before = bench::StatusKib("VmRSS:");
    bench::ResetPeakMemory();
    state.ResumeTiming();
    wave::QPrinterTarget target(printer, false);
    form->PrintPreview().document().PrintPages(1, count, target);
    state.PauseTiming();
    extraKib = std::max(extraKib, bench::StatusKib("VmHWM:") - std::min(before, bench::StatusKib("VmHWM:")));
    form->close();
    fs::remove(file);
    state.ResumeTiming();
  }
  state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(count) * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
  state.counters["peak_extra_MiB"] = bench::Mib(extraKib);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  char arg0[] = "print_bench";
  char* qtArgv[] = {arg0, nullptr};
  QApplication app(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing and loading the record...\n");
  longRecord();
  benchmark::RegisterBenchmark("OpenPreview/8x1e6", openPreview)->Unit(benchmark::kMillisecond)->UseManualTime();
  benchmark::RegisterBenchmark("PrintPages/8x1e6", printPages)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
