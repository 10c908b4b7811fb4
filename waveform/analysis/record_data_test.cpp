#include "waveform/analysis/record_data.h"

#include <gtest/gtest.h>

#include <limits>

#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

using testing::AllZero;
using testing::MakeRecord;

TEST(CheckRecord, RefusesImpossibleRecordsBeforeAllocating) {
  struct Case {
    const char* name;
    void (*change)(TcfgInfo&);
    const char* key;  // nullptr: accepted
  };
  const Case cases[] = {
      {"plain record", [](TcfgInfo&) {}, nullptr},
      {"500 channels", [](TcfgInfo& r) { r = MakeRecord(250, 250, 1000, 100); }, nullptr},
      {"501 channels", [](TcfgInfo& r) { r = MakeRecord(251, 250, 1000, 100); }, "str47"},
      {"counts disagree", [](TcfgInfo& r) { r.TT = 5; }, "str47"},
      {"too few channel records", [](TcfgInfo& r) { r.AInfo.pop_back(); }, "str47"},
      {"line frequency 0", [](TcfgInfo& r) { r.lf = 0; }, "str49"},
      {"rate below the line frequency", [](TcfgInfo& r) { r.samp1 = 49; }, "str49"},
      {"negative rate", [](TcfgInfo& r) { r.samp1 = -1000; }, "str49"},
      {"second rate below the line frequency", [](TcfgInfo& r) { r = MakeRecord(2, 1, 1000, 100, 40, 200); }, "str49"},
      {"no samples", [](TcfgInfo& r) { r.endsamp1 = 0; }, "str51"},
      {"negative end sample", [](TcfgInfo& r) { r.endsamp1 = -5; }, "str51"},
      {"second rate ends first", [](TcfgInfo& r) { r = MakeRecord(2, 1, 1000, 100, 500, 99); }, "str51"},
      {"second rate without samples", [](TcfgInfo& r) { r = MakeRecord(2, 1, 1000, 100, 500, 100); }, nullptr},
      {"far too large", [](TcfgInfo& r) { r = MakeRecord(500, 0, 50, std::numeric_limits<std::int32_t>::max()); },
       "str53"},
  };
  for (const auto& c : cases) {
    TcfgInfo record = MakeRecord(2, 1, 1000, 100);
    c.change(record);
    const auto refusal = CheckRecord(record);
    if (c.key == nullptr) {
      EXPECT_FALSE(refusal) << c.name;
      continue;
    }
    ASSERT_TRUE(refusal) << c.name;
    EXPECT_EQ(refusal->section, kFaultWaveSection) << c.name;
    EXPECT_EQ(refusal->textKeys(), std::vector<std::string>{c.key}) << c.name;
    EXPECT_EQ(refusal->caption.defaultText, "信息提示") << c.name;
  }
}

TEST(CheckRecord, TheSizeCapIsConfigurable) {
  // 2*200 points and 2*100 RMS values as doubles, 100 digital samples as bytes.
  const TcfgInfo record = MakeRecord(2, 1, 1000, 100);
  const std::uint64_t bytes = RecordBufferBytes(record, MakeRecordLayout(record));
  EXPECT_EQ(bytes, 8u * 600 + 100);
  EXPECT_FALSE(CheckRecord(record, RecordLimits{bytes}));
  const auto refusal = CheckRecord(record, RecordLimits{bytes - 1});
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->textKeys(), std::vector<std::string>{"str53"});
}

// The cap follows the machine: at least 2 GiB, else half the physical memory,
// so that four times W5 (about 4.7 GiB of buffers) opens on a 24 GiB machine.
TEST(CheckRecord, TheDefaultCapIsHalfThePhysicalMemoryButAtLeastTwoGiB) {
  constexpr std::uint64_t GiB = std::uint64_t{1} << 30;
  struct Case {
    std::uint64_t physical, limit;
  };
  for (const Case c : {Case{0, 2 * GiB}, Case{3 * GiB, 2 * GiB}, Case{4 * GiB, 2 * GiB}, Case{24 * GiB, 12 * GiB}})
    EXPECT_EQ(RecordByteLimitFor(c.physical), c.limit) << c.physical;
  EXPECT_GE(RecordLimits{}.maxBytes, 2 * GiB);

  // 64 A + 32 D at 20 kHz, 4.8 million samples.
  const TcfgInfo w5x4 = MakeRecord(64, 32, 20000, 4'800'000);
  const std::uint64_t bytes = RecordBufferBytes(w5x4, MakeRecordLayout(w5x4));
  ASSERT_GT(bytes, 4 * GiB);
  EXPECT_FALSE(CheckRecord(w5x4, RecordLimits{RecordByteLimitFor(24 * GiB)}));
  const auto refusal = CheckRecord(w5x4, RecordLimits{RecordByteLimitFor(8 * GiB)});
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->textKeys(), std::vector<std::string>{"str53"});
  EXPECT_EQ(refusal->text[0].defaultText, "录波数据过大，无法打开波形窗口！");
}

