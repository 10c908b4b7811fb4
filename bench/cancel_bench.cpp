// How long after Cancel long work stops: the harmonic spectrum of one cycle
// of 10^6 samples (500 000 orders, about 40 s of all threads uncancelled),
// cancelled 100 ms after it began, and the RMS curves of 8 channels of 4 * 10^6
// samples, cancelled after 10 ms. The time is that from the cancel to the
// worker's end; see bench/README.md.
//
//   cancel_bench --benchmark_repetitions=5

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <thread>

#include "common/job.h"
#include "waveform/analysis/rms_harmonics.h"

namespace {

std::shared_ptr<wave::RecordData> makeRecord(int analog, int samp1, int samples) {
  wave::TcfgInfo record;
  record.CfgPath = "/nonexistent/record.cfg";
  record.A = static_cast<std::uint16_t>(analog);
  record.TT = record.A;
  for (int i = 0; i < analog; ++i) {
    wave::TAInfo channel;
    channel.ch_id = "A" + std::to_string(i + 1);
    channel.a = 1;
    channel.PS = 'P';
    record.AInfo.push_back(channel);
  }
  record.lf = 50;
  record.nrates = 1;
  record.samp1 = record.samp2 = samp1;
  record.endsamp1 = record.endsamp2 = samples;
  record.ft = "BINARY";
  auto data = wave::RecordData::Create(record).data;
  if (!data) return nullptr;
  const std::int32_t f = data->layout().f1;
  for (int i = 0; i < analog; ++i)
    for (std::int64_t k = 0; k < samples; ++k)
      data->samples(static_cast<std::size_t>(i))[static_cast<std::size_t>(k * f)] =
          100 * std::sin(2 * std::numbers::pi * static_cast<double>(k) / data->layout().N1);
  return data;
}

void cancelAfter(benchmark::State& state, int delayMs, int analog, int samp1, int samples) {
  const auto data = makeRecord(analog, samp1, samples);
  if (!data) {
    state.SkipWithError("record refused");
    return;
  }
  double doneShare = 0;
  for (auto _ : state) {
    common::JobProgress progress;
    progress.begin(common::JobProgress::Stage::Analysing, wave::AnalyseSteps(*data));
    std::thread worker([&] { wave::AnalyseRecord(*data, &progress); });
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    const auto cancelled = std::chrono::steady_clock::now();
    progress.cancel();
    worker.join();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - cancelled).count());
    const auto snapshot = progress.snapshot();
    doneShare = static_cast<double>(snapshot.done) / static_cast<double>(snapshot.total);
  }
  state.counters["done_at_cancel_pct"] = 100 * doneShare;
}

}  // namespace

BENCHMARK_CAPTURE(cancelAfter, Spectrum/1x1e6/100ms, 100, 1, 50'000'000, 1'000'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(cancelAfter, Rms/8x4e6/10ms, 10, 8, 1000, 4'000'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK_MAIN();
