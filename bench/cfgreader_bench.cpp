// Opening a 512 MiB text file named .cfg (a log file, say) with an empty .dat
// beside it, as the file menu opens a chosen record: the reader refuses it at
// its second line. Reports the time of one opening and the peak of the
// resident set during it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_support.h"
#include "waveform/model/cfgopen.h"

namespace {

// The main window's side: nothing is ever opened from such a file.
class Opener : public wave::RecordOpener {
 public:
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return false; }
  wave::DisplaySettings& displaySettings() override { return settings_; }
  void setRecord(const wave::TcfgInfo&) override {}
  wave::OptionsDialogResult showOptionsDialog() override { return {}; }
  void createRecordWindow(const std::string&, wave::RecordFiles) override {}

 private:
  wave::DisplaySettings settings_;
};

// Lines of about 100 bytes, as a log holds them, up to mib MiB.
std::filesystem::path writeTextNamedCfg(const std::filesystem::path& folder, int mib) {
  const auto cfg = folder / "log.cfg";
  std::ofstream out(cfg, std::ios::binary);
  const std::string line = "2026-12-10 12:00:00.000 INFO worker 7 handled request 123456 in 12 ms, queue depth 3\n";
  const std::uint64_t bytes = std::uint64_t(mib) << 20;
  for (std::uint64_t written = 0; written < bytes; written += line.size()) out << line;
  std::ofstream(folder / "log.dat");
  return cfg;
}

void BM_OpenTextNamedCfg(benchmark::State& state) {
  const auto folder = bench::NewTempFolder("cfgreader_bench");
  const auto cfg = writeTextNamedCfg(folder, static_cast<int>(state.range(0)));
  Opener opener;
  double peakMib = 0;
  bool refused = true;
  for (auto _ : state) {
    state.PauseTiming();
    bench::ResetPeakMemory();
    const std::uint64_t before = bench::StatusKib("VmRSS:");
    state.ResumeTiming();
    const wave::CfgOpenOutcome outcome = wave::ReadCfgFile(cfg.string(), opener);
    state.PauseTiming();
    peakMib = std::max(peakMib, bench::Mib(bench::StatusKib("VmHWM:") - before));
    refused = refused && !outcome.opened && (outcome.error || !outcome.messages.empty());
    state.ResumeTiming();
  }
  state.counters["peak_rss_growth_MiB"] = peakMib;
  state.counters["process_peak_MiB"] = bench::Mib(bench::StatusKib("VmHWM:"));
  state.counters["refused"] = refused ? 1 : 0;
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenTextNamedCfg)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
