#pragma once
// Reading a record's samples into its point buffers: the .dat readers (BINARY
// and ASCII), the copy of power-quality channels, and LoadChannelData, which
// picks one by the record source mode and interpolates afterwards. Everything
// the user must be told comes back as messages, in the order to show them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/job.h"
#include "common/message.h"
#include "stationdb/records/records.h"
#include "waveform/analysis/record_data.h"
#include "waveform/model/datafile.h"
#include "recordmodel/record.h"

namespace wave {

// Keys of the reading messages in kFaultWaveSection (caption: key + 1).
inline constexpr int kMsgBinaryReadFailed = 13;   // "读dat文件数据失败！"
inline constexpr int kMsgBinaryBadAnalog = 15;    // "dat文件有非法数据！"
inline constexpr int kMsgBinaryBadDigital = 17;
inline constexpr int kMsgAsciiReadFailed = 19;    // too few lines, or unreadable
inline constexpr int kMsgAsciiFewFields = 21;
inline constexpr int kMsgAsciiBadAnalog = 23;
inline constexpr int kMsgAsciiBadDigital = 25;

// The most illegal-value messages one file shows.
inline constexpr int kMaxIllegalMessages = 5;

// The value of a raw analogue sample: v = raw * a + b, then times primary /
// secondary when the channel's PS is 'S'.
class AnalogScale {
 public:
  explicit AnalogScale(const TAInfo& channel)
      : a_(channel.a), b_(channel.b), primary_(channel.primary), secondary_(channel.secondary),
        secondaryValues_(channel.PS == 'S') {}

  double operator()(std::int32_t raw) const { return secondaryValues_ ? fromSecondary(raw) : scaled(raw); }

  // The two cases on their own, for loops that decide once per channel.
  bool secondaryValues() const { return secondaryValues_; }
  double scaled(std::int32_t raw) const { return static_cast<double>(raw * a_ + b_); }
  double fromSecondary(std::int32_t raw) const {
    return static_cast<double>(static_cast<long double>(scaled(raw)) * primary_ / secondary_);
  }

 private:
  // Held in extended precision (exactly the channel's values), so that the
  // arithmetic stays in the FPU's registers.
  long double a_;
  long double b_;
  long double primary_;
  long double secondary_;
  bool secondaryValues_;
};

inline double ScaleAnalog(std::int32_t raw, const TAInfo& channel) { return AnalogScale(channel)(raw); }

// Bytes of one BINARY sample record: 8 + 2 * A + 2 * ((D - 1) div 16 + 1), the
// last term only when D > 0.
std::uint64_t BinaryRecordSize(std::uint32_t analogCount, std::uint32_t digitalCount);

// One field of an ASCII sample line.
struct DatField {
  std::string_view text;      // without the quotes of a quoted field
  bool doubledQuote = false;  // a quoted field holding "" (an escaped quote)
};

// Splits a line as the sample files are written: fields separated by commas,
// blanks and control characters around a comma skipped, a run of them also
// separating two fields, a field optionally in double quotes ("" inside is one
// quote), a comma at the very end giving one more empty field. A NUL byte ends
// the line.
class DatFieldScanner {
 public:
  explicit DatFieldScanner(std::string_view line);
  bool next(DatField& field);

 private:
  void skipBlanks();

  const char* p_;
  const char* end_;
  bool pendingEmpty_ = false;
};

// The fields of a line, quotes resolved (for tests and tools).
std::vector<std::string> SplitDatLine(std::string_view line);

// The reading block of the ASCII reader; lines longer than the longest line
// are cut there (no sample line comes near it).
inline constexpr std::size_t kAsciiBlockBytes = std::size_t{4} << 20;
inline constexpr std::size_t kAsciiLongestLine = std::size_t{4} << 20;

// Fill the record's buffers from its data file. Both read the samples of both
// rates, never read or write outside the data and the buffers, may clear
// NoNegativeSamples, and leave every buffer at 0 when the file is refused. They
// expect the buffers at 0, as created, and note how far they wrote
// (RecordData::samplesWritten).
void ReadBinaryDat(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages);
void ReadAsciiDat(RecordData& data, DataFileReader& dat, std::vector<common::UserMessage>& messages,
                  std::size_t blockBytes = kAsciiBlockBytes);

// Record source 12: analogue channel i from channels[i], value (raw + Offset) *
// Factor at point f1 * k; samples beyond endsamp1 are cut.
void CopyWaveChannels(RecordData& data, std::span<const wave::TWaveformData> channels);

// Loads the samples by the record source mode (0 and 21: the .dat beside
// CfgPath; 12: waveChannels; anything else: nothing) and then, for a file
// record with fewer than 32 samples per cycle that holds negative samples,
// interpolates every analogue channel by the sine fit. In a record with
// negative samples, the points that the fit does not fill then go on the
// straight line between their samples (FillBetweenSamples).
//
// With progress: the reading stage counts the bytes of the data file; then the
// analysing stage begins with AnalysisSteps(data) steps, of which the
// interpolation takes one per sample of each channel. A cancelled job stops
// reading or interpolating at the next block; what was done is then of no use.
std::vector<common::UserMessage> LoadChannelData(RecordData& data, std::int32_t source,
                                                 std::span<const wave::TWaveformData> waveChannels,
                                                 common::JobProgress* progress = nullptr);

// Whether loading interpolates the analogue channels: a file record with
// fewer than 32 samples per cycle that holds negative samples.
bool NeedsInterpolation(const RecordData& data, std::int32_t source);

// The steps of the analysing stage once the samples are read: one per sample
// of each interpolated channel, then those of AnalyseRecord (AnalyseSteps),
// then one per sample of each analogue channel for the drawing summary.
std::uint64_t AnalysisSteps(const RecordData& data, std::int32_t source);

}  // namespace wave
