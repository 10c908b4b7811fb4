#pragma once
// The record window's sample export: a table of the samples, the RMS curve or
// the harmonic ratios (by the view shown), written as tab-separated lines
// ending in CR LF, in code page 936, to a file a spreadsheet program opens
// (its name ends ".xls"). Nothing here shows anything: the outcome says what
// the window has to show.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/job.h"
#include "common/message.h"
#include "waveform/analysis/record_data.h"
#include "waveform/view/wave_geometry.h"

namespace wave {

// The most harmonic orders the bar view's table lists (orders 2 to 64).
inline constexpr int kMaxExportedHarmonics = 63;

// The title of the export's message boxes.
inline constexpr std::string_view kProgramTitle = "Quenlor";

// Appends the text Format("%5.3f", value) gives (FormatFixed(value, 5, 3)),
// without building a string on the way for the values that occur in records.
void AppendFixed3(double value, std::string& out);

struct ExportOutcome {
  bool written = false;
  // What the window shows: the success note, or why nothing was written.
  std::optional<common::UserMessage> message;
};

// Where an export's bytes go: a new file, written piece by piece, that only
// commit puts in place of the old one (until then the old file stays).
class ExportFileWriter {
 public:
  virtual ~ExportFileWriter() = default;
  // False when the bytes could not be written (a full disk, say).
  virtual bool write(std::string_view bytes) = 0;
  // Makes the file durable and puts it in place; false on any failure.
  virtual bool commit() = 0;
};

// Makes the writer of a file; null when nothing can be written there (a
// folder that is missing or cannot be written).
using ExportFileOpener = std::function<std::unique_ptr<ExportFileWriter>(const std::filesystem::path&)>;

// The program's writer: a temporary file beside fileName, renamed over it.
std::unique_ptr<ExportFileWriter> OpenExportFile(const std::filesystem::path& fileName);

// The whole export after the save dialog (btnExportDataClick to
// SaveGridToFile): the table of the view (for the wave and RMS views one row
// per sample of the first rate with its number, its cycle, its time and a
// value per analogue channel; for the bar view one row per harmonic order;
// row 0 the headers, looked up in the window's section) as lines of cells
// joined by tabs, ended by CR LF, in GBK, streamed to fileName; the success
// note "导出成功!" when it was written.
// - An existing file that cannot be deleted (a folder of that name, a file
//   without write permission, or one in a folder that cannot be written) is
//   kept and the message says "删除文件“…”出错，请检查！" (str35, str36).
// - A file that cannot be written (no file can be made there, a write or the
//   commit failed) leaves the old file as it was, and the message says
//   "无法写入文件“…”，请检查磁盘空间和文件夹权限！" (str57, str58).
// - With progress: the rows written. A cancel that comes before the export
//   completes (JobProgress::complete, just before the new file is put in
//   place) stops it at its next buffer and leaves the old file (written false,
//   no message); one that comes later changes nothing.
ExportOutcome ExportSamples(const RecordData& data, ViewMode mode, const std::filesystem::path& fileName,
                            const common::LangLookup& lookup = &common::BuiltInText,
                            common::JobProgress* progress = nullptr, const ExportFileOpener& open = OpenExportFile);

// The bytes of rows one worker formats before they are written (the export
// holds two rounds of such buffers per worker thread).
inline constexpr std::size_t kExportBufferBytes = std::size_t{512} << 10;

// The built-in text of the window's key str<key>, 39 to 43 (headers, time pattern).
std::string_view ExportTextDefault(int key);

// What the save dialog (ExportGridToXls) is set up with: default extension,
// the filter text (key str37 of the window's section, "描述|*.ext" pairs), an
// overwrite prompt.
inline constexpr std::string_view kExportDefaultExtension = "xls";
common::TextPiece ExportFilterText();
// The filter text "描述|*.ext|..." as Qt name filters "描述 (*.ext)".
std::vector<std::string> NameFiltersOf(std::string_view filterText);
// The chosen name with the default extension added when it has none.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& fileName);

}  // namespace wave
