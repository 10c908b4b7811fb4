// The conversions end to end: a record written from synthetic database rows is
// read back through the program's own .cfg reader and sample loader.
#include "stationdb/convert/waveconvert.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/paths.h"
#include "stationdb/convert/testsupport.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/setobj.h"
#include "waveform/analysis/open_record.h"
#include "waveform/model/cfgopen.h"

namespace stationdb {
namespace {

namespace fs = std::filesystem;
using fixtures::PartRows;
using fixtures::PqBlob;
using fixtures::PqChannel;
using fixtures::Row;
using fixtures::VelkoraBlob;

// The main window's side of an opening: takes the record and accepts the options.
class FakeOpener : public wave::RecordOpener {
 public:
  int openWindowCount() const override { return 0; }
  bool tempFilesFlag() const override { return true; }
  wave::DisplaySettings& displaySettings() override { return settings; }
  void setRecord(const wave::TcfgInfo& r) override { record = r; }
  wave::OptionsDialogResult showOptionsDialog() override { return {true, true}; }
  void createRecordWindow(const std::string& caption, wave::RecordFiles files) override {
    windowCaption = caption;
    windowFiles = std::move(files);
  }

  wave::DisplaySettings settings;
  wave::TcfgInfo record;
  std::string windowCaption;
  wave::RecordFiles windowFiles;  // the window's, as long as it is open
};

class Conversion : public ::testing::Test {
 protected:
  Conversion() {
    settings.cacheFolder = dir.path() / "cache" / "quenlor" / "CfgCache";
    settings.kindsFile = dir.path() / "davureva.ini";
    settings.now = [this] { return clock; };
  }

  std::vector<fs::path> cacheFiles() const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(settings.cacheFolder, ec)) files.push_back(entry.path());
    return files;
  }

  fixtures::TempDir dir;
  ConvertSettings settings;
  common::TDateTime clock = *common::EncodeDateTime({2020, 1, 2, 12, 0, 0, 123});
  DbState state;
  wave::TcfgInfo info;
};

// ---------------------------------------------------------------- source 21

// Station "变电站" in GBK, two channels: Ua (0.5, 1, primary/secondary 110/0.1) and Ia (2, -3, primary values).
const std::string kAsciiCfg = common::Utf8ToGbk(
    "变电站,R1,1999\r\n2,2A,0D\r\n"
    "1,Ua,A,,kV,0.5,1,0,-32768,32767,110,0.1,S\r\n"
    "2,Ia,A,,A,2,-3,0,-32768,32767,600,5,P\r\n"
    "50\r\n1\r\n1600,4\r\n02/01/2020,12:00:00.000000\r\n02/01/2020,12:00:00.010000\r\nASCII\r\n1\r\n");
const std::string kAsciiDat = "1,0,10,-4\r\n2,625,20,5\r\n3,1250,-30,6\r\n4,1875,40,7\r\n";

TEST_F(Conversion, SinglePartRecordReadsBackThroughTheReaderAndLoader) {
  state.ZavoVivords = {Row(VelkoraBlob(kAsciiCfg, kAsciiDat))};
  state.WaveChannels.resize(3);
  const ConvertOutcome outcome = FillWaveinfoTocfg_velkora(state, state.ZavoVivords[0], info, settings);
  ASSERT_TRUE(outcome.converted());
  EXPECT_TRUE(state.WaveChannels.empty());
  EXPECT_EQ(info.CfgPath, (settings.cacheFolder / "20200102120000123.cfg").string());
  EXPECT_EQ(common::ReadWholeFile(info.CfgPath), kAsciiCfg);  // GBK bytes, unchanged

  FakeOpener opener;
  const wave::CfgOpenOutcome opened = wave::ReadCfgFile(info.CfgPath, opener);
  ASSERT_TRUE(opened.opened) << (opened.messages.empty() ? "" : opened.messages[0].textKeys()[0]);
  EXPECT_EQ(opener.windowCaption, "20200102120000123.cfg");
  const wave::TcfgInfo& record = opener.record;
  EXPECT_EQ(record.station_name, "变电站");
  EXPECT_EQ(record.TT, 2);
  EXPECT_EQ(record.AInfo[1].ch_id, "Ia");

  const wave::OpenedRecord loaded = wave::OpenRecordData(record, kSourceAutomation, {});
  ASSERT_TRUE(loaded.data);
  EXPECT_TRUE(loaded.messages.empty());
  const std::vector<int> ua = {10, 20, -30, 40}, ia = {-4, 5, 6, 7};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(loaded.data->samples(0)[k], (ua[k] * 0.5 + 1) * 110 / 0.1) << k;
    EXPECT_DOUBLE_EQ(loaded.data->samples(1)[k], ia[k] * 2.0 - 3) << k;
  }
}

