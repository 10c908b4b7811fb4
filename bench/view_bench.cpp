// One paint of the wave view into a 1600 x 1000 image, on two records written
// by the record generator into a temporary folder at start and opened as a
// window opens them (reading, analysis, envelopes):
//   W1: BINARY, 96 analogue and 160 digital channels, 10 kHz, 100 000 samples;
//   W5: recordgen --analog 64 --digital 32 --rate 20000:1200000;
//   TwoRates: recordgen --analog 10 --digital 0 --rate 1000:10000 --rate 100000:210000
//   (10 s at 1 kHz, interpolated, then 2 s at 100 kHz), markers on and off.
// 8 rows of 4 channels and 32 digital lanes, at every zoom level from -4 to 4,
// the frame taken from the middle of the record; the same for the RMS view, and
// one move of the time cursor (the two columns it repaints); and the pixel
// columns a zoom level keeps, made as its first frame makes them.
//
//   view_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/draw_summary.h"
#include "waveform/analysis/open_record.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/view/rms_view.h"
#include "waveform/view/time_cursor.h"
#include "waveform/view/wave_draw.h"
#include "waveform/view/zoom.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;

struct Workload {
  std::shared_ptr<wave::RecordData> data;
  std::vector<std::span<const double>> buffers;
  std::vector<std::span<const std::uint8_t>> lanes;
  std::vector<std::span<const double>> rms;
  wave::WaveScales scales;
  wave::RmsScales rmsScales;
};

Workload load(const recordgen::RecordSpec& spec, const std::string& name) {
  const auto folder = bench::NewTempFolder("view_bench");
  const auto files = recordgen::WriteRecord(spec, folder, name);
  Workload w;
  w.data = wave::OpenRecordData(recordgen::MakeCfgInfo(spec, files.cfg.string()), 0, {}).data;
  std::filesystem::remove_all(folder);
  if (!w.data) {
    std::fprintf(stderr, "%s could not be opened\n", name.c_str());
    std::exit(1);
  }
  for (std::size_t i = 0; i < w.data->analogCount(); ++i) w.buffers.push_back(w.data->samples(i));
  for (std::size_t d = 0; d < w.data->digitalCount(); ++d) w.lanes.push_back(w.data->digital(d));
  for (std::size_t i = 0; i < w.data->analogCount(); ++i) w.rms.push_back(w.data->rms(i));
  wave::ComputeRmsPeaks(w.rmsScales, w.rms, w.data->layout().sampleCount);
  return w;
}

Workload& w1() {
  static Workload instance = [] {
    recordgen::RecordSpec spec;
    spec.format = recordgen::DatFormat::Binary;
    spec.analog = 96;
    spec.digital = 160;
    spec.rates = {{10000, 100000}};
    spec.seed = 42;
    return load(spec, "W1");
  }();
  return instance;
}

Workload& w5() {
  static Workload instance = [] {
    return load(bench::W5Spec(), "W5");
  }();
  return instance;
}

Workload& twoRates() {
  static Workload instance = [] {
    recordgen::RecordSpec spec;
    spec.analog = 10;
    spec.digital = 0;
    spec.rates = {{1000, 10000}, {100000, 210000}};
    spec.seed = 42;
    return load(spec, "TwoRates");
  }();
  return instance;
}

wave::WindowOptions options(bool pointsAndLines) {
  wave::WindowOptions o;
  for (int g = 0; g < wave::kGroupRowCount; ++g) {
    auto& row = o.WindowGroups[static_cast<std::size_t>(g)];
    row.Count = 4;
    for (int j = 0; j < 4; ++j) row.Channel[static_cast<std::size_t>(j)] = row.ColorIndex[static_cast<std::size_t>(j)] = g * 4 + j;
  }
  o.WindowGroupCount = 8;
  o.WindowDigital.Count = 32;
  for (int q = 0; q < 32; ++q) o.WindowDigital.Index[static_cast<std::size_t>(q)] = q;
  o.WindowPointsAndLines = pointsAndLines ? 1 : 0;
  return o;
}

enum class View { Wave, Rms };

// Where the frame lies: in the middle of the record, at its start (where zoomed
// far out every digital sample lies on one x), or centred where the second rate
// begins.
enum class Frame { Middle, Start, RateChange };

