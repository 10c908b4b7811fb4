#include "waveform/view/channel_groups.h"

#include <algorithm>

namespace wave {

void ChannelGroupsEditor::create() {
  settings_.ShowPointsAndLines = 1;
  settings_.ShowGridX = 1;
  settings_.ShowGridY = 1;
  settings_.OptionsRedrawPending = 0;
  ChannelsChosen = 0;
}

void ChannelGroupsEditor::show() {
  if (settings_.NewRecordOpened == 1) {
    settings_.ShowPointsAndLines = 1;
    settings_.ShowGridX = 1;
    settings_.ShowGridY = 1;
    settings_.ChannelGroupCount = 0;
    settings_.ChannelGroups = {};
    settings_.DigitalSelection = {};
    settings_.NewRecordOpened = 0;
  }
  savedGroups_ = settings_.ChannelGroups;
  savedGroupCount_ = settings_.ChannelGroupCount;
  savedDigital_ = settings_.DigitalSelection;
}

bool ChannelGroupsEditor::If_Repeat_ChannelUnit(int axis, int channel) const {
  const auto& g = settings_.ChannelGroups[static_cast<std::size_t>(axis)];
  const int count = std::clamp(g.Count, 0, kChannelsPerGroup);
  if (count >= kChannelsPerGroup) return true;
  return std::find(g.Channel.begin(), g.Channel.begin() + count, channel) != g.Channel.begin() + count;
}

bool ChannelGroupsEditor::addFromAnalog(int axis, int channel) {
  if (!validAxis(axis) || channel < 0 || If_Repeat_ChannelUnit(axis, channel)) return false;
  TChannelGroup& g = row(axis);
  const auto at = static_cast<std::size_t>(g.Count);
  g.Channel[at] = channel;
  g.ColorIndex[at] = channel;
  if (g.Count++ == 0) ++settings_.ChannelGroupCount;
  return true;
}

void ChannelGroupsEditor::removeEntry(int axis, int item) {
  TChannelGroup& g = row(axis);
  for (int k = item; k + 1 < g.Count; ++k) {
    g.Channel[static_cast<std::size_t>(k)] = g.Channel[static_cast<std::size_t>(k + 1)];
    g.ColorIndex[static_cast<std::size_t>(k)] = g.ColorIndex[static_cast<std::size_t>(k + 1)];
  }
  --g.Count;
  g.Channel[static_cast<std::size_t>(g.Count)] = 0;
  g.ColorIndex[static_cast<std::size_t>(g.Count)] = 0;
  if (g.Count == 0) --settings_.ChannelGroupCount;
}

bool ChannelGroupsEditor::moveToAxis(int fromAxis, int item, int toAxis) {
  if (!validAxis(fromAxis) || !validAxis(toAxis) || item < 0 || item >= row(fromAxis).Count) return false;
  const auto at = static_cast<std::size_t>(item);
  const int channel = row(fromAxis).Channel[at];
  const int colorIndex = row(fromAxis).ColorIndex[at];
  if (If_Repeat_ChannelUnit(toAxis, channel)) return false;
  removeEntry(fromAxis, item);
  TChannelGroup& to = row(toAxis);
  const auto end = static_cast<std::size_t>(to.Count);
  to.Channel[end] = channel;
  to.ColorIndex[end] = colorIndex;
  if (to.Count++ == 0) ++settings_.ChannelGroupCount;
  return true;
}

bool ChannelGroupsEditor::removeFromAxis(int axis, int item) {
  if (!validAxis(axis) || item < 0 || item >= row(axis).Count) return false;
  removeEntry(axis, item);
  return true;
}

DigitalAddResult ChannelGroupsEditor::addDigital(int channel) {
  TDigitalSelection& sel = settings_.DigitalSelection;
  const int count = std::clamp(sel.Count, 0, kMaxDigitalShown);
  if (std::find(sel.Index.begin(), sel.Index.begin() + count, channel) != sel.Index.begin() + count)
    return DigitalAddResult::AlreadySelected;
  if (count >= kMaxDigitalShown) return DigitalAddResult::Full;
  sel.Index[static_cast<std::size_t>(count)] = channel;
  sel.Count = count + 1;
  return DigitalAddResult::Added;
}

bool ChannelGroupsEditor::removeDigital(int item) {
  TDigitalSelection& sel = settings_.DigitalSelection;
  if (item < 0 || item >= sel.Count) return false;
  for (int k = item; k + 1 < sel.Count; ++k)
    sel.Index[static_cast<std::size_t>(k)] = sel.Index[static_cast<std::size_t>(k + 1)];
  --sel.Count;
  sel.Index[static_cast<std::size_t>(sel.Count)] = 0;
  return true;
}

FormattedMessage ChannelGroupsEditor::DigitalLimitMessage() {
  FormattedMessage m;
  m.message.section = std::string(kOptionsDlgSection);
  m.message.text = {common::TextPiece{"str3", "一次最多显示%d个开关量"}};
  m.message.caption = common::TextPiece::literal(std::string(common::kDefaultCaption));
  m.message.icon = common::MessageIcon::None;
  m.args = {std::to_string(kMaxDigitalShown)};
  return m;
}

std::optional<FormattedMessage> ChannelGroupsEditor::selectAllDigital(int digitalCount) {
  TDigitalSelection& sel = settings_.DigitalSelection;
  sel = {};
  sel.Count = std::max(0, digitalCount);
  std::optional<FormattedMessage> message;
  if (sel.Count > kMaxDigitalShown) {
    sel.Count = kMaxDigitalShown;
    message = DigitalLimitMessage();
  }
  for (int i = 0; i < sel.Count; ++i) sel.Index[static_cast<std::size_t>(i)] = i;
  return message;
}

void ChannelGroupsEditor::clearDigital() { settings_.DigitalSelection = {}; }

void ChannelGroupsEditor::setGrid(bool x, bool y) {
  settings_.ShowGridX = x ? 1 : 0;
  settings_.ShowGridY = y ? 1 : 0;
}

void ChannelGroupsEditor::setPointsAndLines(bool on) { settings_.ShowPointsAndLines = on ? 1 : 0; }

std::optional<common::UserMessage> ChannelGroupsEditor::accept() {
  const bool any = std::any_of(settings_.ChannelGroups.begin(), settings_.ChannelGroups.end(),
                               [](const TChannelGroup& g) { return g.Count >= 1; });
  if (!any)
    return common::UserMessage::warning(std::string(kOptionsDlgSection), "str4", "请您至少选择一个模拟量通道！", "str5");
  ChannelsChosen = 1;
  settings_.OptionsAccepted = 1;
  return std::nullopt;
}

void ChannelGroupsEditor::cancel() {
  settings_.ChannelGroups = savedGroups_;
  settings_.ChannelGroupCount = savedGroupCount_;
  settings_.DigitalSelection = savedDigital_;
  ChannelsChosen = 0;
}

}  // namespace wave
