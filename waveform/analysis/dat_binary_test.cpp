#include <gtest/gtest.h>

#include <cstring>

#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

using testing::AllZero;
using testing::Keys;
using testing::MakeRecord;

// BINARY sample records: the analogue values and digital words of each.
struct Row {
  std::vector<std::int16_t> analog;
  std::vector<std::uint16_t> words;
};

std::string binaryFile(const std::vector<Row>& rows) {
  std::string out;
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  std::uint32_t number = 1;
  for (const Row& row : rows) {
    put(number++, 4);
    put(number * 1000, 4);
    for (std::int16_t v : row.analog) put(static_cast<std::uint16_t>(v), 2);
    for (std::uint16_t w : row.words) put(w, 2);
  }
  return out;
}

std::vector<common::UserMessage> readBinary(RecordData& data, const std::string& bytes) {
  MemoryDataReader reader(bytes);
  std::vector<common::UserMessage> messages;
  ReadBinaryDat(data, reader, messages);
  return messages;
}

TEST(BinaryDat, RecordSize) {
  struct Case {
    std::uint32_t a, d;
    std::uint64_t size;
  };
  const Case cases[] = {{0, 0, 8}, {1, 0, 10}, {0, 1, 10}, {0, 16, 10}, {0, 17, 12},
                        {3, 17, 18}, {96, 160, 220}, {500, 0, 1008}};
  for (const auto& c : cases) EXPECT_EQ(BinaryRecordSize(c.a, c.d), c.size) << c.a << "A " << c.d << "D";
}

