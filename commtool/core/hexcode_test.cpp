#include "commtool/core/hexcode.h"

#include <gtest/gtest.h>

#include "commtool/core/testsupport.h"

namespace tavrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HexToBytes, Table) {
  struct Case {
    std::string_view text;
    Bytes bytes;
  };
  const Case cases[] = {
      {"01 03 00 00 00 01", {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}},
      {"010300000001", {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}},
      {"01 0G 03", {0x01}},
      {"ABC", {0xAB}},
      {"AB C", {0xAB}},
      {"0d0A", {0x0D, 0x0A}},
      {"0 1", {}},
      {"A B", {}},
      {"0x01", {}},
      {"", {}},
      {"  ", {}},
      {"\r\n01\r\n  02 ", {0x01, 0x02}},
      {"01\t02", {0x01}},
      {"ff FE", {0xFF, 0xFE}},
      {"zz", {}},
  };
  for (const auto& c : cases) {
    Bytes bytes = {0x55};  // replaced, not appended to
    EXPECT_EQ(HexToBytes(c.text, bytes), static_cast<int>(c.bytes.size())) << '"' << c.text << '"';
    EXPECT_EQ(bytes, c.bytes) << '"' << c.text << '"';
  }
}

TEST(BytesToHexText, LastByteCarriesTheCount) {
  const Bytes three = {0x01, 0x02, 0x03};
  EXPECT_EQ(BytesToHexText(three), "01 02 03 (3 bytes) ");
  const Bytes one = {0xAB};
  EXPECT_EQ(BytesToHexText(one), "AB (1 bytes) ");
  EXPECT_EQ(BytesToHexText({}), "");
  const Bytes all = test::Pattern(8192, 7);
  const std::string text = BytesToHexText(all);
  Bytes back;
  HexToBytes(text.substr(0, text.size() - std::string(" (8192 bytes) ").size()), back);
  EXPECT_EQ(back, all);
  EXPECT_TRUE(text.ends_with("(8192 bytes) "));
  for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{9}, std::size_t{10}, std::size_t{8192}})
    EXPECT_EQ(HexTextLength(n), BytesToHexText(std::vector<std::uint8_t>(n)).size()) << n;
}

TEST(AppendCheckCode, Table) {
  const Bytes digits = test::Bytes("123456789");
  const Bytes request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01};
  struct Case {
    const Bytes* data;
    int method;
    int start;
    Bytes code;
  };
  const Case cases[] = {
      {&digits, kCheckCrcModbus, 1, {0x37, 0x4B}},
      {&digits, kCheckSum, 1, {0xDD}},
      {&digits, kCheckXor, 1, {0x31}},
      {&digits, kCheckCrcCcitt, 1, {0xC3, 0x31}},
      {&request, kCheckCrcModbus, 1, {0x84, 0x0A}},
      {&request, kCheckSum, 1, {0x05}},
      {&request, kCheckXor, 1, {0x03}},
      {&request, kCheckCrcCcitt, 1, {0x53, 0xBB}},
      {&request, kCheckCrcModbus, 2, {0xA1, 0xC0}},
      {&request, kCheckSum, 2, {0x04}},
      {&request, kCheckXor, 2, {0x02}},
      {&request, kCheckCrcCcitt, 2, {0xF3, 0xFE}},
      // A start on the last byte covers that byte alone; beyond it none.
      {&request, kCheckSum, 6, {0x01}},
      {&request, kCheckCrcModbus, 7, {0xFF, 0xFF}},
      {&request, kCheckSum, 7, {0x00}},
      {&request, kCheckXor, 1000, {0x00}},
      {&request, kCheckCrcCcitt, 7, {0x00, 0x00}},
      {&request, kCheckNone, 1, {}},
  };
  for (const auto& c : cases) {
    Bytes buffer = *c.data;
    Bytes expected = *c.data;
    expected.insert(expected.end(), c.code.begin(), c.code.end());
    EXPECT_EQ(AppendCheckCode(buffer, c.method, c.start), static_cast<int>(expected.size()))
        << "method " << c.method << " start " << c.start;
    EXPECT_EQ(buffer, expected) << "method " << c.method << " start " << c.start;
  }
}

TEST(AppendCheckCode, ModbusFrameFromTheFieldAndEmptyBuffer) {
  Bytes frame = {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03};
  AppendCheckCode(frame, kCheckCrcModbus, 1);
  EXPECT_EQ(frame, (Bytes{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}));
  Bytes empty;
  EXPECT_EQ(AppendCheckCode(empty, kCheckCrcModbus, 1), 2);
  EXPECT_EQ(empty, (Bytes{0xFF, 0xFF}));
}

TEST(CheckMethodName, Names) {
  EXPECT_EQ(CheckMethodName(0), "CRC Modbus");
  EXPECT_EQ(CheckMethodName(1), "SUM");
  EXPECT_EQ(CheckMethodName(2), "XOR");
  EXPECT_EQ(CheckMethodName(3), "CRC CCITT");
  EXPECT_EQ(CheckMethodName(-1), "");
}

}  // namespace
}  // namespace tavrix
