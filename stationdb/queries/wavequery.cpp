#include "stationdb/queries/wavequery.h"

#include <exception>
#include <string>
#include <utility>

namespace stationdb {
namespace {

// Column positions of a waveform row; a negative position is not read.
struct WaveColumns {
  int serialNo;
  int stationID;
  int channelID;
  int meterID;
  int triggerTime;
  int millisecond;
  int auxValue;
  int auxWord;
  int waveData;
};
constexpr WaveColumns kColumns12{0, 1, 2, 3, 4, 5, -1, 7, 8};
constexpr WaveColumns kColumns21{0, 3, 4, 5, 1, 2, 6, 7, 9};

db::Value idValue(std::int32_t id) { return id < 0 ? db::Value() : db::Value::integer(id); }
db::Value timeValue(common::TDateTime when) { return when == 0.0 ? db::Value() : db::Value::dateTime(when); }

void addQueryParameters(db::Parameters& p, std::int32_t station, std::int32_t channel, std::int32_t meter,
                        common::TDateTime begin, common::TDateTime end) {
  using db::DataType;
  using db::Direction;
  p.add("@stationid", DataType::Integer, Direction::Input, 0, idValue(station));
  p.add("@channelid", DataType::Integer, Direction::Input, 0, idValue(channel));
  p.add("@meterid", DataType::Integer, Direction::Input, 0, idValue(meter));
  p.add("@begintm", DataType::DateTime, Direction::Input, 0, timeValue(begin));
  p.add("@endtm", DataType::DateTime, Direction::Input, 0, timeValue(end));
}

// An identifier column through a 64-bit integer, keeping its low 32 bits.
std::uint32_t idColumn(const db::Dataset& dataset, int position) {
  return static_cast<std::uint32_t>(dataset.field(position).asInt64());
}

void readRecord(const db::Dataset& dataset, const WaveColumns& c, TWaveformRecord& record) {
  record.SerialNo = dataset.field(c.serialNo).asInt32();
  record.StationID = idColumn(dataset, c.stationID);
  record.ChannelID = idColumn(dataset, c.channelID);
  record.MeterID = idColumn(dataset, c.meterID);
  record.TriggerTime = dataset.field(c.triggerTime).asDateTime();
  record.Millisecond = dataset.field(c.millisecond).asInt32();
  if (c.auxValue >= 0) record.AuxValue = dataset.field(c.auxValue).asInt32();
  record.AuxWord = static_cast<std::uint16_t>(dataset.field(c.auxWord).asInt32());
  record.WaveData = dataset.field(c.waveData).asBytes();
}

const WaveColumns* columnsOf(std::int32_t mode) {
  if (mode == kSourcePowerQuality) return &kColumns12;
  if (mode == kSourceAutomation) return &kColumns21;
  return nullptr;
}

// Opens the query and copies its rows; the result as QueryZavoVivords gives it.
std::int32_t readRecords(db::Dataset& dataset, DbState& state) {
  dataset.open();
  if (!dataset.active()) return 0;
  const int count = dataset.recordCount();
  if (count <= 0) return count;
  dataset.moveFirst();
  state.ZavoVivords.resize(static_cast<std::size_t>(count));
  const WaveColumns* columns = columnsOf(state.RecordSourceMode);
  for (auto& record : state.ZavoVivords) {
    // A row that fails part way is not kept half filled: it stays zeroed.
    if (columns != nullptr) {
      TWaveformRecord row;
      readRecord(dataset, *columns, row);
      record = std::move(row);
    }
    dataset.moveNext();
  }
  return count;
}

// Closes the dataset and sets it back to command texts however the query ends.
class QueryCleanup {
 public:
  explicit QueryCleanup(db::Dataset& dataset) : dataset_(dataset) {}
  ~QueryCleanup() {
    dataset_.close();
    dataset_.setCommandType(db::CommandType::Text);
  }
  QueryCleanup(const QueryCleanup&) = delete;
  QueryCleanup& operator=(const QueryCleanup&) = delete;

 private:
  db::Dataset& dataset_;
};

}  // namespace

std::int32_t QueryZavoVivords(RptDB& rpt, DbState& state, std::int32_t station, std::int32_t channel,
                              std::int32_t meter, common::TDateTime begin, common::TDateTime end) {
  state.ZavoVivords.clear();
  db::Dataset* dataset = rpt.HistoryDataSet();
  if (dataset == nullptr) return kDbFailed;
  const MutexHold hold(rpt.HistoryDataSetMutex(), rpt.mutexTimeout());
  if (!hold.obtained()) return kDbFailed;
  const QueryCleanup cleanup(*dataset);
  dataset->close();
  dataset->setCommandType(db::CommandType::StoredProc);
  dataset->setCommandText(std::string(kWaveformRecordProc));
  dataset->parameters().clear();
  addQueryParameters(dataset->parameters(), station, channel, meter, begin, end);
  try {
    return readRecords(*dataset, state);
  } catch (const std::exception& error) {
    rpt.report(DatabaseErrorMessage("str5", error));
    return kDbFailed;
  }
}

}  // namespace stationdb
