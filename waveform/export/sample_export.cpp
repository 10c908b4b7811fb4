#include "waveform/export/sample_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <charconv>
#include <cmath>
#include <exception>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "common/arith.h"
#include "common/datetime.h"
#include "common/gbk.h"
#include "common/paths.h"
#include "waveform/analysis/parallel.h"
#include "waveform/view/time_cursor.h"
#include "waveform/view/value_text.h"

namespace wave {

namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr int kTimeColumn = 2;

void appendDecimal(std::int64_t value, std::string& out) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

std::string text(const common::LangLookup& lookup, int key) {
  return lookup(kFaultWaveSection, "str" + std::to_string(key), ExportTextDefault(key));
}

// values[index], or 0 for a point the buffer does not hold.
double at(std::span<const double> values, std::int64_t index) {
  return index >= 0 && static_cast<std::uint64_t>(index) < values.size() ? values[static_cast<std::size_t>(index)]
                                                                           : 0.0;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Code page 936 for the texts of the rows, which repeat the same few
// characters (those of the time pattern): each run of non-ASCII bytes is
// converted once. A run ends where ASCII follows (a tab or CR at the latest),
// so it converts exactly as it does inside the whole file.
class GbkRunEncoder {
 public:
  void append(std::string_view utf8, std::string& out) {
    std::size_t i = 0;
    while (i < utf8.size()) {
      std::size_t j = i;
      const bool ascii = static_cast<unsigned char>(utf8[i]) < 0x80;
      while (j < utf8.size() && (static_cast<unsigned char>(utf8[j]) < 0x80) == ascii) ++j;
      const std::string_view run = utf8.substr(i, j - i);
      if (ascii)
        out.append(run);
      else
        out.append(converted(run));
      i = j;
    }
  }

 private:
  const std::string& converted(std::string_view run) {
    auto found = cache_.find(std::string(run));
    if (found != cache_.end()) return found->second;
    std::string gbk = common::Utf8ToGbk(std::string(run) + '\t');
    if (!gbk.empty() && gbk.back() == '\t') gbk.pop_back();
    return cache_.emplace(std::string(run), std::move(gbk)).first->second;
  }

  std::unordered_map<std::string, std::string> cache_;
};

// The rows of the table of one view, cell by cell: the grid sgData without
// the grid.
class ExportRows {
 public:
  ExportRows(const RecordData& data, ViewMode mode, const common::LangLookup& lookup)
      : data_(data), bars_(mode == ViewMode::HarmonicBars) {
    const TcfgInfo& record = data.record();
    const std::size_t analog = data.analogCount();
    if (bars_) {
      header_ = {text(lookup, 43)};
      harmonics_ = ComputedHarmonics(data);
      rows_ = static_cast<std::int64_t>(std::min<std::size_t>(harmonics_.size(), kMaxExportedHarmonics));
    } else {
      header_ = {text(lookup, 39), text(lookup, 40), text(lookup, 41)};
      timePattern_ = text(lookup, 42);
      asciiTimes_ = isAscii(timePattern_);
      // Single precision: the cycles column of stored exports is computed so.
      dt_ = 1.0f / static_cast<float>(data.layout().N1);
      rows_ = std::max<std::int64_t>(0, record.endsamp1);
      step_ = mode == ViewMode::Rms ? 1 : data.layout().f1;
      for (std::size_t i = 0; i < analog; ++i) values_.push_back(mode == ViewMode::Rms ? data.rms(i) : data.samples(i));
    }
    for (std::size_t i = 0; i < analog; ++i) header_.push_back(record.AInfo[i].ch_id);
  }

  const std::vector<std::string>& header() const { return header_; }
  std::int64_t rowCount() const { return rows_; }
  std::size_t columnCount() const { return header_.size(); }

  // The line of that row in the file: GBK, cells joined by tabs, CR LF.
  void appendLine(std::int64_t k, std::string& out) {
    for (std::size_t c = 0; c < columnCount(); ++c) {
      if (c > 0) out += '\t';
      if (!bars_ && c == kTimeColumn && !asciiTimes_) {
        cell_.clear();
        appendCell(k, c, cell_);
        encoder_.append(cell_, out);
      } else {
        appendCell(k, c, out);
      }
    }
    out += "\r\n";
  }

 private:
  void appendCell(std::int64_t k, std::size_t column, std::string& out) const {
    if (bars_) {
      if (column == 0)
        appendDecimal(k + 2, out);
      else
        AppendFixed3(harmonics_[static_cast<std::size_t>(k)], out);  // one spectrum: every column holds it
      return;
    }
    const double cycles = static_cast<double>(k) * static_cast<double>(dt_);
    switch (column) {
      case 0:
        appendDecimal(k + 1, out);
        return;
      case 1:
        AppendFixed3(cycles, out);  // %3.3f
        return;
      case kTimeColumn: {
        const std::int64_t offsetMs = common::Round(static_cast<long double>(cycles) * 1000 / data_.record().lf);
        out += common::FormatDateTime(timePattern_,
                                      data_.record().StartTime + static_cast<double>(offsetMs) / kMsPerDay);
        return;
      }
      default:
        AppendFixed3(at(values_[column - 3], k * step_), out);  // %5.3f
    }
  }

  const RecordData& data_;
  bool bars_;
  std::vector<std::string> header_;
  std::int64_t rows_ = 0;
  std::span<const double> harmonics_;
  std::string timePattern_;
  bool asciiTimes_ = true;
  float dt_ = 1;
  std::int64_t step_ = 1;
  std::vector<std::span<const double>> values_;
  std::string cell_;
  GbkRunEncoder encoder_;
};

common::UserMessage exportMessage(std::vector<common::TextPiece> text) {
  common::UserMessage message;
  message.section = std::string(kFaultWaveSection);
  message.text = std::move(text);
  message.caption = common::TextPiece::literal(std::string(kProgramTitle));
  message.icon = common::MessageIcon::None;
  return message;
}

// The old file cannot be deleted (str35 + name + str36).
ExportOutcome notDeleted(const std::filesystem::path& fileName) {
  return {false, exportMessage({common::TextPiece{"str35", "删除文件“"}, common::TextPiece::literal(fileName.string()),
                                common::TextPiece{"str36", "”出错，请检查！"}})};
}

// The new file cannot be written (str57 + name + str58).
ExportOutcome notWritten(const std::filesystem::path& fileName) {
  return {false, exportMessage({common::TextPiece{"str57", "无法写入文件“"}, common::TextPiece::literal(fileName.string()),
                                common::TextPiece{"str58", "”，请检查磁盘空间和文件夹权限！"}})};
}

// Whether an existing file at fileName is one that could not be deleted where
// the export comes from: a folder, a read-only file (no write permission for
// anyone, or none for us), or a file in a folder we cannot write.
bool cannotBeDeleted(const std::filesystem::path& fileName) {
  struct stat status {};
  if (::lstat(fileName.c_str(), &status) != 0) return false;  // nothing to delete
  if (S_ISDIR(status.st_mode)) return true;
  if (S_ISREG(status.st_mode) &&
      ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(fileName.c_str(), W_OK) != 0))
    return true;
  const std::filesystem::path folder = fileName.has_parent_path() ? fileName.parent_path() : ".";
  return ::access(folder.c_str(), W_OK | X_OK) != 0;
}

class AtomicExportFile final : public ExportFileWriter {
 public:
  explicit AtomicExportFile(const std::filesystem::path& fileName) : file_(fileName) {}
  bool ok() const { return file_.ok(); }
  bool write(std::string_view bytes) override { return file_.write(bytes); }
  bool commit() override { return file_.commit(); }

