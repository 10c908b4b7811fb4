#include "waveform/analysis/open_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include <sys/mman.h>
#include <unistd.h>

#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/loader.h"
#include "waveform/analysis/rms_harmonics.h"
#include "waveform/analysis/test_support.h"
#include "waveform/model/cfgreader.h"
#include "waveform/model/scale.h"
#include "common/paths.h"

namespace wave {
namespace {

using testing::AllZero;
using testing::Keys;

class RecordFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    folder_ = std::filesystem::temp_directory_path() / ("wave_analysis_test_" + std::to_string(seed()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Writes the record and returns it as the configuration reader gives it.
  TcfgInfo write(const recordgen::RecordSpec& spec, const std::string& name) {
    const auto written = recordgen::WriteRecord(spec, folder_, name);
    return recordgen::MakeCfgInfo(spec, written.cfg.string());
  }

  std::filesystem::path folder_;
};

// Every sample of the generated record at its point, scaled.
void expectSamples(const RecordData& data, const recordgen::RecordSpec& spec) {
  const RecordLayout& layout = data.layout();
  for (std::int32_t c = 0; c < spec.analog; ++c)
    for (std::int64_t k = 0; k < layout.sampleCount; ++k)
      ASSERT_EQ(data.samples(static_cast<std::size_t>(c))[static_cast<std::size_t>(layout.pointOf(k))],
                ScaleAnalog(recordgen::AnalogRaw(spec, c, k), data.record().AInfo[static_cast<std::size_t>(c)]))
          << "channel " << c << " sample " << k;
  for (std::int32_t j = 0; j < spec.digital; ++j)
    for (std::int64_t k = 0; k < layout.sampleCount; ++k)
      ASSERT_EQ(data.digitalValue(static_cast<std::size_t>(j), static_cast<std::size_t>(k)),
                recordgen::DigitalState(spec, j, k) ? 1.0 : 0.0)
          << "digital " << j << " sample " << k;
}

TEST_F(RecordFiles, BinaryAndAsciiFilesOfBothRevisions) {
  struct Case {
    const char* name;
    recordgen::DatFormat format;
    int revision;
    std::vector<recordgen::Rate> rates;
    const char* ft;
  };
  const Case cases[] = {
      {"binary 1999", recordgen::DatFormat::Binary, 1999, {{4000, 400}}, "BINARY"},
      {"binary two rates", recordgen::DatFormat::Binary, 1999, {{4000, 200}, {2000, 300}}, "binary"},
      {"ascii 1991", recordgen::DatFormat::Ascii, 1991, {{3200, 320}}, "ascii"},
      {"ascii two rates", recordgen::DatFormat::Ascii, 1999, {{4000, 200}, {1600, 300}}, "Ascii"},
  };
  for (const auto& c : cases) {
    recordgen::RecordSpec spec;
    spec.analog = 3;
    spec.digital = 17;
    spec.format = c.format;
    spec.revision = c.revision;
    spec.rates = c.rates;
    TcfgInfo record = write(spec, "record");
    record.ft = c.ft;
    const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {});
    ASSERT_TRUE(opened.data) << c.name;
    EXPECT_TRUE(opened.messages.empty()) << c.name << ": " << (opened.messages.empty() ? "" : Keys(opened.messages)[0]);
    expectSamples(*opened.data, spec);
    EXPECT_EQ(opened.data->NoNegativeSamples, 0) << c.name;
    EXPECT_FALSE(AllZero(opened.data->rms(0))) << c.name;
  }
}

TEST_F(RecordFiles, InterpolatesOnlyRecordsWithNegativeSamples) {
  for (const double offset : {0.0, 20000.0}) {
    recordgen::RecordSpec spec;
    spec.rates = {{1000, 200}};  // N1 20, f1 2
    spec.amplitude = 5000;
    spec.offset = offset;
    const TcfgInfo record = write(spec, "interp");
    const auto opened = OpenRecordData(record, stationdb::kSourceAutomation, {});
    ASSERT_TRUE(opened.data);
    EXPECT_TRUE(opened.messages.empty());
    const bool negative = offset == 0;
    EXPECT_EQ(opened.data->NoNegativeSamples, negative ? 0 : 1);
    const auto buffer = opened.data->samples(0);
    int between = 0;
    for (std::size_t p = 1; p + 2 < buffer.size(); p += 2) between += buffer[p] != 0;
    EXPECT_EQ(between, negative ? 199 : 0) << offset;
  }
}

TEST_F(RecordFiles, FindsTheDataFileWhateverItsCase) {
  recordgen::RecordSpec spec;
  const TcfgInfo record = write(spec, "UPPER");
  std::filesystem::rename(folder_ / "UPPER.dat", folder_ / "UPPER.DAT");
  const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {});
  ASSERT_TRUE(opened.data);
  EXPECT_TRUE(opened.messages.empty());
  expectSamples(*opened.data, spec);
}

TEST_F(RecordFiles, AMissingDataFileIsReported) {
  for (const auto format : {recordgen::DatFormat::Binary, recordgen::DatFormat::Ascii}) {
    recordgen::RecordSpec spec;
    spec.format = format;
    const TcfgInfo record = write(spec, "gone");
    std::filesystem::remove(folder_ / "gone.dat");
    const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {});
    ASSERT_TRUE(opened.data);
    EXPECT_EQ(Keys(opened.messages), std::vector<std::string>{format == recordgen::DatFormat::Ascii ? "str19" : "str13"});
    EXPECT_TRUE(AllZero(opened.data->samples(0)));
  }
}

