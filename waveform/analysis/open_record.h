#pragma once
// Everything a record window does with a record's samples when it is created:
// the guard, the buffers, loading (and interpolation) and the RMS curves or the
// harmonic spectrum.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/job.h"
#include "common/message.h"
#include "stationdb/records/records.h"
#include "waveform/analysis/record_data.h"
#include "recordmodel/record.h"

namespace wave {

struct OpenedRecord {
  // Empty when the record was refused; the window is then not opened.
  std::shared_ptr<RecordData> data;
  // To show in this order: the refusal, or what loading found (the window opens all the same).
  std::vector<common::UserMessage> messages;
  // The job was cancelled: no data and nothing to show.
  bool cancelled = false;
  // The largest magnitude (GetMaxAbsValue) of each analogue channel's points
  // and of its RMS curve, found while the data were at hand, so that the
  // window need not read them all again.
  std::vector<double> analogPeaks;
  std::vector<double> rmsPeaks;
};

// With progress (for a job on a worker thread): the reading stage counts the
// data file's bytes, the analysing stage the samples of the channels (orders
// of a spectrum); a cancelled job stops within a block of samples and comes
// back cancelled.
OpenedRecord OpenRecordData(const TcfgInfo& record, std::int32_t source,
                            std::span<const wave::TWaveformData> waveChannels,
                            const RecordLimits& limits = {}, common::JobProgress* progress = nullptr);

}  // namespace wave
