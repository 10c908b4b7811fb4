#pragma once
// Builds node blobs byte by byte for the tests, independently of SaveData.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "stationdb/core/memorystream.h"

namespace stationdb::testing {

class Bytes {
 public:
  Bytes& u8(std::uint8_t value) {
    data_.push_back(value);
    return *this;
  }
  Bytes& u16(std::uint16_t value) { return u8(static_cast<std::uint8_t>(value)).u8(static_cast<std::uint8_t>(value >> 8)); }
  Bytes& u32(std::uint32_t value) {
    return u16(static_cast<std::uint16_t>(value)).u16(static_cast<std::uint16_t>(value >> 16));
  }
  Bytes& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  // A stored string: its length, then its bytes.
  Bytes& str(std::string_view text) {
    u32(static_cast<std::uint32_t>(text.size()));
    data_.insert(data_.end(), text.begin(), text.end());
    return *this;
  }
  Bytes& raw(std::initializer_list<std::uint8_t> bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // year, month, day of week, day, hour, minute, second, millisecond
  Bytes& time(std::uint16_t y, std::uint16_t mo, std::uint16_t dow, std::uint16_t d, std::uint16_t h,
              std::uint16_t mi, std::uint16_t s, std::uint16_t ms) {
    return u16(y).u16(mo).u16(dow).u16(d).u16(h).u16(mi).u16(s).u16(ms);
  }

  const std::vector<std::uint8_t>& bytes() const { return data_; }
  MemoryStream plain() const { return MemoryStream(data_); }
  MemoryStream complemented() const {
    std::vector<std::uint8_t> out = data_;
    for (auto& byte : out) byte = static_cast<std::uint8_t>(~byte);
    return MemoryStream(std::move(out));
  }

 private:
  std::vector<std::uint8_t> data_;
};

}  // namespace stationdb::testing
