#include "stationdb/convert/pqrecord.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/strings.h"
#include "stationdb/convert/testsupport.h"

namespace stationdb {
namespace {

using fixtures::Bytes;
using fixtures::PqBlob;
using fixtures::PqChannel;

TEST(DecodeWaveformChannel, ReadsTheFieldsInBlobOrder) {
  PqChannel c;
  c.name = "128x\xB5\xE7\xD1\xB9";  // the name's bytes as stored (GBK)
  c.samples = {-2147483647 - 1, 0, 2147483647, -5};
  auto blob = PqBlob(c);
  blob.push_back(0xEE);  // after the last sample: ignored
  wave::TWaveformData channel;
  ASSERT_TRUE(DecodeWaveformChannel(blob, channel));
  EXPECT_EQ(channel.Param1, 11u);
  EXPECT_EQ(channel.Param2, 22u);
  EXPECT_EQ(channel.Param3, 33u);
  EXPECT_EQ(channel.ChannelNo, 1u);
  EXPECT_EQ(channel.ChannelName, c.name);
  EXPECT_EQ(channel.Param4, 0.25);
  EXPECT_EQ(channel.Offset, 0.5);
  EXPECT_EQ(channel.Factor, 0.01);
  EXPECT_EQ(channel.Samples, c.samples);
}

TEST(DecodeWaveformChannel, RefusesEveryBlobCutShort) {
  const auto blob = PqBlob(PqChannel{});
  for (std::size_t length = 0; length < blob.size(); ++length) {
    wave::TWaveformData channel;
    EXPECT_FALSE(DecodeWaveformChannel(std::span(blob).first(length), channel)) << length;
  }
}

TEST(DecodeWaveformChannel, RefusesSampleCountsBeyondTheBlob) {
  for (std::uint32_t count : {5u, 0x40000000u, 0xFFFFFFFFu}) {
    Bytes b;
    b.u32(0).u32(0).u16(0).str("8x").u32(0).f64(0).f64(0).f64(1).u32(count);
    for (int k = 0; k < 4; ++k) b.i32(k);
    wave::TWaveformData channel;
    EXPECT_FALSE(DecodeWaveformChannel(b.get(), channel)) << count;
    EXPECT_TRUE(channel.Samples.empty()) << count;
  }
}

TEST(DecodeWaveformChannel, BadNameLengthLeavesTheNameEmptyAndReadsOn) {
  // Length 256: the length word is read, then Param1 follows at once.
  const auto blob = Bytes().u32(2).u32(3).u16(4).u32(256).u32(77).f64(1.5).f64(2.5).f64(3.5).u32(1).i32(-9).get();
  wave::TWaveformData channel;
  ASSERT_TRUE(DecodeWaveformChannel(blob, channel));
  EXPECT_EQ(channel.ChannelName, "");
  EXPECT_EQ(channel.Param1, 77u);
  EXPECT_EQ(channel.Param4, 1.5);
  EXPECT_EQ(channel.Offset, 2.5);
  EXPECT_EQ(channel.Factor, 3.5);
  EXPECT_EQ(channel.Samples, std::vector<std::int32_t>{-9});
}

TEST(DecodeWaveformData, DecodesPartIIntoChannelI) {
  PqChannel a, b;
  a.channelNo = 1;
  b.channelNo = 2;
  b.samples = {7};
  const TWaveformRecord ra = fixtures::Row(PqBlob(a)), rb = fixtures::Row(PqBlob(b));
  const std::vector<const TWaveformRecord*> parts = {&ra, &rb};
  std::vector<wave::TWaveformData> channels;
  ASSERT_TRUE(DecodeWaveformData(parts, channels));
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].ChannelNo, 1u);
  EXPECT_EQ(channels[1].ChannelNo, 2u);
  EXPECT_EQ(channels[1].Samples, std::vector<std::int32_t>{7});

  const TWaveformRecord shortRow = fixtures::Row({1, 2, 3});
  const std::vector<const TWaveformRecord*> bad = {&ra, &shortRow};
  EXPECT_FALSE(DecodeWaveformData(bad, channels));
}

