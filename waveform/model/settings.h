#pragma once
// The display settings shared by the options dialog, the record windows and the
// printed page: one object owned by the application and passed by reference.
// The colours and the last record folder are kept between runs in zavoviv.ini.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

namespace wave {

// A colour as 0x00BBGGRR; it becomes a screen colour only in the forms.
using TColor = std::int32_t;

inline constexpr int kColorCount = 24;        // keys Color_1 .. Color_24
inline constexpr int kPrintPageCount = 50;    // pages 1 .. 50
inline constexpr int kGroupRowCount = 8;      // plot rows (axes)
inline constexpr int kChannelsPerGroup = 4;   // channels per plot row
inline constexpr int kMaxDigitalShown = 32;   // digital channels shown at once

// Positions (0-based) of the colours that are not channel traces.
inline constexpr int kGridColor = 20;
inline constexpr int kBackgroundColor = 21;
inline constexpr int kDigitalTraceColor = 22;
inline constexpr int kDigitalNameColor = 23;

// One plot row: the analogue channels on it and the colour index of each.
struct TChannelGroup {
  std::int32_t Count = 0;
  std::array<std::int32_t, kChannelsPerGroup> Channel{};
  std::array<std::int32_t, kChannelsPerGroup> ColorIndex{};
  bool operator==(const TChannelGroup&) const = default;
};

// The digital channels shown, in display order.
struct TDigitalSelection {
  std::int32_t Count = 0;
  std::array<std::int32_t, kMaxDigitalShown> Index{};
  bool operator==(const TDigitalSelection&) const = default;
};

struct DisplaySettings {
  static constexpr std::array<TColor, kColorCount> DefaultChannelColors = {
      0xFF00FF, 0x0000FF, 0x000080, 0x808000, 0x008000, 0xFF0000, 0x800080, 0x008080,
      0x808080, 0xFFFF00, 0xFF00FF, 0x0000FF, 0x000080, 0x808000, 0x008000, 0xFF0000,
      0x800080, 0x008080, 0x808080, 0xFFFF00, 0x808080, 0xE9FFBE, 0xFF0000, 0x808000};

  // 0..19 channel traces, 20 grid and axes, 21 background, 22 digital traces,
  // 23 digital channel names.
  std::array<TColor, kColorCount> ChannelColors = DefaultChannelColors;
  // 1 = print page n + 1 (written by the page-range dialog).
  std::array<std::uint8_t, kPrintPageCount> PrintPageFlags{};
  std::string CfgFolderPath;
  std::int32_t ChannelGroupCount = 0;  // rows with Count >= 1
  std::array<TChannelGroup, kGroupRowCount> ChannelGroups{};
  TDigitalSelection DigitalSelection{};
  std::uint8_t ShowPointsAndLines = 1;
  std::uint8_t ShowGridX = 1;
  std::uint8_t ShowGridY = 1;
  std::uint8_t OptionsRedrawPending = 0;
  std::uint8_t OptionsAccepted = 0;
  std::uint8_t NewRecordOpened = 0;
  std::uint8_t PrinterWarningPending = 0;
  std::int32_t PrinterPageWidth = 0;
  std::int32_t PrinterPageHeight = 0;
};

// zavoviv.ini in the settings folder.
std::filesystem::path ZavovivIniPath();

// Colours from section "COLOR" (a missing key or a value that is not a number
// gives the default colour) and CfgFolderPath from "CfgFolder"/"Path". A
// missing or unreadable file gives the defaults.
void LoadIniSettings(DisplaySettings& settings, const std::filesystem::path& iniPath);

// Write the 24 colours / the last folder, keeping every other line of the file.
// The folder is created when missing. False when the file cannot be written;
// callers do not report it.
bool SaveChannelColors(const DisplaySettings& settings, const std::filesystem::path& iniPath);
bool SaveCfgFolder(const DisplaySettings& settings, const std::filesystem::path& iniPath);

}  // namespace wave
