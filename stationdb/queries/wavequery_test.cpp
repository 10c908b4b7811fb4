#include "stationdb/queries/wavequery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stationdb/queries/testsupport.h"

namespace stationdb {
namespace {

using querytest::FreeForOthers;
using querytest::MutexHolder;
using querytest::ReportingRptDB;
using querytest::Shown;
using querytest::StandIn;

constexpr std::int32_t kPQ = kSourcePowerQuality;
constexpr std::int32_t kAuto = kSourceAutomation;

common::TDateTime at(int year, int month, int day, int hour, int minute, int second) {
  return *common::EncodeDateTime({year, month, day, hour, minute, second, 0});
}

// The history catalog of a mode with RC_W_1, and an RptDB set up for it.
class WaveQueryTest : public ::testing::TestWithParam<std::int32_t> {
 protected:
  void SetUp() override {
    state_.RecordSourceMode = mode();
    if (mode() == kPQ) {
      standIn_.config12();
      querytest::DefineWaveQuery(history(), kPQ);
      standIn_.connect12(db_.rpt);
    } else {
      standIn_.config21();
      querytest::DefineWaveQuery(history(), kAuto);
      ASSERT_EQ(StandIn::connect21(db_.rpt, "main", "none"), kMainAnswered);
    }
  }

  std::int32_t mode() const { return GetParam(); }
  db::SqliteCatalog& history() { return mode() == kPQ ? standIn_.history12() : standIn_.history21(); }
  std::string server() const { return mode() == kPQ ? "pq" : "main"; }
  std::string historyCatalog() const { return mode() == kPQ ? "QHISTORY" : "velkora_DATA_7"; }

  // A row with the given identifying fields in the mode's column order.
  void addRow(int serial, std::uint32_t station, std::uint32_t channel, std::uint32_t meter, std::string_view time,
              int ms, int aux, int kind, std::string_view wave) {
    if (mode() == kPQ)
      history().exec(fmt::format("INSERT INTO Waves VALUES({}, {}, {}, {}, '{}', {}, {}, {}, {})", serial, station,
                                 channel, meter, time, ms, aux, kind, wave));
    else
      history().exec(fmt::format("INSERT INTO Waves VALUES({}, '{}', {}, {}, {}, {}, {}, {}, 'not read', {})", serial,
                                 time, ms, station, channel, meter, aux, kind, wave));
  }

  std::int32_t query(std::int32_t station = kAnyID, std::int32_t channel = kAnyID, std::int32_t meter = kAnyID,
                     common::TDateTime begin = 0.0, common::TDateTime end = 0.0) {
    return QueryZavoVivords(db_.rpt, state_, station, channel, meter, begin, end);
  }

