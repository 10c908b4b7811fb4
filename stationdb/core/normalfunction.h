#pragma once
// Small helpers for texts, times, streams and the byte scrambling of stored
// data, shared by the configuration tree, the login rules, contp.dat and the
// record kinds. Texts are handled as bytes: "characters of code 32 or below"
// are the bytes 0..32, so GBK and UTF-8 bytes are never trimmed.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/core/memorystream.h"
#include "stationdb/db/value.h"

namespace stationdb {

// The Windows SYSTEMTIME record (8 little-endian u16 in this order where it is stored).
struct TSystemTime {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
  bool operator==(const TSystemTime&) const = default;
};

// The longest text a stream string holds.
inline constexpr std::size_t kMaxStreamStringLength = 255;

// Exactly Digits characters: the Digits lowest decimal digits of Value's
// magnitude, with leading "0" (123 with 2 digits gives "23"); Digits 0 or
// less gives "".
std::string IntToZeroPadStr(std::int64_t Value, int Digits);

// The text before the first Sep, trimmed; empty when Sep does not occur.
std::string KeyPart(std::string_view Text, std::string_view Sep);
// The text after the first Sep up to the first "//" of the text (or its end),
// trimmed; empty when Sep does not occur (or the "//" comes before it).
std::string ValuePart(std::string_view Text, std::string_view Sep);

// Cuts trailing bytes of code 32 or below, never the first one.
void TrimRightPChar(char* Buffer);  // a NUL-terminated buffer: moves the terminator
void TrimRightPChar(std::string& Text);

// Seconds since 1970-01-01 00:00:00 by the station's calendar rules: year 0
// counts as 1970, a year outside 1970..2100 gives 0, day 0 adds nothing;
// milliseconds and the day of the week are ignored.
std::uint32_t SystemTimeToSeconds(const TSystemTime& Time);
// Start <= Time <= Stop by SystemTimeToSeconds.
bool TimeInRange(const TSystemTime& Time, const TSystemTime& Start, const TSystemTime& Stop);

// A stream string: u32 length 0..255, then that many bytes. Reading is false
// for a null stream or fewer than 4 bytes left (nothing read), and for a
// length above 255 or beyond the bytes left (the length word is read, nothing
// more); Text is then left as it was. Writing is false only for a null
// stream; a text longer than 255 bytes is cut to 255 as the stored type holds no more.
bool ReadStreamString(MemoryStream* Stream, std::string& Text);
bool WriteStreamString(MemoryStream* Stream, std::string_view Text);

// The bytes of a binary value into a stream (emptied first, position 0 after);
// a value that is not binary leaves the stream empty.
void VariantToStream(const db::Value& Value, MemoryStream& Stream);
// The whole stream as a binary value.
db::Value StreamToVariant(const MemoryStream& Stream);

// Every byte replaced by its bitwise NOT (node blobs).
void NotStreamBytes(MemoryStream& Stream);
// Every byte reduced by 1, mod 256 (contp.dat).
void DecStreamBytes(MemoryStream& Stream);

// For each Sep in turn, the text before it; after each piece the rest is
// ValuePart(rest, Sep), so later pieces lose leading blanks and anything from
// a "//" on. Text after the last Sep is not added.
std::vector<std::string> SplitToStringList(std::string_view Text, std::string_view Sep);

// Both 0 for no values, else the smallest and the largest.
void MinMaxOfArray(std::span<const std::int32_t> Values, std::int32_t& Min, std::int32_t& Max);

}  // namespace stationdb
