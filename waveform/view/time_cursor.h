#pragma once
// The time cursor of a record window as pure arithmetic: where its line stands
// for a track-bar position, where a press on the track bar puts the thumb, the
// time and the channel values it reads, the position a typed time gives, and
// the rows of the all-samples list.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "waveform/analysis/record_data.h"
#include "recordmodel/record.h"
#include "waveform/view/wave_geometry.h"

namespace wave {

inline constexpr int kTrackBarMin = 0;
inline constexpr int kTrackBarMax = 100000000;
// A typed time after the record's end puts the thumb this far before Max.
inline constexpr int kAfterEndBack = 75;
inline constexpr char kCursorTimePattern[] = "yyyy/mm/dd hh:nn:ss.zzz";

// The track bar as the cursor formulas see it.
struct TrackBarSpan {
  int min = kTrackBarMin;
  int max = kTrackBarMax;
  std::int64_t width = 18;  // the track bar's Width
  int left = 65;            // its Left in the paint box: L - 10
};

// The track bar of a view of the given width, placed at L - 10.
TrackBarSpan MakeTrackBarSpan(const WaveGeometry& geo, std::int64_t width);

// Paint-box x of the cursor: Round((Position - Min) / (Max - Min) * (Width - 18) + 10) + Left.
int CursorLineX(const TrackBarSpan& bar, int position);
// The position a press at track-bar x puts the thumb at:
// Round((X - 10) / (Width - 18) * (Max - Min) + Min), kept within Min .. Max.
int PositionAtPointer(const TrackBarSpan& bar, int x);

// The cursor line's extent: from the top of the first row over every row and lane.
struct CursorLine {
  int x = -1;
  int top = 0;
  int bottom = 0;  // the line's end (left out, as every line's end pixel)
  bool operator==(const CursorLine&) const = default;
};
CursorLine CursorLineAt(const WaveGeometry& geo, int x);

// Milliseconds from the record's start at paint-box x (lf the line frequency):
// Round((dx mod P) * Tc / P) + (dx div P) * Tc with dx = x - L, P the pixels
// per cycle and Tc = 1000 / lf; 0 right of the last whole cycle of a record
// with one rate.
double CursorTimeOffsetMs(const WaveGeometry& geo, const TcfgInfo& record, int x);

// What the cursor reads at x: a point of the analogue buffers and the sample it
// belongs to. The point is (dx * PointsPerCycle1) div P, kept inside the
// buffer; in a record that was not interpolated it is the stored point at or
// before it, since the points between samples were never written.
struct CursorPoint {
  std::int64_t point = 0;
  std::int64_t sample = 0;
  bool operator==(const CursorPoint&) const = default;
};
CursorPoint CursorPointAt(const WaveGeometry& geo, bool interpolated, int x);

// Everything Show_RealTimeData reads.
struct ReadoutSource {
  const WaveGeometry& geo;
  const TcfgInfo& record;
  ViewMode mode = ViewMode::Waves;
  bool interpolated = false;
  std::span<const std::span<const double>> samples;  // the analogue buffers
  std::span<const std::span<const double>> rms;      // RmsBuffers (empty for one cycle)
};

struct ChannelValue {
  int channel = 0;
  std::string text;
  bool operator==(const ChannelValue&) const = default;
};

struct DeltaValue {
  std::string caption;
  std::string text;
  bool operator==(const DeltaValue&) const = default;
};

struct RealTimeReadout {
  std::string time;                  // FaulttimeEdit
  std::vector<ChannelValue> values;  // the checked channels, in list order
  std::optional<DeltaValue> delta;   // the "△" row when it changes
};

// The time and values at paint-box x. checked[i]: channel i's item is checked;
// deltaChecked: the "△" item is. The "△" row changes only when the record has
// more than one analogue channel, it is checked and two channels are.
RealTimeReadout ReadRealTimeData(const ReadoutSource& source, int x, const std::vector<bool>& checked,
                                 bool deltaChecked);

// The value of analogue channel c at the cursor point, 0 where there is none.
double CursorValue(const ReadoutSource& source, int channel, const CursorPoint& at);

// A typed time "yyyy/mm/dd[ hh:nn[:ss[.zzz]]]"; empty when it is none.
std::optional<common::TDateTime> ParseTypedTime(std::string_view text);

// The thumb position for a time: Min for a time at or before the start, Max - 75
// past the track bar's end.
int PositionForTime(const WaveGeometry& geo, const TcfgInfo& record, common::TDateTime time, const TrackBarSpan& bar);

// The scroll position that shows x in a view of the given visible width: the
// same when x is in sight, else one that puts x in the middle (never below 0).
std::int64_t ScrollShowing(std::int64_t x, std::int64_t scroll, std::int64_t visibleWidth);

// --- the all-samples list -------------------------------------------------------

struct SampleListSource {
  const RecordLayout& layout;
  ViewMode mode = ViewMode::Waves;
  std::span<const std::span<const double>> samples;  // the analogue buffers
  std::span<const std::span<const double>> rms;
  std::span<const double> harmonics;  // the computed orders 2 .. N1 div 2
};

// The harmonics a one-cycle record has values for: orders 2 .. N1 div 2.
std::span<const double> ComputedHarmonics(const RecordData& data);

// Rows of the list: one per sample, or one per computed harmonic in the bar view.
std::int64_t SampleListRowCount(const SampleListSource& source);
// The texts of row k for channel c (index, cycles, value; order and value in the bar view).
std::array<std::string, 3> SampleListRow(const SampleListSource& source, int channel, std::int64_t k);

}  // namespace wave
