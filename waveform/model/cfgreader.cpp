#include "waveform/model/cfgreader.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "common/arith.h"
#include "common/gbk.h"
#include "common/strings.h"

namespace wave {
namespace {

using common::UserMessage;

struct MessageDefault {
  int key;
  std::string_view text;
};

constexpr std::array<MessageDefault, 21> kMessageDefaults = {{
    {8, "cfg文件有误: parmary<=0"},
    {10, "cfg文件有误: secondary<=0"},
    {12, "根据dat文件的timestamp计算samp失败"},
    {14, "线频率暂只支持50或60HZ: lf=50或60"},
    {16, "暂不支持多个采样率: nrates > 2"},
    {18, "cfg文件有误: (nrates <> 0) and (samp = 0)"},
    {20, "cfg文件有误: endsample=0"},
    {22, "cfg文件有误: TT <> (A + D)"},
    {24, "cfg文件有误: ft不是ASCII或BINARY"},
    {26, "打开波形窗口过多，最多打开4个波形窗口！"},
    {28, "读dat文件数据失败！"},
    {30, "dat文件的timestamp无效！"},
    {32, "读dat文件数据失败！"},
    {34, "dat文件的timestamp无效！"},
    {36, "cfg文件有误！"},
    {38, "cfg 文件触发时间有误！"},
    {kMsgTooManyChannels, "cfg文件有误: 通道总数超过500"},
    {kMsgNegativeChannelCount, "cfg文件有误: 通道数小于0"},
    {kMsgRateBelowLineFrequency, "cfg文件有误: 采样率小于系统频率"},
    {kMsgNegativeEndSample, "cfg文件有误: endsample<0"},
    {kMsgEndSamplesNotRising, "cfg文件有误: endsamp2<=endsamp1"},
}};

std::string strKey(int key) { return fmt::format("str{}", key); }

// Thrown after a check has added its message; ends the parse.
struct Stopped {};

// Rates and frequencies: nearest integer, halves to even, held within int32.
std::int32_t roundToInt32(long double value) {
  return common::SaturateToInt32(common::Round(std::clamp(value, -4.0e9L, 4.0e9L)));
}

std::uint32_t readUint32Le(const std::vector<char>& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The number of lines of an ASCII data file, counted up to `wanted` (CR LF, LF
// or a lone CR end a line; a last line without an ending counts), and of the
// first two lines the text up to their second comma (enough for field 2).
struct DatLineScan {
  std::int64_t lines = 0;
  std::array<std::string, 2> heads;
};

DatLineScan scanDatLines(DataFileReader& dat, std::int64_t wanted) {
  DatLineScan scan;
  std::vector<char> chunk(64 * 1024);
  std::uint64_t offset = 0;
  bool inLine = false;
  bool afterCr = false;
  int commas = 0;
  while (scan.lines < wanted) {
    const std::size_t count = dat.read(offset, chunk);
    if (count == 0) break;
    offset += count;
    for (std::size_t i = 0; i < count && scan.lines < wanted; ++i) {
      const char c = chunk[i];
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        ++scan.lines;
        inLine = false;
        commas = 0;
        continue;
      }
      inLine = true;
      if (scan.lines < 2 && commas < 2) {
        if (c == ',') ++commas;
        if (commas < 2) scan.heads[scan.lines] += c;
      }
    }
  }
  if (inLine && scan.lines < wanted) ++scan.lines;
  return scan;
}

class CfgParser {
 public:
  CfgParser(CfgLineSource& lines, DataFileReader& dat, std::vector<UserMessage>& messages)
      : lines_(lines), dat_(dat), messages_(messages) {}

  TcfgInfo run(std::string_view cfgPath) {
    TcfgInfo info;
    readHeader(info);
    readCounts(info);
    for (int i = 0; i < info.A; ++i) info.AInfo.push_back(readAnalog(nextLine()));
    for (int i = 0; i < info.D; ++i) info.DInfo.push_back(readDigital(nextLine()));
    readFrequencyAndRates(info);
    info.StartTime = readDateTime();
    info.TriggerTime = readDateTime();
    info.ft = common::DecodeUtf8OrGbk(nextLine());
    info.CfgPath = std::string(cfgPath);

    if (info.nrates == 0 && info.samp1 == 0) {
      CalcSampleRateFromDat(info, dat_, messages_, readTimeMultiplier());
      if (info.samp1 <= 0) stop(12);
    }
    check(info);
    return info;
  }

 private:
  // Lines past the end of the file read as empty lines. A line too long for
  // a configuration ends the reading as a line of too few fields does.
  std::string_view nextLine() {
    const std::optional<std::string_view> line = lines_.next();
    if (!line) stop(36);
    return *line;
  }

  // The time stamps count in units of the time multiplier, which only
  // revision 1999 and later give, on the line after the file type. It is read
  // only when the rate must come from the stamps; a line too long gives none.
  long double readTimeMultiplier() {
    if (revYear_ < 1999) return 1;
    const std::optional<std::string_view> line = lines_.next();
    return line ? CfgTimeMultiplier(*line) : 1;
  }

  [[noreturn]] void stop(int key) {
    messages_.push_back(CfgMessage(key));
    throw Stopped{};
  }

  std::string field(std::string_view line, int n) {
    auto value = GetCfgField(line, ',', n);
    if (!value) stop(36);
    return std::move(*value);
  }

  std::string textField(std::string_view line, int n) { return common::DecodeUtf8OrGbk(field(line, n)); }

  // "12A": the number without its last character, whatever it is.
  static std::int32_t countField(const std::string& text) {
    return common::StrToInt(std::string_view(text).substr(0, text.empty() ? 0 : text.size() - 1));
  }

  void readHeader(TcfgInfo& info) {
    const auto line = nextLine();
    info.station_name = textField(line, 1);
    info.rec_dev_id = textField(line, 2);
    revYear_ = GetCfgRevYear(line);
  }

  void readCounts(TcfgInfo& info) {
    const auto line = nextLine();
    const std::int32_t total = common::StrToInt(field(line, 1));
    const std::int32_t analog = countField(field(line, 2));
    const std::int32_t digital = countField(field(line, 3));
    // Counts the record window cannot hold, or that do not fit the record's
    // 16-bit fields, are refused here, before any channel line is read. A
    // total outside 16 bits cannot equal A + D once A + D is within the limit.
    if (analog < 0 || digital < 0) stop(kMsgNegativeChannelCount);
    if (std::int64_t{analog} + digital > kMaxChannels) stop(kMsgTooManyChannels);
    if (total < 0 || total > 0xFFFF) stop(22);
    info.TT = static_cast<std::uint16_t>(total);
    info.A = static_cast<std::uint16_t>(analog);
    info.D = static_cast<std::uint16_t>(digital);
  }

  TAInfo readAnalog(std::string_view line) {
    TAInfo ch;
    ch.ch_id = textField(line, 2);
    ch.uu = textField(line, 5);
    ch.a = common::StrToFloat(field(line, 6));
    ch.b = common::StrToFloat(field(line, 7));
    ch.min = common::StrToInt(field(line, 9));
    ch.max = common::StrToInt(field(line, 10));
    if (revYear_ == 1991) return ch;  // primary, secondary 1.0 and 'S'
    ch.primary = common::StrToFloat(field(line, 11));
    if (!(ch.primary > 0)) stop(8);
    ch.secondary = common::StrToFloat(field(line, 12));
    if (!(ch.secondary > 0)) stop(10);
    const std::string ps = common::UpperCase(field(line, 13));
    ch.PS = ps.empty() ? 'S' : ps.front();
    return ch;
  }

  TDInfo readDigital(std::string_view line) {
    TDInfo ch;
    ch.ch_id = textField(line, 2);
    const auto state = static_cast<std::uint8_t>(common::StrToInt(field(line, revYear_ == 1991 ? 3 : 5)));
    ch.NormalState = state >= 2 ? 0 : state;
    return ch;
  }

  void readFrequencyAndRates(TcfgInfo& info) {
    const std::string lf = field(nextLine(), 1);
    info.lf = lf.empty() ? 50 : roundToInt32(common::StrToFloat(lf));
    info.nrates = common::StrToInt(nextLine());
    const auto rate1 = nextLine();
    info.samp1 = roundToInt32(common::StrToFloat(field(rate1, 1)));
    info.endsamp1 = common::StrToInt(field(rate1, 2));
    if (info.nrates == 2) {
      const auto rate2 = nextLine();
      info.samp2 = roundToInt32(common::StrToFloat(field(rate2, 1)));
      info.endsamp2 = common::StrToInt(field(rate2, 2));
    }
  }

  common::TDateTime readDateTime() {
    const auto value = ParseCfgDateTime(revYear_, nextLine());
    if (!value) stop(38);
    return *value;
  }

  void check(TcfgInfo& info) {
    if (info.lf != 50 && info.lf != 60) stop(14);
    if (info.nrates >= 3) stop(16);
    if (info.nrates != 0 && info.samp1 == 0) stop(18);
    if (info.endsamp1 == 0) stop(20);
    if (info.A + info.D != info.TT) stop(22);

    if (info.samp1 % info.lf != 0) {
      const std::int64_t cycles = common::Round(static_cast<long double>(info.samp1) / info.lf);
      info.samp1 = common::SaturateToInt32(static_cast<long double>(cycles) * info.lf);
    }
    if (info.nrates != 2) {
      // With one rate the second is a copy of the first as it finally stands
      // (also when it came from the data file or was rounded).
      info.samp2 = info.samp1;
      info.endsamp2 = info.endsamp1;
    }
    // Every rate must give at least one sample per cycle and the end samples
    // must rise, or the record cannot be laid out.
    if (info.samp1 < info.lf) stop(kMsgRateBelowLineFrequency);
    if (info.endsamp1 < 0) stop(kMsgNegativeEndSample);
    if (info.nrates == 2) {
      if (info.samp2 < info.lf) stop(kMsgRateBelowLineFrequency);
      if (info.endsamp2 <= info.endsamp1) stop(kMsgEndSamplesNotRising);
    }

    const std::string ft = common::UpperCase(info.ft);
    if (ft != "ASCII" && ft != "BINARY") stop(24);
  }

  CfgLineSource& lines_;
  DataFileReader& dat_;
  std::vector<UserMessage>& messages_;
  std::int32_t revYear_ = 1991;
};

// The rate of samples whose time stamps lie step units of timeMultiplier
// microseconds apart.
std::int32_t rateFromStampStep(std::int64_t step, long double timeMultiplier) {
  return roundToInt32(1000000.0L / (static_cast<long double>(step) * timeMultiplier));
}

void calcFromBinary(TcfgInfo& info, DataFileReader& dat, std::uint64_t size, std::int64_t needed,
                    long double timeMultiplier, std::vector<UserMessage>& messages) {
  const std::uint64_t recordSize = 8 + 2 * std::uint64_t{info.A} + (info.D > 0 ? 2 * ((info.D - 1) / 16 + 1) : 0);
  std::vector<char> head(2 * recordSize);
  if (size / recordSize < static_cast<std::uint64_t>(needed) || dat.read(0, head) < head.size()) {
    messages.push_back(CfgMessage(28));
    return;
  }
  const std::uint32_t t1 = readUint32Le(head, 4);
  const std::uint32_t t2 = readUint32Le(head, recordSize + 4);
  if (t2 <= t1) {
    messages.push_back(CfgMessage(30));
    return;
  }
  info.samp1 = rateFromStampStep(std::int64_t{t2} - t1, timeMultiplier);
}

void calcFromAscii(TcfgInfo& info, DataFileReader& dat, std::int64_t needed, long double timeMultiplier,
                   std::vector<UserMessage>& messages) {
  const DatLineScan scan = scanDatLines(dat, needed);
  if (scan.lines < needed) {
    messages.push_back(CfgMessage(32));
    return;
  }
  std::array<std::int64_t, 2> stamps{};
  for (int i = 0; i < 2; ++i) {
    const auto text = GetCfgField(scan.heads[i], ',', 2);
    if (!text) {
      messages.push_back(CfgMessage(36));
      return;
    }
    stamps[i] = common::StrToInt(*text);
  }
  if (stamps[1] <= stamps[0]) {
    messages.push_back(CfgMessage(34));
    return;
  }
  info.samp1 = rateFromStampStep(stamps[1] - stamps[0], timeMultiplier);
}

}  // namespace

UserMessage CfgMessage(int key) {
  for (const auto& entry : kMessageDefaults)
    if (entry.key == key)
      return UserMessage::warning(std::string(kMainFormSection), strKey(key), std::string(entry.text),
                                  strKey(key + 1));
  throw std::invalid_argument(fmt::format("no reader message str{}", key));
}

std::string ShownPath(std::string_view path) {
  std::string shown;
  for (std::size_t start = 0;;) {
    const std::size_t slash = path.find('/', start);
    shown += common::DecodeUtf8OrGbk(path.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return shown;
    shown += '/';
    start = slash + 1;
  }
}

UserMessage DataFileMissingMessage(std::string_view cfgPath) {
  const std::size_t keep = cfgPath.size() >= 3 ? cfgPath.size() - 3 : 0;
  UserMessage message = UserMessage::warning(std::string(kMainFormSection), "str5", "未找到", "str7");
  message.text.push_back(common::TextPiece::literal(ShownPath(cfgPath.substr(0, keep))));
  message.text.push_back(common::TextPiece{"str6", "dat数据文件！"});
  return message;
}

std::string CannotOpenFileText(std::string_view path) { return "无法打开文件: " + ShownPath(path); }

std::optional<std::string> GetCfgField(std::string_view line, char separator, int n) {
  if (n < 1) return std::nullopt;
  std::size_t start = 0;
  for (int i = 1; i < n; ++i) {
    const std::size_t at = line.find(separator, start);
    if (at == std::string_view::npos) return std::nullopt;
    start = at + 1;
  }
  const std::size_t end = line.find(separator, start);
  return common::Trim(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::int32_t GetCfgRevYear(std::string_view line) {
  const std::size_t first = line.find(',');
  if (first == std::string_view::npos) return 1991;
  const std::size_t second = line.find(',', first + 1);
  if (second == std::string_view::npos) return 1991;
  std::int32_t year = 0;
  return common::TryStrToInt(line.substr(second + 1), year) ? year : 1991;
}

std::optional<common::TDateTime> ParseCfgDateTime(std::int32_t revYear, std::string_view line, int currentYear) {
  std::string text = common::Trim(line);
  if (const std::size_t dot = text.find('.'); dot != std::string::npos && text.size() > dot + 4)
    text.resize(dot + 4);
  std::replace(text.begin(), text.end(), ',', ' ');
  return common::ParseDateTime(
      text, revYear == 1991 ? common::DateOrder::MonthDayYear : common::DateOrder::DayMonthYear, currentYear);
}

std::optional<common::TDateTime> ParseCfgDateTime(std::int32_t revYear, std::string_view line) {
  return ParseCfgDateTime(revYear, line, common::DecodeDateTime(common::NowLocal()).year);
}

long double CfgTimeMultiplier(std::string_view line) {
  double value = 0;
  const auto field = GetCfgField(line, ',', 1);
  if (!field || !common::TryStrToFloat(*field, value) || !std::isfinite(value) || !(value > 0)) return 1;
  return value;
}

void CalcSampleRateFromDat(TcfgInfo& info, DataFileReader& dat, std::vector<UserMessage>& messages,
                           long double timeMultiplier) {
  const auto size = dat.size();
  if (!size) {
    const std::filesystem::path path = dat.path();
    throw std::runtime_error(CannotOpenFileText(path.empty() ? DatPartnerPath(info.CfgPath) : path.string()));
  }
  // Two time stamps are needed whatever endsamp1 says.
  const std::int64_t needed = std::max<std::int64_t>(info.endsamp1, 2);
  if (common::UpperCase(info.ft) == "BINARY")
    calcFromBinary(info, dat, *size, needed, timeMultiplier, messages);
  else
    calcFromAscii(info, dat, needed, timeMultiplier, messages);
}

std::optional<std::string_view> CfgTextLines::next() {
  if (rest_.empty()) return std::string_view();
  const std::size_t end = rest_.find_first_of("\r\n");
  std::string_view line = rest_;
  if (end == std::string_view::npos) {
    rest_ = {};
  } else {
    line = rest_.substr(0, end);
    const bool crLf = rest_[end] == '\r' && end + 1 < rest_.size() && rest_[end + 1] == '\n';
    rest_.remove_prefix(end + (crLf ? 2 : 1));
  }
  if (line.size() > kMaxCfgLineBytes) return std::nullopt;
  return line;
}

bool CfgFileLines::open(const std::filesystem::path& path) {
  // Only a regular file: a folder holds no text, and a pipe would never end.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  stream_.open(path, std::ios::binary);
  return stream_.is_open();
}

bool CfgFileLines::fill() {
  at_ = 0;
  end_ = 0;
  if (!stream_) return false;
  stream_.read(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
  end_ = static_cast<std::size_t>(std::max<std::streamsize>(stream_.gcount(), 0));
  return end_ > 0;
}

std::optional<std::string_view> CfgFileLines::next() {
  line_.clear();
  if (pendingLf_) {
    pendingLf_ = false;
    if ((at_ < end_ || fill()) && chunk_[at_] == '\n') ++at_;
  }
  for (;;) {
    if (at_ == end_ && !fill()) return std::string_view(line_);  // the last line, or empty past the end
    const auto begin = chunk_.begin() + static_cast<std::ptrdiff_t>(at_);
    const auto stop = std::find_if(begin, chunk_.begin() + static_cast<std::ptrdiff_t>(end_),
                                   [](char c) { return c == '\r' || c == '\n'; });
    line_.append(begin, stop);
    if (line_.size() > kMaxCfgLineBytes) return std::nullopt;
    at_ = static_cast<std::size_t>(stop - chunk_.begin());
    if (at_ < end_) {
      pendingLf_ = chunk_[at_] == '\r';
      ++at_;
      return std::string_view(line_);
    }
  }
}

CfgReadOutcome ParseCfgText(std::string_view text, std::string_view cfgPath, DataFileReader& dat) {
  CfgTextLines lines(text);
  return ParseCfgLines(lines, cfgPath, dat);
}

CfgReadOutcome ParseCfgLines(CfgLineSource& lines, std::string_view cfgPath, DataFileReader& dat) {
  CfgReadOutcome outcome;
  try {
    CfgParser parser(lines, dat, outcome.messages);
    outcome.record = parser.run(cfgPath);
  } catch (const Stopped&) {
  } catch (const std::runtime_error& e) {
    outcome.error = common::DecodeUtf8OrGbk(e.what());
  }
  return outcome;
}

}  // namespace wave
