#pragma once
// Sine-fit interpolation: fills the points between the samples of a channel
// whose cycle holds fewer than 32 samples, so that every cycle is drawn with at
// least 32 points.

#include <cstdint>
#include <limits>
#include <span>

#include "common/job.h"
#include "waveform/analysis/record_data.h"

namespace wave {

// The signed amplitude of the sine that passes through y1 and, an angle d
// later, through y2 (callers use its magnitude).
double SineAmplitude(long double d, double y2, double y1);

// Fills the f - 1 points between the samples of one analogue buffer: per rate a
// forward pass over the intervals (sine fill, or a straight line where the fit
// contradicts the direction of the signal), then a backward pass over the last
// intervals. Sample points are never changed; nothing outside the buffer is
// read or written. From sample samplesWritten on every sample is 0 (see
// RecordData::samplesWritten): the points between two of them are left at 0,
// where a fill would write 0 or -0, which show alike. With progress: one step
// per sample, reported in blocks; a cancelled job stops at its next block and
// leaves the buffer unfinished.
void SineInterpolateChannel(const RecordLayout& layout, std::span<double> buffer,
                            std::int64_t samplesWritten = std::numeric_limits<std::int64_t>::max(),
                            common::JobProgress* progress = nullptr);

// The points of one analogue buffer that neither a sample nor the sine fit
// gives a value: unless sineFitted, the points between two samples (of either
// rate, and across the change of rate) go on the straight line between them;
// the points after the last sample hold its value. From sample samplesWritten
// on every sample is 0 (see RecordData::samplesWritten) and the points between
// them are left as they are.
void FillBetweenSamples(const RecordLayout& layout, std::span<double> buffer, bool sineFitted,
                        std::int64_t samplesWritten = std::numeric_limits<std::int64_t>::max());

// FillBetweenSamples for every analogue channel; channels not yet begun are
// left when the job is cancelled.
void FillRecordBetweenSamples(RecordData& data, bool sineFitted, common::JobProgress* progress = nullptr);

// SineInterpolateChannel for every analogue channel of the record, with
// progress as there (one step per sample of each channel).
void InterpolateRecord(RecordData& data, common::JobProgress* progress = nullptr);

}  // namespace wave
