#include "stationdb/select/waveselect.h"

#include <gtest/gtest.h>

#include <memory>

namespace stationdb {
namespace {

// root -> channel 7 -> meter 70; root -> channel 8 (no meters).
struct Tree {
  Tree(std::uint32_t rootType, std::uint32_t channelType, std::uint32_t meterType)
      : root(nullptr, "root", rootType, 3) {
    CSetObj* channel = root.AddChild(std::make_unique<CSetObj>(&root, "ch7", channelType, 7));
    meter = channel->AddChild(std::make_unique<CSetObj>(channel, "meter70", meterType, 70));
    root.AddChild(std::make_unique<CSetObj>(&root, "ch8", channelType, 8));
  }
  CSetObj root;
  CSetObj* meter;
};

TWaveformRecord Row(std::uint32_t meter, std::int32_t serial, std::int32_t ms = 5) {
  TWaveformRecord r;
  r.StationID = 1;
  r.ChannelID = 7;
  r.MeterID = meter;
  r.TriggerTime = *common::EncodeDateTime({2024, 3, 9, 8, 7, 6, 0});
  r.Millisecond = ms;
  r.SerialNo = serial;
  return r;
}

TEST(WaveSelect, PowerQualityQueries) {
  Tree tree(kPqStationRootType, kPqChannelType, kPqMeterType);
  const CSetObj& channel = *tree.root.GetChild(0);
  EXPECT_EQ(QueryArgsFor(tree.root, kSourcePowerQuality, &tree.root, 0, 0), (WaveQueryArgs{3, -1, -1, 0, 0}));
  EXPECT_EQ(QueryArgsFor(channel, kSourcePowerQuality, &tree.root, 1.5, 2.5), (WaveQueryArgs{512, 7, -1, 1.5, 2.5}));
  EXPECT_EQ(QueryArgsFor(*tree.meter, kSourcePowerQuality, &tree.root, 0, 0), (WaveQueryArgs{512, 7, 70, 0, 0}));
  EXPECT_FALSE(QueryArgsFor(channel, kSourceFolder, &tree.root, 0, 0));
}

TEST(WaveSelect, AutomationQueries) {
  Tree tree(0x10120000, kAutoChannelType, kAutoMeterType);
  const CSetObj& channel = *tree.root.GetChild(0);
  EXPECT_EQ(QueryArgsFor(channel, kSourceAutomation, &tree.root, 0, 0), (WaveQueryArgs{3, 7, -1, 0, 0}));
  EXPECT_EQ(QueryArgsFor(*tree.meter, kSourceAutomation, &tree.root, 0, 0), (WaveQueryArgs{3, 7, 70, 0, 0}));
  EXPECT_FALSE(QueryArgsFor(tree.root, kSourceAutomation, &tree.root, 0, 0));  // station: no query
  CSetObj otherChannel(nullptr, "ch9", kAutoChannelType, 9);  // not in the tree
  CSetObj stray(&otherChannel, "stray", kAutoMeterType, 71);
  EXPECT_FALSE(QueryArgsFor(stray, kSourceAutomation, &tree.root, 0, 0));
}

TEST(WaveSelect, RowsOfOneRecordShowOnceAndUnknownMetersNot) {
  Tree tree(kPqStationRootType, kPqChannelType, kPqMeterType);
  std::vector<TWaveformRecord> rows{Row(70, 1), Row(70, 2), Row(99, 3), Row(70, 4), Row(70, 5, 6)};
  rows[3].WaveData = {1, 2};
  const std::vector<WaveListRow> list = BuildWaveListRows(rows, &tree.root, kPqMeterType);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], (WaveListRow{0, "2024-03-09 08:07:06.005", "meter70", "1"}));
  EXPECT_EQ(list[1].Index, 4u);
  EXPECT_EQ(list[1].Caption, "2024-03-09 08:07:06.006");
  EXPECT_TRUE(BuildWaveListRows(rows, &tree.root, kAutoMeterType).empty());  // other type code
  EXPECT_TRUE(BuildWaveListRows(rows, nullptr, kPqMeterType).empty());
}

// What the hash set and the meter index must give as the linear scans did.
TEST(WaveSelect, ListTellsRecordsApartByAllFiveFields) {
  Tree tree(kPqStationRootType, kPqChannelType, kPqMeterType);
  // A second meter 70 later in the tree: the first one found names the rows.
  CSetObj* channel8 = tree.root.GetChild(1);
  channel8->AddChild(std::make_unique<CSetObj>(channel8, "meter70 again", kPqMeterType, 70));
  const auto changed = [](TWaveformRecord r, void (*change)(TWaveformRecord&)) {
    change(r);
    return r;
  };
  const TWaveformRecord first = Row(70, 1);
  const std::vector<TWaveformRecord> rows{
      first,
      changed(first, [](TWaveformRecord& r) { r.StationID = 2; }),
      changed(first, [](TWaveformRecord& r) { r.ChannelID = 8; }),
      changed(first, [](TWaveformRecord& r) { r.TriggerTime += 1e-9; }),
      changed(first, [](TWaveformRecord& r) { r.Millisecond = -5; }),
      changed(first, [](TWaveformRecord& r) { r.SerialNo = 9; }),  // the same record again
      changed(first, [](TWaveformRecord& r) { r.TriggerTime = 0.0; }),
      changed(first, [](TWaveformRecord& r) { r.TriggerTime = -0.0; }),  // equal to 0.0
      changed(first, [](TWaveformRecord& r) { r.StationID = 2; r.SerialNo = 10; }),
  };
  std::vector<std::size_t> indexes;
  for (const WaveListRow& item : BuildWaveListRows(rows, &tree.root, kPqMeterType)) {
    indexes.push_back(item.Index);
    EXPECT_EQ(item.MeterName, "meter70");
  }
  EXPECT_EQ(indexes, (std::vector<std::size_t>{0, 1, 2, 3, 4, 6}));
}

TEST(WaveSelect, YearStartKeepsTimeOfDay) {
  const common::TDateTime now = *common::EncodeDateTime({2026, 12, 10, 11, 5, 30, 250});
  const common::DateTimeParts start = common::DecodeDateTime(YearStartAtTimeOfDay(now));
  EXPECT_EQ(start.year, 2026);
  EXPECT_EQ(start.month, 1);
  EXPECT_EQ(start.day, 1);
  EXPECT_EQ(start.hour, 11);
  EXPECT_EQ(start.minute, 5);
  EXPECT_EQ(start.second, 30);
}

}  // namespace
}  // namespace stationdb
