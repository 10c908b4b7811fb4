#pragma once
// The IEEE C37.111 configuration (.cfg) reader: the fields of each line, the
// checks in their order and the sampling rate taken from the data file when
// the configuration gives none. It returns what happened (the record, or the
// messages to show in order) and shows nothing itself.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "common/message.h"
#include "waveform/model/datafile.h"
#include "recordmodel/record.h"

namespace wave {

inline constexpr std::string_view kMainFormSection = "Strings_Main_Form";

// The reader's refusals of records that cannot be laid out, each with a text
// that names its cause (caption: key + 1).
inline constexpr int kMsgTooManyChannels = 80;         // A + D above 500
inline constexpr int kMsgNegativeChannelCount = 82;    // A or D below 0
inline constexpr int kMsgRateBelowLineFrequency = 84;  // fewer samples than one per cycle
inline constexpr int kMsgNegativeEndSample = 86;
inline constexpr int kMsgEndSamplesNotRising = 88;     // endsamp2 not above endsamp1

// The warning with text key "str<key>" and caption key "str<key + 1>", for the
// keys 8 to 38 of the reader and its refusals above.
common::UserMessage CfgMessage(int key);
// A path as the user reads it: each of its names decoded on its own (valid
// UTF-8 as it stands, anything else as GBK), as folders copied from Windows
// disks and folders of this machine may meet in one path.
std::string ShownPath(std::string_view path);
// str5 + the data file path without "dat" (shown) + str6, caption str7.
common::UserMessage DataFileMissingMessage(std::string_view cfgPath);
// The general error text for a .cfg or data file that cannot be opened or read.
std::string CannotOpenFileText(std::string_view path);

// The n-th (from 1) field of line, split at separator, with blanks and control
// characters trimmed; empty when the line has fewer fields.
std::optional<std::string> GetCfgField(std::string_view line, char separator, int n);

// The revision year: the text after the second comma, taken whole, as an
// integer; 1991 when there is no such text or it is not a whole number.
std::int32_t GetCfgRevYear(std::string_view line);

// A date/time line "dd/mm/yyyy,hh:mm:ss.ffffff" (month first for revision
// 1991), cut to milliseconds without rounding; empty when it cannot be read.
// A date without its year is one of the current year.
std::optional<common::TDateTime> ParseCfgDateTime(std::int32_t revYear, std::string_view line);
// The same with the current year given.
std::optional<common::TDateTime> ParseCfgDateTime(std::int32_t revYear, std::string_view line, int currentYear);

// Sets info.samp1 from the first two time stamps of the data file, which
// count in units of timeMultiplier microseconds; on failure samp1 is left as it
// was and the messages are appended. Needs at least endsamp1 and at least 2
// records (BINARY) or lines (ASCII) and reads no more than that. Throws
// common::ConvertError for a time stamp that is not a number and
// std::runtime_error (CannotOpenFileText) when the file cannot be opened.
void CalcSampleRateFromDat(TcfgInfo& info, DataFileReader& dat, std::vector<common::UserMessage>& messages,
                           long double timeMultiplier = 1);

// The time multiplier line of a revision 1999 or later .cfg (the line after
// the file type): its first field when that is a number above 0, else 1.
long double CfgTimeMultiplier(std::string_view line);

// No line of a configuration file comes near this length; a longer one means
// the file is no configuration, and it is refused before more of it is read.
inline constexpr std::size_t kMaxCfgLineBytes = 64 * 1024;

// The lines of a .cfg, one at a time (CR LF, LF or a lone CR end a line).
class CfgLineSource {
 public:
  virtual ~CfgLineSource() = default;
  // The next line without its ending, valid until the next call; an empty
  // line past the end; nothing for a line longer than kMaxCfgLineBytes.
  virtual std::optional<std::string_view> next() = 0;
};

// Lines of a text held by the caller.
class CfgTextLines final : public CfgLineSource {
 public:
  explicit CfgTextLines(std::string_view text) : rest_(text) {}
  std::optional<std::string_view> next() override;

 private:
  std::string_view rest_;
};

// Lines of a file, read as they are asked for.
class CfgFileLines final : public CfgLineSource {
 public:
  // Opens a regular file; false when there is none that can be read.
  bool open(const std::filesystem::path& path);
  std::optional<std::string_view> next() override;

 private:
  bool fill();

  std::ifstream stream_;
  std::vector<char> chunk_ = std::vector<char>(64 * 1024);
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  bool pendingLf_ = false;  // the last line ended with CR: an LF right after it belongs to it
  std::string line_;
};

struct CfgReadOutcome {
  std::optional<TcfgInfo> record;             // set when every check passed
  std::vector<common::UserMessage> messages;  // shown in this order
  std::optional<std::string> error;           // for the general error box (a field that is not a number)
};

// Parses and checks the lines of a .cfg whose path is cfgPath, reading them
// only as far as the first failing check; dat is its data file, read only when
// the sampling rate must come from it.
CfgReadOutcome ParseCfgLines(CfgLineSource& lines, std::string_view cfgPath, DataFileReader& dat);
// The same for a .cfg text held by the caller.
CfgReadOutcome ParseCfgText(std::string_view text, std::string_view cfgPath, DataFileReader& dat);

}  // namespace wave