 private:
  common::AtomicFileWriter file_;
};

}  // namespace

void AppendFixed3(double value, std::string& out) {
  // x * 1000 is exact in extended precision (53 + 7 significant bits), so the
  // digits follow from it unless the part after the third decimal lies so
  // near one half that the 17 significant digits FormatFixed starts from
  // could round it the other way: those few go the long way.
  const double magnitude = std::fabs(value);
  if (magnitude < 1e12) {
    const long double scaled = static_cast<long double>(magnitude) * 1000.0L;
    const long double whole = std::floor(scaled);
    const long double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5L) > scaled * 1e-16L) {
      const auto units = static_cast<std::uint64_t>(whole) + (fraction > 0.5L ? 1 : 0);
      if (std::signbit(value) && units != 0) out += '-';
      appendDecimal(static_cast<std::int64_t>(units / 1000), out);
      const auto decimals = static_cast<unsigned>(units % 1000);
      const char digits[4] = {'.', static_cast<char>('0' + decimals / 100), static_cast<char>('0' + decimals / 10 % 10),
                              static_cast<char>('0' + decimals % 10)};
      out.append(digits, 4);
      return;
    }
  }
  out += FormatFixed(value, 5, 3);
}

std::unique_ptr<ExportFileWriter> OpenExportFile(const std::filesystem::path& fileName) {
  auto file = std::make_unique<AtomicExportFile>(fileName);
  if (!file->ok()) return nullptr;
  return file;
}