TEST(BinaryDat, DigitalBitsMapToChannels) {
  // 3 analogue + 17 digital: 18-byte records, digital channel 16 is bit 0 of word 1.
  const auto data = testing::Allocate(MakeRecord(3, 17, 1000, 3));
  ASSERT_TRUE(data);
  const std::string bytes = binaryFile({
      {{1, 2, 3}, {0x0001, 0x0000}},
      {{4, 5, 6}, {0x8000, 0x0001}},
      {{7, 8, 9}, {0x0004, 0xFFFE}},  // bits of word 1 beyond channel 16 are ignored
  });
  ASSERT_EQ(bytes.size(), 54u);
  EXPECT_TRUE(readBinary(*data, bytes).empty());

  const auto digital = [&](int channel) { return testing::DigitalValues(*data, static_cast<std::size_t>(channel)); };
  EXPECT_EQ(digital(0), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(digital(2), (std::vector<double>{0, 0, 1}));
  EXPECT_EQ(digital(15), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(digital(16), (std::vector<double>{0, 1, 0}));
  for (int channel : {1, 3, 14}) EXPECT_TRUE(AllZero(data->digital(static_cast<std::size_t>(channel))));
  EXPECT_EQ(data->samples(0)[2 * 2], 7);  // f1 = 2
  EXPECT_EQ(data->samples(2)[2 * 1], 6);
}

TEST(BinaryDat, PlacesSamplesBySamplesPerCycle) {
  struct Case {
    const char* name;
    int samp1, endsamp1, samp2, endsamp2;
  };
  const Case cases[] = {
      {"f1 = 1", 3200, 8, 0, 0},
      {"f1 = 2", 1000, 8, 0, 0},
      {"f1 = 3", 600, 8, 0, 0},
      {"two rates, f 2 then 3", 1200, 4, 600, 9},
  };
  for (const auto& c : cases) {
    const auto data = testing::Allocate(MakeRecord(2, 0, c.samp1, c.endsamp1, c.samp2, c.endsamp2));
    ASSERT_TRUE(data);
    const RecordLayout& layout = data->layout();
    std::vector<Row> rows;
    for (int k = 0; k < layout.sampleCount; ++k)
      rows.push_back({{static_cast<std::int16_t>(k + 1), static_cast<std::int16_t>(100 + k)}, {}});
    EXPECT_TRUE(readBinary(*data, binaryFile(rows)).empty()) << c.name;
    for (std::size_t channel = 0; channel < 2; ++channel) {
      std::vector<double> expected(static_cast<std::size_t>(layout.analogPoints), 0.0);
      for (int k = 0; k < layout.sampleCount; ++k)
        expected[static_cast<std::size_t>(layout.pointOf(k))] = channel == 0 ? k + 1 : 100 + k;
      const auto buffer = data->samples(channel);
      EXPECT_EQ(std::vector<double>(buffer.begin(), buffer.end()), expected) << c.name << " channel " << channel;
    }
    EXPECT_EQ(data->NoNegativeSamples, 1) << c.name;
  }
}

TEST(BinaryDat, ScalesAndConvertsSecondaryValues) {
  struct Case {
    char ps;
    double expected;
    double negative;
  };
  // raw 3, a = 2, b = 1: 7 (raw -3: -5); 'S' with primary 10 and secondary 0.1 multiplies by 100.
  const Case cases[] = {{'S', 700, -500}, {'P', 7, -5}, {'s', 7, -5}};
  for (const auto& c : cases) {
    TAInfo channel;
    channel.a = 2;
    channel.b = 1;
    channel.primary = 10;
    channel.secondary = 0.1;
    channel.PS = c.ps;
    EXPECT_DOUBLE_EQ(ScaleAnalog(3, channel), c.expected) << c.ps;

    TcfgInfo record = MakeRecord(1, 0, 3200, 2);
    record.AInfo[0] = channel;
    const auto data = testing::Allocate(record);
    ASSERT_TRUE(data);
    EXPECT_TRUE(readBinary(*data, binaryFile({{{3}, {}}, {{-3}, {}}})).empty());
    EXPECT_DOUBLE_EQ(data->samples(0)[0], c.expected) << c.ps;
    EXPECT_DOUBLE_EQ(data->samples(0)[1], c.negative) << c.ps;
  }
}

TEST(BinaryDat, NegativeSamplesCountOnlyInWholeCycles) {
  struct Case {
    int endsamp1;
    std::uint8_t expected;
  };
  const Case cases[] = {{19, 1}, {20, 0}, {45, 0}};  // N1 = 20
  for (const auto& c : cases) {
    const auto data = testing::Allocate(MakeRecord(1, 0, 1000, c.endsamp1));
    ASSERT_TRUE(data);
    std::vector<Row> rows(static_cast<std::size_t>(c.endsamp1), Row{{5}, {}});
    rows[3].analog[0] = -1;
    EXPECT_TRUE(readBinary(*data, binaryFile(rows)).empty());
    EXPECT_EQ(data->NoNegativeSamples, c.expected) << c.endsamp1;
  }
}

TEST(BinaryDat, AShortFileLoadsNothing) {
  const auto data = testing::Allocate(MakeRecord(1, 1, 3200, 4));
  ASSERT_TRUE(data);
  std::string bytes = binaryFile({{{-1}, {1}}, {{-2}, {1}}, {{-3}, {1}}, {{-4}, {1}}});
  bytes.pop_back();  // one byte short of endsamp1 records
  const auto messages = readBinary(*data, bytes);
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str13"});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption.key, "str14");
  EXPECT_EQ(messages[0].text[0].defaultText, "读dat文件数据失败！");
  EXPECT_TRUE(AllZero(data->samples(0)));
  EXPECT_TRUE(AllZero(data->digital(0)));
  EXPECT_EQ(data->NoNegativeSamples, 1);

  EXPECT_EQ(Keys(readBinary(*data, "")), std::vector<std::string>{"str13"});
}

TEST(BinaryDat, AnUnreadableFileIsReported) {
  const auto data = testing::Allocate(MakeRecord(1, 0, 3200, 4));
  ASSERT_TRUE(data);
  FileDataReader missing("/nonexistent/folder/record.dat");
  std::vector<common::UserMessage> messages;
  ReadBinaryDat(*data, missing, messages);
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str13"});
}

TEST(BinaryDat, AReadErrorLoadsNothing) {
  const auto data = testing::Allocate(MakeRecord(2, 0, 1200, 4, 600, 10));
  ASSERT_TRUE(data);
  std::vector<Row> rows(7, Row{{-5, 5}, {}});
  std::string bytes = binaryFile(rows);
  bytes.resize(6 * 12 + 10);
  testing::FailingReader reader(bytes, 6 * 12);  // the whole records read, the partial one fails
  std::vector<common::UserMessage> messages;
  ReadBinaryDat(*data, reader, messages);
  EXPECT_EQ(Keys(messages), std::vector<std::string>{"str13"});
  EXPECT_TRUE(AllZero(data->samples(0)));
  EXPECT_TRUE(AllZero(data->samples(1)));
  EXPECT_EQ(data->NoNegativeSamples, 1);
}

TEST(BinaryDat, ValuesBeyondTheEndOfATwoRateFileAreIllegal) {
  // Two analogue channels (12-byte records); the file holds 6 of 10 records and
  // 10 bytes of the 7th: its first value is there, its second is not.
  const auto data = testing::Allocate(MakeRecord(2, 0, 1200, 4, 600, 10));
  ASSERT_TRUE(data);
  std::vector<Row> rows;
  for (std::int16_t k = 0; k < 7; ++k) rows.push_back({{static_cast<std::int16_t>(k + 1), static_cast<std::int16_t>(-k - 1)}, {}});
  std::string bytes = binaryFile(rows);
  bytes.resize(6 * 12 + 10);
  const auto messages = readBinary(*data, bytes);
  // Channel 0 misses 3 values, channel 1 misses 4; five messages at most.
  EXPECT_EQ(Keys(messages), std::vector<std::string>(5, "str15"));
  const RecordLayout& layout = data->layout();
  EXPECT_EQ(data->samples(0)[static_cast<std::size_t>(layout.pointOf(6))], 7);
  EXPECT_EQ(data->samples(1)[static_cast<std::size_t>(layout.pointOf(5))], -6);
  EXPECT_EQ(data->samples(1)[static_cast<std::size_t>(layout.pointOf(6))], 0);
  for (int k = 7; k < 10; ++k) EXPECT_EQ(data->samples(0)[static_cast<std::size_t>(layout.pointOf(k))], 0);
  EXPECT_EQ(data->NoNegativeSamples, 1);  // 4 samples at 24 per cycle: no whole cycle
}

TEST(BinaryDat, IllegalDigitalValuesFollowTheAnalogueOnes) {
  const auto data = testing::Allocate(MakeRecord(1, 2, 1200, 2, 600, 3));
  ASSERT_TRUE(data);
  const std::string bytes = binaryFile({{{1}, {3}}, {{2}, {3}}});
  const auto messages = readBinary(*data, bytes);
  EXPECT_EQ(Keys(messages), (std::vector<std::string>{"str15", "str17", "str17"}));
  EXPECT_EQ(messages[1].caption.key, "str18");
  EXPECT_EQ(testing::DigitalValues(*data, 0), (std::vector<double>{1, 1, 0}));
}

// A generated record, its .dat bytes in memory and the buffers to read them into.
struct Generated {
  recordgen::RecordSpec spec;
  std::string bytes;
  std::shared_ptr<RecordData> data;
};

Generated generate(int analog, int digital, std::vector<recordgen::Rate> rates) {
  Generated g;
  g.spec.analog = analog;
  g.spec.digital = digital;
  g.spec.rates = std::move(rates);
  g.bytes = recordgen::DatBytes(g.spec);
  g.data = testing::Allocate(recordgen::MakeCfgInfo(g.spec, "/nonexistent/record.cfg"));
  return g;
}

// The first point of the record whose value is not the expected one (every
// sample at its point, 0 between samples), as a text; empty when all are.
std::string firstWrongPoint(const Generated& g) {
  const RecordData& data = *g.data;
  const RecordLayout& layout = data.layout();
  for (std::int32_t c = 0; c < g.spec.analog; ++c) {
    std::vector<double> expected(static_cast<std::size_t>(layout.analogPoints), 0.0);
    for (std::int64_t k = 0; k < layout.sampleCount; ++k)
      expected[static_cast<std::size_t>(layout.pointOf(k))] =
          ScaleAnalog(recordgen::AnalogRaw(g.spec, c, k), data.record().AInfo[static_cast<std::size_t>(c)]);
    const auto buffer = data.samples(static_cast<std::size_t>(c));
    for (std::size_t p = 0; p < expected.size(); ++p)
      if (buffer[p] != expected[p]) return "analogue " + std::to_string(c) + " point " + std::to_string(p);
  }
  for (std::int32_t j = 0; j < g.spec.digital; ++j) {
    for (std::int64_t k = 0; k < layout.sampleCount; ++k)
      if (data.digitalValue(static_cast<std::size_t>(j), static_cast<std::size_t>(k)) !=
          (recordgen::DigitalState(g.spec, j, k) ? 1.0 : 0.0))
        return "digital " + std::to_string(j) + " sample " + std::to_string(k);
  }
  return {};
}

TEST(BinaryDat, ALargeFileIsReadWholeWhateverTheSplit) {
  // Large enough for many chunks on every worker thread; the second rate
  // starts inside a chunk and, with f1 3, at an odd point.
  struct Case {
    const char* name;
    int analog, digital;
    std::vector<recordgen::Rate> rates;
  };
  const Case cases[] = {
      {"one rate, f1 1", 5, 33, {{3200, 100001}}},
      {"one rate, f1 2", 2, 16, {{1000, 90007}}},
      {"two rates, f 3 then 1", 3, 17, {{600, 40001}, {3200, 100003}}},
      {"two rates, f 2 then 3", 1, 1, {{1000, 50000}, {600, 120005}}},
  };
  for (const auto& c : cases) {
    const Generated g = generate(c.analog, c.digital, c.rates);
    ASSERT_TRUE(g.data) << c.name;
    EXPECT_TRUE(readBinary(*g.data, g.bytes).empty()) << c.name;
    EXPECT_EQ(firstWrongPoint(g), "") << c.name;
    EXPECT_EQ(g.data->NoNegativeSamples, 0) << c.name;
  }
}

TEST(BinaryDat, AReadErrorInAnyPartOfALargeFileLoadsNothing) {
  const Generated g = generate(4, 20, {{3200, 80000}});
  ASSERT_TRUE(g.data);
  for (const double at : {0.0, 0.3, 0.97}) {
    testing::FailingReader reader(g.bytes, static_cast<std::uint64_t>(at * static_cast<double>(g.bytes.size())));
    std::vector<common::UserMessage> messages;
    ReadBinaryDat(*g.data, reader, messages);
    EXPECT_EQ(Keys(messages), std::vector<std::string>{"str13"}) << at;
    for (std::size_t slot = 0; slot < 4; ++slot) EXPECT_TRUE(AllZero(g.data->samples(slot))) << at << " slot " << slot;
    for (std::size_t d = 0; d < 20; ++d) EXPECT_TRUE(AllZero(g.data->digital(d))) << at << " digital " << d;
    EXPECT_EQ(g.data->NoNegativeSamples, 1) << at;
  }
}

}  // namespace
}  // namespace wave