// The bytes of the buffer that have memory behind them.
template <typename T>
std::size_t residentBytes(std::span<const T> buffer) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data()) / page * page;
  const auto end = reinterpret_cast<std::uintptr_t>(buffer.data() + buffer.size());
  std::vector<unsigned char> pages((end - begin + page - 1) / page);
  if (mincore(reinterpret_cast<void*>(begin), end - begin, pages.data()) != 0) return buffer.size_bytes();
  return static_cast<std::size_t>(std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; })) * page;
}

// A configuration that claims far more samples than its data file holds: the
// messages are those of a short file, and the pages of the buffers that no
// sample reached are never touched, neither by clearing, interpolation, RMS
// curves, peaks nor the drawing summary.
TEST_F(RecordFiles, ALyingConfigurationCostsOnlyWhatTheDataFileHolds) {
  constexpr std::int32_t kClaimed = 2000000;
  struct Case {
    const char* name;
    recordgen::DatFormat format;
    bool twoRates;  // the claim in a second rate: the first rate loads
    std::vector<std::string> messages;
    std::int64_t written;
    std::int32_t samp1 = 1000;  // N1 20, f1 2: interpolated, as the samples go negative
  };
  const std::vector<std::string> fiveIllegal(5, "str15");
  for (const Case& c : {Case{"binary", recordgen::DatFormat::Binary, false, {"str13"}, 0},
                        Case{"ascii", recordgen::DatFormat::Ascii, false, {"str19"}, 0},
                        Case{"binary two rates", recordgen::DatFormat::Binary, true, fiveIllegal, 200},
                        Case{"ascii two rates", recordgen::DatFormat::Ascii, true, {"str19"}, 200},
                        // f1 1, so no sine fit: the second rate's points are filled by straight lines
                        Case{"ascii two rates, no sine fit", recordgen::DatFormat::Ascii, true, {"str19"}, 200, 3200}}) {
    SCOPED_TRACE(c.name);
    recordgen::RecordSpec spec;
    spec.format = c.format;
    spec.rates = {{c.samp1, 200}};
    TcfgInfo record = write(spec, "lying");
    if (c.twoRates) {
      record.nrates = 2;
      record.samp2 = 1000;  // f2 2 whatever the first rate
      record.endsamp2 = kClaimed;
    } else {
      record.endsamp1 = record.endsamp2 = kClaimed;
    }
    const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {});
    ASSERT_TRUE(opened.data);
    const RecordData& data = *opened.data;
    EXPECT_EQ(Keys(opened.messages), c.messages);
    EXPECT_EQ(data.samplesWritten(), c.written);
    EXPECT_EQ(data.NoNegativeSamples, c.written > 0 ? 0 : 1);
    ASSERT_NE(data.drawSummary(), nullptr);
    for (std::size_t slot = 0; slot < data.analogCount(); ++slot)
      EXPECT_LT(residentBytes(data.samples(slot)), data.samples(slot).size_bytes() / 4) << "slot " << slot;
    for (std::size_t d = 0; d < data.digitalCount(); ++d)
      EXPECT_LT(residentBytes(data.digital(d)), data.digital(d).size_bytes() / 4) << "digital " << d;
    for (std::size_t i = 0; i < data.analogCount(); ++i)
      EXPECT_LT(residentBytes(data.rms(i)), data.rms(i).size_bytes() / 4) << "RMS " << i;

    // What is shown is what the whole buffers give.
    for (std::size_t i = 0; i < data.analogCount(); ++i) {
      std::vector<double> rms(static_cast<std::size_t>(data.layout().sampleCount));
      CalcRmsCurve(data.layout(), data.samples(i), rms);
      ASSERT_TRUE(std::equal(rms.begin(), rms.end(), data.rms(i).begin())) << "RMS " << i;
      EXPECT_EQ(opened.rmsPeaks[i], GetMaxAbsValue(rms));
      EXPECT_EQ(opened.analogPeaks[i], GetMaxAbsValue(data.samples(i)));
    }
  }
}

