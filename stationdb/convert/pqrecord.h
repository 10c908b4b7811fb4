#pragma once
// Power-quality waveform blobs and the record kinds that name their channels.
//
// One blob holds one channel, little-endian:
//   u32 Param2, u32 Param3, u16 ChannelNo, stream string ChannelName (u32 n,
//   n bytes; n from 0 to 255), u32 Param1, f64 Param4, f64 Offset, f64 Factor,
//   u32 N, N x i32 Samples. Bytes after the last sample are ignored.
// A name length outside 0..255 or beyond the blob leaves the name empty, its
// length word read, and the fields after it are read from the next bytes.
//
// davureva.ini (GBK text), section "WAVEFORM", keys "SAGSWELL", "TRANSIENT" and
// "SETPOING": lists of "name=code" items, each ended by ";".

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/records/records.h"

namespace stationdb {

inline constexpr std::string_view kWaveKindsSection = "WAVEFORM";
inline constexpr std::string_view kSagSwellKey = "SAGSWELL";
inline constexpr std::string_view kTransientKey = "TRANSIENT";
inline constexpr std::string_view kSetPointKey = "SETPOING";

// One channel from its blob; false when the blob ends before its last field
// or before its N samples (nothing is read past its end; channel is then
// left partly filled).
bool DecodeWaveformChannel(std::span<const std::uint8_t> blob, wave::TWaveformData& channel);

// Part i into channel i (channels gets the length of parts); false when a
// blob is refused.
bool DecodeWaveformData(std::span<const TWaveformRecord* const> parts, std::vector<wave::TWaveformData>& channels);

// The items of one list value: Name is the trimmed text before the first "=",
// Code the integer after it (up to a "//" comment), 0 when that text is empty.
// Throws common::ConvertError for a code that is not an integer.
std::vector<TEventHandle> ParseWaveKindList(std::string_view value);

// The three lists from the file (decoded from GBK); a missing file or key
// gives an empty list. Throws common::ConvertError like ParseWaveKindList.
TWaveformHandle ReadConfigFile(const std::filesystem::path& iniPath);

// name := the Name of the first item whose Code is not negative and equals
// code (SagSwell, then Transient, then SetPoint) and found := 1; when none
// matches, name := empty and found stays as it was.
void GetChannelName(const TWaveformHandle& kinds, std::uint16_t code, std::int32_t& found, std::string& name);

}  // namespace stationdb
