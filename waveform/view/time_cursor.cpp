#include "waveform/view/time_cursor.h"

#include <algorithm>
#include <cmath>

#include "common/arith.h"
#include "waveform/view/value_text.h"

namespace wave {

namespace {

constexpr long double kMsPerDay = 86400000.0L;

long double msPerCycle(const TcfgInfo& record) { return 1000.0L / std::max(1, record.lf); }

std::int64_t roundSafe(long double v) {
  if (!(std::fabs(v) < 9.0e18L)) return v > 0 ? INT64_MAX : INT64_MIN;
  return common::Round(v);
}

// --- reading a typed time ---

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool atEnd() const { return pos_ == text_.size(); }
  bool blanks() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    return pos_ != start;
  }
  bool take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool number(int& value, int maxDigits) {
    int n = 0;
    value = 0;
    while (pos_ < text_.size() && n < maxDigits && isDigit(text_[pos_])) {
      value = value * 10 + (text_[pos_++] - '0');
      ++n;
    }
    return n > 0;
  }
  // A decimal fraction of a second, cut to the millisecond.
  bool fraction(int& ms) {
    int n = 0;
    ms = 0;
    for (; pos_ < text_.size() && isDigit(text_[pos_]); ++pos_, ++n)
      if (n < 3) ms = ms * 10 + (text_[pos_] - '0');
    for (int k = n; k < 3; ++k) ms *= 10;
    return n > 0;
  }

 private:
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool typedClock(Scanner& s, common::DateTimeParts& parts) {
  if (!s.number(parts.hour, 2) || !s.take(':') || !s.number(parts.minute, 2)) return false;
  if (!s.take(':')) return true;
  if (!s.number(parts.second, 2)) return false;
  if (!s.take('.')) return true;
  return s.fraction(parts.millisecond);
}

double valueAt(std::span<const double> values, std::int64_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= values.size()) return 0;
  return values[static_cast<std::size_t>(index)];
}

std::span<const double> channelOf(std::span<const std::span<const double>> buffers, int channel) {
  if (channel < 0 || static_cast<std::size_t>(channel) >= buffers.size()) return {};
  return buffers[static_cast<std::size_t>(channel)];
}

}  // namespace

TrackBarSpan MakeTrackBarSpan(const WaveGeometry& geo, std::int64_t width) {
  TrackBarSpan bar;
  bar.width = width;
  bar.left = geo.L - 10;
  return bar;
}

int CursorLineX(const TrackBarSpan& bar, int position) {
  const long double range = std::max(1, bar.max - bar.min);
  const long double x =
      static_cast<long double>(position - bar.min) / range * static_cast<long double>(bar.width - 18) + 10;
  return static_cast<int>(std::clamp<std::int64_t>(roundSafe(x) + bar.left, INT32_MIN / 2, INT32_MAX / 2));
}

int PositionAtPointer(const TrackBarSpan& bar, int x) {
  if (bar.width <= 18) return bar.min;
  const long double p = static_cast<long double>(x - 10) / static_cast<long double>(bar.width - 18) *
                            static_cast<long double>(bar.max - bar.min) +
                        bar.min;
  const long double clamped = std::clamp<long double>(p, bar.min, bar.max);
  return static_cast<int>(common::Round(clamped));
}

CursorLine CursorLineAt(const WaveGeometry& geo, int x) {
  const int top = geo.T - geo.h2;
  return {x, top, top + geo.R * geo.h + geo.Dg};
}

double CursorTimeOffsetMs(const WaveGeometry& geo, const TcfgInfo& record, int x) {
  const std::int64_t dx = x - geo.L;
  const std::int64_t P = std::max(1, geo.pixelsPerCycle1);
  const bool inside = geo.twoRates || x <= (geo.endsamp1 / geo.N) * P + geo.L;
  if (!inside) return 0;
  const long double tc = msPerCycle(record);
  return static_cast<double>(common::Round(static_cast<long double>(dx % P) * tc / P) +
                             static_cast<long double>(dx / P) * tc);
}

CursorPoint CursorPointAt(const WaveGeometry& geo, bool interpolated, int x) {
  const std::int64_t dx = x - geo.L;
  const std::int64_t P = std::max(1, geo.pixelsPerCycle1);
  const std::int64_t points = geo.P1 + geo.P2;
  std::int64_t k = (dx * geo.pointsPerCycle1) / P;
  k = std::clamp<std::int64_t>(k, 0, std::max<std::int64_t>(0, points - 1));
  CursorPoint at;
  if (k < geo.P1 || !geo.twoRates) {
    at.sample = k / geo.f1;
    at.point = interpolated ? k : at.sample * geo.f1;
  } else {
    at.sample = geo.endsamp1 + (k - geo.P1) / geo.f2;
    at.point = interpolated ? k : geo.P1 + (at.sample - geo.endsamp1) * geo.f2;
  }
  at.sample = std::clamp<std::int64_t>(at.sample, 0, std::max<std::int64_t>(0, geo.endsamp2 - 1));
  return at;
}