  StandIn standIn_;
  ReportingRptDB db_;
  DbState state_;
};

TEST_P(WaveQueryTest, MapsTheColumnsOfTheMode) {
  addRow(11, 4000000000u, 7, 70, "2024-02-29 13:45:10.000", 123, -5, 0x12345, "X'010203'");
  ASSERT_EQ(query(), 1);
  ASSERT_EQ(state_.ZavoVivords.size(), 1u);
  const TWaveformRecord& r = state_.ZavoVivords[0];
  EXPECT_EQ(r.SerialNo, 11);
  EXPECT_EQ(r.StationID, 4000000000u);
  EXPECT_EQ(r.ChannelID, 7u);
  EXPECT_EQ(r.MeterID, 70u);
  EXPECT_EQ(r.TriggerTime, at(2024, 2, 29, 13, 45, 10));
  EXPECT_EQ(r.Millisecond, 123);
  EXPECT_EQ(r.AuxValue, mode() == kPQ ? 0 : -5);  // column 6 is not read in mode 12
  EXPECT_EQ(r.AuxWord, 0x2345);
  EXPECT_EQ(r.WaveData, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_TRUE(db_.messages.empty());
  EXPECT_EQ(db_.rpt.HistoryDataSet()->commandType(), db::CommandType::Text);
  EXPECT_FALSE(db_.rpt.HistoryDataSet()->active());
}

TEST_P(WaveQueryTest, PassesNullForUnfilteredValues) {
  const common::TDateTime end = at(2024, 3, 1, 8, 30, 0);
  ASSERT_EQ(query(512, 7, -1, 0.0, end), 0);
  const auto calls = standIn_.select(server(), historyCatalog(), "SELECT * FROM Calls");
  ASSERT_EQ(calls.size(), 1u);
  const auto& c = calls[0];
  EXPECT_EQ(c[0].asInt64(), 512);
  EXPECT_EQ(c[1].asText(), "integer");
  EXPECT_EQ(c[2].asInt64(), 7);
  EXPECT_EQ(c[5].asText(), "null");  // meter -1
  EXPECT_EQ(c[7].asText(), "null");  // begin 0.0
  EXPECT_EQ(c[8].asText(), "2024-03-01 08:30:00.000");

  ASSERT_EQ(query(0, -2, 3, at(2024, 1, 1, 0, 0, 0), 0.0), 0);
  const auto second = standIn_.select(server(), historyCatalog(), "SELECT * FROM Calls")[1];
  EXPECT_EQ(second[1].asText(), "integer");  // 0 is an identifier like any other
  EXPECT_EQ(second[3].asText(), "null");
  EXPECT_EQ(second[7].asText(), "text");
  EXPECT_EQ(second[9].asText(), "null");
}

TEST_P(WaveQueryTest, KeepsEveryPartOfARecord) {
  addRow(1, 1, 2, 3, "2024-02-29 13:45:10.000", 500, 0, 1, "X'01'");
  addRow(2, 1, 2, 3, "2024-02-29 13:45:10.000", 500, 0, 1, "X'02'");
  addRow(3, 1, 2, 3, "2024-02-29 13:45:10.000", 501, 0, 1, "X'03'");
  ASSERT_EQ(query(), 3);
  const auto& rows = state_.ZavoVivords;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].SerialNo, 1);  // in the procedure's order
  EXPECT_EQ(rows[2].SerialNo, 3);
  // Rows that differ only in the serial number or the data are one record (listed once).
  EXPECT_TRUE(SameWaveformRecord(rows[0], rows[1]));
  EXPECT_FALSE(SameWaveformRecord(rows[0], rows[2]));
}

TEST_P(WaveQueryTest, EachQueryReplacesTheRows) {
  addRow(1, 1, 2, 3, "2024-02-29 13:45:10.000", 0, 0, 0, "X''");
  addRow(2, 9, 2, 3, "2024-02-29 13:45:10.000", 0, 0, 0, "X''");
  ASSERT_EQ(query(), 2);
  ASSERT_EQ(query(9), 1);
  ASSERT_EQ(state_.ZavoVivords.size(), 1u);
  EXPECT_EQ(state_.ZavoVivords[0].SerialNo, 2);
  EXPECT_EQ(query(5), 0);
  EXPECT_TRUE(state_.ZavoVivords.empty());
}

TEST_P(WaveQueryTest, NoRowSetGivesZero) {
  addRow(1, 1, 2, 3, "2024-02-29 13:45:10.000", 0, 0, 0, "X''");
  ASSERT_EQ(query(), 1);
  using db::DataType;
  using db::Direction;
  history().defineProcedure("RC_W_1",
                            {{"@stationid", DataType::Integer, Direction::Input},
                             {"@channelid", DataType::Integer, Direction::Input},
                             {"@meterid", DataType::Integer, Direction::Input},
                             {"@begintm", DataType::DateTime, Direction::Input},
                             {"@endtm", DataType::DateTime, Direction::Input}},
                            "DELETE FROM Calls WHERE @stationid = 1");
  EXPECT_EQ(query(), 0);
  EXPECT_TRUE(state_.ZavoVivords.empty());
  EXPECT_TRUE(db_.messages.empty());
}

TEST_P(WaveQueryTest, FailingProcedureGivesMinusOneAndTheMessage) {
  history().exec("DROP TABLE Waves");
  EXPECT_EQ(query(), -1);
  EXPECT_TRUE(state_.ZavoVivords.empty());
  ASSERT_EQ(db_.messages.size(), 1u);
  EXPECT_EQ(db_.messages[0].section, "Strings_RptDB");
  EXPECT_EQ(db_.messages[0].textKeys(), (std::vector<std::string>{"str5"}));
  EXPECT_TRUE(Shown(db_.messages[0]).starts_with("数据库操作错误："));
  EXPECT_EQ(db_.rpt.HistoryDataSet()->commandType(), db::CommandType::Text);
  EXPECT_TRUE(FreeForOthers(kHistoryDataSetMutexName));
}

// A row that does not convert ends the copying: the array keeps its length
// and the rows copied whole before it; the failing row (its serial number was
// already read) and the rows after it stay zeroed.
TEST_P(WaveQueryTest, RowThatDoesNotConvertKeepsTheWholeRowsBeforeIt) {
  for (const int failing : {1, 2, 3}) {
    SCOPED_TRACE(failing);
    history().exec("DELETE FROM Waves");
    db_.messages.clear();
    for (int serial = 1; serial <= 3; ++serial)
      addRow(serial, 1, 2, 3, "2024-02-29 13:45:10.000", 7, 0, 0, fmt::format("X'0{}'", serial));
    history().exec(fmt::format("UPDATE Waves SET Millisecond = 'abc' WHERE SerialNo = {}", failing));

    EXPECT_EQ(query(), -1);
    ASSERT_EQ(state_.ZavoVivords.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const TWaveformRecord& row = state_.ZavoVivords[static_cast<std::size_t>(i)];
      if (i + 1 < failing) {
        EXPECT_EQ(row.SerialNo, i + 1);
        EXPECT_EQ(row.Millisecond, 7);
        EXPECT_EQ(row.WaveData, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(i + 1)}));
      } else {
        EXPECT_EQ(row.SerialNo, 0) << "row " << i;
        EXPECT_EQ(row.MeterID, 0u) << "row " << i;
        EXPECT_TRUE(row.WaveData.empty()) << "row " << i;
      }
    }
    ASSERT_EQ(db_.messages.size(), 1u);
    EXPECT_EQ(db_.messages[0].textKeys(), (std::vector<std::string>{"str5"}));
    EXPECT_TRUE(FreeForOthers(kHistoryDataSetMutexName));
  }
}

