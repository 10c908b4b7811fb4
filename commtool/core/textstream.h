#pragma once
// Received bytes as display text: GBK decoded by length, a character split
// across two deliveries kept for the next one, NUL shown as "␀", CR LF and a
// lone CR shown as one line break.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavrix {

class ReceivedTextDecoder {
 public:
  std::string Decode(std::span<const std::uint8_t> bytes);
  void Reset();

 private:
  std::string pending_;  // a lead byte still waiting for its trail byte
  bool afterCr_ = false;
};

// Text typed by the user as bytes on the wire: GBK, line breaks as CR LF.
std::string InputTextToWire(std::string_view utf8);

}  // namespace tavrix
