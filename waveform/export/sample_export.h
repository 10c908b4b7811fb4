#pragma once
// The record window's sample export: a table of the samples, the RMS curve or
// the harmonic ratios (by the view shown), written as tab-separated lines
// ending in CR LF, in code page 936, to a file a spreadsheet program opens
// (its name ends ".xls"). Nothing here shows anything: the outcome says what
// the window has to show.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/job.h"
#include "common/message.h"
#include "waveform/analysis/record_data.h"
#include "waveform/view/wave_geometry.h"

namespace wave {

// The table as the window's hidden grid sgData holds it: rows of cells, row 0
// the headers.
using ExportTable = std::vector<std::vector<std::string>>;

// The most harmonic orders the bar view's table lists (orders 2 to 64).
inline constexpr int kMaxExportedHarmonics = 63;

// The title of the export's message boxes.
inline constexpr std::string_view kProgramTitle = "Quenlor";

// Builds the table of the view (btnExportDataClick): for the wave and RMS views
// one row per sample of the first rate with its number, its cycle, its time
// and a value per analogue channel; for the bar view one row per harmonic
// order. Texts (headers, the time pattern) come from the window's language
// section through lookup.
ExportTable BuildExportTable(const RecordData& data, ViewMode mode,
                             const common::LangLookup& lookup = &common::BuiltInText);

// Appends the text Format("%5.3f", value) gives (FormatFixed(value, 5, 3)),
// without building a string on the way for the values that occur in records.
void AppendFixed3(double value, std::string& out);

// The file's bytes (GridToStrings and the saving of the list): each row's
// cells joined by a tab, every line ended by CR LF, in GBK.
std::string ExportFileBytes(const ExportTable& table);

struct ExportOutcome {
  bool written = false;
  // What the window shows: the success note, or why nothing was written.
  std::optional<common::UserMessage> message;
};

// SaveGridToFile: the table's bytes replace the file at once when they are
// all written; when it cannot be replaced (a folder of that name, a folder
// that cannot be written, a failed write) the old file stays and the message
// says "删除文件“…”出错，请检查！".
ExportOutcome SaveGridToFile(const ExportTable& table, const std::filesystem::path& fileName);

// The whole export after the save dialog: the table of the view streamed to
// fileName, and the success note "导出成功!" when it was written. The rows
// are formatted into a buffer of a fixed size and written as it fills, into a
// temporary file that replaces the old one only at the end, so a failed or
// cancelled export leaves the old file as it was. With progress: the rows
// written, and a cancelled job stops at its next buffer (written false, no
// message).
ExportOutcome ExportSamples(const RecordData& data, ViewMode mode, const std::filesystem::path& fileName,
                            const common::LangLookup& lookup = &common::BuiltInText,
                            common::JobProgress* progress = nullptr);

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