// A one-channel configuration of the automation system, BINARY, channel line as given.
std::string PartCfg(const std::string& channelLine) {
  return common::Utf8ToGbk("变电站,R1,1999\r\n1,1A,0D\r\n" + channelLine +
                           "\r\n50\r\n1\r\n1600,3\r\n02/01/2020,12:00:00.000\r\n"
                           "02/01/2020,12:00:00.005\r\nBINARY\r\n1\r\n");
}

TEST_F(Conversion, MergedRecordReadsBackWithEveryChannel) {
  const std::vector<std::vector<std::int16_t>> samples = {{100, -200, 300}, {-1, 2, -3}, {32767, -32768, 0}};
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::string line = fmt::format("A1,通道{},A,,V,{},{},0,-32768,32767,1,1,P", i, 0.5 * (i + 1), i);
    state.ZavoVivords.push_back(Row(VelkoraBlob(PartCfg(line), PartRows(samples[i])), 3,
                                    static_cast<std::int32_t>(i)));
  }
  // The list shows a record by its first row; the conversion finds the others.
  ASSERT_TRUE(FillWaveinfoTocfg_velkora(state, state.ZavoVivords[0], info, settings).converted());

  FakeOpener opener;
  ASSERT_TRUE(wave::ReadCfgFile(info.CfgPath, opener).opened);
  const wave::TcfgInfo& record = opener.record;
  ASSERT_EQ(record.TT, 3);
  ASSERT_EQ(record.A, 3);
  EXPECT_EQ(record.D, 0);
  EXPECT_EQ(record.AInfo[2].ch_id, "通道2");
  EXPECT_EQ(record.samp1, 1600);
  EXPECT_EQ(record.endsamp1, 3);

  const wave::OpenedRecord loaded = wave::OpenRecordData(record, kSourceAutomation, {});
  ASSERT_TRUE(loaded.data);
  EXPECT_TRUE(loaded.messages.empty());
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t k = 0; k < 3; ++k)
      EXPECT_DOUBLE_EQ(loaded.data->samples(i)[k], samples[i][k] * (0.5 * (i + 1)) + static_cast<double>(i))
          << i << "," << k;
}

TEST_F(Conversion, ConversionsInTheSameMillisecondGetTheirOwnFiles) {
  state.ZavoVivords = {Row(VelkoraBlob("one", "1"))};
  ASSERT_TRUE(FillWaveinfoTocfg_velkora(state, state.ZavoVivords[0], info, settings).converted());
  const std::string first = info.CfgPath;
  state.ZavoVivords = {Row(VelkoraBlob("two", "2"))};
  ASSERT_TRUE(FillWaveinfoTocfg_velkora(state, state.ZavoVivords[0], info, settings).converted());
  EXPECT_NE(info.CfgPath, first);
  EXPECT_EQ(common::ReadWholeFile(first), "one");
  EXPECT_EQ(common::ReadWholeFile(info.CfgPath), "two");
}

TEST_F(Conversion, RefusedRecordLeavesNoFilesAndNoPath) {
  const std::vector<TWaveformRecord> cases = {
      Row(VelkoraBlob("only one line\r\n", PartRows({1})), 1),  // merged: not 10 lines
      Row({3, 0, 0, 0, 'a'}, 0),                                // single: shorter than its length
  };
  for (const TWaveformRecord& row : cases) {
    state.ZavoVivords = {row};
    info.CfgPath = "from an earlier choice";
    const ConvertOutcome outcome = FillWaveinfoTocfg_velkora(state, state.ZavoVivords[0], info, settings);
    ASSERT_TRUE(outcome.message);
    EXPECT_EQ(outcome.message->textKeys(), std::vector<std::string>{"str16"});
    EXPECT_EQ(outcome.message->section, "Strings_SelectWave_Dlg");
    EXPECT_EQ(outcome.message->text[0].defaultText, "解析数据库中的波形信息出错！");
    EXPECT_EQ(info.CfgPath, "");
    EXPECT_TRUE(cacheFiles().empty());
  }
}