// The view at horizontal zoom level `level`, at `frame`.
// cursorOnly: only the two pixel columns that a move of the time cursor repaints.
// withSummary: false draws from every point, as before the envelopes.
void paintFrame(benchmark::State& state, Workload& (*workload)(), View view, bool pointsAndLines, int level,
                bool cursorOnly, bool withSummary, Frame frame) {
  Workload& w = workload();
  const wave::WindowOptions o = options(pointsAndLines);
  const wave::WaveViewport viewport = wave::SetZoomLevels(w.data->layout(), level, 0);
  const wave::WaveGeometry geo = wave::MakeWaveGeometry(w.data->layout(), viewport, o);
  wave::ComputeChannelPeaks(w.scales, std::span(w.buffers).first(w.data->analogCount()), geo.P1 + geo.P2);
  w.scales.ScalesDirty = 1;
  wave::UpdateGroupScales(w.scales, o.WindowGroups);
  w.rmsScales.ScalesDirty = 1;
  wave::UpdateRmsScales(w.rmsScales, o.WindowGroups);
  const wave::WaveScene scene{geo,
                              o,
                              w.scales,
                              w.buffers,
                              w.lanes,
                              w.data->record(),
                              wave::DisplaySettings::DefaultChannelColors,
                              w.data->NoNegativeSamples == 0,
                              false,
                              withSummary ? w.data->drawSummary() : nullptr};
  const std::int64_t rateChange = std::max<std::int64_t>(0, geo.xOfPoint2(0) - kWidth / 2);
  const int left = frame == Frame::Start        ? 0
                   : frame == Frame::RateChange ? static_cast<int>(rateChange)
                                                : static_cast<int>(geo.recordWidth() / 2);
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  std::vector<wave::Rect> parts{wave::Rect{left, 0, left + kWidth, kHeight}};
  if (cursorOnly) {
    const wave::CursorLine line = wave::CursorLineAt(geo, left + kWidth / 2);
    parts = {wave::Rect{line.x, line.top, line.x + 1, line.bottom},
             wave::Rect{line.x + 1, line.top, line.x + 2, line.bottom}};
  }
  for (auto _ : state) {
    QPainter painter(&image);
    painter.translate(-left, 0);
    for (const wave::Rect& part : parts) {
      if (cursorOnly) painter.setClipRect(QRect(part.left, part.top, part.width(), part.height()));
      wave::QPainterCanvas canvas(painter, part);
      if (view == View::Wave)
        wave::PaintWaveView(canvas, scene);
      else
        wave::PaintRmsView(canvas, wave::RmsScene{scene, w.rms, w.rmsScales});
      const wave::CursorLine line = wave::CursorLineAt(geo, left + kWidth / 2 + 1);
      canvas.pen() = wave::Pen{0xFF0000, 1, wave::PenStyle::Solid, wave::PenMode::Xor};
      canvas.moveTo(line.x, line.top);
      canvas.lineTo(line.x, line.bottom);
    }
  }
}

// Building the envelopes of the whole record, as opening it does after the analysis.
void buildSummary(benchmark::State& state, Workload& (*workload)()) {
  Workload& w = workload();
  for (auto _ : state) wave::BuildDrawSummary(*w.data);
  const wave::DrawSummary& s = *w.data->drawSummary();
  std::size_t bytes = 0, points = 0;
  for (const auto* curves : {&s.rate1, &s.rate2, &s.rms})
    for (const wave::PointEnvelope& e : *curves) {
      bytes += e.bytes();
      points += static_cast<std::size_t>(e.count());
    }
  state.counters["summary_MiB"] = static_cast<double>(bytes) / (1 << 20);
  state.counters["bytes_per_point"] = static_cast<double>(bytes) / static_cast<double>(std::max<std::size_t>(1, points));
}

