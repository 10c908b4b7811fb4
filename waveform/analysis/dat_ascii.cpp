// The ASCII .dat reader. The file is streamed in blocks and taken line by line;
// it is never held whole or as a list of lines.

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "common/strings.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/parallel.h"

namespace wave {
namespace {

bool isBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= ' ';
}

// Cuts a data file into lines ending in CR LF, LF or a lone CR; a last line
// without an ending counts as well.
class LineReader {
 public:
  LineReader(DataFileReader& dat, std::size_t blockBytes)
      : dat_(dat), size_(dat.size().value_or(0)), failed_(!dat.size()), buffer_(std::max<std::size_t>(blockBytes, 2)) {}

  bool failed() const { return failed_; }

  // The next lines, at most `most` of them, all from what one read brought
  // in: they stay valid until the next call. False at the end of the file or
  // when reading failed.
  bool nextBatch(std::vector<std::string_view>& batch, std::uint64_t most) {
    batch.clear();
    std::string_view line;
    if (most == 0 || !next(line, true)) return false;
    batch.push_back(line);
    while (batch.size() < most && next(line, false)) batch.push_back(line);
    return true;
  }

 private:
  // The next line; false at the end of the file, when reading failed, or when
  // more would have to be read and mayRead is false.
  bool next(std::string_view& line, bool mayRead) {
    while (!failed_) {
      if (const char* end = findBreak()) {
        // A CR at the end of what is buffered may be the first half of CR LF.
        if (!(*end == '\r' && end + 1 == data() + end_ && !atEof())) {
          const std::size_t start = begin_;
          const auto lineEnd = static_cast<std::size_t>(end - data());
          consumeBreak(lineEnd);
          if (skipping_) {
            skipping_ = false;
            continue;
          }
          line = std::string_view(data() + start, lineEnd - start);
          return true;
        }
      } else if (atEof()) {
        if (skipping_ || begin_ == end_) return false;
        line = std::string_view(data() + begin_, end_ - begin_);
        begin_ = end_;
        return true;
      }
      if (!mayRead) return false;
      if (!fill(line)) return true;
    }
    return false;
  }

  const char* data() const { return buffer_.data(); }
  bool atEof() const { return offset_ >= size_; }

  // The first CR or LF from scan_ on, or nullptr. The position of the next CR
  // and of the next LF are kept, so that a file with only one kind of line
  // end is not searched to the end for the other one at every line.
  const char* findBreak() {
    const std::size_t at = std::min(nextOf('\n', nextLf_), nextOf('\r', nextCr_));
    scan_ = at;
    return at < end_ ? data() + at : nullptr;
  }

  std::size_t nextOf(char c, std::size_t& cached) const {
    if (cached == kUnknown || cached < scan_) {
      const void* hit = std::memchr(data() + scan_, c, end_ - scan_);
      cached = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data()) : end_;
    }
    return cached;
  }

  void consumeBreak(std::size_t at) {
    begin_ = at + 1;
    if (buffer_[at] == '\r' && begin_ < end_ && buffer_[begin_] == '\n') ++begin_;
    scan_ = begin_;
  }

  // Reads more of the file behind what is buffered. False when a line had to
  // be cut at the longest length: it is handed out in `line` and the rest of
  // it is skipped.
  bool fill(std::string_view& line) {
    nextLf_ = nextCr_ = kUnknown;
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      scan_ -= begin_;
      begin_ = 0;
    }
    if (end_ == buffer_.size()) {
      if (skipping_) {
        end_ = scan_ = 0;
      } else if (buffer_.size() < kAsciiLongestLine) {
        buffer_.resize(std::min(buffer_.size() * 2, kAsciiLongestLine));
      } else {
        line = std::string_view(data(), end_);
        end_ = scan_ = 0;
        skipping_ = true;
        return false;
      }
    }
    const std::size_t got = dat_.read(offset_, std::span(buffer_.data() + end_, buffer_.size() - end_));
    if (got == 0) failed_ = true;
    offset_ += got;
    end_ += got;
    return true;
  }

  DataFileReader& dat_;
  std::uint64_t size_;
  bool failed_;
  std::vector<char> buffer_;
  std::uint64_t offset_ = 0;   // file position of buffer_[end_]
  std::size_t begin_ = 0;      // start of the unread data
  std::size_t end_ = 0;        // end of the buffered data
  std::size_t scan_ = 0;       // where the search for the next line break goes on
  bool skipping_ = false;      // inside the rest of a line that was cut
  static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
  mutable std::size_t nextLf_ = kUnknown;
  mutable std::size_t nextCr_ = kUnknown;
};

