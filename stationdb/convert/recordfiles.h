#pragma once
// Record files from the automation system's waveform blobs. Each blob holds a
// complete one-channel record:
//
//   u32 L, L bytes of .cfg text, u32 (not used), the .dat bytes to the end.
//
// A record of one part is written as its blob holds it; a record of several
// parts is merged into one record of all their channels. The texts stay the
// bytes the blobs hold (GBK).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "stationdb/records/records.h"

namespace stationdb {

// The two files of a record, as bytes.
struct RecordFiles {
  std::string cfg;
  std::string dat;
};

// The pieces of one blob; they point into it.
struct VelkoraBlob {
  std::string_view cfgText;
  std::string_view data;
};

// Empty when the blob is shorter than 4 + L + 4 bytes.
std::optional<VelkoraBlob> SplitVelkoraBlob(std::span<const std::uint8_t> blob);

// The configuration text has 10 lines in a part that can be merged.
inline constexpr std::size_t kMergeCfgLines = 10;
// Bytes of one BINARY row of a part: u32 sample number, u32 time stamp, i16 sample.
inline constexpr std::size_t kPartRowBytes = 10;

// A part's blob as its pair: the text and the data unchanged.
std::optional<RecordFiles> SingleRecordFiles(const TWaveformRecord& part);

// The parts merged into one record of n analogue channels:
//   .cfg: line 1 of part 0; "n,nA,0D"; for each part i "A<i+1>" + its line 3
//         without the first two characters; lines 4 to 10 of part 0; each line
//         ended by CR LF;
//   .dat: rows = (data bytes of part 0) div 10; row r is the 10 bytes of part 0
//         at 10r, then the 2-byte sample (offset 10r + 8) of every further part.
// Empty when part 0's text has not exactly 10 lines (the record is not one
// that can be merged). A damaged record raises common::ConvertError, whose
// text says which channel: a blob shorter than its lengths, a further part
// whose text has fewer than 3 lines, or one with fewer data rows than part 0.
std::optional<RecordFiles> MergedRecordFiles(std::span<const TWaveformRecord* const> parts);

// The pair of the record: part 0 alone when its AuxWord is 0 (empty when its
// blob is shorter than its lengths), else all parts merged (as above).
std::optional<RecordFiles> BuildRecordFiles(std::span<const TWaveformRecord* const> parts);

// Whether the record's parts are merged into one record (AuxWord of part 0 not 0).
bool IsMergedRecord(std::span<const TWaveformRecord* const> parts);

// Writes the pair as <folder>/<baseName>.cfg and .dat, creating the folder.
// A name that either file of an earlier pair still holds is never reused:
// "_1", "_2", ... are added until both names are free. Returns the .cfg path;
// empty when writing failed, and then neither file is left.
std::optional<std::filesystem::path> WriteRecordFiles(const std::filesystem::path& folder,
                                                      std::string_view baseName, const RecordFiles& files);

}  // namespace stationdb
