#pragma once
// What a window that sends and receives does with the data, without the
// widgets: what a send puts on the wire, how sent and received data are
// shown (time stamps, colours, line breaks, pause), the display's length
// rule, and the received and sent counters.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commtool/core/textstream.h"

namespace tavrix {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
using Clock = std::function<LocalTime()>;
LocalTime SystemLocalTime();
// "[%d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d:%3.3d] "
std::string TimeStamp(const LocalTime& time);

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
inline constexpr Rgb kSentColour{0, 192, 0};
inline constexpr Rgb kReceivedColour{0, 0, 255};
inline constexpr Rgb kOtherColour{0, 192, 255};
inline constexpr Rgb kStampColour{128, 128, 192};

enum class ShowKind { Sent = 0, Received = 1, Other = 2 };

struct DisplayRun {
  Rgb colour;
  std::string text;  // UTF-8
  bool operator==(const DisplayRun&) const = default;
};

// What the display widget has to do since it was last updated: empty itself
// (when cleared), then append the runs.
struct DisplayUpdate {
  bool cleared = false;
  std::vector<DisplayRun> runs;
};

// The display's content as far as the logic needs it: its length, and the
// runs that the widget has not taken yet. Received bytes shown as hex are
// turned into text only when the widget takes them, so that what is emptied
// before the widget ever saw it costs nothing.
class DisplayLog {
 public:
  void Append(Rgb colour, std::string_view text);
  // The bytes as hex text (BytesToHexText).
  void AppendHex(Rgb colour, std::span<const std::uint8_t> bytes);
  void Clear();
  std::size_t Length() const { return length_; }        // characters held
  std::size_t PendingLength() const { return pending_; }  // characters not taken yet
  bool HasUpdate() const { return cleared_ || !entries_.empty(); }
  // Whether the text held ends with a line break (or there is none).
  bool AtLineStart() const { return atLineStart_; }
  DisplayUpdate TakeUpdate();

 private:
  struct Entry {
    Rgb colour;
    std::string text;
    std::vector<std::uint8_t> hex;  // shown as hex text instead of text when not empty
  };
  bool cleared_ = false;
  bool atLineStart_ = true;
  std::vector<Entry> entries_;
  std::size_t length_ = 0;
  std::size_t pending_ = 0;
};

struct TerminalModes {
  bool inputHex = true;    // "输入HEX" pressed
  bool displayHex = true;  // "显示HEX" pressed
  bool paused = false;     // "暂停显示" pressed
  bool showTime = false;   // "显示时间"
  bool lineBreak = false;  // "自动换行"
};

// One send: the bytes for the wire, or the reason it is refused.
struct SendPlan {
  std::vector<std::uint8_t> bytes;  // empty: nothing to send
  std::string refusal;              // not empty: tell the user, send nothing
  bool hex = true;
  std::string input;  // the text typed, as it is shown
};

class TerminalModel {
 public:
  static constexpr std::size_t kSendLimit = 8192;    // bytes, check code included
  static constexpr std::size_t kMainDisplayLimit = 10240;

  // displayLimit: the display is emptied when it holds more; 0 never.
  TerminalModel(std::size_t displayLimit, Clock clock);

  TerminalModes& Modes() { return modes_; }
  const TerminalModes& Modes() const { return modes_; }
  void SetDisplayHex(bool hex);

  int CheckMethod() const { return checkMethod_; }
  int CheckStart() const { return checkStart_; }
  void SetCheck(int method, int start);

  SendPlan PlanSend(std::string_view inputUtf8) const;
  // Shows what a send of the plan put on the wire (sent > 0). A repeated
  // text send shows the input without its byte count.
  void ShowSent(const SendPlan& plan, int sent, bool fromTimer);
  void ShowReceived(std::span<const std::uint8_t> bytes);
  // Sees every received delivery, in order, before it is shown (for checks and benchmarks).
  void SetReceiveTap(std::function<void(std::span<const std::uint8_t>)> tap) { tap_ = std::move(tap); }
  void Show(ShowKind kind, std::string_view text);
  // The program's own note (third kind): on a line of its own, whatever
  // came before it and whether or not "自动换行" is checked.
  void ShowNote(std::string_view text);
  void ClearDisplay() { display_.Clear(); }

  DisplayLog& Display() { return display_; }
  std::uint64_t ReceivedBytes() const { return received_; }
  std::uint64_t SentBytes() const { return sent_; }
  void ResetCounters();
  // A new connection: no half character is carried over.
  void ResetDecoder() { decoder_.Reset(); }

 private:
  // Shows an entry of length characters that append puts into the display in the colour it is given.
  void showEntry(ShowKind kind, std::size_t length, const std::function<void(Rgb)>& append, bool note = false);

  std::size_t limit_;
  Clock clock_;
  TerminalModes modes_;
  int checkMethod_ = -1;
  int checkStart_ = 1;
  DisplayLog display_;
  ReceivedTextDecoder decoder_;
  std::function<void(std::span<const std::uint8_t>)> tap_;
  std::uint64_t received_ = 0;
  std::uint64_t sent_ = 0;
};

// The port of a socket channel: an integer from 1 to 65535.
std::optional<int> ParsePort(std::string_view text);
// The repeat interval in ms: an integer of at least 10.
std::optional<int> ParseRepeatInterval(std::string_view text);
// The start byte of a check code: an integer from 1 to 1000.
std::optional<int> ParseCheckStart(std::string_view text);

}  // namespace tavrix