// A whole decimal number: the common case of a sign and at most 9 digits
// directly, anything else by the general rule.
bool parseInteger(std::string_view text, std::int32_t& value) {
  const char* p = text.data();
  const char* end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  const auto digits = static_cast<std::size_t>(end - p);
  if (digits >= 1 && digits <= 9) {
    std::int32_t magnitude = 0;
    for (; p != end; ++p) {
      const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
      if (digit > 9) return common::TryStrToInt(text, value);
      magnitude = magnitude * 10 + static_cast<std::int32_t>(digit);
    }
    value = negative ? -magnitude : magnitude;
    return true;
  }
  return common::TryStrToInt(text, value);
}

}  // namespace

DatFieldScanner::DatFieldScanner(std::string_view line)
    : p_(line.data()), end_(line.data() + line.size()) {
  if (const void* nul = std::memchr(line.data(), '\0', line.size())) end_ = static_cast<const char*>(nul);
  skipBlanks();
}

void DatFieldScanner::skipBlanks() {
  while (p_ != end_ && isBlank(*p_)) ++p_;
}

bool DatFieldScanner::next(DatField& field) {
  if (pendingEmpty_) {
    pendingEmpty_ = false;
    field = DatField{};
    return true;
  }
  if (p_ == end_) return false;
  field = DatField{};
  if (*p_ == '"') {
    const char* start = ++p_;
    const char* close = nullptr;
    for (const char* q = p_; q != end_; ++q) {
      if (*q != '"') continue;
      if (q + 1 != end_ && q[1] == '"') {
        field.doubledQuote = true;
        ++q;
        continue;
      }
      close = q;
      break;
    }
    field.text = std::string_view(start, static_cast<std::size_t>((close ? close : end_) - start));
    p_ = close ? close + 1 : end_;
  } else {
    const char* start = p_;
    while (p_ != end_ && static_cast<unsigned char>(*p_) > ' ' && *p_ != ',') ++p_;
    field.text = std::string_view(start, static_cast<std::size_t>(p_ - start));
  }
  skipBlanks();
  if (p_ != end_ && *p_ == ',') {
    if (p_ + 1 == end_) pendingEmpty_ = true;
    ++p_;
    skipBlanks();
  }
  return true;
}

std::vector<std::string> SplitDatLine(std::string_view line) {
  std::vector<std::string> fields;
  DatFieldScanner scanner(line);
  DatField field;
  while (scanner.next(field)) {
    std::string text(field.text);
    if (field.doubledQuote)
      for (std::size_t at = text.find("\"\""); at != std::string::npos; at = text.find("\"\"", at + 1))
        text.erase(at, 1);
    fields.push_back(std::move(text));
  }
  return fields;
}

namespace {

// What the lines of one range held.
struct RangeResult {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t shortLine = kNone;  // the first line with too few fields (reading stops there)
  bool negative = false;          // a negative analogue value before it
  std::vector<int> illegal;       // message keys of the first illegal values, in order
};

// Parses sample lines into the buffers.
class LineParser {
 public:
  explicit LineParser(RecordData& data)
      : layout_(data.layout()),
        analogCount_(data.analogCount()),
        digitalCount_(data.digitalCount()),
        fieldsNeeded_(std::size_t{data.record().TT} + 2) {
    for (std::size_t i = 0; i < analogCount_; ++i) buffers_.push_back(data.samples(i).data());
    for (std::size_t j = 0; j < digitalCount_; ++j) lanes_.push_back(data.digital(j).data());
    for (std::size_t i = 0; i < analogCount_; ++i) scales_.emplace_back(data.record().AInfo[i]);
  }

  // Lines [begin, end) of a batch whose first line is sample firstSample.
  RangeResult parse(std::span<const std::string_view> lines, std::uint64_t firstSample, std::size_t begin,
                    std::size_t end) const {
    RangeResult result;
    std::vector<DatField> fields(fieldsNeeded_);
    for (std::size_t i = begin; i < end; ++i) {
      if (!parseLine(lines[i], firstSample + i, fields, result)) {
        result.shortLine = i;
        break;
      }
    }
    return result;
  }

  // Sets the points of samples [first, last) back to 0 (lines read past a stop).
  void clear(std::uint64_t first, std::uint64_t last) const {
    for (std::uint64_t k = first; k < last; ++k) {
      const auto point = static_cast<std::size_t>(layout_.pointOf(static_cast<std::int64_t>(k)));
      for (std::size_t i = 0; i < analogCount_; ++i) buffers_[i][point] = 0;
      for (std::size_t j = 0; j < digitalCount_; ++j) lanes_[j][k] = 0;
    }
  }