TEST_F(RecordFiles, ARefusedRecordIsNotOpened) {
  recordgen::RecordSpec spec;
  TcfgInfo record = write(spec, "refused");
  record.samp1 = 20;  // below the line frequency
  const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {});
  EXPECT_FALSE(opened.data);
  EXPECT_EQ(Keys(opened.messages), std::vector<std::string>{"str49"});
}

TEST(PowerQualityRecord, CopiesTheDecodedChannels) {
  TcfgInfo record = testing::MakeRecord(3, 0, 1000, 4);  // f1 2
  std::vector<wave::TWaveformData> channels(2);
  channels[0].Offset = 1;
  channels[0].Factor = 0.5;
  channels[0].Samples = {1, -3, 5, 7};
  channels[1].Offset = -2;
  channels[1].Factor = 2;
  channels[1].Samples = {2, 4, 6, 8, 10, 12};  // longer than the record: cut
  const auto opened = OpenRecordData(record, stationdb::kSourcePowerQuality, channels);
  ASSERT_TRUE(opened.data);
  EXPECT_TRUE(opened.messages.empty());
  const auto values = [&](std::size_t slot) {
    const auto buffer = opened.data->samples(slot);
    return std::vector<double>(buffer.begin(), buffer.end());
  };
  EXPECT_EQ(values(0), (std::vector<double>{1, 0, -1, 0, 3, 0, 4, 0}));
  EXPECT_EQ(values(1), (std::vector<double>{0, 0, 4, 0, 8, 0, 12, 0}));
  EXPECT_TRUE(AllZero(opened.data->samples(2)));  // no decoded channel
  EXPECT_EQ(opened.data->NoNegativeSamples, 1);    // never checked in this mode
}

TEST(OtherSources, LoadNothing) {
  const TcfgInfo record = testing::MakeRecord(1, 1, 1000, 40);
  const auto opened = OpenRecordData(record, 1, {});
  ASSERT_TRUE(opened.data);
  EXPECT_TRUE(opened.messages.empty());
  EXPECT_TRUE(AllZero(opened.data->samples(0)));
}