namespace {

// Rows formatted by worker threads, each into a buffer of its own, and
// written in order by the calling thread. Two sets of buffers: while one
// round is written the workers fill the other.
class StreamedExport {
 public:
  StreamedExport(const RecordData& data, ViewMode mode, const common::LangLookup& lookup, std::size_t threads)
      : threads_(threads), sync_(static_cast<std::ptrdiff_t>(threads) + 1) {
    formatters_.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t) formatters_.emplace_back(data, mode, lookup);
    rowCount_ = formatters_.front().rowCount();
    std::string header;
    for (const std::string& cell : formatters_.front().header()) header += (header.empty() ? "" : "\t") + cell;
    header_ = common::Utf8ToGbk(header + "\r\n");
    // Batches of about one buffer, by the length of the first row.
    std::string first;
    if (rowCount_ > 0) formatters_.front().appendLine(0, first);
    batchRows_ = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(kExportBufferBytes / std::max<std::size_t>(first.size(), 1)));
    roundRows_ = batchRows_ * static_cast<std::int64_t>(threads);
    for (auto& round : rounds_) {
      round.resize(threads);
      for (std::string& buffer : round) buffer.reserve(kExportBufferBytes + (std::size_t{64} << 10));
    }
  }

  std::int64_t rowCount() const { return rowCount_; }

  // False when a write failed or the job was cancelled; an exception of a
  // worker is thrown again here.
  bool writeTo(ExportFileWriter& file, common::JobProgress& progress) {
    if (!file.write(header_)) return false;
    {
      std::vector<std::jthread> workers;
      for (std::size_t t = 0; t < threads_; ++t) workers.emplace_back([this, t] { work(t); });
      ok_ = writeRounds(file, progress);
      stop_ = true;
      sync_.arrive_and_drop();
    }
    if (failure_) std::rethrow_exception(failure_);
    return ok_;
  }

 private:
  bool writeRounds(ExportFileWriter& file, common::JobProgress& progress) {
    for (std::int64_t r = 0; r * roundRows_ < rowCount_; ++r) {
      sync_.arrive_and_wait();  // round r is formatted; the workers go on with the next
      if (failed_) return false;
      for (const std::string& buffer : rounds_[static_cast<std::size_t>(r % 2)])
        if (!file.write(buffer)) return false;
      if (progress.cancelled()) return false;
      progress.advance(static_cast<std::uint64_t>(std::min(roundRows_, rowCount_ - r * roundRows_)));
    }
    return true;
  }

  void work(std::size_t t) {
    for (std::int64_t r = 0;; ++r) {
      if (stop_ || r * roundRows_ >= rowCount_) {
        sync_.arrive_and_drop();
        return;
      }
      std::string& buffer = rounds_[static_cast<std::size_t>(r % 2)][t];
      buffer.clear();
      const std::int64_t start = r * roundRows_ + static_cast<std::int64_t>(t) * batchRows_;
      try {
        for (std::int64_t k = start; k < std::min(rowCount_, start + batchRows_); ++k) formatters_[t].appendLine(k, buffer);
      } catch (...) {
        const std::lock_guard lock(failureGuard_);
        if (!failure_) failure_ = std::current_exception();
        failed_ = true;
      }
      sync_.arrive_and_wait();
    }
  }

  std::size_t threads_;
  std::vector<ExportRows> formatters_;
  std::int64_t rowCount_ = 0;
  std::string header_;
  std::int64_t batchRows_ = 1;
  std::int64_t roundRows_ = 1;
  std::array<std::vector<std::string>, 2> rounds_;
  std::barrier<> sync_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> failed_{false};
  bool ok_ = false;
  std::mutex failureGuard_;
  std::exception_ptr failure_;
};

}  // namespace

ExportOutcome ExportSamples(const RecordData& data, ViewMode mode, const std::filesystem::path& fileName,
                            const common::LangLookup& lookup, common::JobProgress* progress,
                            const ExportFileOpener& open) {
  if (cannotBeDeleted(fileName)) return notDeleted(fileName);
  common::JobProgress unwatched;
  if (!progress) progress = &unwatched;
  StreamedExport rows(data, mode, lookup, WorkerCount());
  progress->begin(common::JobProgress::Stage::Exporting, static_cast<std::uint64_t>(rows.rowCount()));
  const std::unique_ptr<ExportFileWriter> file = open(fileName);
  if (!file) return notWritten(fileName);
  const bool written = rows.writeTo(*file, *progress);
  // From here on the export either stops (the writer takes its new file with
  // it) or completes: a later cancel no longer keeps the old file.
  if (!progress->complete()) return {};
  if (!written || !file->commit()) return notWritten(fileName);
  return {true, exportMessage({common::TextPiece{"str44", "导出成功!"}})};
}

std::string_view ExportTextDefault(int key) {
  switch (key) {
    case 39: return "序列";
    case 40: return "周波";
    case 41: return "时间";
    case 42: return "yyyy\"年\"mm\"月\"dd\"日\" hh:nn:ss.zzz";
    case 43: return "次数";
    default: return {};
  }
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
