#include "commtool/core/hexcode.h"

#include <array>

#include <fmt/format.h>

namespace tavrix {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isSeparator(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// "00 " to "FF ", three characters each.
constexpr std::array<char, 256 * 3> kHexTable = [] {
  std::array<char, 256 * 3> table{};
  constexpr char digits[] = "0123456789ABCDEF";
  for (int i = 0; i < 256; ++i) {
    table[i * 3] = digits[i >> 4];
    table[i * 3 + 1] = digits[i & 15];
    table[i * 3 + 2] = ' ';
  }
  return table;
}();

}  // namespace

int HexToBytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  bytes.reserve(text.size() / 2);
  std::size_t i = 0;
  while (i < text.size()) {
    if (isSeparator(text[i])) {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) break;
    const int high = hexValue(text[i]);
    const int low = hexValue(text[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    i += 2;
  }
  return static_cast<int>(bytes.size());
}

std::size_t HexTextLength(std::size_t count) {
  return count == 0 ? 0 : count * 3 - 1 + fmt::formatted_size(" ({} bytes) ", count);
}

std::string BytesToHexText(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {};
  const std::string tail = fmt::format(" ({} bytes) ", bytes.size());
  std::string text(HexTextLength(bytes.size()), ' ');
  char* out = text.data();
  for (const std::uint8_t b : bytes) {
    const char* entry = &kHexTable[b * 3u];
    out[0] = entry[0];
    out[1] = entry[1];
    out[2] = entry[2];
    out += 3;
  }
  tail.copy(text.data() + bytes.size() * 3 - 1, tail.size());
  return text;
}

std::uint16_t CrcModbus(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

std::uint16_t CrcCcitt(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (const std::uint8_t b : bytes) {
    crc ^= static_cast<std::uint16_t>(b << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

int AppendCheckCode(std::vector<std::uint8_t>& buffer, int method, int start) {
  const std::size_t first = start > 0 ? static_cast<std::size_t>(start - 1) : 0;
  const std::span<const std::uint8_t> covered =
      first < buffer.size() ? std::span<const std::uint8_t>(buffer).subspan(first) : std::span<const std::uint8_t>();
  auto appendWord = [&buffer](std::uint16_t word) {
    buffer.push_back(static_cast<std::uint8_t>(word & 0xFF));
    buffer.push_back(static_cast<std::uint8_t>(word >> 8));
  };
  switch (method) {
    case kCheckCrcModbus:
      appendWord(CrcModbus(covered));
      break;
    case kCheckSum: {
      std::uint8_t sum = 0;
      for (const std::uint8_t b : covered) sum = static_cast<std::uint8_t>(sum + b);
      buffer.push_back(sum);
      break;
    }
    case kCheckXor: {
      std::uint8_t x = 0;
      for (const std::uint8_t b : covered) x ^= b;
      buffer.push_back(x);
      break;
    }
    case kCheckCrcCcitt:
      appendWord(CrcCcitt(covered));
      break;
    default:
      break;
  }
  return static_cast<int>(buffer.size());
}

std::string_view CheckMethodName(int method) {
  switch (method) {
    case kCheckCrcModbus: return "CRC Modbus";
    case kCheckSum: return "SUM";
    case kCheckXor: return "XOR";
    case kCheckCrcCcitt: return "CRC CCITT";
    default: return {};
  }
}

}  // namespace tavrix
