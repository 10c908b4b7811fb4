// Station slots, the station table and the meter walk, on plain bytes.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "clientif/stationmodel.h"

namespace velk {
namespace {

TNetNode Node(std::int32_t id, std::uint8_t role, std::int32_t station, const char* name = "") {
  TNetNode node{};
  node.nodeId = id;
  node.role = role;
  node.stationId = station;
  SetFieldText(node.nodeName, sizeof node.nodeName, name);
  return node;
}

NetList List(const std::vector<TNetNode>& nodes, std::int32_t stations) {
  NetList list;
  list.nodeCount = static_cast<std::int32_t>(nodes.size());
  list.stationCount = stations;
  std::copy(nodes.begin(), nodes.end(), list.nodes.begin());
  NumberStationSlots(list);
  return list;
}

constexpr std::uint8_t kMain = kRoleFrontEnd;
constexpr std::uint8_t kStandby = kRoleFrontEnd | kRoleStandbyFrontEnd;

TEST(StationSlots, RanksOfMainFrontEndStationIds) {
  const NetList list = List({Node(1, kMain, 30), Node(2, kMain, 10), Node(3, kMain, 20), Node(4, kStandby, 20),
                             Node(5, kRoleClient, 0), Node(6, kStandby, 99)},
                            3);
  const std::int32_t expected[] = {2, 0, 1, 1, -1, -1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(list.nodes[static_cast<std::size_t>(i)].stationSlot, expected[i]) << i;
}

TEST(StationSlots, IdsCompareUnsigned) {
  const NetList list = List({Node(1, kMain, static_cast<std::int32_t>(0x80000000u)), Node(2, kMain, 5)}, 2);
  EXPECT_EQ(+list.nodes[0].stationSlot, 1);
  EXPECT_EQ(+list.nodes[1].stationSlot, 0);
}

TEST(StationSlots, DuplicateIdsShareTheFirstPosition) {
  const NetList list = List({Node(1, kMain, 20), Node(2, kMain, 20), Node(3, kMain, 30)}, 3);
  EXPECT_EQ(+list.nodes[0].stationSlot, 0);
  EXPECT_EQ(+list.nodes[1].stationSlot, 0);
  EXPECT_EQ(+list.nodes[2].stationSlot, 2);
  const StationTable table = BuildStationTable(list);
  EXPECT_TRUE(table.main[0].present);
  EXPECT_FALSE(table.main[1].present);  // a slot without a main front end
  EXPECT_EQ(+table.main[2].node.nodeId, 3);
}

TEST(StationTable, EntriesServersAndClients) {
  const NetList list =
      List({Node(1, kRoleServer, 0, "s1"), Node(2, kRoleServer | kRoleStandbyServer, 0, "s2"),
            Node(3, kRoleServer, 0, "s3"), Node(4, kMain, 10, "fe10"), Node(5, kStandby, 10, "fe10b"),
            Node(6, kMain, 20, "fe20"), Node(7, kRoleClient, 0, "c1"), Node(8, kRoleClient | kRoleServer, 0, "c2"),
            Node(9, kMain | kRoleClient, 30, "out of range")},
           2);
  const StationTable table = BuildStationTable(list);
  EXPECT_EQ(table.stationCount, 2);
  EXPECT_EQ(+table.mainServer.node.nodeId, 8);  // the last server node wins
  EXPECT_EQ(+table.standbyServer.node.nodeId, 2);
  EXPECT_EQ(+table.main[0].node.nodeId, 4);
  EXPECT_EQ(+table.standby[0].node.nodeId, 5);
  EXPECT_EQ(+table.main[1].node.nodeId, 6);
  EXPECT_FALSE(table.standby[1].present);
  EXPECT_EQ(table.stationId(1), 20);
  // The front end with slot 2 (station count 2) is skipped, for the client rule too.
  ASSERT_EQ(table.clients.size(), 2u);
  EXPECT_EQ(+table.clients[0].nodeId, 7);
  EXPECT_EQ(+table.clients[1].nodeId, 8);
}

TEST(NetListCopy, CountsAreBroughtIntoRange) {
  std::vector<std::uint8_t> bytes(netlist::kSize, 0);
  const std::int32_t nodes = 500;
  const std::int32_t stations = -3;
  std::memcpy(bytes.data(), &nodes, 4);
  std::memcpy(bytes.data() + 4, &stations, 4);
  const auto list = CopyNetList({bytes.data(), bytes.size()});
  ASSERT_TRUE(list);
  EXPECT_EQ(list->nodeCount, 128);
  EXPECT_EQ(list->stationCount, 0);
  EXPECT_FALSE(CopyNetList({bytes.data(), bytes.size() - 1}));
}

// A COMM_HEAD section built by hand: channels with meters of (A, S) points.
class MeterWalk : public testing::Test {
 protected:
  void build(const std::vector<std::vector<std::pair<int, int>>>& channels) {
    CHEAD head{};
    head.channelCount = static_cast<std::uint8_t>(channels.size());
    std::size_t size = commhead::kMeters;
    for (const auto& meters : channels)
      for (const auto& [a, s] : meters) size += 179 + 155 * static_cast<std::size_t>(a + s);
    bytes_.assign(size, 0);
    std::size_t offset = commhead::kMeters;
    std::int32_t id = 100;
    for (std::size_t c = 0; c < channels.size(); ++c) {
      head.meterCounts[c] = static_cast<std::uint8_t>(channels[c].size());
      for (const auto& [a, s] : channels[c]) {
        TMeterHead meter{};
        meter.meterId = id++;
        meter.analogCount = static_cast<std::int16_t>(a);
        meter.statusCount = static_cast<std::int16_t>(s);
        std::memcpy(bytes_.data() + offset, &meter, sizeof meter);
        for (int p = 0; p < a + s; ++p) {
          const std::int32_t pointId = meter.meterId * 10 + p;
          std::memcpy(bytes_.data() + offset + 179 + 4 * static_cast<std::size_t>(p), &pointId, 4);
        }
        offset += 179 + 155 * static_cast<std::size_t>(a + s);
      }
    }
    std::memcpy(bytes_.data() + commhead::kChead, &head, sizeof head);
    head_ = head;
  }
  ByteView view() const { return {bytes_.data(), bytes_.size()}; }

  std::vector<std::uint8_t> bytes_;
  CHEAD head_{};
};

TEST_F(MeterWalk, EmptyMetersTake179Bytes) {
  build({{{0, 0}, {0, 0}, {2, 1}}});
  const auto second = FindMeter(view(), head_, 0, 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->offset, commhead::kMeters + 179);
  const auto third = FindMeter(view(), head_, 0, 2);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->offset, commhead::kMeters + 2 * 179);
  EXPECT_EQ(+third->head.meterId, 102);
  EXPECT_EQ(PointId(view(), *third, 2), 1022);
}

TEST_F(MeterWalk, SecondChannelFollowsTheFirst) {
  build({{{1, 1}, {3, 0}}, {{0, 2}}});
  const auto meter = FindMeter(view(), head_, 1, 0);
  ASSERT_TRUE(meter);
  EXPECT_EQ(meter->offset, commhead::kMeters + 179 + 2 * 155 + 179 + 3 * 155);
  EXPECT_EQ(+meter->head.meterId, 102);
  EXPECT_FALSE(FindMeter(view(), head_, 1, 1));
  EXPECT_FALSE(FindMeter(view(), head_, 2, 0));
  EXPECT_FALSE(FindMeter(view(), head_, -1, 0));
}

TEST_F(MeterWalk, BrokenRecordsFailInsteadOfReadingPastTheSection) {
  build({{{1, 0}, {1, 0}}});
  // A point count beyond the columns of a TMeterPara.
  std::int16_t big = 1000;
  std::memcpy(bytes_.data() + commhead::kMeters + 139, &big, 2);
  std::memcpy(bytes_.data() + commhead::kMeters + 141, &big, 2);
  EXPECT_FALSE(FindMeter(view(), head_, 0, 0));
  EXPECT_FALSE(FindMeter(view(), head_, 0, 1));
  // Negative counts.
  build({{{1, 0}}});
  std::int16_t negative = -1;
  std::memcpy(bytes_.data() + commhead::kMeters + 141, &negative, 2);
  EXPECT_FALSE(FindMeter(view(), head_, 0, 0));
  // A record that would end past the section.
  build({{{2, 0}}});
  EXPECT_FALSE(FindMeter({bytes_.data(), bytes_.size() - 1}, head_, 0, 0));
  // More meters listed than there are records.
  build({{{0, 0}}});
  head_.meterCounts[0] = 2;
  EXPECT_FALSE(FindMeter(view(), head_, 0, 1));
}

TEST_F(MeterWalk, ChannelCountAbove128IsCut) {
  build({{{0, 0}}});
  head_.channelCount = 200;
  EXPECT_EQ(ChannelCount(head_), 128);
  EXPECT_EQ(MeterCount(head_, 150), 0);
}

TEST_F(MeterWalk, ExpandedMeterHasItsPointsAndZeroesBeyond) {
  build({{{2, 1}}});
  const auto meter = FindMeter(view(), head_, 0, 0);
  ASSERT_TRUE(meter);
  std::vector<std::uint8_t> storage(sizeof(TMeterPara), 0xAB);
  auto* para = reinterpret_cast<TMeterPara*>(storage.data());
  ExpandMeter(view(), *meter, *para);
  EXPECT_EQ(+para->meterId, 100);
  EXPECT_EQ(+para->analogCount, 2);
  EXPECT_EQ(+para->statusCount, 1);
  std::int32_t ids[4];
  std::memcpy(ids, storage.data() + offsetof(TMeterPara, pointIds), sizeof ids);
  EXPECT_EQ(ids[0], 1000);
  EXPECT_EQ(ids[2], 1002);
  EXPECT_EQ(ids[3], 0);
  EXPECT_EQ(storage.back(), 0);  // field5 of a zeroed head
}

}  // namespace
}  // namespace velk