double CursorValue(const ReadoutSource& source, int channel, const CursorPoint& at) {
  if (source.mode == ViewMode::Rms) return valueAt(channelOf(source.rms, channel), at.sample);
  return valueAt(channelOf(source.samples, channel), at.point);
}

RealTimeReadout ReadRealTimeData(const ReadoutSource& source, int x, const std::vector<bool>& checked,
                                 bool deltaChecked) {
  RealTimeReadout out;
  const double ms = CursorTimeOffsetMs(source.geo, source.record, x);
  out.time = common::FormatDateTime(kCursorTimePattern, source.record.StartTime + ms / kMsPerDay);

  const CursorPoint at = CursorPointAt(source.geo, source.interpolated, x);
  std::vector<std::pair<int, double>> read;
  const int analog = std::min<int>(source.record.A, static_cast<int>(source.record.AInfo.size()));
  for (int i = 0; i < analog && static_cast<std::size_t>(i) < checked.size(); ++i) {
    if (!checked[static_cast<std::size_t>(i)]) continue;
    const double v = CursorValue(source, i, at);
    out.values.push_back({i, FormatFixed(v, 5, 3)});
    if (read.size() < 2) read.emplace_back(i, v);
  }
  if (source.record.A > 1 && deltaChecked && read.size() == 2) {
    const auto& id = [&](int i) -> const std::string& {
      return source.record.AInfo[static_cast<std::size_t>(i)].ch_id;
    };
    out.delta = DeltaValue{"|" + id(read[0].first) + "-" + id(read[1].first) + "|",
                           FormatFixed(std::fabs(read[0].second - read[1].second), 5, 3)};
  }
  return out;
}

std::optional<common::TDateTime> ParseTypedTime(std::string_view text) {
  Scanner s(text);
  common::DateTimeParts parts;
  s.blanks();
  if (!s.number(parts.year, 4) || !s.take('/') || !s.number(parts.month, 2) || !s.take('/') || !s.number(parts.day, 2))
    return std::nullopt;
  parts.hour = parts.minute = parts.second = parts.millisecond = 0;
  const bool blank = s.blanks();
  if (!s.atEnd() && !(blank && typedClock(s, parts))) return std::nullopt;
  s.blanks();
  if (!s.atEnd()) return std::nullopt;
  return common::EncodeDateTime(parts);
}

int PositionForTime(const WaveGeometry& geo, const TcfgInfo& record, common::TDateTime time, const TrackBarSpan& bar) {
  const long double ms =
      static_cast<long double>(roundSafe((static_cast<long double>(time) - record.StartTime) * kMsPerDay));
  const long double P = std::max(1, geo.pixelsPerCycle1);
  const long double x = static_cast<long double>(roundSafe(P / msPerCycle(record) * ms + geo.L)) - 75;
  const long double span = static_cast<long double>(std::max<std::int64_t>(1, bar.width - 18));
  // Kept a little beyond the ends before rounding, so that huge times cannot overflow.
  const long double raw =
      std::clamp<long double>(x / span * (bar.max - bar.min) + bar.min, bar.min - 1.0L, bar.max + 1.0L);
  const std::int64_t pos = common::Round(raw);
  if (pos <= bar.min) return bar.min;
  if (pos > bar.max) return bar.max - kAfterEndBack;
  return static_cast<int>(pos);
}

// --- the all-samples list -------------------------------------------------------

std::span<const double> ComputedHarmonics(const RecordData& data) {
  const std::span<const double> all = data.harmonics();
  const std::size_t computed = static_cast<std::size_t>(std::max(0, data.layout().N1 / 2 - 1));
  return all.first(std::min(all.size(), computed));
}

std::int64_t SampleListRowCount(const SampleListSource& source) {
  if (source.mode == ViewMode::HarmonicBars) return static_cast<std::int64_t>(source.harmonics.size());
  return source.layout.sampleCount;
}

std::array<std::string, 3> SampleListRow(const SampleListSource& source, int channel, std::int64_t k) {
  if (source.mode == ViewMode::HarmonicBars)
    return {std::to_string(k + 2), FormatFixed(valueAt(source.harmonics, k), 5, 3), std::string()};
  const RecordLayout& lay = source.layout;
  double cycles = static_cast<double>(k) / lay.N1;
  if (lay.twoRates && k >= lay.rate1Samples)
    cycles = static_cast<double>(lay.rate1Samples) / lay.N1 + static_cast<double>(k - lay.rate1Samples) / lay.N2;
  const double value = source.mode == ViewMode::Rms ? valueAt(channelOf(source.rms, channel), k)
                                                    : valueAt(channelOf(source.samples, channel), lay.pointOf(k));
  return {std::to_string(k + 1), FormatFixed(cycles, 3, 3), FormatFixed(value, 5, 3)};
}

std::int64_t ScrollShowing(std::int64_t x, std::int64_t scroll, std::int64_t visibleWidth) {
  if (x >= scroll && x < scroll + visibleWidth) return scroll;
  return std::max<std::int64_t>(0, x - visibleWidth / 2);
}

}  // namespace wave