TEST_F(Conversion, PartsAreTheRowsOfTheSameRecordInArrayOrder) {
  TWaveformRecord other = Row(VelkoraBlob("other", "x"), 1);
  other.Millisecond = 6;
  TWaveformRecord later = Row(VelkoraBlob("later", "x"), 1);
  later.TriggerTime += 1e-9;
  state.ZavoVivords = {Row(VelkoraBlob("a", "x"), 1, 10), other, later, Row(VelkoraBlob("b", "x"), 1, 11)};
  const auto parts = GatherRecordParts(state.ZavoVivords, state.ZavoVivords[3]);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0]->SerialNo, 10);
  EXPECT_EQ(parts[1]->SerialNo, 11);
  EXPECT_TRUE(GatherRecordParts({}, state.ZavoVivords[0]).empty());
}

TEST_F(Conversion, RecordWithoutRowsConvertsToNothing) {
  info.CfgPath = "old";
  const TWaveformRecord absent = Row(VelkoraBlob("a", "x"));
  EXPECT_TRUE(FillWaveinfoTocfg_velkora(state, absent, info, settings).converted());
  EXPECT_EQ(info.CfgPath, "");
  EXPECT_TRUE(FillWaveinfoToCfg(state, absent, nullptr, info, settings).converted());
  EXPECT_EQ(info.CfgPath, "");
  EXPECT_TRUE(cacheFiles().empty());
}

// ---------------------------------------------------------------- source 12

class PowerQuality : public Conversion {
 protected:
  PowerQuality() : root(nullptr, "root", kStationRootType12, kStationRootID12) {
    CSetObj* channel = root.AddChild(std::make_unique<CSetObj>(&root, "ch", kChannelType12, 7));
    channel->AddChild(std::make_unique<CSetObj>(channel, common::Utf8ToGbk("测点1"), kMeterType12, 9));
    writeKinds("SAGSWELL=电压暂降=1;电压暂升=2;\r\nTRANSIENT=暂态=3;\r\n");
  }

  void writeKinds(const std::string& body) {
    std::ofstream(settings.kindsFile, std::ios::binary) << common::Utf8ToGbk("[WAVEFORM]\r\n" + body);
  }

  void setRows(const std::vector<PqChannel>& channels, const std::vector<std::uint16_t>& codes) {
    state.ZavoVivords.clear();
    for (std::size_t i = 0; i < channels.size(); ++i) state.ZavoVivords.push_back(Row(PqBlob(channels[i]), codes[i]));
  }

  ConvertOutcome convert() { return FillWaveinfoToCfg(state, state.ZavoVivords[0], &root, info, settings); }

  CSetObj root;
};

