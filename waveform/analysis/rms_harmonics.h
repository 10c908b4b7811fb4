#pragma once
// The one-cycle sliding RMS curve of each analogue channel and the harmonic
// spectrum of channel 0 for records of one cycle.

#include <cstdint>
#include <span>

#include "common/job.h"
#include "waveform/analysis/record_data.h"

namespace wave {

// RMS[n] = sqrt((x_n^2 + ... + x_(n-M+1)^2) / M) with M = layout.rmsCycle, the
// sum taken from x_n backwards; over the first cycle the sum starts at x_0 and
// is still divided by M. x_j is sample j of the channel at its point. Fills
// min(rms.size(), sampleCount) values. With progress: one step per sample,
// reported in blocks; a cancelled job stops at its next block.
void CalcRmsCurve(const RecordLayout& layout, std::span<const double> channel, std::span<double> rms,
                  common::JobProgress* progress = nullptr);

// The vector widths the spectrum can be computed with. Each gives the same
// bits; Widest is the widest the processor has.
enum class HarmonicLanes { Widest, Plain, Avx2, Avx512 };
// Whether this processor (and this build) can run the given width.
bool HarmonicLanesAvailable(HarmonicLanes lanes);

// |H_h| for the orders first .. last (at most N div 2) of one cycle of N
// samples x into magnitudes[h - first]: the Fourier sums of cos and sin of
// (2h·3.1415926 / N)·(k + 1) times (2 / N)·x_k, each sum rounded to single
// precision after every addition, and the root of their squares. Split over
// threads by orders. A width that is not available computes nothing. With
// progress: one step per order, reported by groups of orders; a cancelled job
// stops within a block of samples, its magnitudes unfinished.
void HarmonicMagnitudes(std::span<const double> x, std::int32_t first, std::int32_t last,
                        std::span<long double> magnitudes, HarmonicLanes lanes = HarmonicLanes::Widest,
                        common::JobProgress* progress = nullptr);

// values[h - 2] = |H_h| / |H_1| * 100 for h = 2 .. N1 div 2, by the direct
// Fourier transform of the first N1 samples of the channel; 0 when |H_1| is 0.
// Nothing when N1 div 2 < 1. With progress as HarmonicMagnitudes; a cancelled
// job leaves values as they were.
void CalcHarmonics(const RecordLayout& layout, std::span<const double> channel, std::span<double> values,
                   common::JobProgress* progress = nullptr);

// What the record window computes after loading: the harmonic spectrum of
// channel 0 for a one-cycle record, else the RMS curve of every analogue channel.
// progress advances by AnalyseSteps; a cancelled job stops within a block of
// samples and leaves the results unfinished.
void AnalyseRecord(RecordData& data, common::JobProgress* progress = nullptr);

// The progress steps of AnalyseRecord: one per order of the spectrum (N1 div
// 2) for a one-cycle record, else one per sample of each RMS curve.
std::uint64_t AnalyseSteps(const RecordData& data);

}  // namespace wave
