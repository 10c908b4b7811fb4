#include "stationdb/core/normalfunction.h"

#include <algorithm>
#include <cstring>

#include "common/strings.h"

namespace stationdb {
namespace {

bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

constexpr std::uint32_t kSecondsPerDay = 86400;
constexpr std::uint16_t kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

std::string IntToZeroPadStr(std::int64_t Value, int Digits) {
  if (Digits <= 0) return {};
  // The magnitude as unsigned, so that the lowest value has one too.
  std::uint64_t rest = Value < 0 ? 0 - static_cast<std::uint64_t>(Value) : static_cast<std::uint64_t>(Value);
  std::string result(static_cast<std::size_t>(Digits), '0');
  for (auto it = result.rbegin(); it != result.rend() && rest != 0; ++it, rest /= 10)
    *it = static_cast<char>('0' + rest % 10);
  return result;
}

std::string KeyPart(std::string_view Text, std::string_view Sep) {
  const auto p = Text.find(Sep);
  if (Sep.empty() || p == std::string_view::npos) return {};
  return common::Trim(Text.substr(0, p));
}

std::string ValuePart(std::string_view Text, std::string_view Sep) {
  const auto p = Text.find(Sep);
  if (Sep.empty() || p == std::string_view::npos) return {};
  const std::size_t start = p + Sep.size();
  const std::size_t end = std::min(Text.find("//"), Text.size());
  if (end <= start) return {};
  return common::Trim(Text.substr(start, end - start));
}

void TrimRightPChar(char* Buffer) {
  if (Buffer == nullptr || Buffer[0] == '\0') return;
  std::size_t length = std::strlen(Buffer);
  while (length > 1 && isTrimmed(Buffer[length - 1])) --length;
  Buffer[length] = '\0';
}

void TrimRightPChar(std::string& Text) {
  std::size_t length = Text.size();
  while (length > 1 && isTrimmed(Text[length - 1])) --length;
  Text.resize(length);
}

std::uint32_t SystemTimeToSeconds(const TSystemTime& Time) {
  const std::uint32_t year = Time.wYear == 0 ? 1970 : Time.wYear;
  if (year < 1970 || year > 2100) return 0;
  const std::uint32_t y = year - 1900;
  std::uint32_t seconds = (y - 70) * 31536000u + ((y - 69) / 4) * kSecondsPerDay;
  const bool leap = y % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  // Months past December count no further than the year's end.
  const std::uint32_t monthsBefore = Time.wMonth > 0 ? std::min<std::uint32_t>(Time.wMonth - 1u, 12u) : 0u;
  for (std::uint32_t m = 0; m < monthsBefore; ++m)
    seconds += (m == 1 && leap ? 29u : kDaysPerMonth[m]) * kSecondsPerDay;
  if (Time.wDay != 0) seconds += (Time.wDay - 1u) * kSecondsPerDay;
  seconds += Time.wHour * 3600u + Time.wMinute * 60u + Time.wSecond;
  return seconds;
}

bool TimeInRange(const TSystemTime& Time, const TSystemTime& Start, const TSystemTime& Stop) {
  const std::uint32_t t = SystemTimeToSeconds(Time);
  if (SystemTimeToSeconds(Start) > t) return false;
  return SystemTimeToSeconds(Stop) >= t;
}

bool ReadStreamString(MemoryStream* Stream, std::string& Text) {
  if (Stream == nullptr || Stream->remaining() < 4) return false;
  std::uint32_t length = 0;
  Stream->readU32(length);
  // A bad length is read past; the bytes after it are not.
  if (length > kMaxStreamStringLength || length > Stream->remaining()) return false;
  std::string text(length, '\0');
  Stream->read({reinterpret_cast<std::uint8_t*>(text.data()), text.size()});
  Text = std::move(text);
  return true;
}

bool WriteStreamString(MemoryStream* Stream, std::string_view Text) {
  if (Stream == nullptr) return false;
  Text = Text.substr(0, kMaxStreamStringLength);
  Stream->writeU32(static_cast<std::uint32_t>(Text.size()));
  Stream->write({reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()});
  return true;
}

void VariantToStream(const db::Value& Value, MemoryStream& Stream) {
  Stream.clear();
  if (Value.kind() == db::Value::Kind::Binary) Stream.bytes() = Value.asBytes();
}

db::Value StreamToVariant(const MemoryStream& Stream) { return db::Value::bytes(Stream.bytes()); }

void NotStreamBytes(MemoryStream& Stream) {
  for (auto& b : Stream.bytes()) b = static_cast<std::uint8_t>(~b);
}

void DecStreamBytes(MemoryStream& Stream) {
  for (auto& b : Stream.bytes()) b = static_cast<std::uint8_t>(b - 1);
}

std::vector<std::string> SplitToStringList(std::string_view Text, std::string_view Sep) {
  std::vector<std::string> pieces;
  if (Sep.empty()) return pieces;
  std::string rest(Text);
  for (auto p = rest.find(Sep); p != std::string::npos; p = rest.find(Sep)) {
    pieces.push_back(rest.substr(0, p));
    rest = ValuePart(rest, Sep);
  }
  return pieces;
}

void MinMaxOfArray(std::span<const std::int32_t> Values, std::int32_t& Min, std::int32_t& Max) {
  if (Values.empty()) {
    Min = Max = 0;
    return;
  }
  const auto [lo, hi] = std::minmax_element(Values.begin(), Values.end());
  Min = *lo;
  Max = *hi;
}

}  // namespace stationdb
