// Sample export of the W5 record (64 A + 32 D, 20 kHz, 1 200 000 samples),
// written by the record generator into a temporary folder at start; see
// bench/README.md.
//
//   export_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "common/job.h"
#include "bench/bench_support.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/open_record.h"
#include "waveform/export/sample_export.h"

namespace {

namespace fs = std::filesystem;

struct Record {
  fs::path folder;
  std::shared_ptr<wave::RecordData> data;
};

Record& w5() {
  static Record record = [] {
    Record r;
    r.folder = bench::NewTempFolder("export_bench");
    const recordgen::RecordSpec spec = bench::W5Spec();
    const auto written = recordgen::WriteRecord(spec, r.folder, "W5");
    r.data = wave::OpenRecordData(recordgen::MakeCfgInfo(spec, written.cfg.string()), 0, {}).data;
    return r;
  }();
  return record;
}

void exportRecord(benchmark::State& state, wave::ViewMode mode) {
  Record& record = w5();
  const fs::path file = record.folder / "export.xls";
  const std::uint64_t before = bench::StatusKib("VmRSS:");
  bench::ResetPeakMemory();
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    common::JobProgress progress;
    const auto outcome = wave::ExportSamples(*record.data, mode, file, &common::BuiltInText, &progress);
    if (!outcome.written) state.SkipWithError("not written");
    bytes += fs::file_size(file);
  }
  const std::uint64_t peak = bench::StatusKib("VmHWM:");
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  state.counters["extra_MiB"] = static_cast<double>(peak - std::min(before, peak)) / 1024;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  fs::remove(file);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing and opening W5...\n");
  w5();
  const auto register_ = [](const char* name, wave::ViewMode mode) {
    benchmark::RegisterBenchmark(name, exportRecord, mode)->Unit(benchmark::kMillisecond)->UseRealTime();
  };
  register_("Export/W5/waves", wave::ViewMode::Waves);
  register_("Export/W5/rms", wave::ViewMode::Rms);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(w5().folder, ec);
  return 0;
}
