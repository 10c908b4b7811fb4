#pragma once
// A small record with its buffers and a scene over it, for the drawing tests.

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "common/paths.h"
#include "stationdb/records/records.h"
#include "waveform/analysis/open_record.h"
#include "waveform/analysis/record_data.h"
#include "waveform/model/cfgreader.h"
#include "waveform/model/datafile.h"
#include "waveform/view/wave_draw.h"

namespace wave::scenetest {

struct TestRecord {
  TcfgInfo record;
  RecordLayout layout;
  std::vector<std::vector<double>> data;         // analogue buffers
  std::vector<std::vector<std::uint8_t>> lanes;  // digital
  std::vector<std::span<const double>> spans;
  std::vector<std::span<const std::uint8_t>> laneSpans;
  WindowOptions options;
  WaveViewport viewport;
  WaveScales scales;
  std::array<TColor, kColorCount> colors = DisplaySettings::DefaultChannelColors;
  bool interpolated = true;

  // samp1 / lf samples per cycle, `samples` samples, analog and digital channels.
  TestRecord(int analog, int digital, int samp1, int lf, int samples, int samp2 = 0, int endsamp2 = 0) {
    record.A = static_cast<std::uint16_t>(analog);
    record.D = static_cast<std::uint16_t>(digital);
    record.TT = static_cast<std::uint16_t>(analog + digital);
    record.lf = lf;
    record.samp1 = samp1;
    record.endsamp1 = samples;
    record.nrates = samp2 > 0 ? 2 : 1;
    record.samp2 = samp2 > 0 ? samp2 : samp1;
    record.endsamp2 = samp2 > 0 ? endsamp2 : samples;
    for (int i = 0; i < analog; ++i) record.AInfo.push_back({"A" + std::to_string(i + 1), "V"});
    for (int i = 0; i < digital; ++i) record.DInfo.push_back({"D" + std::to_string(i + 1), 0});
    layout = MakeRecordLayout(record);
    viewport = InitialViewport(layout);
    data.assign(static_cast<std::size_t>(analog), std::vector<double>(static_cast<std::size_t>(layout.analogPoints)));
    lanes.assign(static_cast<std::size_t>(digital),
                 std::vector<std::uint8_t>(static_cast<std::size_t>(layout.sampleCount)));
  }

  // A record opened as a record window opens it: its buffers, and its points
  // drawn between samples when it has negative samples.
  explicit TestRecord(const RecordData& opened)
      : record(opened.record()), layout(opened.layout()), interpolated(opened.NoNegativeSamples == 0) {
    viewport = InitialViewport(layout);
    for (std::size_t i = 0; i < opened.analogCount(); ++i) {
      const auto b = opened.samples(i);
      data.emplace_back(b.begin(), b.end());
    }
    for (std::size_t d = 0; d < opened.digitalCount(); ++d) {
      const auto b = opened.digital(d);
      lanes.emplace_back(b.begin(), b.end());
    }
  }

  // Every point of every analogue channel on a sine of the given amplitude.
  void fillSines(double amplitude) {
    for (int c = 0; c < record.A; ++c) {
      auto& b = data[static_cast<std::size_t>(c)];
      for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = amplitude * (c + 1) * std::sin(6.2831853 * static_cast<double>(i) / (layout.f1 * layout.N1) + c);
    }
  }

  std::vector<std::uint8_t>& digitalData(int d) { return lanes[static_cast<std::size_t>(d)]; }

  void setRow(int g, std::vector<int> channels) {
    auto& row = options.WindowGroups[static_cast<std::size_t>(g)];
    row = {};
    row.Count = static_cast<int>(channels.size());
    for (std::size_t j = 0; j < channels.size(); ++j) row.Channel[j] = row.ColorIndex[j] = channels[j];
    options.WindowGroupCount = options.rowsInUse();
  }

  void setDigital(std::vector<int> indexes) {
    options.WindowDigital = {};
    options.WindowDigital.Count = static_cast<int>(indexes.size());
    for (std::size_t q = 0; q < indexes.size(); ++q) options.WindowDigital.Index[q] = indexes[q];
  }

  // Geometry and scales for the current options; keep the result alive while drawing.
  WaveGeometry prepare() {
    spans.assign(data.begin(), data.end());
    laneSpans.assign(lanes.begin(), lanes.end());
    const WaveGeometry geo = MakeWaveGeometry(layout, viewport, options);
    ComputeChannelPeaks(scales, std::span(spans).first(record.A), geo.P1 + geo.P2);
    scales.ScalesDirty = 1;
    UpdateGroupScales(scales, options.WindowGroups);
    return geo;
  }

  WaveScene scene(const WaveGeometry& geo, bool fullDetail = false) const {
    return WaveScene{geo, options, scales, spans, laneSpans, record, colors, interpolated, fullDetail};
  }
};

// The record of a .cfg file opened from a folder; null when it cannot be.
inline std::shared_ptr<RecordData> OpenRecordFile(const std::string& cfg) {
  const auto text = common::ReadWholeFile(cfg);
  if (!text) return nullptr;
  FileDataReader dat(DatPartnerPath(cfg));
  const auto parsed = ParseCfgText(*text, cfg, dat);
  if (!parsed.record) return nullptr;
  return OpenRecordData(*parsed.record, stationdb::kSourceFolder, {}).data;
}

}  // namespace wave::scenetest
