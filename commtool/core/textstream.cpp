#include "commtool/core/textstream.h"

#include "common/gbk.h"

namespace tavrix {
namespace {

constexpr std::string_view kShownNul = "\xE2\x90\x80";  // U+2400

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrail(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// The length of the part that holds only whole characters.
std::size_t wholeCharacters(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (!isLead(b)) {
      ++i;
    } else if (i + 1 == bytes.size()) {
      return i;
    } else {
      i += isTrail(static_cast<unsigned char>(bytes[i + 1])) ? 2 : 1;
    }
  }
  return i;
}

}  // namespace

std::string ReceivedTextDecoder::Decode(std::span<const std::uint8_t> bytes) {
  std::string raw = std::move(pending_);
  raw.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::size_t whole = wholeCharacters(raw);
  pending_ = raw.substr(whole);
  raw.resize(whole);

  const std::string decoded = common::GbkToUtf8(raw);
  std::string text;
  text.reserve(decoded.size());
  for (const char c : decoded) {
    if (c == '\n' && afterCr_) {
      afterCr_ = false;
      continue;
    }
    afterCr_ = c == '\r';
    if (c == '\r')
      text.push_back('\n');
    else if (c == '\0')
      text += kShownNul;
    else
      text.push_back(c);
  }
  return text;
}

void ReceivedTextDecoder::Reset() {
  pending_.clear();
  afterCr_ = false;
}

std::string InputTextToWire(std::string_view utf8) {
  std::string text;
  text.reserve(utf8.size() + 16);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\n' && (i == 0 || utf8[i - 1] != '\r')) text.push_back('\r');
    text.push_back(utf8[i]);
  }
  return common::Utf8ToGbk(text);
}

}  // namespace tavrix
