#pragma once
// The sample data of one record window: the point buffers (SampleBuffers), the
// digital lanes, the RMS arrays (RmsBuffers) and the harmonic values
// (HarmonicValues), in one zero-filled block that is released as a whole with
// the RecordData. The window owns it through a shared_ptr; print preview and
// export hold std::shared_ptr<const RecordData>.
//
// Point layout: analogue channel i is slot i (0 .. A-1). Analogue sample k of
// the first rate lies at point f1*k; with two rates a sample k from endsamp1 on
// lies at endsamp1*f1 + (k - endsamp1)*f2. Digital channel d is a lane of one
// byte per sample (sample k at k), 0 or 1; digitalValue reads it as the 0.0 or
// 1.0 that is shown and printed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/message.h"
#include "recordmodel/record.h"

namespace wave {

struct DrawSummary;

inline constexpr std::string_view kFaultWaveSection = "Strings_FaultWave_Form";

// The window's warning with text key "str<key>" and caption key "str<key + 1>"
// (default caption "信息提示").
common::UserMessage FaultWaveMessage(int key, std::string_view defaultText);

// Keys of the messages that refuse a record before anything is allocated.
inline constexpr int kMsgBadChannelCount = 47;   // more than 500 channels or counts that disagree
inline constexpr int kMsgNoSamplesPerCycle = 49;
inline constexpr int kMsgBadEndSamples = 51;
inline constexpr int kMsgRecordTooLarge = 53;
inline constexpr int kMsgOutOfMemory = 55;

// The most bytes one record's buffers may take unless told otherwise: the
// larger of 2 GiB and half the machine's physical memory.
std::uint64_t DefaultRecordByteLimit();
// That rule for a machine with physicalBytes of memory.
std::uint64_t RecordByteLimitFor(std::uint64_t physicalBytes);

struct RecordLimits {
  // The most bytes one record's buffers may take.
  std::uint64_t maxBytes = DefaultRecordByteLimit();
};

// The numbers derived from a record's configuration. Only built for a record
// that CheckRecord accepted.
struct RecordLayout {
  std::int32_t N1 = 1;  // SamplesPerCycle: samp1 div lf
  std::int32_t N2 = 1;  // samp2 div lf (N1 with one rate)
  std::int32_t f1 = 1;  // InterpFactor1: 31 div N1 + 1
  std::int32_t f2 = 1;  // InterpFactor2: 31 div N2 + 1
  bool twoRates = false;
  std::int64_t rate1Samples = 0;   // endsamp1
  std::int64_t sampleCount = 0;    // samples per channel: endsamp2 with two rates, else endsamp1
  std::int64_t analogPoints = 0;   // points of an analogue buffer
  double CycleCount = 0;           // endsamp1 div N1
  bool oneCycle = false;           // endsamp1 div N1 = 1: harmonic spectrum instead of RMS curves
  std::int64_t harmonicRoom = 0;   // endsamp1 div 2 - 1 (at least 0)
  std::int32_t rmsCycle = 1;       // samples per cycle of the RMS window: N2 with two rates, else N1

  // The point of analogue sample k.
  std::int64_t pointOf(std::int64_t k) const {
    return k < rate1Samples ? k * f1 : rate1Samples * f1 + (k - rate1Samples) * f2;
  }
};

// The guard run before anything is allocated: the refusal to show, or nothing
// when the record can be shown.
std::optional<common::UserMessage> CheckRecord(const TcfgInfo& record, const RecordLimits& limits = {});

// The layout of a record that CheckRecord accepted.
RecordLayout MakeRecordLayout(const TcfgInfo& record);

// The bytes the buffers of an accepted record take.
std::uint64_t RecordBufferBytes(const TcfgInfo& record, const RecordLayout& layout);

class RecordData {
 public:
  struct Created {
    std::shared_ptr<RecordData> data;        // empty when refused
    std::optional<common::UserMessage> refusal;
  };
  // Checks the record and allocates its zero-filled buffers; a refusal or an
  // allocation failure comes back as a message.
  static Created Create(const TcfgInfo& record, const RecordLimits& limits = {});

  ~RecordData();
  RecordData(const RecordData&) = delete;
  RecordData& operator=(const RecordData&) = delete;

  const TcfgInfo& record() const { return record_; }
  const RecordLayout& layout() const { return layout_; }
  std::size_t analogCount() const { return record_.A; }
  std::size_t digitalCount() const { return record_.D; }
  std::size_t channelCount() const { return analogCount() + digitalCount(); }

  // SampleBuffers[slot] of an analogue channel (slot < analogCount()).
  std::span<double> samples(std::size_t slot);
  std::span<const double> samples(std::size_t slot) const;
  // The lane of digital channel d: sample k is 0 or 1.
  std::span<std::uint8_t> digital(std::size_t d);
  std::span<const std::uint8_t> digital(std::size_t d) const;
  // Sample k of digital channel d as a value: 0.0 or 1.0.
  double digitalValue(std::size_t d, std::size_t k) const { return digital(d)[k]; }
  // RmsBuffers[channel] of an analogue channel; empty for a one-cycle record.
  std::span<double> rms(std::size_t channel);
  std::span<const double> rms(std::size_t channel) const;
  // HarmonicValues: entry h - 2 holds order h; empty unless the record has one cycle.
  std::span<double> harmonics();
  std::span<const double> harmonics() const;

  // Sets every sample point back to 0 and NoNegativeSamples back to 1. Only the
  // points of the samples written so far are touched.
  void clearSamples();

  // The samples 0 .. samplesWritten() - 1 are the ones a reader may have
  // written; every point of a later sample is still 0 (a point between samples
  // after them only 0 or -0 from the interpolation). A reader that knows how
  // far the data file went says so, so that the work and the memory of
  // analysing follow what the file holds, not what its configuration claims.
  // All samples until told otherwise.
  std::int64_t samplesWritten() const { return samplesWritten_; }
  void setSamplesWritten(std::int64_t samples);
  // The points of an analogue buffer from which on every point is 0 or -0.
  std::int64_t analogPointsWritten() const;
  // The RMS values from which on every value is 0 (their cycle holds only
  // unwritten samples).
  std::int64_t rmsValuesWritten() const;

  // The envelopes for zoomed-out drawing (BuildDrawSummary); null until built
  // and after the samples change.
  const DrawSummary* drawSummary() const { return drawSummary_.get(); }
  void setDrawSummary(std::unique_ptr<const DrawSummary> summary);

  // 1 unless a negative analogue sample was read in a record of at least one whole cycle.
  std::uint8_t NoNegativeSamples = 1;

 private:
  struct Block;
  RecordData(const TcfgInfo& record, const RecordLayout& layout);

  TcfgInfo record_;
  RecordLayout layout_;
  std::unique_ptr<Block> block_;
  std::unique_ptr<const DrawSummary> drawSummary_;
  std::int64_t samplesWritten_ = 0;
};

}  // namespace wave
