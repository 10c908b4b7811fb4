// One paint of the wave view into a 1600 x 1000 image, on the W1 record
// (BINARY, 96 analogue and 160 digital channels, 10 kHz, 100 000 samples):
// 8 rows of 4 channels and 32 digital lanes, at zoom 0 and zoomed out; the
// same for the RMS view, and one move of the time cursor (the two columns it
// repaints).
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
#include <random>
#include <string>
#include <vector>

#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/rms_harmonics.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/view/rms_view.h"
#include "waveform/view/time_cursor.h"
#include "waveform/view/wave_draw.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;

struct W1 {
  std::shared_ptr<wave::RecordData> data;
  std::vector<std::span<const double>> buffers;
  std::vector<std::span<const double>> rms;
  wave::WaveScales scales;
  wave::RmsScales rmsScales;
};

W1& w1() {
  static W1 instance = [] {
    recordgen::RecordSpec spec;
    spec.format = recordgen::DatFormat::Binary;
    spec.analog = 96;
    spec.digital = 160;
    spec.rates = {{10000, 100000}};
    spec.seed = 42;
    std::random_device seed;
    const auto folder = std::filesystem::temp_directory_path() / ("view_bench_" + std::to_string(seed()));
    std::filesystem::create_directories(folder);
    const auto files = recordgen::WriteRecord(spec, folder, "W1");
    W1 w;
    w.data = wave::RecordData::Create(recordgen::MakeCfgInfo(spec, files.cfg.string())).data;
    wave::LoadChannelData(*w.data, 0, {});
    std::filesystem::remove_all(folder);
    for (std::size_t slot = 0; slot < w.data->channelCount(); ++slot) w.buffers.push_back(w.data->samples(slot));
    wave::AnalyseRecord(*w.data);
    for (std::size_t i = 0; i < w.data->analogCount(); ++i) w.rms.push_back(w.data->rms(i));
    wave::ComputeRmsPeaks(w.rmsScales, w.rms, w.data->layout().sampleCount);
    return w;
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

// zoomShift: PixelsPerCycle1 divided by 2^zoomShift; the view starts in the middle of the record.
// cursorOnly: only the two pixel columns that a move of the time cursor repaints.
void paintFrame(benchmark::State& state, View view, bool pointsAndLines, int zoomShift, bool cursorOnly) {
  W1& w = w1();
  const wave::WindowOptions o = options(pointsAndLines);
  wave::WaveViewport viewport = wave::InitialViewport(w.data->layout());
  viewport.PixelsPerCycle1 >>= zoomShift;
  viewport.ZoomLevelX = -zoomShift;
  const wave::WaveGeometry geo = wave::MakeWaveGeometry(w.data->layout(), viewport, o);
  wave::ComputeChannelPeaks(w.scales, std::span(w.buffers).first(w.data->analogCount()), geo.P1 + geo.P2);
  w.scales.ScalesDirty = 1;
  wave::UpdateGroupScales(w.scales, o.WindowGroups);
  w.rmsScales.ScalesDirty = 1;
  wave::UpdateRmsScales(w.rmsScales, o.WindowGroups);
  const wave::WaveScene scene{geo, o, w.scales, w.buffers, w.data->record(), wave::DisplaySettings::DefaultChannelColors,
                              w.data->NoNegativeSamples == 0, false};
  const int left = static_cast<int>(geo.recordWidth() / 2);
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

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  char arg0[] = "view_bench";
  char* qtArgv[] = {arg0, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "writing and loading W1...\n");
  w1();
  const auto ms = [](benchmark::internal::Benchmark* b) { b->Unit(benchmark::kMillisecond)->UseRealTime(); };
  ms(benchmark::RegisterBenchmark("PaintWave/W1/zoom0/points", paintFrame, View::Wave, true, 0, false));
  ms(benchmark::RegisterBenchmark("PaintWave/W1/zoom0/lines", paintFrame, View::Wave, false, 0, false));
  ms(benchmark::RegisterBenchmark("PaintWave/W1/zoom-4/points", paintFrame, View::Wave, true, 4, false));
  ms(benchmark::RegisterBenchmark("PaintWave/W1/zoom-4/lines", paintFrame, View::Wave, false, 4, false));
  ms(benchmark::RegisterBenchmark("PaintRms/W1/zoom0/points", paintFrame, View::Rms, true, 0, false));
  ms(benchmark::RegisterBenchmark("PaintRms/W1/zoom-4/points", paintFrame, View::Rms, true, 4, false));
  ms(benchmark::RegisterBenchmark("MoveCursor/W1/zoom0/points", paintFrame, View::Wave, true, 0, true));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
