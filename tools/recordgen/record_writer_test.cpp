#include "tools/recordgen/record_writer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "common/strings.h"
#include "waveform/model/cfgreader.h"
#include "waveform/model/datafile.h"

namespace recordgen {
namespace {

// The configuration reader must read the written .cfg as MakeCfgInfo describes it.
TEST(RecordWriter, TheCfgReadsBackAsDescribed) {
  struct Case {
    const char* name;
    int revision;
    DatFormat format;
    bool chinese;
    bool crlf;
    std::vector<Rate> rates;
  };
  const Case cases[] = {
      {"1999 binary", 1999, DatFormat::Binary, false, true, {{1000, 200}}},
      {"1991 ascii", 1991, DatFormat::Ascii, false, false, {{3200, 64}}},
      {"gbk names, two rates", 1999, DatFormat::Binary, true, true, {{1200, 600}, {600, 1200}}},
  };
  for (const auto& c : cases) {
    RecordSpec spec;
    spec.revision = c.revision;
    spec.format = c.format;
    spec.chineseNames = c.chinese;
    spec.crlf = c.crlf;
    spec.rates = c.rates;
    spec.analog = 7;
    spec.digital = 17;
    const std::string dat = DatBytes(spec);
    wave::MemoryDataReader reader(dat);
    const auto outcome = wave::ParseCfgText(CfgText(spec), "/records/x.cfg", reader);
    ASSERT_TRUE(outcome.record) << c.name << (outcome.error ? *outcome.error : "");
    EXPECT_TRUE(outcome.messages.empty()) << c.name;
    const wave::TcfgInfo& read = *outcome.record;
    const wave::TcfgInfo expected = MakeCfgInfo(spec, "/records/x.cfg");
    EXPECT_EQ(read.station_name, expected.station_name) << c.name;
    EXPECT_EQ(read.rec_dev_id, expected.rec_dev_id) << c.name;
    EXPECT_EQ(read.TT, expected.TT) << c.name;
    EXPECT_EQ(read.A, expected.A) << c.name;
    EXPECT_EQ(read.D, expected.D) << c.name;
    ASSERT_EQ(read.AInfo.size(), expected.AInfo.size()) << c.name;
    for (std::size_t i = 0; i < read.AInfo.size(); ++i) {
      EXPECT_EQ(read.AInfo[i].ch_id, expected.AInfo[i].ch_id) << c.name;
      EXPECT_EQ(read.AInfo[i].uu, expected.AInfo[i].uu) << c.name;
      EXPECT_EQ(read.AInfo[i].a, expected.AInfo[i].a) << c.name;
      EXPECT_EQ(read.AInfo[i].primary, expected.AInfo[i].primary) << c.name;
      EXPECT_EQ(read.AInfo[i].secondary, expected.AInfo[i].secondary) << c.name;
      EXPECT_EQ(read.AInfo[i].PS, expected.AInfo[i].PS) << c.name;
    }
    ASSERT_EQ(read.DInfo.size(), expected.DInfo.size()) << c.name;
    EXPECT_EQ(read.DInfo.back().ch_id, expected.DInfo.back().ch_id) << c.name;
    EXPECT_EQ(read.lf, expected.lf) << c.name;
    EXPECT_EQ(read.nrates, expected.nrates) << c.name;
    EXPECT_EQ(read.samp1, expected.samp1) << c.name;
    EXPECT_EQ(read.endsamp1, expected.endsamp1) << c.name;
    EXPECT_EQ(read.samp2, expected.samp2) << c.name;
    EXPECT_EQ(read.endsamp2, expected.endsamp2) << c.name;
    EXPECT_NEAR(read.StartTime, expected.StartTime, 1e-8) << c.name;
    EXPECT_NEAR(read.TriggerTime, expected.TriggerTime, 1e-8) << c.name;
    EXPECT_TRUE(common::SameText(read.ft, expected.ft)) << c.name;
  }
}

TEST(RecordWriter, DataFileLayout) {
  RecordSpec spec;
  spec.analog = 3;
  spec.digital = 17;
  spec.rates = {{1000, 5}};
  spec.format = DatFormat::Binary;
  const std::string binary = DatBytes(spec);
  ASSERT_EQ(binary.size(), 5u * 18);
  // Record 2: sample number 3, time stamp 2000 us, channel 0's raw value.
  const auto u32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(binary[at + static_cast<std::size_t>(i)]);
    return v;
  };
  EXPECT_EQ(u32(36), 3u);
  EXPECT_EQ(u32(40), 2000u);
  EXPECT_EQ(static_cast<std::int16_t>(u32(44) & 0xFFFF), AnalogRaw(spec, 0, 2));

  spec.format = DatFormat::Ascii;
  const std::string ascii = DatBytes(spec);
  EXPECT_EQ(std::count(ascii.begin(), ascii.end(), '\n'), 5);
  EXPECT_EQ(ascii.substr(0, ascii.find(',', 2) + 1), "1,0,");
}

TEST(RecordWriter, SignalsHaveNegativeValuesAFaultAndSwitchingChannels) {
  RecordSpec spec;
  spec.analog = 6;
  spec.digital = 4;
  spec.rates = {{1000, 400}};
  spec.noise = 0;
  const std::int64_t fault = FaultSample(spec);
  EXPECT_EQ(fault, 160);
  int negative = 0;
  for (std::int64_t k = 0; k < 400; ++k) negative += AnalogRaw(spec, 1, k) < 0;
  EXPECT_GT(negative, 150);
  const auto peak = [&](int channel, std::int64_t from, std::int64_t to) {
    int value = 0;
    for (std::int64_t k = from; k < to; ++k) value = std::max(value, std::abs(int{AnalogRaw(spec, channel, k)}));
    return value;
  };
  EXPECT_GT(peak(3, fault, 400), 2 * peak(3, 0, fault));  // phase A current rises
  EXPECT_LT(peak(0, fault, 400), peak(0, 0, fault));      // phase A voltage drops
  EXPECT_FALSE(DigitalState(spec, 0, fault - 1));
  EXPECT_TRUE(DigitalState(spec, 0, fault));
  bool toggled = false;
  for (std::int64_t k = 1; k < 400; ++k) toggled |= DigitalState(spec, 3, k) != DigitalState(spec, 3, k - 1);
  EXPECT_TRUE(toggled);
}

}  // namespace
}  // namespace recordgen