 private:
  // False when the line has too few fields.
  bool parseLine(std::string_view line, std::uint64_t k, std::vector<DatField>& fields, RangeResult& result) const {
    DatFieldScanner scanner(line);
    std::size_t count = 0;
    while (count < fieldsNeeded_ && scanner.next(fields[count])) ++count;
    if (count < fieldsNeeded_) return false;
    const auto point = static_cast<std::size_t>(layout_.pointOf(static_cast<std::int64_t>(k)));
    const auto illegal = [&](int key) {
      if (result.illegal.size() < kMaxIllegalMessages) result.illegal.push_back(key);
    };
    std::int32_t value = 0;
    for (std::size_t i = 0; i < analogCount_; ++i) {
      const DatField& field = fields[i + 2];
      if (field.doubledQuote || !parseInteger(field.text, value)) {
        illegal(kMsgAsciiBadAnalog);
        continue;
      }
      result.negative |= value < 0;
      buffers_[i][point] = scales_[i](value);
    }
    for (std::size_t j = 0; j < digitalCount_; ++j) {
      const DatField& field = fields[analogCount_ + j + 2];
      if (field.doubledQuote || !parseInteger(field.text, value)) {
        illegal(kMsgAsciiBadDigital);
        continue;
      }
      if (value == 1) lanes_[j][k] = 1;  // a 0 is there already: no page for a lane of zeros
    }
    return true;
  }

  const RecordLayout& layout_;
  std::size_t analogCount_;
  std::size_t digitalCount_;
  std::size_t fieldsNeeded_;
  std::vector<double*> buffers_;       // analogue
  std::vector<std::uint8_t*> lanes_;  // digital
  std::vector<AnalogScale> scales_;
};

constexpr std::size_t kMinLinesPerThread = 1024;

}  // namespace

void ReadAsciiDat(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages,
                  std::size_t blockBytes) {
  const RecordLayout& layout = data.layout();
  const LineParser parser(data);
  const auto readFailed = [&] { return FaultWaveMessage(kMsgAsciiReadFailed, "读dat文件数据失败！"); };
  std::vector<common::UserMessage> found;  // shown only when the file is not refused
  int illegalShown = 0;

  LineReader lines(dat, blockBytes);
  std::vector<std::string_view> batch;
  const auto toRead = static_cast<std::uint64_t>(layout.sampleCount);
  const auto required = static_cast<std::uint64_t>(layout.rate1Samples);
  std::uint64_t lineCount = 0;
  bool stopped = false;
  bool negative = false;
  data.setSamplesWritten(0);
  while (!(stopped && lineCount >= required) && lines.nextBatch(batch, toRead - lineCount)) {
    const std::uint64_t first = lineCount;
    lineCount += batch.size();
    if (stopped) continue;  // only counting lines now
    data.setSamplesWritten(static_cast<std::int64_t>(lineCount));

    // The lines are parsed in ranges side by side; the outcome is taken in
    // file order, as if they had been read one after the other.
    std::vector<std::pair<std::size_t, RangeResult>> ranges;
    std::mutex guard;
    ParallelFor(batch.size(), kMinLinesPerThread, [&](std::size_t begin, std::size_t end) {
      RangeResult result = parser.parse(batch, first, begin, end);
      const std::lock_guard lock(guard);
      ranges.emplace_back(begin, std::move(result));
    });
    std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [begin, range] : ranges) {
      for (int key : range.illegal) {
        if (illegalShown == kMaxIllegalMessages) break;
        found.push_back(FaultWaveMessage(key, "dat文件有非法数据！"));
        ++illegalShown;
      }
      negative |= range.negative;
      if (range.shortLine != RangeResult::kNone) {
        stopped = true;
        found.push_back(FaultWaveMessage(kMsgAsciiFewFields, "读dat文件数据失败！"));
        parser.clear(first + range.shortLine, first + batch.size());
        data.setSamplesWritten(static_cast<std::int64_t>(first + range.shortLine));
        break;
      }
    }
  }

  if (lines.failed() || lineCount < required) {
    data.clearSamples();
    messages.push_back(readFailed());
    return;
  }
  messages.insert(messages.end(), found.begin(), found.end());
  // A two-rate file that ends inside its second rate keeps what it holds.
  if (!stopped && lineCount < toRead) messages.push_back(readFailed());
  if (negative && layout.CycleCount > 0.5) data.NoNegativeSamples = 0;
}

}  // namespace wave
