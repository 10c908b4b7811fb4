// Record loading and analysis on generated records, written into a temporary
// folder at start (W5 is 168 MB of .dat and 1.3 GB of buffers while open) (see bench/README.md for the workloads and figures).
//
//   analysis_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/interpolate.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/open_record.h"
#include "waveform/analysis/rms_harmonics.h"

namespace {

struct Workload {
  std::string name;
  recordgen::RecordSpec spec;
  wave::TcfgInfo record;
  std::uint64_t datBytes = 0;
  std::shared_ptr<wave::RecordData> loaded;  // read, placed and interpolated once, when first needed
};

recordgen::RecordSpec specOf(recordgen::DatFormat format, int analog, int digital,
                             std::vector<recordgen::Rate> rates) {
  recordgen::RecordSpec spec;
  spec.format = format;
  spec.analog = analog;
  spec.digital = digital;
  spec.rates = std::move(rates);
  spec.seed = 42;
  return spec;
}

class Workloads {
 public:
  Workloads() {
    folder_ = bench::NewTempFolder("analysis_bench");
    using recordgen::DatFormat;
    add("W1", specOf(DatFormat::Binary, 96, 160, {{10000, 100000}}));
    add("W2", specOf(DatFormat::Ascii, 32, 32, {{1000, 60000}}));
    add("W3", specOf(DatFormat::Binary, 16, 16, {{1200, 6000}, {600, 36000}}));
    add("W4", specOf(DatFormat::Binary, 4, 0, {{200000, 4000}}));
    add("W5", bench::W5Spec());
    add("W6", specOf(DatFormat::Binary, 8, 2, {{2000000, 40000}}));
    // 200 samples in the data file, 40 000 000 claimed by the configuration
    // (as bench/open_figures.sh): what opening them costs must follow the file.
    addLying("Lying", DatFormat::Binary, false);
    addLying("LyingAscii", DatFormat::Ascii, false);
    addLying("LyingTwoRates", DatFormat::Binary, true);
  }
  ~Workloads() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  Workload& get(const std::string& name) { return workloads_.at(name); }

  Workload& loaded(const std::string& name) {
    Workload& w = get(name);
    if (!w.loaded) w.loaded = wave::OpenRecordData(w.record, 0, {}).data;
    return w;
  }

 private:
  void add(const std::string& name, const recordgen::RecordSpec& spec) {
    const auto written = recordgen::WriteRecord(spec, folder_, name);
    Workload w{name, spec, recordgen::MakeCfgInfo(spec, written.cfg.string()),
               std::filesystem::file_size(written.dat), nullptr};
    workloads_.emplace(name, std::move(w));
  }

  void addLying(const std::string& name, recordgen::DatFormat format, bool inSecondRate) {
    constexpr std::int32_t kClaimed = 40000000;
    add(name, specOf(format, 8, 8, {{1000, 200}}));
    wave::TcfgInfo& record = workloads_.at(name).record;
    if (inSecondRate) {
      record.nrates = 2;
      record.samp2 = 1000;
      record.endsamp2 = kClaimed;
    } else {
      record.endsamp1 = record.endsamp2 = kClaimed;
    }
  }

  std::filesystem::path folder_;
  std::map<std::string, Workload> workloads_;
};

Workloads& workloads() {
  static Workloads instance;
  return instance;
}

// CPU time of the whole process (all threads) in ms.
double processCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Reports the CPU time of all threads per iteration: what the stage costs
// whatever else the machine is doing.
class CpuCounter {
 public:
  explicit CpuCounter(benchmark::State& state) : state_(state), start_(processCpuMs()) {}
  ~CpuCounter() {
    if (state_.iterations() > 0)
      state_.counters["cpu_ms_all_threads"] = (processCpuMs() - start_) / static_cast<double>(state_.iterations());
  }

 private:
  benchmark::State& state_;
  double start_;
};

double bufferMib(const Workload& w) {
  return static_cast<double>(wave::RecordBufferBytes(w.record, wave::MakeRecordLayout(w.record))) / (1 << 20);
}

std::string datPath(const Workload& w) { return wave::DatPartnerPath(w.record.CfgPath); }

void readDat(const Workload& w, wave::RecordData& data) {
  wave::FileDataReader dat(datPath(w));
  std::vector<common::UserMessage> messages;
  if (w.spec.format == recordgen::DatFormat::Ascii)
    wave::ReadAsciiDat(data, dat, messages);
  else
    wave::ReadBinaryDat(data, dat, messages);
  benchmark::DoNotOptimize(messages);
}

// Into buffers that were written once before (the pages are there): the
// reader's own speed. Open below includes fresh buffers.
void readAndPlace(benchmark::State& state, const std::string& name) {
  Workload& w = workloads().get(name);
  auto data = wave::RecordData::Create(w.record).data;
  readDat(w, *data);
  const CpuCounter cpu(state);
  for (auto _ : state) readDat(w, *data);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.datBytes));
}

void interpolate(benchmark::State& state, const std::string& name) {
  Workload& w = workloads().get(name);
  auto data = wave::RecordData::Create(w.record).data;
  readDat(w, *data);
  const CpuCounter cpu(state);
  for (auto _ : state) {
    wave::InterpolateRecord(*data);  // rewrites the same points from the same samples
    benchmark::ClobberMemory();
  }
  state.counters["points"] = static_cast<double>(data->layout().analogPoints * w.spec.analog);
}

void analyse(benchmark::State& state, const std::string& name) {
  Workload& w = workloads().loaded(name);
  const CpuCounter cpu(state);
  for (auto _ : state) {
    wave::AnalyseRecord(*w.loaded);
    benchmark::ClobberMemory();
  }
}

