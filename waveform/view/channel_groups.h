#pragma once
// The channel selection of the display options dialog, without the dialog:
// analogue channels onto the 8 axes (at most 4 each, none twice on one axis),
// up to 32 digital channels, the grid and line switches, and the OK / Cancel
// rules. It edits the process-wide display settings directly.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/message.h"
#include "waveform/model/settings.h"

namespace wave {

inline constexpr std::string_view kOptionsDlgSection = "Strings_Options_Dlg";

// A message whose language text is a format: args fill its "%d"/"%s" in order.
struct FormattedMessage {
  common::UserMessage message;
  std::vector<std::string> args;
};

enum class DigitalAddResult { Added, AlreadySelected, Full };

class ChannelGroupsEditor {
 public:
  explicit ChannelGroupsEditor(DisplaySettings& settings) : settings_(settings) {}

  DisplaySettings& settings() { return settings_; }
  const DisplaySettings& settings() const { return settings_; }

  // FormCreate: points and lines, both grids; no redraw pending, nothing chosen.
  void create();
  // FormShow: for a new record (NewRecordOpened = 1) everything is reset and the
  // flag cleared; the copies that Cancel restores are taken after that.
  void show();
  // FormActivate.
  void activate() { ChannelsChosen = 0; }
  // FormClose.
  void close() { settings_.OptionsRedrawPending = 1; }

  // The channel is already on the axis, or the axis is full.
  bool If_Repeat_ChannelUnit(int axis, int channel) const;
  // Analogue channel onto an axis; it gets the colour of its own number.
  bool addFromAnalog(int axis, int channel);
  // Item of one axis onto another; it keeps its colour.
  bool moveToAxis(int fromAxis, int item, int toAxis);
  // Item of an axis back onto the analogue list: removed, the later ones move up.
  bool removeFromAxis(int axis, int item);

  DigitalAddResult addDigital(int channel);
  bool removeDigital(int item);
  // The first min(digitalCount, 32) channels; the message when more were asked for.
  std::optional<FormattedMessage> selectAllDigital(int digitalCount);
  void clearDigital();
  // The message for a drop onto a full digital selection.
  static FormattedMessage DigitalLimitMessage();

  // (ShowGridX, ShowGridY) and ShowPointsAndLines.
  void setGrid(bool x, bool y);
  void setPointsAndLines(bool on);

  // OK: the warning when no axis holds a channel (the dialog stays open); else
  // ChannelsChosen and OptionsAccepted are set.
  std::optional<common::UserMessage> accept();
  // Cancel: the axes and digital selection of the showing come back; grid, line
  // style and colours stay as they are now.
  void cancel();

  // 1 when the dialog was closed with OK.
  std::uint8_t ChannelsChosen = 0;

 private:
  TChannelGroup& row(int axis) { return settings_.ChannelGroups[static_cast<std::size_t>(axis)]; }
  static bool validAxis(int axis) { return axis >= 0 && axis < kGroupRowCount; }
  void removeEntry(int axis, int item);

  DisplaySettings& settings_;
  std::array<TChannelGroup, kGroupRowCount> savedGroups_{};
  std::int32_t savedGroupCount_ = 0;
  TDigitalSelection savedDigital_{};
};

}  // namespace wave