TEST_F(PowerQuality, RecordIsFilledInMemoryAndLoadsItsValues) {
  PqChannel u, i;
  u.name = "128x电压";
  u.samples = {10, -20, 30, 5};
  u.offset = 0.5;
  u.factor = 0.25;
  i.name = "whatever";
  i.samples = {1, 2, 3, 4};
  i.offset = -1;
  i.factor = 3;
  setRows({u, i}, {3, 42});

  ASSERT_TRUE(convert().converted());
  EXPECT_EQ(info.CfgPath, "20200102120000005_1_7_9");
  EXPECT_EQ(info.station_name, "测点1");
  EXPECT_EQ(info.rec_dev_id, "9");
  EXPECT_EQ(info.TT, 2);
  EXPECT_EQ(info.A, 2);
  EXPECT_EQ(info.D, 0);
  EXPECT_TRUE(info.DInfo.empty());
  ASSERT_EQ(info.AInfo.size(), 2u);
  EXPECT_EQ(info.AInfo[0].ch_id, "暂态");
  EXPECT_EQ(info.AInfo[0].uu, "暂");  // the whole first character
  EXPECT_EQ(info.AInfo[0].a, 0.25);
  EXPECT_EQ(info.AInfo[0].b, 0.5);
  EXPECT_EQ(info.AInfo[0].min, -20);
  EXPECT_EQ(info.AInfo[0].max, 30);
  EXPECT_EQ(info.AInfo[0].PS, 's');
  EXPECT_EQ(info.AInfo[0].primary, 1.0);
  EXPECT_EQ(info.AInfo[0].secondary, 1.0);
  EXPECT_EQ(info.AInfo[1].ch_id, "");  // code 42 is in no list
  EXPECT_EQ(info.AInfo[1].uu, "");
  EXPECT_EQ(info.lf, 50);
  EXPECT_EQ(info.nrates, 1);
  EXPECT_EQ(info.samp1, 6400);
  EXPECT_EQ(info.samp2, 6400);
  EXPECT_EQ(info.endsamp1, 4);
  EXPECT_EQ(info.endsamp2, 4);
  EXPECT_EQ(info.StartTime, 43832.5);
  EXPECT_EQ(info.TriggerTime, 43832.5);
  EXPECT_EQ(info.ft, "1");
  EXPECT_EQ(state.WaveKinds.SagSwell.size(), 2u);
  ASSERT_EQ(state.WaveChannels.size(), 2u);
  EXPECT_TRUE(cacheFiles().empty());

  const wave::OpenedRecord loaded = wave::OpenRecordData(info, kSourcePowerQuality, state.WaveChannels);
  ASSERT_TRUE(loaded.data);
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(loaded.data->samples(0)[k], (u.samples[k] + 0.5) * 0.25) << k;
    EXPECT_DOUBLE_EQ(loaded.data->samples(1)[k], (i.samples[k] - 1.0) * 3) << k;
  }
}

TEST_F(PowerQuality, NoKnownKindGivesFileTypeZero) {
  writeKinds("SETPOING=定值=7;\r\n");
  setRows({PqChannel{}, PqChannel{}}, {1, 8});
  ASSERT_TRUE(convert().converted());
  EXPECT_EQ(info.ft, "0");
  EXPECT_EQ(info.AInfo[0].ch_id, "");
  setRows({PqChannel{}, PqChannel{}}, {1, 7});
  ASSERT_TRUE(convert().converted());
  EXPECT_EQ(info.ft, "1");
  EXPECT_EQ(info.AInfo[1].ch_id, "定值");
}

TEST_F(PowerQuality, RefusalsEmptyTheChannelsAndThePath) {
  PqChannel good;
  PqChannel noNumber = good, noX = good, tooFast = good;
  noNumber.name = "abcx1";
  noX.name = "128";
  tooFast.name = "99999999x";
  auto shortBlob = PqBlob(good);
  shortBlob.resize(shortBlob.size() - 1);
  struct Case {
    const char* name;
    std::vector<TWaveformRecord> rows;
    std::string kinds;
    bool message;  // else an error for the general error box
  };
  const std::vector<Case> cases = {
      {"meter not in the tree", {[&] { auto r = Row(PqBlob(good)); r.MeterID = 99; return r; }()}, "", true},
      {"blob cut short", {Row(PqBlob(good)), Row(shortBlob)}, "", false},
      {"rate beyond its field", {Row(PqBlob(tooFast))}, "", true},
      {"no number before x", {Row(PqBlob(noNumber))}, "", false},
      {"no x in the name", {Row(PqBlob(noX))}, "", false},
      {"code that is no integer", {Row(PqBlob(good))}, "SAGSWELL=a=one;\r\n", false},
  };
  for (const auto& c : cases) {
    writeKinds(c.kinds);
    state.ZavoVivords = c.rows;
    state.WaveChannels.resize(2);
    info.CfgPath = "earlier";
    const ConvertOutcome outcome = convert();
    EXPECT_EQ(outcome.message.has_value(), c.message) << c.name;
    EXPECT_EQ(outcome.error.has_value(), !c.message) << c.name;
    if (outcome.message) {
      EXPECT_EQ(outcome.message->textKeys(), std::vector<std::string>{"str16"}) << c.name;
    }
    EXPECT_TRUE(state.WaveChannels.empty()) << c.name;
    EXPECT_EQ(info.CfgPath, "") << c.name;
  }
  EXPECT_FALSE(FillWaveinfoToCfg(state, state.ZavoVivords[0], nullptr, info, settings).converted());
}

}  // namespace
}  // namespace stationdb
