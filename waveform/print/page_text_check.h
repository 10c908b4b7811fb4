#pragma once
// For the page-layout tests: a record that crowds its pages with texts, and
// the check that every text of a page lies on the sheet apart from the others.

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "common/datetime.h"
#include "waveform/analysis/test_support.h"
#include "waveform/canvas/recording_canvas.h"
#include "waveform/model/settings.h"

namespace wave::testing {

struct CrowdedRecord {
  TcfgInfo record;
  std::shared_ptr<RecordData> data;
  DisplaySettings settings;
};

// groups rows of 4 channels named like those of real records ("SRC 1  Vag
// Mag"), scales of 5 digits, and `digital` lanes with long Chinese names;
// 23 cycles of 20 samples at lf.
inline CrowdedRecord MakeCrowdedRecord(int groups, int digital, int lf) {
  CrowdedRecord c;
  c.record = MakeRecord(4 * groups, digital, 20 * lf, 20 * 23);
  c.record.lf = lf;
  c.record.station_name = "220kV 东郊变电站";
  c.record.rec_dev_id = "故障录波器 2 号";
  c.record.StartTime = common::EncodeDateTime({2024, 1, 2, 3, 4, 5, 6}).value();
  c.record.TriggerTime = common::EncodeDateTime({2024, 1, 2, 3, 4, 5, 106}).value();
  for (int i = 0; i < c.record.A; ++i)
    c.record.AInfo[static_cast<std::size_t>(i)].ch_id = "SRC " + std::to_string(i + 1) + "  Vag Mag";
  for (int i = 0; i < c.record.D; ++i)
    c.record.DInfo[static_cast<std::size_t>(i)].ch_id = std::to_string(i + 1) + "号主变高压侧断路器合位";
  c.data = Allocate(c.record);
  const RecordLayout& layout = c.data->layout();
  for (std::size_t ch = 0; ch < c.data->analogCount(); ++ch) {
    auto b = c.data->samples(ch);
    for (std::size_t i = 0; i < b.size(); ++i)
      b[i] = 88000.0 * std::sin(6.283185307179586 * static_cast<double>(i) / (layout.f1 * layout.N1) + ch);
  }
  for (std::size_t d = 0; d < c.data->digitalCount(); ++d) {
    auto b = c.data->digital(d);
    for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>((k / (7 + d)) % 2);
  }
  c.data->NoNegativeSamples = 0;
  for (int g = 0; g < groups; ++g) {
    auto& row = c.settings.ChannelGroups[static_cast<std::size_t>(g)];
    row.Count = 4;
    for (int j = 0; j < 4; ++j) row.Channel[static_cast<std::size_t>(j)] = row.ColorIndex[static_cast<std::size_t>(j)] = 4 * g + j;
  }
  c.settings.DigitalSelection.Count = digital;
  std::iota(c.settings.DigitalSelection.Index.begin(), c.settings.DigitalSelection.Index.begin() + digital, 0);
  return c;
}

// What is wrong with the texts of one page: each text outside the sheet and
// each pair that overlaps (a text drawn again on the same text counts once),
// in words.
inline std::vector<std::string> PageTextFaults(const std::vector<CanvasOp>& ops, const Rect& sheet,
                                               const RecordingCanvas::TextMeasure& measure) {
  std::vector<std::pair<std::string, Rect>> boxes;
  for (const auto& op : ops) {
    if (op.kind != OpKind::Text) continue;
    const Point p = op.points[0];
    const Rect box{p.x, p.y, p.x + measure(op.font, op.text), p.y + op.font.height};
    if (std::none_of(boxes.begin(), boxes.end(), [&](const auto& b) { return b.first == op.text && b.second == box; }))
      boxes.emplace_back(op.text, box);
  }
  const auto where = [](const std::pair<std::string, Rect>& b) {
    return "\"" + b.first + "\" at " + std::to_string(b.second.left) + "," + std::to_string(b.second.top) + ".." +
           std::to_string(b.second.right) + "," + std::to_string(b.second.bottom);
  };
  std::vector<std::string> faults;
  for (std::size_t a = 0; a < boxes.size(); ++a) {
    const Rect& box = boxes[a].second;
    if (box.left < sheet.left || box.top < sheet.top || box.right > sheet.right || box.bottom > sheet.bottom)
      faults.push_back(where(boxes[a]) + " leaves the sheet");
    for (std::size_t b = a + 1; b < boxes.size(); ++b)
      if (Intersects(box, boxes[b].second)) faults.push_back(where(boxes[a]) + " overlaps " + where(boxes[b]));
  }
  if (boxes.size() < 10) faults.push_back("only " + std::to_string(boxes.size()) + " texts");
  return faults;
}

}  // namespace wave::testing