TEST_F(RecordFiles, OneCycleRecordGetsItsSpectrum) {
  recordgen::RecordSpec spec;
  spec.analog = 4;
  spec.digital = 0;
  spec.rates = {{3200, 64}};
  spec.faultStart = 0;  // the whole cycle is faulted: 3rd and 5th harmonics on channel 0
  spec.noise = 0;
  const auto opened = OpenRecordData(write(spec, "cycle"), stationdb::kSourceFolder, {});
  ASSERT_TRUE(opened.data);
  const auto values = opened.data->harmonics();
  ASSERT_EQ(values.size(), 31u);
  EXPECT_NEAR(values[1], 100 * spec.harmonic3, 0.05);
  EXPECT_NEAR(values[3], 100 * spec.harmonic5, 0.05);
  EXPECT_NEAR(values[0], 0, 0.05);
}

// What the wait window shows: the data file's bytes, then one step per sample
// of each channel for the interpolation, the RMS curves and the drawing
// summary, and one per harmonic order of a spectrum; every step is done at the
// end, and the outcome is the same as without progress.
TEST_F(RecordFiles, ProgressCountsBytesThenSamples) {
  struct Case {
    const char* name;
    recordgen::DatFormat format;
    recordgen::Rate rate;
    std::uint64_t steps;  // of the analysing stage, 3 analogue channels
  };
  const Case cases[] = {{"binary, RMS", recordgen::DatFormat::Binary, {4000, 400}, 2 * 3 * 400},
                        {"ascii, interpolated, RMS", recordgen::DatFormat::Ascii, {1000, 200}, 3 * 3 * 200},
                        {"binary, one cycle", recordgen::DatFormat::Binary, {3200, 64}, 64 / 2 + 3 * 64}};
  for (const auto& c : cases) {
    recordgen::RecordSpec spec;
    spec.analog = 3;
    spec.format = c.format;
    spec.rates = {c.rate};
    const TcfgInfo record = write(spec, "progress");
    common::JobProgress progress;
    const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {}, {}, &progress);
    ASSERT_TRUE(opened.data) << c.name;
    EXPECT_FALSE(opened.cancelled);
    const auto snapshot = progress.snapshot();
    EXPECT_EQ(snapshot.stage, common::JobProgress::Stage::Analysing) << c.name;
    EXPECT_EQ(snapshot.total, c.steps) << c.name;
    EXPECT_EQ(snapshot.done, c.steps) << c.name;

    const auto plain = OpenRecordData(record, stationdb::kSourceFolder, {});
    for (std::size_t i = 0; i < 3; ++i) {
      const auto a = opened.data->samples(i);
      const auto b = plain.data->samples(i);
      EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << c.name << " channel " << i;
      const auto ra = opened.data->rms(i);
      const auto rb = plain.data->rms(i);
      EXPECT_TRUE(std::equal(ra.begin(), ra.end(), rb.begin(), rb.end())) << c.name << " channel " << i;
    }
    // The peaks the window's scales start from, found on the worker.
    ASSERT_EQ(opened.analogPeaks.size(), 3u);
    ASSERT_EQ(opened.rmsPeaks.size(), opened.data->layout().oneCycle ? 0u : 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(opened.analogPeaks[i], GetMaxAbsValue(opened.data->samples(i))) << c.name;
      if (!opened.rmsPeaks.empty()) {
        EXPECT_EQ(opened.rmsPeaks[i], GetMaxAbsValue(opened.data->rms(i))) << c.name;
      }
    }
    const auto ha = opened.data->harmonics();
    const auto hb = plain.data->harmonics();
    EXPECT_TRUE(std::equal(ha.begin(), ha.end(), hb.begin(), hb.end())) << c.name;
  }
}

