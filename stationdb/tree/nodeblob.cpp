#include "stationdb/tree/nodeblob.h"

#include <algorithm>
#include <limits>

#include "stationdb/core/normalfunction.h"

namespace stationdb::nodeblob {

std::optional<MemoryStream> plainCopy(std::span<const std::uint8_t> stored, std::size_t minimum, bool complemented) {
  if (stored.size() < minimum) return std::nullopt;
  MemoryStream plain(std::vector<std::uint8_t>(stored.begin(), stored.end()));
  if (complemented) NotStreamBytes(plain);
  return plain;
}

bool Reader::take(std::size_t size, const std::uint8_t*& at) {
  if (size > remaining()) return false;
  at = bytes_.data() + pos_;
  pos_ += size;
  return true;
}

bool Reader::readU8(std::uint8_t& value) {
  const std::uint8_t* at = nullptr;
  if (!take(1, at)) return false;
  value = at[0];
  return true;
}

bool Reader::readU16(std::uint16_t& value) {
  const std::uint8_t* at = nullptr;
  if (!take(2, at)) return false;
  value = static_cast<std::uint16_t>(at[0] | (at[1] << 8));
  return true;
}

bool Reader::readU32(std::uint32_t& value) {
  const std::uint8_t* at = nullptr;
  if (!take(4, at)) return false;
  value = static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
          (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
  return true;
}

bool Reader::readI32(std::int32_t& value) {
  std::uint32_t word = 0;
  if (!readU32(word)) return false;
  value = static_cast<std::int32_t>(word);
  return true;
}

bool Reader::readBytes(std::span<std::uint8_t> out) {
  const std::uint8_t* at = nullptr;
  if (!take(out.size(), at)) return false;
  std::copy_n(at, out.size(), out.begin());
  return true;
}

bool Reader::readString(std::string& text) {
  const std::size_t start = pos_;
  std::uint32_t length = 0;
  const std::uint8_t* at = nullptr;
  if (!readU32(length) || length > kMaxStringLength || !take(length, at)) {
    pos_ = start;
    return false;
  }
  text.assign(reinterpret_cast<const char*>(at), length);
  return true;
}

bool Reader::readCount(std::size_t itemSize, std::size_t& count) {
  const std::size_t start = pos_;
  std::int32_t stored = 0;
  if (!readI32(stored) || stored < 0 ||
      static_cast<std::size_t>(stored) > remaining() / std::max<std::size_t>(itemSize, 1)) {
    pos_ = start;
    return false;
  }
  count = static_cast<std::size_t>(stored);
  return true;
}

void Writer::writeU16(std::uint16_t value) {
  out_.push_back(static_cast<std::uint8_t>(value));
  out_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Writer::writeU32(std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Writer::writeBytes(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

void Writer::writeString(std::string_view text) {
  if (text.size() > kMaxStringLength) {
    ok_ = false;
    return;
  }
  writeU32(static_cast<std::uint32_t>(text.size()));
  out_.insert(out_.end(), text.begin(), text.end());
}

void Writer::writeCount(std::size_t count) {
  if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    ok_ = false;
    return;
  }
  writeI32(static_cast<std::int32_t>(count));
}

}  // namespace stationdb::nodeblob