TEST(ParseWaveKindList, SplitsItemsAsTheSettingsFileWritesThem) {
  struct Case {
    const char* value;
    std::vector<std::pair<std::string, std::int32_t>> items;
  };
  const std::vector<Case> cases = {
      {"A=1;B=2;", {{"A", 1}, {"B", 2}}},
      {" A = 1 ; B=2;C=3", {{"A", 1}, {"B", 2}}},      // no final ";": the last item is lost
      {"A=1 //c;B=2;", {{"A", 1}}},                    // the commented item is the last one read
      {"A=1;B=2 //c;C=3;", {{"A", 1}}},                // a later comment cuts the rest from the first piece on
      {"X;=5;Y=;", {{"", 0}, {"", 5}, {"Y", 0}}},      // no "=": empty name, code 0
      {"", {}},
      {"A=$10;", {{"A", 16}}},
  };
  for (const auto& c : cases) {
    const auto items = ParseWaveKindList(c.value);
    std::vector<std::pair<std::string, std::int32_t>> got;
    for (const auto& item : items) got.emplace_back(item.Name, item.Code);
    EXPECT_EQ(got, c.items) << c.value;
  }
}

TEST(ParseWaveKindList, CodeThatIsNoIntegerRaises) {
  EXPECT_THROW(ParseWaveKindList("A=1;B=two;"), common::ConvertError);
}

TEST(ReadConfigFile, ReadsTheThreeListsFromAGbkFile) {
  fixtures::TempDir dir;
  const auto ini = dir.path() / "davureva.ini";
  std::ofstream(ini, std::ios::binary) << common::Utf8ToGbk(
      "[Other]\r\nSAGSWELL=错=9;\r\n[WAVEFORM]\r\nSAGSWELL=电压暂降=1;电压暂升=2;\r\n"
      "TRANSIENT=暂态=3; //注释\r\nSETPOING=定值=4;\r\n");
  const TWaveformHandle kinds = ReadConfigFile(ini);
  ASSERT_EQ(kinds.SagSwell.size(), 2u);
  EXPECT_EQ(kinds.SagSwell[0].Name, "电压暂降");
  EXPECT_EQ(kinds.SagSwell[1].Code, 2);
  ASSERT_EQ(kinds.Transient.size(), 1u);
  EXPECT_EQ(kinds.Transient[0].Name, "暂态");
  ASSERT_EQ(kinds.SetPoint.size(), 1u);
  EXPECT_EQ(kinds.SetPoint[0].Code, 4);
}

TEST(ReadConfigFile, MissingFileOrKeyGivesEmptyLists) {
  fixtures::TempDir dir;
  const TWaveformHandle none = ReadConfigFile(dir.path() / "missing.ini");
  EXPECT_TRUE(none.SagSwell.empty() && none.Transient.empty() && none.SetPoint.empty());
  std::ofstream(dir.path() / "d.ini") << "[WAVEFORM]\nTRANSIENT=T=3;\n";
  const TWaveformHandle some = ReadConfigFile(dir.path() / "d.ini");
  EXPECT_TRUE(some.SagSwell.empty());
  EXPECT_EQ(some.Transient.size(), 1u);
  EXPECT_TRUE(some.SetPoint.empty());
}

TEST(GetChannelName, SearchesTheListsInOrderAndKeepsFoundWhenNothingMatches) {
  TWaveformHandle kinds;
  kinds.SagSwell = {{"neg", -1}, {"sag", 5}};
  kinds.Transient = {{"tra", 5}, {"tr6", 6}};
  kinds.SetPoint = {{"set", 7}};
  struct Case {
    std::uint16_t code;
    std::int32_t foundBefore;
    std::string name;
    std::int32_t foundAfter;
  };
  const std::vector<Case> cases = {
      {5, 0, "sag", 1}, {6, 0, "tr6", 1}, {7, 0, "set", 1}, {8, 0, "", 0}, {8, 1, "", 1}, {65535, 0, "", 0},
  };
  for (const auto& c : cases) {
    std::int32_t found = c.foundBefore;
    std::string name = "stale";
    GetChannelName(kinds, c.code, found, name);
    EXPECT_EQ(name, c.name) << c.code;
    EXPECT_EQ(found, c.foundAfter) << c.code;
  }
}

}  // namespace
}  // namespace stationdb
