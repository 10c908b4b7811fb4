#pragma once
// A growable block of bytes with a read/write position: what node blobs,
// contp.dat and the event log's data travel in.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace stationdb {

class MemoryStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }
  std::size_t size() const { return bytes_.size(); }
  std::size_t position() const { return position_; }
  // A position past the end is allowed; reading there gives nothing, writing fills the gap with zeros.
  void setPosition(std::size_t position) { position_ = position; }
  std::size_t remaining() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }
  // Empties the stream (size and position 0).
  void clear() {
    bytes_.clear();
    position_ = 0;
  }

  // Copies up to destination.size() bytes from the position; returns how many.
  std::size_t read(std::span<std::uint8_t> destination) {
    const std::size_t n = std::min(destination.size(), remaining());
    if (n > 0) std::memcpy(destination.data(), bytes_.data() + position_, n);
    position_ += n;
    return n;
  }
  // Writes at the position, growing the stream as needed.
  void write(std::span<const std::uint8_t> source) {
    if (position_ + source.size() > bytes_.size()) bytes_.resize(position_ + source.size());
    if (!source.empty()) std::memcpy(bytes_.data() + position_, source.data(), source.size());
    position_ += source.size();
  }

  // Little-endian words. readU32 is false (and reads nothing) when fewer than 4 bytes remain.
  bool readU32(std::uint32_t& value) {
    if (remaining() < 4) return false;
    const std::uint8_t* p = bytes_.data() + position_;
    value = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
            static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    position_ += 4;
    return true;
  }
  void writeU32(std::uint32_t value) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                               static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    write(b);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace stationdb