// Cancel before the first block: nothing is read, nothing is shown, no data.
TEST_F(RecordFiles, ACancelledOpeningStopsReadingAndComesBackEmpty) {
  for (const auto format : {recordgen::DatFormat::Binary, recordgen::DatFormat::Ascii}) {
    recordgen::RecordSpec spec;
    spec.format = format;
    const TcfgInfo record = write(spec, "cancelled");
    common::JobProgress progress;
    progress.cancel();
    const auto opened = OpenRecordData(record, stationdb::kSourceFolder, {}, {}, &progress);
    EXPECT_TRUE(opened.cancelled);
    EXPECT_FALSE(opened.data);
    EXPECT_TRUE(opened.messages.empty()) << Keys(opened.messages)[0];
    const auto snapshot = progress.snapshot();
    EXPECT_EQ(snapshot.stage, common::JobProgress::Stage::Reading);
    EXPECT_EQ(snapshot.total, std::filesystem::file_size(folder_ / "cancelled.dat"));
    EXPECT_EQ(snapshot.done, 0u);
  }
}

// The records shipped for the program's first run open without a word.
TEST(SampleRecords, OpenCleanly) {
  struct Case {
    const char* name;
    std::uint8_t noNegativeSamples;
  };
  const Case cases[] = {{"one_cycle_harmonics", 0}, {"two_rate_fault", 0}, {"ascii_1k_1991", 0},
                        {"ascii_two_rate", 0},      {"gbk_feeder", 0},     {"bay_fault_5k", 0},
                        {"positive_only", 1}};
  for (const auto& c : cases) {
    const std::string cfg = std::string(SAMPLES_DIR) + "/" + c.name + ".cfg";
    const auto text = common::ReadWholeFile(cfg);
    ASSERT_TRUE(text) << cfg;
    FileDataReader dat(DatPartnerPath(cfg));
    const auto parsed = ParseCfgText(*text, cfg, dat);
    ASSERT_TRUE(parsed.record) << c.name;
    const auto opened = OpenRecordData(*parsed.record, stationdb::kSourceFolder, {});
    ASSERT_TRUE(opened.data) << c.name;
    EXPECT_TRUE(opened.messages.empty()) << c.name;
    EXPECT_EQ(opened.data->NoNegativeSamples, c.noNegativeSamples) << c.name;
  }
}

// The shipped two-rate record: 1600 Hz (no points between samples, so no sine
// fit runs), then 800 Hz with one point between samples. Those points lie on
// the line between their samples, not at 0.
TEST(SampleRecords, PointsBetweenSamplesOfTheSecondRateLieBetweenThem) {
  const std::string cfg = std::string(SAMPLES_DIR) + "/ascii_two_rate.cfg";
  const auto text = common::ReadWholeFile(cfg);
  ASSERT_TRUE(text) << cfg;
  FileDataReader dat(DatPartnerPath(cfg));
  const auto parsed = ParseCfgText(*text, cfg, dat);
  ASSERT_TRUE(parsed.record);
  const auto opened = OpenRecordData(*parsed.record, stationdb::kSourceFolder, {});
  ASSERT_TRUE(opened.data);
  const RecordLayout& layout = opened.data->layout();
  ASSERT_EQ(layout.f1, 1);
  ASSERT_EQ(layout.f2, 2);
  ASSERT_EQ(opened.data->NoNegativeSamples, 0);
  for (std::size_t c = 0; c < opened.data->analogCount(); ++c) {
    const auto b = opened.data->samples(c);
    int between = 0;
    for (std::int64_t k = layout.rate1Samples; k + 1 < layout.sampleCount; ++k) {
      const auto at = static_cast<std::size_t>(layout.pointOf(k));
      EXPECT_DOUBLE_EQ(b[at + 1], (b[at] + b[at + 2]) / 2) << "channel " << c << " sample " << k;
      between += b[at + 1] != 0;
    }
    EXPECT_GT(between, 300);
    EXPECT_EQ(b.back(), b[b.size() - 2]);  // after the last sample
  }
}

}  // namespace
}  // namespace wave
