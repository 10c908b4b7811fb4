#include "stationdb/records/records.h"

#include <gtest/gtest.h>

namespace stationdb {
namespace {

TEST(WaveformRecord, SameRecordComparesTheFiveIdentifyingFields) {
  TWaveformRecord base;
  base.SerialNo = 1;
  base.StationID = 2;
  base.ChannelID = 3;
  base.MeterID = 4;
  base.TriggerTime = 45000.5;
  base.Millisecond = 120;
  base.AuxValue = 7;
  base.AuxWord = 8;
  base.WaveData = {1, 2, 3};

  struct Case {
    const char* name;
    void (*change)(TWaveformRecord&);
    bool same;
  };
  const Case cases[] = {
      {"identical", [](TWaveformRecord&) {}, true},
      {"serial number", [](TWaveformRecord& r) { r.SerialNo = 9; }, true},
      {"aux value", [](TWaveformRecord& r) { r.AuxValue = 0; }, true},
      {"aux word", [](TWaveformRecord& r) { r.AuxWord = 0; }, true},
      {"wave data", [](TWaveformRecord& r) { r.WaveData.clear(); }, true},
      {"station", [](TWaveformRecord& r) { r.StationID = 5; }, false},
      {"channel", [](TWaveformRecord& r) { r.ChannelID = 5; }, false},
      {"meter", [](TWaveformRecord& r) { r.MeterID = 5; }, false},
      {"trigger time", [](TWaveformRecord& r) { r.TriggerTime += 1e-9; }, false},
      {"millisecond", [](TWaveformRecord& r) { r.Millisecond = 121; }, false},
  };
  for (const auto& c : cases) {
    TWaveformRecord other = base;
    c.change(other);
    EXPECT_EQ(SameWaveformRecord(base, other), c.same) << c.name;
  }
}

TEST(WaveKinds, SearchesTheListsInOrderAndSkipsNegativeCodes) {
  TWaveformHandle kinds;
  kinds.SagSwell = {{"sag", 1}, {"negative", -3}};
  kinds.Transient = {{"transient", 2}, {"duplicate in transient", 1}, {"late negative", -3}};
  kinds.SetPoint = {{"setpoint", 3}, {"setpoint two", 2}};

  struct Case {
    std::int32_t code;
    const char* expected;  // nullptr: not found
  };
  const Case cases[] = {
      {1, "sag"}, {2, "transient"}, {3, "setpoint"}, {-3, nullptr}, {4, nullptr},
  };
  for (const auto& c : cases) {
    const TEventHandle* found = FindWaveKind(kinds, c.code);
    if (c.expected == nullptr) {
      EXPECT_EQ(found, nullptr) << c.code;
    } else {
      ASSERT_NE(found, nullptr) << c.code;
      EXPECT_EQ(found->Name, c.expected) << c.code;
    }
  }
  EXPECT_EQ(FindWaveKind(TWaveformHandle{}, 0), nullptr);
}

}  // namespace
}  // namespace stationdb
