#pragma once
// Hex text and the check codes that can be appended to sent data.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

// Check methods; -1 means none.
inline constexpr int kCheckNone = -1;
inline constexpr int kCheckCrcModbus = 0;
inline constexpr int kCheckSum = 1;
inline constexpr int kCheckXor = 2;
inline constexpr int kCheckCrcCcitt = 3;

// Converts pairs of hex digits into bytes; separators (space, CR, LF) only
// between pairs. Stops at a pair that is not hex and drops a lone last digit.
// Returns the number of bytes, which bytes then holds.
int HexToBytes(std::string_view text, std::vector<std::uint8_t>& bytes);

// "%02X " for each byte but the last, then "%02X (%d bytes) "; empty for none.
std::string BytesToHexText(std::span<const std::uint8_t> bytes);
// The length of BytesToHexText for count bytes.
std::size_t HexTextLength(std::size_t count);

// Computes the code of `method` over the bytes from number `start` (1-based)
// to the last, appends it (CRCs low byte first) and returns the new count.
// A start beyond the last byte covers no bytes; the code is still appended.
int AppendCheckCode(std::vector<std::uint8_t>& buffer, int method, int start);

// "CRC Modbus", "SUM", "XOR", "CRC CCITT"; empty for anything else.
std::string_view CheckMethodName(int method);

std::uint16_t CrcModbus(std::span<const std::uint8_t> bytes);
std::uint16_t CrcCcitt(std::span<const std::uint8_t> bytes);

}  // namespace tavrix