TEST(RecordLayout, FollowsTheSamplesPerCycle) {
  struct Case {
    int samp1, endsamp1, samp2, endsamp2;
    int n1, f1, f2;
    std::int64_t analogPoints, sampleCount;
    double cycles;
    bool oneCycle;
    std::int64_t harmonicRoom;
    int rmsCycle;
  };
  const Case cases[] = {
      {1000, 200, 0, 0, 20, 2, 2, 400, 200, 10, false, 99, 20},
      {600, 120, 0, 0, 12, 3, 3, 360, 120, 10, false, 59, 12},
      {1600, 64, 0, 0, 32, 1, 1, 64, 64, 2, false, 31, 32},
      {10000, 100000, 0, 0, 200, 1, 1, 100000, 100000, 500, false, 49999, 200},
      {1000, 20, 0, 0, 20, 2, 2, 40, 20, 1, true, 9, 20},
      {1000, 30, 0, 0, 20, 2, 2, 60, 30, 1, true, 14, 20},   // 1.5 cycles count as one
      {1000, 19, 0, 0, 20, 2, 2, 38, 19, 0, false, 8, 20},   // less than one cycle
      {200000, 4000, 0, 0, 4000, 1, 1, 4000, 4000, 1, true, 1999, 4000},
      {1200, 6000, 600, 36000, 24, 2, 3, 12000 + 90000, 36000, 250, false, 2999, 12},
      {1000, 100, 3200, 150, 20, 2, 1, 250, 150, 5, false, 49, 64},
  };
  for (const auto& c : cases) {
    const TcfgInfo record = MakeRecord(1, 1, c.samp1, c.endsamp1, c.samp2, c.endsamp2);
    ASSERT_FALSE(CheckRecord(record)) << c.samp1;
    const RecordLayout layout = MakeRecordLayout(record);
    EXPECT_EQ(layout.N1, c.n1) << c.samp1;
    EXPECT_EQ(layout.f1, c.f1) << c.samp1;
    EXPECT_EQ(layout.f2, c.f2) << c.samp1;
    EXPECT_EQ(layout.analogPoints, c.analogPoints) << c.samp1;
    EXPECT_EQ(layout.sampleCount, c.sampleCount) << c.samp1;
    EXPECT_EQ(layout.CycleCount, c.cycles) << c.samp1;
    EXPECT_EQ(layout.oneCycle, c.oneCycle) << c.samp1;
    EXPECT_EQ(layout.harmonicRoom, c.harmonicRoom) << c.samp1;
    EXPECT_EQ(layout.rmsCycle, c.rmsCycle) << c.samp1;
  }
}

TEST(RecordLayout, PlacesSamplesOfBothRates) {
  const RecordLayout layout = MakeRecordLayout(MakeRecord(1, 0, 1200, 6, 600, 10));  // f1 2, f2 3
  const std::int64_t expected[] = {0, 2, 4, 6, 8, 10, 12, 15, 18, 21};
  for (std::int64_t k = 0; k < 10; ++k) EXPECT_EQ(layout.pointOf(k), expected[k]) << k;
  EXPECT_EQ(layout.analogPoints, 24);
}

TEST(RecordData, BuffersAreZeroFilledAndSizedByTheLayout) {
  for (const bool oneCycle : {false, true}) {
    const TcfgInfo record = MakeRecord(3, 17, 1000, oneCycle ? 25 : 200);
    const auto data = testing::Allocate(record);
    ASSERT_TRUE(data);
    const RecordLayout& layout = data->layout();
    EXPECT_EQ(data->channelCount(), 20u);
    for (std::size_t slot = 0; slot < 3; ++slot) {
      EXPECT_EQ(data->samples(slot).size(), static_cast<std::size_t>(layout.analogPoints));
      EXPECT_TRUE(AllZero(data->samples(slot)));
      EXPECT_EQ(data->rms(slot).size(), oneCycle ? 0u : 200u);
      EXPECT_TRUE(AllZero(data->rms(slot)));
    }
    for (std::size_t d = 0; d < 17; ++d) {
      EXPECT_EQ(data->digital(d).size(), static_cast<std::size_t>(layout.sampleCount));
      EXPECT_TRUE(AllZero(data->digital(d)));
    }
    EXPECT_EQ(data->harmonics().size(), oneCycle ? 11u : 0u);
    EXPECT_EQ(data->NoNegativeSamples, 1);
    EXPECT_THROW(data->samples(3), std::out_of_range);  // the digital channels are lanes
    EXPECT_THROW(data->digital(17), std::out_of_range);
    // The size cap counts what is handed out.
    std::uint64_t bytes = data->harmonics().size_bytes();
    for (std::size_t slot = 0; slot < 3; ++slot)
      bytes += data->samples(slot).size_bytes() + data->rms(slot).size_bytes();
    for (std::size_t d = 0; d < 17; ++d) bytes += data->digital(d).size_bytes();
    EXPECT_EQ(RecordBufferBytes(record, layout), bytes);
  }
}

TEST(RecordData, AFailedAllocationIsAMessage) {
  // Larger than the address space, so no system can hand it out.
  const TcfgInfo record = MakeRecord(500, 0, 50, std::numeric_limits<std::int32_t>::max());
  const auto created = RecordData::Create(record, RecordLimits{std::numeric_limits<std::uint64_t>::max()});
  EXPECT_FALSE(created.data);
  ASSERT_TRUE(created.refusal);
  EXPECT_EQ(created.refusal->textKeys(), std::vector<std::string>{"str55"});
}

TEST(RecordData, ClearSamplesResetsPointsAndFlag) {
  const auto data = testing::Allocate(MakeRecord(1, 1, 1000, 40));
  ASSERT_TRUE(data);
  data->samples(0)[5] = 3;
  data->digital(0)[7] = 1;
  data->NoNegativeSamples = 0;
  data->clearSamples();
  EXPECT_TRUE(AllZero(data->samples(0)));
  EXPECT_TRUE(AllZero(data->digital(0)));
  EXPECT_EQ(data->NoNegativeSamples, 1);
}

}  // namespace
}  // namespace wave
