#include "tools/standin_client/standin.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "clientif/sharedint.h"
#include "common/gbk.h"

namespace standin {

using namespace velk;

namespace {

std::string gbk(std::string_view utf8) { return common::Utf8ToGbk(utf8); }

void writeText(std::uint8_t* field, std::size_t n, std::string_view utf8) {
  SetFieldText(reinterpret_cast<char*>(field), n, gbk(utf8));
}

template <class T>
void store(std::uint8_t* base, std::size_t offset, const T& value) {
  std::memcpy(base + offset, &value, sizeof value);
}

std::string stationName(std::string_view base, std::int32_t id) {
  const auto name = StationObjectName(base, id);
  if (!name) throw std::invalid_argument("station id gives no object name");
  return *name;
}

std::size_t meterRecordSize(const Meter& meter) {
  return commhead::kMeterHeadSize + commhead::kPointSize * (meter.analog.size() + meter.status.size());
}

std::size_t commHeadSize(const Station& station) {
  std::size_t size = commhead::kMeters;
  for (const Channel& channel : station.channels)
    for (const Meter& meter : channel.meters) size += meterRecordSize(meter);
  return size;
}

void writeMeter(std::uint8_t* base, std::size_t offset, const Meter& meter) {
  TMeterHead head{};
  head.meterId = meter.id;
  head.field2 = meter.field2;
  head.field3 = meter.field3;
  head.field4 = meter.field4;
  SetFieldText(head.meterName, sizeof head.meterName, gbk(meter.name));
  head.analogCount = static_cast<std::int16_t>(meter.analog.size());
  head.statusCount = static_cast<std::int16_t>(meter.status.size());
  head.field5 = meter.field5;
  store(base, offset, head);
  const std::size_t p = meter.analog.size() + meter.status.size();
  std::size_t ids = offset + commhead::kMeterHeadSize;
  const std::size_t names = ids + 4 * p;
  const std::size_t bytes = names + 128 * p;
  const std::size_t shorts1 = bytes + p;
  const std::size_t values1 = shorts1 + 6 * p;
  std::size_t i = 0;
  auto column = [&](std::int32_t id, const std::string& name, double value) {
    store(base, ids + 4 * i, id);
    writeText(base + names + 128 * i, 128, name);
    base[bytes + i] = static_cast<std::uint8_t>(i + 1);
    store(base, shorts1 + 2 * i, static_cast<std::int16_t>(i + 10));
    store(base, shorts1 + 2 * p + 2 * i, static_cast<std::int16_t>(i + 20));
    store(base, shorts1 + 4 * p + 2 * i, static_cast<std::int16_t>(i + 30));
    store(base, values1 + 8 * i, value);
    store(base, values1 + 8 * p + 8 * i, value * 2);
    ++i;
  };
  for (const AnalogPoint& point : meter.analog) column(point.id, point.name, point.value);
  for (const StatusPoint& point : meter.status) column(point.id, point.name, point.value);
}

// The realtime tables, then every meter's analog values, status bytes,
// the calculated values and the control lock bytes.
std::size_t realtimeSize(const Station& station) {
  std::size_t size = realtime::kTablesEnd;
  for (const Channel& channel : station.channels)
    for (const Meter& meter : channel.meters) size += 8 * meter.analog.size() + meter.status.size();
  return size + 8 * station.calcs.size() + station.controls.size();
}

void writeRealtime(std::uint8_t* base, std::size_t total, const Station& station) {
  std::memset(base, 0, realtime::kTablesEnd);
  store(base, realtime::kTotalSize, static_cast<std::int32_t>(total));
  std::size_t next = realtime::kTablesEnd;
  for (std::size_t c = 0; c < station.channels.size(); ++c) {
    const auto& meters = station.channels[c].meters;
    for (std::size_t m = 0; m < meters.size() && m < 128; ++m) {
      const std::size_t x = realtime::meterIndex(static_cast<int>(c), static_cast<int>(m));
      const Meter& meter = meters[m];
      store(base, realtime::kAnalogCounts + 2 * x, static_cast<std::int16_t>(meter.analog.size()));
      store(base, realtime::kStatusCounts + 2 * x, static_cast<std::int16_t>(meter.status.size()));
      if (!meter.analog.empty()) {
        store(base, realtime::kAnalogOffsets + 4 * x, static_cast<std::int32_t>(next));
        for (const AnalogPoint& point : meter.analog) {
          store(base, next, point.value);
          next += 8;
        }
      }
      if (!meter.status.empty()) {
        store(base, realtime::kStatusOffsets + 4 * x, static_cast<std::int32_t>(next));
        for (const StatusPoint& point : meter.status) base[next++] = point.value;
      }
    }
  }
  store(base, realtime::kCalcOffset, static_cast<std::int32_t>(next));
  for (const CalcItem& calc : station.calcs) {
    store(base, next, calc.value);
    next += 8;
  }
  store(base, realtime::kLockOffset, static_cast<std::int32_t>(next));
  for (const Control& control : station.controls) base[next++] = control.lock;
}

void writeItems(std::uint8_t* base, std::size_t countOffset, std::size_t records, const std::vector<Item>& items) {
  store(base, countOffset, static_cast<std::int32_t>(items.size()));
  for (std::size_t i = 0; i < items.size(); ++i) {
    TReportItem item{};
    item.id = items[i].id;
    std::memset(item.reserved, static_cast<int>(i + 1), sizeof item.reserved);
    SetFieldText(item.name, sizeof item.name, gbk(items[i].name));
    store(base, records + sizeof item * i, item);
  }
}

std::vector<Item> controlItems(const Station& station) {
  std::vector<Item> items;
  for (const Control& control : station.controls) items.push_back({control.id, control.name});
  return items;
}

}  // namespace

StandinClient::StandinClient(const Scenario& scenario, Options options) : options_(options) {
  if (options_.instance) instance_ = std::make_unique<ipc::TMutex>(TVErirUri(kInstanceName).mutexName());
  started_ = std::make_unique<ipc::TEvent>(kInitEventName, true, false, true);
  finalizing_ = std::make_unique<ipc::TEvent>(kFinalizeEventName, true, false, true);
  publishGlobals(scenario);
  for (const Station& station : scenario.stations) publishStation(station);
}

StandinClient::~StandinClient() = default;

// A section of this name that another process still holds is opened
// again; it must then be large enough. Its contents stay: they hold what
// others wrote before this client started (the attach slots of modules
// that are attached, queued control packets). New sections start zeroed.
ipc::TSharedMem& StandinClient::create(const std::string& name, std::size_t size) {
  sections_.erase(name);
  auto memory = std::make_unique<ipc::TSharedMem>(name, true, static_cast<std::uint32_t>(size));
  if (!memory->Ok()) throw std::runtime_error("cannot create section " + name);
  ipc::TSharedMem& result = *memory;
  sections_[name] = std::move(memory);
  return result;
}

ipc::TSharedMem* StandinClient::section(std::string_view name) {
  const auto found = sections_.find(name);
  return found == sections_.end() ? nullptr : found->second.get();
}

ipc::TSharedMem* StandinClient::stationSection(std::string_view base, std::int32_t stationId) {
  return section(stationName(base, stationId));
}

void StandinClient::publishGlobals(const Scenario& scenario) {
  create(std::string(kMainHandleName), mainhandle::kSize);
  create(std::string(kScadaServerName), scadaserver::kSize);
  create(std::string(kCtrlPackName), ctrlpack::kSize);
  create(std::string(kSysEveName), syseve::kSize);
  create(std::string(kNodeStatusName), nodestatus::kSize);
  for (std::string_view name :
       {kScadaServerMutexName, kNetListMutexName, kCtrlPackMutexName, kSysEveMutexName, kNodeStatusMutexName})
    mutexes_.push_back(std::make_unique<ipc::TMutex>(name));
  std::uint8_t* main = bytes(kMainHandleName);
  store(main, mainhandle::kSetupCount, scenario.setupCount);
  std::memcpy(main + mainhandle::kUpdateTime, scenario.updateTime.data(), scenario.updateTime.size());
  setExchangeMessage(scenario.exchangeMessage);
  if (options_.netList) {
    create(std::string(kNetListName), netlist::kSize);
    writeNetList(scenario);
  }
  if (options_.password) {
    create(std::string(kPasswordName), password::kSize);
    publishOperators(scenario);
  }
  publishEvents(scenario);
}

void StandinClient::publishNetList(const Scenario& scenario) {
  writeNetList(scenario);
  std::uint8_t* main = bytes(kMainHandleName);
  std::int32_t count = 0;
  std::memcpy(&count, main + mainhandle::kSetupCount, 4);
  store(main, mainhandle::kSetupCount, count + 1);
}

void StandinClient::writeNetList(const Scenario& scenario) {
  std::uint8_t* list = bytes(kNetListName);
  std::memset(list, 0, netlist::kSize);
  const auto nodeCount = static_cast<std::int32_t>(std::min<std::size_t>(scenario.nodes.size(), kMaxNodes));
  const std::int32_t stationCount =
      scenario.stationCount >= 0 ? scenario.stationCount : static_cast<std::int32_t>(scenario.stations.size());
  store(list, netlist::kNodeCount, nodeCount);
  store(list, netlist::kStationCount, stationCount);
  for (std::int32_t i = 0; i < nodeCount; ++i) {
    const Node& node = scenario.nodes[static_cast<std::size_t>(i)];
    TNetNode record{};
    record.nodeId = node.id;
    SetFieldText(record.nodeName, sizeof record.nodeName, gbk(node.name));
    SetFieldText(record.computerName, sizeof record.computerName, gbk(node.computer));
    record.role = node.role;
    record.state = node.state;
    record.stationId = node.stationId;
    record.stationSlot = -1;  // the library numbers the slots itself
    store(list, netlist::kNodes + sizeof record * static_cast<std::size_t>(i), record);
  }
  for (const Station& station : scenario.stations) stations_[station.id] = station;
  publishNodeStatus(scenario);
}

void StandinClient::publishNodeStatus(const Scenario& scenario) {
  std::uint8_t* status = bytes(kNodeStatusName);
  std::memset(status, 0, nodestatus::kSize);
  for (std::size_t i = 0; i < scenario.nodes.size() && i < kMaxNodes; ++i) {
    const Node& node = scenario.nodes[i];
    const std::size_t record = nodestatus::kRecordSize * i;
    store(status, record + nodestatus::kNodeState, node.nodeState);
    store(status, record + nodestatus::kSecondState, node.secondState);
    const auto station = stations_.find(node.stationId);
    if (node.stationId == 0 || station == stations_.end()) continue;
    const auto& channels = station->second.channels;
    for (std::size_t k = 0; k < channels.size() && k < 128; ++k)
      store(status, record + nodestatus::kChannelStates + 4 * k, channels[k].state);
  }
}

void StandinClient::publishOperators(const Scenario& scenario) {
  std::uint8_t* table = bytes(kPasswordName);
  store(table, password::kCount, static_cast<std::int32_t>(scenario.operators.size()));
  for (std::size_t i = 0; i < scenario.operators.size() && i < kMaxOperators; ++i) {
    const Operator& op = scenario.operators[i];
    TOperatorRec record{};
    SetFieldText(record.name, sizeof record.name, gbk(op.name));
    SetFieldText(record.password, sizeof record.password, gbk(op.password));
    record.DTYPE = op.dtype;
    store(table, password::kRecords + sizeof record * i, record);
  }
}

void StandinClient::publishEvents(const Scenario& scenario) {
  std::uint8_t* ring = bytes(kSysEveName);
  store(ring, syseve::kWriteIndex, scenario.eventWriteIndex);
  for (int i = 0; i < syseve::kRingSize; ++i)
    std::memset(ring + syseve::kRing + sizeof(TSysEvent) * static_cast<std::size_t>(i), EventByte(i),
                sizeof(TSysEvent));
}

void StandinClient::publishStation(const Station& station) {
  stations_[station.id] = station;
  const std::string rptName = stationName(kRptNameName, station.id);
  ipc::TSharedMem* report = section(rptName);
  std::uint8_t* rpt = report != nullptr ? report->View() : create(rptName, rptname::kSize).View();
  writeItems(rpt, rptname::kControlCount, rptname::kControls, controlItems(station));
  writeItems(rpt, rptname::kDayrptCount, rptname::kDayrpts, station.dayrpts);
  writeItems(rpt, rptname::kEngrptCount, rptname::kEngrpts, station.engrpts);
  store(rpt, rptname::kCalcCount, static_cast<std::int32_t>(station.calcs.size()));
  for (std::size_t i = 0; i < station.calcs.size(); ++i) {
    TCalcItem item{};
    item.id = station.calcs[i].id;
    SetFieldText(item.name, sizeof item.name, gbk(station.calcs[i].name));
    store(rpt, rptname::kCalcs + sizeof item * i, item);
  }

  const std::size_t headSize = commHeadSize(station);
  const std::string headName = stationName(kCommHeadName, station.id);
  std::uint8_t* head = create(headName, headSize + options_.spareBytes).View();
  store(head, commhead::kTotalSize, static_cast<std::int32_t>(headSize));
  CHEAD table{};
  table.channelCount = static_cast<std::uint8_t>(std::min<std::size_t>(station.channels.size(), 128));
  std::size_t offset = commhead::kMeters;
  for (std::size_t c = 0; c < table.channelCount; ++c) {
    const Channel& channel = station.channels[c];
    std::memcpy(reinterpret_cast<std::uint8_t*>(&table) + offsetof(CHEAD, channelIds) + 4 * c, &channel.id, 4);
    table.meterCounts[c] = static_cast<std::uint8_t>(channel.meters.size());
    SetFieldText(table.channelNames[c], 128, gbk(channel.name));
    for (const Meter& meter : channel.meters) {
      writeMeter(head, offset, meter);
      offset += meterRecordSize(meter);
    }
  }
  store(head, commhead::kChead, table);

  const std::size_t valuesSize = realtimeSize(station);
  const std::string valuesName = stationName(kRealtimeName, station.id);
  writeRealtime(create(valuesName, valuesSize + options_.spareBytes).View(), valuesSize, station);
  mutexes_.push_back(std::make_unique<ipc::TMutex>(stationName(kRealtimeMutexName, station.id)));
}

void StandinClient::removeStation(std::int32_t stationId) {
  for (std::string_view base : {kCommHeadName, kRptNameName, kRealtimeName})
    sections_.erase(stationName(base, stationId));
  stations_.erase(stationId);
}

void StandinClient::setAnalogValue(std::int32_t stationId, int channel, int meter, int point, double value) {
  std::uint8_t* values = stationSection(kRealtimeName, stationId)->View();
  const std::size_t x = realtime::meterIndex(channel, meter);
  std::int32_t offset = 0;
  std::memcpy(&offset, values + realtime::kAnalogOffsets + 4 * x, 4);
  store(values, static_cast<std::size_t>(offset) + 8 * static_cast<std::size_t>(point), value);
}

void StandinClient::signalStarted() { started_->setEvent(); }

void StandinClient::setFinalizing(bool on) {
  if (on) {
    finalizing_->setEvent();
  } else {
    finalizing_->resetEvent();
  }
}

void StandinClient::setExchangeMessage(std::string_view utf8) {
  writeText(bytes(kMainHandleName) + mainhandle::kExchangeMessage, mainhandle::kExchangeMessageSize, utf8);
}

void StandinClient::setWriterFlag(int slot, std::int32_t value) {
  SharedInt(*section(kMainHandleName), mainhandle::kWriterFlags + 4 * static_cast<std::size_t>(slot)).store(value);
}

std::int32_t StandinClient::readerCount(int slot) {
  return SharedInt(*section(kMainHandleName), mainhandle::kReaderCounts + 4 * static_cast<std::size_t>(slot)).load();
}

std::int32_t StandinClient::attachSlot(int i) {
  return SharedInt(*section(kMainHandleName), mainhandle::kAttachSlots + 4 * static_cast<std::size_t>(i)).load();
}

std::int32_t StandinClient::clientCounter() {
  return SharedInt(*section(kScadaServerName), scadaserver::counter(kKindClient)).load();
}

std::int32_t StandinClient::queuedPackets() { return SharedInt(*section(kCtrlPackName), ctrlpack::kCount).load(); }

TCtrlPacket StandinClient::packet(int i) {
  TCtrlPacket packet{};
  std::memcpy(&packet, bytes(kCtrlPackName) + ctrlpack::kPackets + sizeof packet * static_cast<std::size_t>(i),
              sizeof packet);
  return packet;
}

void StandinClient::clearPackets() { SharedInt(*section(kCtrlPackName), ctrlpack::kCount).store(0); }

}  // namespace standin
