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

// The file's bytes (GridToStrings and the saving of the list): each row's
// cells joined by a tab, every line ended by CR LF, in GBK.
std::string ExportFileBytes(const ExportTable& table);

struct ExportOutcome {
  bool written = false;
  // What the window shows: the success note, or why nothing was written.
  std::optional<common::UserMessage> message;
};

// SaveGridToFile: an existing file is deleted first; when it cannot be (or
// the name is a folder) nothing is written and the message says so. A write
// that fails afterwards has a message of its own.
ExportOutcome SaveGridToFile(const ExportTable& table, const std::filesystem::path& fileName);

// The whole export after the save dialog: the table of the view saved to
// fileName, and the success note "导出成功!" when it was written.
ExportOutcome ExportSamples(const RecordData& data, ViewMode mode, const std::filesystem::path& fileName,
                            const common::LangLookup& lookup = &common::BuiltInText);

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
