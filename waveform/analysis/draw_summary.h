#pragma once
// The record's data summarised for drawing zoomed out: for every curve the
// views draw (the analogue point buffers and the RMS arrays) where the lowest
// and highest value lie and how far neighbours lie apart at most, for every
// block of 16 points, and of every 8 such blocks above them, and so on (about
// half a byte per point). A pixel column
// that holds many points reads its extremes from a few blocks instead of from
// every point. Built once, when the record's data is complete.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "common/job.h"

namespace wave {

class RecordData;
class PointColumns;

// The pixel column of point k of a run: Round((a + (k * scale - offset) * b) + c),
// in the order of the views' own formulas so that every rounding is the same.
struct PointX {
  double a = 0, b = 0, c = 0;
  std::int64_t scale = 1, offset = 0;
  std::int64_t operator()(std::int64_t k) const {
    const double v = (a + static_cast<double>(k * scale - offset) * b) + c;
    if (!(std::fabs(v) < 9.0e18)) return 0;
    return static_cast<std::int64_t>(std::nearbyint(v));
  }
  bool operator==(const PointX&) const = default;
};

// The points offset, offset + stride, ... of a buffer (count of them), numbered
// k = 0, 1, ..., with their block extremes.
class PointEnvelope {
 public:
  PointEnvelope() = default;
  // A cancelled job stops within a block of points and leaves the envelope
  // unfinished. Points from zeroFrom on are known to be 0 (or -0): they are neither read
  // nor summarised, so a tail that no sample wrote costs no memory or time.
  PointEnvelope(std::span<const double> buffer, std::int64_t offset, std::int64_t stride, std::int64_t count,
                std::int64_t zeroFrom = std::numeric_limits<std::int64_t>::max(),
                const common::JobProgress* progress = nullptr);

  std::int64_t count() const { return count_; }
  std::int64_t offset() const { return offset_; }
  std::int64_t stride() const { return stride_; }
  // The memory the envelope takes beyond the buffer.
  std::size_t bytes() const;
  // Point k of the buffer the envelope was built on.
  double value(std::span<const double> buffer, std::int64_t k) const {
    return buffer[static_cast<std::size_t>(offset_ + k * stride_)];
  }

  struct Extremes {
    // The extremes; they hold only when allFinite().
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    // At least the largest |difference| of two neighbouring points in the
    // range (possibly counting the step into its first point); infinite when
    // a value is not finite.
    double largestStep = 0;
    bool allFinite() const { return largestStep < std::numeric_limits<double>::infinity(); }
  };
  // Extremes of points k0 .. k1 (inclusive, within 0 .. count - 1).
  Extremes over(std::span<const double> buffer, std::int64_t k0, std::int64_t k1) const;

  // All points split into the pixel columns of x (never decreasing), with
  // each column's extremes, made when first asked for and kept for the next
  // frames (the last two mappings asked for: a view's zoom level, or the two
  // rates of one curve). Null where columns hold too few points to gain.
  std::shared_ptr<const PointColumns> columns(std::span<const double> buffer, const PointX& x) const;

 private:
  // Level 0 has blocks of 16 points; each level above merges 8 blocks.
  static constexpr std::int64_t kBottomBlock = 16;
  static constexpr std::int64_t kFanOut = 8;
  // Where in its block the lowest and the highest finite value lie (the
  // values are read from the buffer), and a bound of the block's largest step
  // (infinite when a value is not finite).
  struct Bottom {
    std::uint8_t lowest = 0, highest = 0;
  };
  struct Upper {
    std::uint32_t lowest = 0, highest = 0;
    float largestStep = 0;
  };
  // Extremes of points k0 .. k1 below known_.
  Extremes overKnown(std::span<const double> buffer, std::int64_t k0, std::int64_t k1) const;
  // Points k0 .. k1 read one by one.
  void addPoints(Extremes& e, std::span<const double> buffer, std::int64_t k0, std::int64_t k1) const;
  void addBlock(Extremes& e, std::span<const double> buffer, std::int64_t first, std::int64_t lowest,
                std::int64_t highest, float largestStep) const;

  std::int64_t offset_ = 0, stride_ = 1, count_ = 0;
  std::int64_t known_ = 0;  // the points summarised; the rest are 0
  std::vector<Bottom> bottom_;
  std::vector<float> bottomSteps_;
  std::vector<std::vector<Upper>> upper_;  // upper_[0] has blocks of 128 points
  struct ColumnCache;
  std::shared_ptr<ColumnCache> columnCache_;
};

// While one lives on a thread, the pixel columns that thread makes stop once
// its time is spent: a window's frame then draws the other curves from their
// envelopes (the same pixels) and leaves their columns to later frames, so
// that a change of zoom on a big record does not hold the window up.
class ColumnTimeBudget {
 public:
  explicit ColumnTimeBudget(std::chrono::steady_clock::duration allowed);
  ~ColumnTimeBudget();
  ColumnTimeBudget(const ColumnTimeBudget&) = delete;
  ColumnTimeBudget& operator=(const ColumnTimeBudget&) = delete;

