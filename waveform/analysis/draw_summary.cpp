#include "waveform/analysis/draw_summary.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <mutex>
#include <new>
#include <utility>

#include "waveform/analysis/parallel.h"
#include "waveform/analysis/record_data.h"

namespace wave {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Building an envelope looks at the cancel flag every this many bottom blocks
// (65 536 points, well under a millisecond).
constexpr std::int64_t kBlocksBetweenLooks = 4096;

// A step kept as a float, never below the double it stands for.
float stepBound(double step) {
  if (!(step < kInfinity)) return std::numeric_limits<float>::infinity();
  float f = static_cast<float>(step);
  if (static_cast<double>(f) < step) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

}  // namespace

struct PointEnvelope::ColumnCache {
  std::mutex mutex;
  std::array<std::shared_ptr<const PointColumns>, 2> recent;  // the last one asked for first
};

PointEnvelope::PointEnvelope(std::span<const double> buffer, std::int64_t offset, std::int64_t stride,
                             std::int64_t count, std::int64_t zeroFrom, const common::JobProgress* progress)
    : offset_(offset),
      stride_(std::max<std::int64_t>(1, stride)),
      count_(std::max<std::int64_t>(0, count)),
      columnCache_(std::make_shared<ColumnCache>()) {
  const auto last = static_cast<std::int64_t>(buffer.size()) - 1;
  if (count_ > 0 && offset_ + (count_ - 1) * stride_ > last) count_ = last < offset_ ? 0 : (last - offset_) / stride_ + 1;
  known_ = std::clamp<std::int64_t>(zeroFrom, 0, count_);
  const std::int64_t blocks = (known_ + kBottomBlock - 1) / kBottomBlock;
  bottom_.resize(static_cast<std::size_t>(blocks));
  bottomSteps_.resize(static_cast<std::size_t>(blocks));
  for (std::int64_t b = 0; b < blocks; ++b) {
    if (b % kBlocksBetweenLooks == 0 && common::Cancelled(progress)) return;
    const std::int64_t first = b * kBottomBlock, end = std::min(known_, first + kBottomBlock);
    Bottom out;
    double lowest = kInfinity, highest = -kInfinity, step = 0;
    double previous = first > 0 ? value(buffer, first - 1) : 0;
    for (std::int64_t k = first; k < end; ++k) {
      const double v = value(buffer, k);
      if (std::isfinite(v)) {
        if (v < lowest) lowest = v, out.lowest = static_cast<std::uint8_t>(k - first);
        if (v > highest) highest = v, out.highest = static_cast<std::uint8_t>(k - first);
      } else {
        step = kInfinity;
      }
      if (k > 0) step = std::max(step, std::isfinite(v - previous) ? std::fabs(v - previous) : kInfinity);
      previous = v;
    }
    bottom_[static_cast<std::size_t>(b)] = out;
    bottomSteps_[static_cast<std::size_t>(b)] = stepBound(step);
  }
  // Each upper level merges 8 blocks of the one below; offsets stay within 32 bits.
  std::int64_t childSize = kBottomBlock;
  std::int64_t children = blocks;
  while (children > 1 && childSize * kFanOut <= (std::int64_t{1} << 31)) {
    const std::int64_t size = childSize * kFanOut;
    std::vector<Upper> level(static_cast<std::size_t>((children + kFanOut - 1) / kFanOut));
    for (std::size_t b = 0; b < level.size(); ++b) {
      const std::int64_t start = static_cast<std::int64_t>(b) * size;
      Upper u;
      double lowest = kInfinity, highest = -kInfinity;
      for (std::int64_t c = static_cast<std::int64_t>(b) * kFanOut; c < std::min(children, (static_cast<std::int64_t>(b) + 1) * kFanOut); ++c) {
        const std::int64_t childStart = c * childSize;
        std::int64_t lo = 0, hi = 0;
        float step = 0;
        if (upper_.empty()) {
          const Bottom& child = bottom_[static_cast<std::size_t>(c)];
          lo = childStart + child.lowest;
          hi = childStart + child.highest;
          step = bottomSteps_[static_cast<std::size_t>(c)];
        } else {
          const Upper& child = upper_.back()[static_cast<std::size_t>(c)];
          lo = childStart + child.lowest;
          hi = childStart + child.highest;
          step = child.largestStep;
        }
        u.largestStep = std::max(u.largestStep, step);
        if (!(step < std::numeric_limits<float>::infinity())) continue;  // its extremes may not hold
        if (value(buffer, lo) < lowest) lowest = value(buffer, lo), u.lowest = static_cast<std::uint32_t>(lo - start);
        if (value(buffer, hi) > highest) highest = value(buffer, hi), u.highest = static_cast<std::uint32_t>(hi - start);
      }
      level[b] = u;
    }
    upper_.push_back(std::move(level));
    childSize = size;
    children = static_cast<std::int64_t>(upper_.back().size());
  }
}

std::size_t PointEnvelope::bytes() const {
  std::size_t total = bottom_.size() * sizeof(Bottom) + bottomSteps_.size() * sizeof(float);
  for (const auto& level : upper_) total += level.size() * sizeof(Upper);
  return total;
}

void PointEnvelope::addPoints(Extremes& e, std::span<const double> buffer, std::int64_t k0, std::int64_t k1) const {
  const double* p = buffer.data() + offset_ + k0 * stride_;
  double previous = k0 > 0 ? p[-stride_] : *p;
  double lowest = e.lowest, highest = e.highest, step = e.largestStep;
  bool finite = true;
  for (std::int64_t k = k0; k <= k1; ++k, p += stride_) {
    const double v = *p;
    finite &= v - v == 0;  // false for NaN and the infinities
    lowest = std::min(lowest, v);
    highest = std::max(highest, v);
    step = std::max(step, std::fabs(v - previous));
    previous = v;
  }
  e.lowest = lowest;
  e.highest = highest;
  e.largestStep = finite && step < kInfinity ? step : kInfinity;
}

void PointEnvelope::addBlock(Extremes& e, std::span<const double> buffer, std::int64_t first, std::int64_t lowest,
                             std::int64_t highest, float largestStep) const {
  e.largestStep = std::max(e.largestStep, static_cast<double>(largestStep));
  if (!(largestStep < std::numeric_limits<float>::infinity())) {
    e.largestStep = kInfinity;
    return;
  }
  e.lowest = std::min(e.lowest, value(buffer, first + lowest));
  e.highest = std::max(e.highest, value(buffer, first + highest));
}

PointEnvelope::Extremes PointEnvelope::over(std::span<const double> buffer, std::int64_t k0, std::int64_t k1) const {
  k0 = std::max<std::int64_t>(0, k0);
  k1 = std::min(k1, count_ - 1);
  Extremes e = overKnown(buffer, k0, std::min(k1, known_ - 1));
  if (k1 < known_ || k0 > k1) return e;
  // The zero tail, and the step into it from the last point summarised.
  e.lowest = std::min(e.lowest, 0.0);
  e.highest = std::max(e.highest, 0.0);
  if (known_ > 0 && k0 <= known_) {
    const double step = std::fabs(value(buffer, known_ - 1));
    e.largestStep = std::max(e.largestStep, step < kInfinity ? step : kInfinity);
  }
  return e;
}

PointEnvelope::Extremes PointEnvelope::overKnown(std::span<const double> buffer, std::int64_t k0,
                                                 std::int64_t k1) const {
  Extremes e;
  std::int64_t k = k0;
  const auto fits = [&](std::int64_t size) { return k % size == 0 && std::min(k + size, known_) - 1 <= k1; };
  while (k <= k1) {
    if (!fits(kBottomBlock)) {  // up to the next block or the range's end
      const std::int64_t end = std::min(k1, (k / kBottomBlock + 1) * kBottomBlock - 1);
      addPoints(e, buffer, k, end);
      k = end + 1;
      continue;
    }
    // The largest whole block that starts at k and ends by k1.
    std::int64_t size = kBottomBlock;
    std::size_t levels = 0;
    while (levels < upper_.size() && fits(size * kFanOut)) {
      size *= kFanOut;
      ++levels;
    }
    if (levels > 0) {
      const Upper& u = upper_[levels - 1][static_cast<std::size_t>(k / size)];
      addBlock(e, buffer, k, u.lowest, u.highest, u.largestStep);
    } else {
      const auto b = static_cast<std::size_t>(k / kBottomBlock);
      addBlock(e, buffer, k, bottom_[b].lowest, bottom_[b].highest, bottomSteps_[b]);
    }
    k += size;
  }
  return e;
}

namespace {
thread_local const ColumnTimeBudget* activeBudget = nullptr;  // the innermost of this thread
}  // namespace

ColumnTimeBudget::ColumnTimeBudget(std::chrono::steady_clock::duration allowed)
    : outer_(activeBudget), deadline_(std::chrono::steady_clock::now() + allowed) {
  activeBudget = this;
}

ColumnTimeBudget::~ColumnTimeBudget() { activeBudget = outer_; }

bool ColumnTimeBudget::Spent() { return activeBudget && std::chrono::steady_clock::now() >= activeBudget->deadline_; }

std::shared_ptr<const PointColumns> PointEnvelope::columns(std::span<const double> buffer, const PointX& x) const {
  if (!columnCache_) return nullptr;
  const std::lock_guard lock(columnCache_->mutex);
  auto& recent = columnCache_->recent;
  for (std::size_t i = 0; i < recent.size(); ++i)
    if (recent[i] && recent[i]->buffer_ == buffer.data() && recent[i]->x_ == x) {
      std::swap(recent[0], recent[i]);
      return recent[0];
    }
  if (ColumnTimeBudget::Spent()) return nullptr;
  std::shared_ptr<const PointColumns> made;
  try {
    made = PointColumns::Make(*this, buffer, x);
  } catch (const std::bad_alloc&) {
    return nullptr;  // the envelope alone draws the same pixels
  }
  if (made) {
    recent[1] = std::move(recent[0]);
    recent[0] = made;
  }
  return made;
}

namespace {

// The first of points 0 .. n - 1 whose column is at least column (x never
// decreases), n when none is, found by walking from a guess.
std::int64_t firstPointFrom(const PointX& x, std::int64_t n, std::int64_t column, std::int64_t guess) {
  std::int64_t k = std::clamp<std::int64_t>(guess, 0, n);
  while (k > 0 && x(k - 1) >= column) --k;
  while (k < n && x(k) < column) ++k;
  return k;
}

}  // namespace

std::shared_ptr<const PointColumns> PointColumns::Make(const PointEnvelope& envelope, std::span<const double> buffer,
                                                       const PointX& x) {
  constexpr std::int64_t kLongestColumn = std::int64_t{1} << 16;
  const std::int64_t n = envelope.count();
  if (n < 2 || n > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  if (envelope.offset() + (n - 1) * envelope.stride() >= static_cast<std::int64_t>(buffer.size())) return nullptr;
  const std::int64_t x0 = x(0), x1 = x(n - 1);
  if (x1 < x0 || (x1 - x0) * kFewestPerColumn > n) return nullptr;
  std::shared_ptr<PointColumns> out(new PointColumns(buffer, x, n));
  out->firstX_ = x0;
  out->offset_ = envelope.offset();
  out->stride_ = envelope.stride();
  const auto count = static_cast<std::size_t>(x1 - x0 + 1);
  out->columns_.resize(count);
  std::atomic<bool> tooLong{false};
  // Each range of columns starts from a guess of where its first point lies.
  ParallelFor(count, 2048, [&](std::size_t begin, std::size_t end) {
    std::int64_t first = firstPointFrom(x, n, x0 + static_cast<std::int64_t>(begin),
                                        static_cast<std::int64_t>(static_cast<double>(begin) / static_cast<double>(count) *
                                                                  static_cast<double>(n)));
    std::int64_t length = 0;
    for (std::size_t c = begin; c < end; ++c) {
      const std::int64_t next = firstPointFrom(x, n, x0 + static_cast<std::int64_t>(c) + 1, first + length);
      length = next - first;
      if (length > kLongestColumn) tooLong = true;
      if (tooLong) return;
      out->columns_[c] = summariseColumn(envelope, buffer, first, next);
      first = next;
    }
  });
  if (tooLong) return nullptr;
  return out;
}

PointColumns::Column PointColumns::summariseColumn(const PointEnvelope& envelope, std::span<const double> buffer,
                                                   std::int64_t first, std::int64_t end) {
  Column column;
  column.first = static_cast<std::uint32_t>(first);
  // The points but the last.
  double lowest = kInfinity, highest = -kInfinity, step = 0;
  double previous = 0;
  for (std::int64_t i = first; i + 1 < end; ++i) {
    const double v = envelope.value(buffer, i);
    if (std::isfinite(v)) {
      if (v < lowest) lowest = v, column.lowest = static_cast<std::uint16_t>(i - first);
      if (v > highest) highest = v, column.highest = static_cast<std::uint16_t>(i - first);
    } else {
      step = kInfinity;
    }
    if (i > first) {
      const double d = v - previous;
      step = std::max(step, std::isfinite(d) ? std::fabs(d) : kInfinity);
    }
    previous = v;
  }
  column.largestStep = stepBound(step);
  return column;
}

std::int64_t PointColumns::columnEnd(std::int64_t k) const {
  const std::int64_t c = x_(k) - firstX_;
  if (k < 0 || k >= count_ || c < 0 || c >= static_cast<std::int64_t>(columns_.size())) return -1;
  const auto column = static_cast<std::size_t>(c);
  return first(column) <= k && k < end(column) ? end(column) - 1 : -1;
}

std::optional<PointEnvelope::Extremes> PointColumns::extremes(std::span<const double> buffer, std::int64_t k0,
                                                              std::int64_t k1) const {
  if (buffer.data() != buffer_ || k0 < 0 || k1 >= count_) return std::nullopt;
  const std::int64_t c = x_(k0) - firstX_;
  if (c < 0 || c >= static_cast<std::int64_t>(columns_.size())) return std::nullopt;
  const auto column = static_cast<std::size_t>(c);
  const std::int64_t end = this->end(column);
  if (first(column) != k0 || end - k0 < 2 || (k1 != end - 1 && k1 != end - 2)) return std::nullopt;
  const Column& col = columns_[column];
  PointEnvelope::Extremes e;
  e.largestStep = col.largestStep < std::numeric_limits<float>::infinity() ? col.largestStep : kInfinity;
  if (!e.allFinite()) return e;
  e.lowest = value(buffer, k0 + col.lowest);
  e.highest = value(buffer, k0 + col.highest);
  if (k1 == end - 1) {  // and the last point
    const double last = value(buffer, k1);
    const double d = last - value(buffer, k1 - 1);
    if (!std::isfinite(last) || !std::isfinite(d)) {
      e.largestStep = kInfinity;
      return e;
    }
    e.lowest = std::min(e.lowest, last);
    e.highest = std::max(e.highest, last);
    e.largestStep = std::max(e.largestStep, std::fabs(d));
  }
  return e;
}

DrawSummary SummariseCurves(std::span<const std::span<const double>> analog,
                            std::span<const std::span<const double>> rms,
                            std::span<const std::span<const std::uint8_t>> digital, const RecordLayout& layout,
                            bool interpolated, std::int64_t samplesWritten, common::JobProgress* progress) {
  DrawSummary summary;
  const std::int64_t step1 = interpolated ? 1 : layout.f1, step2 = interpolated ? 1 : layout.f2;
  const std::int64_t points1 = layout.rate1Samples * layout.f1;
  const std::int64_t points2 = layout.twoRates ? (layout.sampleCount - layout.rate1Samples) * layout.f2 : 0;
  // Where the zeros no sample wrote begin: in the points of each rate, in the
  // RMS values (a cycle after the last sample) and in the digital samples.
  const std::int64_t written = std::clamp<std::int64_t>(samplesWritten, 0, layout.sampleCount);
  const std::int64_t writtenPoints = written == layout.sampleCount ? points1 + points2 : layout.pointOf(written);
  const auto upTo = [](std::int64_t points, std::int64_t step) { return (std::max<std::int64_t>(points, 0) + step - 1) / step; };
  const std::int64_t zero1 = upTo(writtenPoints, step1), zero2 = upTo(writtenPoints - points1, step2);
  const std::int64_t zeroRms = written == 0 ? 0 : written + layout.rmsCycle - 1;
  summary.rate1.resize(analog.size());
  summary.rate2.resize(analog.size());
  summary.rms.resize(rms.size());
  summary.digitalSwitches.resize(digital.size());
  std::atomic<bool> failed{false};
  ParallelFor(std::max({analog.size(), rms.size(), digital.size()}), 1, [&](std::size_t begin, std::size_t end) {
    try {
      for (std::size_t c = begin; c < end && !failed && !common::Cancelled(progress); ++c) {
        if (c < digital.size()) {
          const std::span<const std::uint8_t> b = digital[c];
          const auto switchable = std::min(b.size(), static_cast<std::size_t>(written));
          for (std::size_t i = 0; i + 1 < b.size() && i < switchable; ++i) {
            if (i % (kBlocksBetweenLooks * 256) == 0 && common::Cancelled(progress)) break;
            if ((b[i] == 0) != (b[i + 1] == 0)) summary.digitalSwitches[c].push_back(static_cast<std::int64_t>(i));
          }
        }
        if (c < analog.size()) {
          summary.rate1[c] = PointEnvelope(analog[c], 0, step1, upTo(points1, step1), zero1, progress);
          if (points2 > 0)
            summary.rate2[c] = PointEnvelope(analog[c], points1, step2, upTo(points2, step2), zero2, progress);
        }
        if (c < rms.size())
          summary.rms[c] = PointEnvelope(rms[c], 0, 1, static_cast<std::int64_t>(rms[c].size()), zeroRms, progress);
        if (c < analog.size())
          common::Advance(progress, static_cast<std::uint64_t>(std::max<std::int64_t>(layout.sampleCount, 0)));
      }
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  });
  if (failed) throw std::bad_alloc();
  return summary;
}

void BuildDrawSummary(RecordData& data, common::JobProgress* progress) {
  // Without a summary the views read every point: slower, the same pixels. So
  // memory that cannot be had for it only leaves it out.
  try {
    const RecordData& source = data;
    std::vector<std::span<const double>> analog, rms;
    std::vector<std::span<const std::uint8_t>> digital;
    for (std::size_t c = 0; c < source.analogCount(); ++c) {
      analog.push_back(source.samples(c));
      rms.push_back(source.rms(c));
    }
    for (std::size_t d = 0; d < source.digitalCount(); ++d) digital.push_back(source.digital(d));
    data.setDrawSummary(std::make_unique<DrawSummary>(
        SummariseCurves(analog, rms, digital, source.layout(), source.NoNegativeSamples == 0,
                        source.samplesWritten(), progress)));
  } catch (const std::bad_alloc&) {
    data.setDrawSummary(nullptr);
  }
}

}  // namespace wave