void openRecord(benchmark::State& state, const std::string& name) {
  Workload& w = workloads().get(name);
  const std::uint64_t before = bench::StatusKib("VmRSS:");
  bench::ResetPeakMemory();
  const CpuCounter cpu(state);
  for (auto _ : state) {
    auto opened = wave::OpenRecordData(w.record, 0, {});
    benchmark::DoNotOptimize(opened.data);
  }
  const double peak = static_cast<double>(bench::StatusKib("VmHWM:") - std::min(before, bench::StatusKib("VmHWM:"))) / 1024;
  state.counters["buffers_MiB"] = bufferMib(w);
  state.counters["peak_MiB"] = peak;
  state.counters["over_buffers_MiB"] = peak - bufferMib(w);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.datBytes));
}

// --- harmonics and RMS curves of large cycles ---
// W6 = recordgen --analog 8 --digital 2 --rate 2000000:40000 (one cycle of
// 40 000 samples: the harmonic spectrum) and three cycles at 10 MHz, 8
// channels (RMS curves over cycles of 200 000 samples), written into a
// temporary folder of their own when first needed.

class CycleWorkloads {
 public:
  CycleWorkloads() {
    folder_ = bench::NewTempFolder("analysis_bench_cycles");
    recordgen::RecordSpec w6;
    w6.analog = 8;
    w6.digital = 2;
    w6.rates = {{2000000, 40000}};
    add("W6", w6);
    recordgen::RecordSpec fast;
    fast.analog = 8;
    fast.digital = 0;
    fast.rates = {{10000000, 600000}};
    add("3cycles10MHz", fast);
  }
  ~CycleWorkloads() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  wave::RecordData& get(const std::string& name) { return *loaded_.at(name); }
  const wave::TcfgInfo& record(const std::string& name) { return records_.at(name); }

 private:
  void add(const std::string& name, const recordgen::RecordSpec& spec) {
    const auto written = recordgen::WriteRecord(spec, folder_, name);
    records_.emplace(name, recordgen::MakeCfgInfo(spec, written.cfg.string()));
    auto opened = wave::OpenRecordData(records_.at(name), 0, {});
    loaded_.emplace(name, std::move(opened.data));
  }

  std::filesystem::path folder_;
  std::map<std::string, wave::TcfgInfo> records_;
  std::map<std::string, std::shared_ptr<wave::RecordData>> loaded_;
};

CycleWorkloads& cycleWorkloads() {
  static CycleWorkloads instance;
  return instance;
}

// The harmonic spectrum of W6 (CalcHarmonics over all threads).
void harmonicsOfALongCycle(benchmark::State& state) {
  wave::RecordData& data = cycleWorkloads().get("W6");
  const CpuCounter cpu(state);
  for (auto _ : state) {
    wave::CalcHarmonics(data.layout(), data.samples(0), data.harmonics());
    benchmark::ClobberMemory();
  }
  state.counters["orders"] = static_cast<double>(data.layout().N1 / 2);
}

// The RMS curves of the 10 MHz record, one channel after the other on one
// thread (as a worker opening the record calls them) or all of them.
void rmsOfLongCycles(benchmark::State& state) {
  wave::RecordData& data = cycleWorkloads().get("3cycles10MHz");
  const bool allThreads = state.range(0) != 0;
  const CpuCounter cpu(state);
  for (auto _ : state) {
    if (allThreads) {
      wave::AnalyseRecord(data);
    } else {
      for (std::size_t i = 0; i < data.analogCount(); ++i) wave::CalcRmsCurve(data.layout(), data.samples(i), data.rms(i));
    }
    benchmark::ClobberMemory();
  }
  state.counters["samples"] = static_cast<double>(data.layout().sampleCount * static_cast<std::int64_t>(data.analogCount()));
}

// The whole open of W6: reading, then the harmonic spectrum.
void openOneLongCycle(benchmark::State& state) {
  const wave::TcfgInfo& record = cycleWorkloads().record("W6");
  const CpuCounter cpu(state);
  for (auto _ : state) {
    auto opened = wave::OpenRecordData(record, 0, {});
    benchmark::DoNotOptimize(opened.data);
  }
}

void registerCycleBenchmarks() {
  benchmark::RegisterBenchmark("OpenOneCycle/W6", openOneLongCycle)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("Harmonics/W6", harmonicsOfALongCycle)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("Rms/3cycles10MHz", rmsOfLongCycles)
      ->ArgName("all_threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void registerAll() {
  const auto ms = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime(); };
  for (const char* name : {"W1", "W2", "W3"}) ms(benchmark::RegisterBenchmark((std::string("Read/") + name).c_str(), readAndPlace, name));
  for (const char* name : {"W2", "W3"}) ms(benchmark::RegisterBenchmark((std::string("Interpolate/") + name).c_str(), interpolate, name));
  for (const char* name : {"W1", "W2", "W3"}) ms(benchmark::RegisterBenchmark((std::string("Rms/") + name).c_str(), analyse, name));
  ms(benchmark::RegisterBenchmark("Harmonics/W4", analyse, "W4"));
  for (const char* name : {"W1", "W2", "W3", "W4", "W5", "W6", "Lying", "LyingAscii", "LyingTwoRates"})
    ms(benchmark::RegisterBenchmark((std::string("Open/") + name).c_str(), openRecord, name));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing the workloads...\n");
  workloads();
  registerAll();
  registerCycleBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
