#include "waveform/export/sample_export.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "common/arith.h"
#include "common/datetime.h"
#include "common/gbk.h"
#include "common/paths.h"
#include "waveform/view/value_text.h"

namespace wave {

namespace {

constexpr double kMsPerDay = 86'400'000.0;

std::string decimal(std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string text(const common::LangLookup& lookup, int key, std::string_view fallback) {
  return lookup(kFaultWaveSection, "str" + decimal(key), fallback);
}

// values[index], or 0 for a point the buffer does not hold.
double at(std::span<const double> values, std::int64_t index) {
  return index >= 0 && static_cast<std::uint64_t>(index) < values.size() ? values[static_cast<std::size_t>(index)]
                                                                           : 0.0;
}

std::string value(double v) { return FormatFixed(v, 5, 3); }

ExportTable sampleTable(const RecordData& data, ViewMode mode, const common::LangLookup& lookup) {
  const TcfgInfo& record = data.record();
  const RecordLayout& layout = data.layout();
  const std::size_t analog = data.analogCount();
  const std::int64_t rows = std::max<std::int64_t>(0, record.endsamp1);

  ExportTable table;
  table.reserve(static_cast<std::size_t>(rows) + 1);
  std::vector<std::string>& header = table.emplace_back();
  header = {text(lookup, 39, "序列"), text(lookup, 40, "周波"), text(lookup, 41, "时间")};
  for (std::size_t i = 0; i < analog; ++i) header.push_back(record.AInfo[i].ch_id);

  const std::string timePattern = text(lookup, 42, "yyyy\"年\"mm\"月\"dd\"日\" hh:nn:ss.zzz");
  const float dt = 1.0f / static_cast<float>(layout.N1);  // single precision: the cycles column of stored exports is computed so
  for (std::int64_t k = 0; k < rows; ++k) {
    std::vector<std::string>& row = table.emplace_back();
    row.reserve(analog + 3);
    const double cycles = static_cast<double>(k) * static_cast<double>(dt);
    const std::int64_t offsetMs = common::Round(static_cast<long double>(cycles) * 1000 / record.lf);
    row.push_back(decimal(k + 1));
    row.push_back(FormatFixed(cycles, 3, 3));  // %3.3f
    row.push_back(common::FormatDateTime(timePattern, record.StartTime + static_cast<double>(offsetMs) / kMsPerDay));
    for (std::size_t i = 0; i < analog; ++i) {
      const double v = mode == ViewMode::Rms ? at(data.rms(i), k) : at(data.samples(i), k * layout.f1);
      row.push_back(value(v));
    }
  }
  return table;
}

ExportTable harmonicTable(const RecordData& data, const common::LangLookup& lookup) {
  const TcfgInfo& record = data.record();
  const auto harmonics = data.harmonics();
  const auto orders = std::min<std::size_t>(harmonics.size(), kMaxExportedHarmonics);

  ExportTable table;
  std::vector<std::string>& header = table.emplace_back();
  header.push_back(text(lookup, 43, "次数"));
  for (std::size_t i = 0; i < data.analogCount(); ++i) header.push_back(record.AInfo[i].ch_id);
  for (std::size_t k = 0; k < orders; ++k) {
    std::vector<std::string>& row = table.emplace_back();
    row.push_back(decimal(static_cast<std::int64_t>(k) + 2));
    // One spectrum per record: every channel's column holds it.
    row.insert(row.end(), data.analogCount(), value(harmonics[k]));
  }
  return table;
}

}  // namespace

ExportTable BuildExportTable(const RecordData& data, ViewMode mode, const common::LangLookup& lookup) {
  return mode == ViewMode::HarmonicBars ? harmonicTable(data, lookup) : sampleTable(data, mode, lookup);
}

std::string ExportFileBytes(const ExportTable& table) {
  std::string utf8;
  for (const auto& row : table) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) utf8 += '\t';
      utf8 += row[c];
    }
    utf8 += "\r\n";
  }
  return common::Utf8ToGbk(utf8);
}

ExportOutcome SaveGridToFile(const ExportTable& table, const std::filesystem::path& fileName) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(fileName, error);
  // The old file is replaced only once the new one is written in full, so a
  // failed write keeps it. A folder of that name is never replaced: it counts
  // as a file that cannot be deleted.
  if (fs::is_directory(status)) {
    common::UserMessage message;
    message.section = std::string(kFaultWaveSection);
    message.text = {common::TextPiece{"str35", "删除文件“"}, common::TextPiece::literal(fileName.string()),
                    common::TextPiece{"str36", "”出错，请检查！"}};
    message.caption = common::TextPiece::literal(std::string(kProgramTitle));
    message.icon = common::MessageIcon::None;
    return {false, std::move(message)};
  }
  if (common::WriteFileAtomic(fileName, ExportFileBytes(table))) return {true, std::nullopt};
  // A failed write is told, so that no one takes a missing file for an export.
  common::UserMessage message;
  message.section = std::string(kFaultWaveSection);
  message.text = {common::TextPiece::literal("写入文件“"), common::TextPiece::literal(fileName.string()),
                  common::TextPiece::literal("”出错，请检查！")};
  message.caption = common::TextPiece::literal(std::string(kProgramTitle));
  message.icon = common::MessageIcon::None;
  return {false, std::move(message)};
}

ExportOutcome ExportSamples(const RecordData& data, ViewMode mode, const std::filesystem::path& fileName,
                            const common::LangLookup& lookup) {
  ExportOutcome outcome = SaveGridToFile(BuildExportTable(data, mode, lookup), fileName);
  if (outcome.written) {
    common::UserMessage message;
    message.section = std::string(kFaultWaveSection);
    message.text = {common::TextPiece{"str44", "导出成功!"}};
    message.caption = common::TextPiece::literal(std::string(kProgramTitle));
    message.icon = common::MessageIcon::None;
    outcome.message = std::move(message);
  }
  return outcome;
}

common::TextPiece ExportFilterText() { return {"str37", "EXCEL表格文件|*.xls"}; }

std::vector<std::string> NameFiltersOf(std::string_view filterText) {
  std::vector<std::string> filters;
  while (!filterText.empty()) {
    const std::size_t bar = filterText.find('|');
    const std::string_view description = filterText.substr(0, bar);
    std::string_view patterns;
    if (bar != std::string_view::npos) {
      filterText.remove_prefix(bar + 1);
      const std::size_t next = filterText.find('|');
      patterns = filterText.substr(0, next);
      filterText = next == std::string_view::npos ? std::string_view() : filterText.substr(next + 1);
    } else {
      filterText = {};
    }
    std::string joined(patterns);
    std::replace(joined.begin(), joined.end(), ';', ' ');
    filters.push_back(std::string(description) + " (" + (joined.empty() ? std::string("*") : joined) + ")");
  }
  return filters;
}

std::filesystem::path WithDefaultExtension(const std::filesystem::path& fileName) {
  if (fileName.empty() || fileName.has_extension()) return fileName;
  std::filesystem::path out = fileName;
  out += ".";
  out += std::string(kExportDefaultExtension);
  return out;
}

}  // namespace wave