// The pixel columns of the 32 drawn channels at a zoom level, as the first
// frame after a zoom change makes them (the wave view's first-rate points).
void keepColumns(benchmark::State& state, Workload& (*workload)(), int level) {
  Workload& w = workload();
  const wave::WindowOptions o = options(true);
  const wave::WaveGeometry geo =
      wave::MakeWaveGeometry(w.data->layout(), wave::SetZoomLevels(w.data->layout(), level, 0), o);
  const wave::DrawSummary& summary = *w.data->drawSummary();
  const std::int64_t step = w.data->NoNegativeSamples == 0 ? 1 : geo.f1;
  const wave::PointX x{0, static_cast<double>(geo.XStep1), static_cast<double>(geo.L), step, 0};
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (std::size_t c = 0; c < 32 && c < summary.rate1.size(); ++c) {
      const auto columns = wave::PointColumns::Make(summary.rate1[c], w.buffers[c], x);
      if (columns) bytes += columns->bytes();
    }
  }
  state.counters["bytes_per_channel"] = static_cast<double>(bytes) / 32;
  state.counters["bytes_per_point"] =
      static_cast<double>(bytes) / 32 / static_cast<double>(std::max<std::int64_t>(1, summary.rate1[0].count()));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  char arg0[] = "view_bench";
  char* qtArgv[] = {arg0, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing and opening W1, W5 and TwoRates...\n");
  w1();
  w5();
  twoRates();
  const auto ms = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime(); };
  const std::pair<const char*, Workload& (*)()> workloads[] = {{"W1", w1}, {"W5", w5}};
  for (const auto& [name, workload] : workloads) {
    for (const auto& [viewName, view] : {std::pair{"PaintWave", View::Wave}, std::pair{"PaintRms", View::Rms}})
      for (int level = wave::kMinZoomLevel; level <= wave::kMaxZoomLevel; ++level)
        ms(benchmark::RegisterBenchmark((std::string(viewName) + "/" + name + "/zoom" + std::to_string(level) + "/points").c_str(),
                                        paintFrame, workload, view, true, level, false, true, Frame::Middle));
    const std::string w = name;
    ms(benchmark::RegisterBenchmark(("PaintWave/" + w + "/zoom-4/lines").c_str(), paintFrame, workload, View::Wave, false,
                                    -4, false, true, Frame::Middle));
    ms(benchmark::RegisterBenchmark(("PaintWave/" + w + "/zoom-4/lines/every_point").c_str(), paintFrame, workload,
                                    View::Wave, false, -4, false, false, Frame::Middle));
    ms(benchmark::RegisterBenchmark(("PaintWave/" + w + "/zoom-4/points/every_point").c_str(), paintFrame, workload,
                                    View::Wave, true, -4, false, false, Frame::Middle));
    ms(benchmark::RegisterBenchmark(("PaintRms/" + w + "/zoom-4/points/every_point").c_str(), paintFrame, workload,
                                    View::Rms, true, -4, false, false, Frame::Middle));
    ms(benchmark::RegisterBenchmark(("PaintWave/" + w + "/zoom-4/points/start").c_str(), paintFrame, workload, View::Wave,
                                    true, -4, false, true, Frame::Start));
    ms(benchmark::RegisterBenchmark(("PaintWave/" + w + "/zoom-4/points/start/every_point").c_str(), paintFrame,
                                    workload, View::Wave, true, -4, false, false, Frame::Start));
    ms(benchmark::RegisterBenchmark(("MoveCursor/" + w + "/zoom0/points").c_str(), paintFrame, workload, View::Wave, true,
                                    0, true, true, Frame::Middle));
    ms(benchmark::RegisterBenchmark(("BuildDrawSummary/" + w).c_str(), buildSummary, workload));
    for (const int level : {-4, -3})
      ms(benchmark::RegisterBenchmark(("KeepColumns/" + w + "/zoom" + std::to_string(level)).c_str(), keepColumns,
                                      workload, level));
  }
  for (const auto& [viewName, view] : {std::pair{"PaintWave", View::Wave}, std::pair{"PaintRms", View::Rms}})
    for (const bool points : {true, false})
      for (int level = wave::kMinZoomLevel; level <= wave::kMaxZoomLevel; ++level)
        ms(benchmark::RegisterBenchmark((std::string(viewName) + "/TwoRates/zoom" + std::to_string(level) +
                                         (points ? "/points" : "/lines")).c_str(),
                                        paintFrame, twoRates, view, points, level, false, true, Frame::RateChange));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
