#pragma once
// The byte format of node data blobs: little-endian words and bytes with no
// padding, a string as a u32 length (0 to 255) followed by that many bytes of
// text (GBK, no terminator). Blobs are stored complemented (every byte NOT)
// where the database asks for it.
//
// Every read is bounded by the blob: a read that does not fit fails and
// consumes nothing, so a short or corrupt blob is refused, never read past.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "stationdb/core/memorystream.h"

namespace stationdb::nodeblob {

inline constexpr std::size_t kMaxStringLength = 255;

// A copy of a stored blob to read fields from, complemented back when stored
// so; nullopt when it holds fewer than minimum bytes.
std::optional<MemoryStream> plainCopy(std::span<const std::uint8_t> stored, std::size_t minimum, bool complemented);

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - pos_; }

  bool readU8(std::uint8_t& value);
  bool readU16(std::uint16_t& value);
  bool readU32(std::uint32_t& value);
  bool readI32(std::int32_t& value);
  bool readBytes(std::span<std::uint8_t> out);
  // False when fewer than 4 bytes remain, the stored length is above 255
  // (a negative i32 included) or exceeds the bytes after it.
  bool readString(std::string& text);
  // An i32 count of items of itemSize bytes each, the items to follow. False
  // for a negative count or one whose items do not fit in the bytes after it,
  // so that a corrupt count never sizes anything.
  bool readCount(std::size_t itemSize, std::size_t& count);

 private:
  bool take(std::size_t size, const std::uint8_t*& at);

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}

  void writeU8(std::uint8_t value) { out_.push_back(value); }
  void writeU16(std::uint16_t value);
  void writeU32(std::uint32_t value);
  void writeI32(std::int32_t value) { writeU32(static_cast<std::uint32_t>(value)); }
  void writeBytes(std::span<const std::uint8_t> bytes);
  // A text longer than 255 bytes cannot be stored: nothing is written and
  // ok() turns false.
  void writeString(std::string_view text);
  // A count of items as an i32; false (and ok() false) when it does not fit.
  void writeCount(std::size_t count);

  bool ok() const { return ok_; }

 private:
  std::vector<std::uint8_t>& out_;
  bool ok_ = true;
};

}  // namespace stationdb::nodeblob