TEST_P(WaveQueryTest, MutexTimeOutEmptiesTheRows) {
  addRow(1, 1, 2, 3, "2024-02-29 13:45:10.000", 0, 0, 0, "X''");
  ASSERT_EQ(query(), 1);
  db_.rpt.setMutexTimeout(10);
  MutexHolder other(kHistoryDataSetMutexName);
  ASSERT_TRUE(other.holding());
  EXPECT_EQ(query(), -1);
  EXPECT_TRUE(state_.ZavoVivords.empty());
  EXPECT_TRUE(db_.messages.empty());
}

TEST_P(WaveQueryTest, OtherModesGiveZeroedRows) {
  addRow(1, 1, 2, 3, "2024-02-29 13:45:10.000", 9, 0, 0, "X'01'");
  state_.RecordSourceMode = kSourceFolder;
  ASSERT_EQ(query(), 1);
  ASSERT_EQ(state_.ZavoVivords.size(), 1u);
  EXPECT_EQ(state_.ZavoVivords[0].SerialNo, 0);
  EXPECT_EQ(state_.ZavoVivords[0].Millisecond, 0);
  EXPECT_TRUE(state_.ZavoVivords[0].WaveData.empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, WaveQueryTest, ::testing::Values(kSourcePowerQuality, kSourceAutomation),
                         [](const ::testing::TestParamInfo<std::int32_t>& param) {
                           return param.param == kSourcePowerQuality ? "Mode12" : "Mode21";
                         });

TEST(WaveQuerySetUpTest, BeforeAnySetUp) {
  RptDB rpt;
  DbState state;
  state.ZavoVivords.resize(2);
  EXPECT_EQ(QueryZavoVivords(rpt, state, 1, 2, 3, 0.0, 0.0), -1);
  EXPECT_TRUE(state.ZavoVivords.empty());
}

}  // namespace
}  // namespace stationdb