  // Whether the budget of this thread, if it has one, is spent.
  static bool Spent();

 private:
  const ColumnTimeBudget* outer_;
  std::chrono::steady_clock::time_point deadline_;
};

// The points of an envelope split into pixel columns, with the extremes of
// each column's points but its last (the part the reduced line needs whole),
// 12 bytes a column.
class PointColumns {
 public:
  // Points whose column holds fewer than this on average are read as they are.
  static constexpr std::int64_t kFewestPerColumn = 8;

  // Null when the columns would hold fewer than kFewestPerColumn points on
  // average, or a column more than 65 536.
  static std::shared_ptr<const PointColumns> Make(const PointEnvelope& envelope, std::span<const double> buffer,
                                                  const PointX& x);

  const PointX& x() const { return x_; }
  std::int64_t firstX() const { return firstX_; }
  std::int64_t lastX() const { return firstX_ + static_cast<std::int64_t>(columns_.size()) - 1; }
  std::size_t bytes() const { return columns_.capacity() * sizeof(Column); }

  // The last point of k's column.
  std::int64_t columnEnd(std::int64_t k) const;
  // The extremes of points k0 .. k1 when they are a whole column, or a whole
  // column but its last point; nothing otherwise.
  std::optional<PointEnvelope::Extremes> extremes(std::span<const double> buffer, std::int64_t k0,
                                                  std::int64_t k1) const;

 private:
  PointColumns(std::span<const double> buffer, const PointX& x, std::int64_t count)
      : buffer_(buffer.data()), x_(x), count_(count) {}
  friend class PointEnvelope;  // finds its columns by buffer and mapping
  // Where in its column the lowest and highest finite value of the points but
  // the last lie, and a bound of their largest step (infinite when one is not
  // finite). first: the column's first point; the next column's is its end.
  struct Column {
    std::uint32_t first = 0;
    std::uint16_t lowest = 0, highest = 0;
    float largestStep = 0;
  };
  static Column summariseColumn(const PointEnvelope& envelope, std::span<const double> buffer, std::int64_t first,
                                std::int64_t end);
  std::int64_t first(std::size_t column) const { return columns_[column].first; }
  std::int64_t end(std::size_t column) const {
    return column + 1 < columns_.size() ? first(column + 1) : count_;
  }

  double value(std::span<const double> buffer, std::int64_t k) const {
    return buffer[static_cast<std::size_t>(offset_ + k * stride_)];
  }

  const double* buffer_;  // the buffer it was made from
  PointX x_;
  std::int64_t count_;
  std::int64_t offset_ = 0, stride_ = 1;
  std::int64_t firstX_ = 0;
  std::vector<Column> columns_;  // one per pixel from firstX_
};

// The envelopes of one record.
struct DrawSummary {
  // Per analogue channel, the points the wave view draws: the first rate, then
  // (with two rates) the second. Only the stored samples when nothing was
  // interpolated.
  std::vector<PointEnvelope> rate1, rate2;
  std::vector<PointEnvelope> rms;  // per analogue channel, its RMS array
  // Per digital channel, the samples i after which it switches: b[i] and
  // b[i + 1] differ in being 0. A lane whose samples share one pixel column
  // finds its falls and rises there from these, not from every sample.
  std::vector<std::vector<std::int64_t>> digitalSwitches;
};

struct RecordLayout;

// The envelopes of the analogue point buffers (with the record's layout; only
// the stored samples unless interpolated) and of the RMS arrays, and the
// switches of the digital channels. Samples from samplesWritten on are 0 (see
// RecordData::samplesWritten). With progress: the layout's sample count for
// each analogue channel done; a cancelled job stops within a block of points
// and the summary is of no use.
DrawSummary SummariseCurves(std::span<const std::span<const double>> analog,
                            std::span<const std::span<const double>> rms,
                            std::span<const std::span<const std::uint8_t>> digital, const RecordLayout& layout,
                            bool interpolated,
                            std::int64_t samplesWritten = std::numeric_limits<std::int64_t>::max(),
                            common::JobProgress* progress = nullptr);

// Builds the summary of the record's final data (after loading and analysis)
// and keeps it with the data.
void BuildDrawSummary(RecordData& data, common::JobProgress* progress = nullptr);

}  // namespace wave
