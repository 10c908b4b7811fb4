#include "commtool/core/terminal.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "commtool/core/hexcode.h"
#include "commtool/core/texts.h"

namespace tavrix {
namespace {

// Characters of UTF-8 text: every byte that is not a continuation byte (10xxxxxx), eight at a time.
std::size_t characterCount(std::string_view utf8) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  std::size_t continuation = 0;
  std::size_t i = 0;
  for (; i + 8 <= utf8.size(); i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, utf8.data() + i, 8);
    continuation += static_cast<std::size_t>(std::popcount(word & kHigh & ~(word << 1)));
  }
  for (; i < utf8.size(); ++i) continuation += (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80;
  return utf8.size() - continuation;
}

std::optional<int> parseInteger(std::string_view text, int low, int high) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

LocalTime SystemLocalTime() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
          static_cast<int>(ms)};
}

std::string TimeStamp(const LocalTime& t) {
  return fmt::format("[{}-{:02}-{:02} {:02}:{:02}:{:02}:{:03}] ", t.year, t.month, t.day, t.hour, t.minute, t.second,
                     t.millisecond);
}

void DisplayLog::Append(Rgb colour, std::string_view text) {
  if (text.empty()) return;
  const std::size_t count = characterCount(text);
  length_ += count;
  pending_ += count;
  atLineStart_ = text.back() == '\n';
  if (!entries_.empty() && entries_.back().colour == colour && entries_.back().hex.empty())
    entries_.back().text += text;
  else
    entries_.push_back({colour, std::string(text), {}});
}

void DisplayLog::AppendHex(Rgb colour, std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::size_t count = HexTextLength(bytes.size());
  length_ += count;
  pending_ += count;
  atLineStart_ = false;
  entries_.push_back({colour, {}, {bytes.begin(), bytes.end()}});
}

void DisplayLog::Clear() {
  cleared_ = true;
  atLineStart_ = true;
  entries_.clear();
  length_ = 0;
  pending_ = 0;
}

DisplayUpdate DisplayLog::TakeUpdate() {
  DisplayUpdate update;
  update.cleared = std::exchange(cleared_, false);
  for (auto& entry : entries_) {
    std::string text = entry.hex.empty() ? std::move(entry.text) : BytesToHexText(entry.hex);
    if (!update.runs.empty() && update.runs.back().colour == entry.colour)
      update.runs.back().text += text;
    else
      update.runs.push_back({entry.colour, std::move(text)});
  }
  entries_.clear();
  pending_ = 0;
  return update;
}

TerminalModel::TerminalModel(std::size_t displayLimit, Clock clock)
    : limit_(displayLimit), clock_(clock ? std::move(clock) : Clock(SystemLocalTime)) {}

void TerminalModel::SetDisplayHex(bool hex) {
  if (hex != modes_.displayHex) decoder_.Reset();
  modes_.displayHex = hex;
}

void TerminalModel::SetCheck(int method, int start) {
  checkMethod_ = method;
  checkStart_ = start;
}

SendPlan TerminalModel::PlanSend(std::string_view inputUtf8) const {
  SendPlan plan;
  plan.hex = modes_.inputHex;
  plan.input = std::string(inputUtf8);
  if (plan.hex) {
    HexToBytes(inputUtf8, plan.bytes);
    if (plan.bytes.empty()) return plan;  // a check code alone is no message
    if (checkMethod_ >= 0) AppendCheckCode(plan.bytes, checkMethod_, checkStart_);
  } else {
    const std::string wire = InputTextToWire(inputUtf8);
    plan.bytes.assign(wire.begin(), wire.end());
  }
  if (plan.bytes.size() > kSendLimit) {
    plan.bytes.clear();
    plan.refusal = std::string(texts::kTooLong);
  }
  return plan;
}

void TerminalModel::ShowSent(const SendPlan& plan, int sent, bool fromTimer) {
  if (sent <= 0) return;
  sent_ += static_cast<std::uint64_t>(sent);
  if (plan.hex) {
    const auto count = std::min(plan.bytes.size(), static_cast<std::size_t>(sent));
    Show(ShowKind::Sent, BytesToHexText(std::span(plan.bytes).first(count)));
  } else if (fromTimer) {
    Show(ShowKind::Sent, plan.input);
  } else {
    Show(ShowKind::Sent, plan.input + fmt::format(" ({} bytes) ", sent));
  }
}

void TerminalModel::ShowReceived(std::span<const std::uint8_t> bytes) {
  received_ += bytes.size();
  if (tap_) tap_(bytes);
  if (modes_.displayHex) {
    const auto appendHex = [&](Rgb colour) { display_.AppendHex(colour, bytes); };
    if (!bytes.empty()) showEntry(ShowKind::Received, HexTextLength(bytes.size()), appendHex);
    return;
  }
  const std::string text = decoder_.Decode(bytes);  // decoded even when paused: the stream goes on
  if (!modes_.paused) Show(ShowKind::Received, text + fmt::format(" ({} bytes) ", bytes.size()));
}

void TerminalModel::Show(ShowKind kind, std::string_view text) {
  showEntry(kind, characterCount(text), [&](Rgb colour) { display_.Append(colour, text); });
}

void TerminalModel::ShowNote(std::string_view text) {
  while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  showEntry(ShowKind::Other, characterCount(text), [&](Rgb colour) { display_.Append(colour, text); }, true);
}

// A display with a limit is emptied when the entry would take it past the
// limit, before the entry goes in: the entry that fills it is the first one
// the user sees afterwards, never one that vanishes unseen.
void TerminalModel::showEntry(ShowKind kind, std::size_t length, const std::function<void(Rgb)>& append, bool note) {
  if (modes_.paused) return;
  const std::string stamp = modes_.showTime ? TimeStamp(clock_()) : std::string();
  const bool endLine = modes_.lineBreak || note;
  const Rgb colour = kind == ShowKind::Sent ? kSentColour : kind == ShowKind::Received ? kReceivedColour : kOtherColour;
  if (limit_ > 0) {
    const std::size_t breaks = (endLine ? 1 : 0) + (note && !display_.AtLineStart() ? 1 : 0);
    const std::size_t entry = stamp.size() + length + breaks;  // a time stamp is ASCII
    if (display_.Length() > 0 && display_.Length() + entry > limit_) display_.Clear();
  }
  if (note && !display_.AtLineStart()) display_.Append(colour, "\n");
  display_.Append(kStampColour, stamp);
  append(colour);
  if (endLine) display_.Append(colour, "\n");
}

void TerminalModel::ResetCounters() {
  received_ = 0;
  sent_ = 0;
}

std::optional<int> ParsePort(std::string_view text) { return parseInteger(text, 1, 65535); }

std::optional<int> ParseRepeatInterval(std::string_view text) {
  return parseInteger(text, 10, std::numeric_limits<int>::max());
}

std::optional<int> ParseCheckStart(std::string_view text) { return parseInteger(text, 1, 1000); }

}  // namespace tavrix
