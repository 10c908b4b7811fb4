// Names, counts, report items, operators, paths, time and the cache files.

#include <algorithm>
#include <cstring>

#include "clientif/clientlib.h"
#include "clientif/timeconv.h"
#include "common/gbk.h"

namespace velk {
namespace {

struct ItemLayout {
  std::size_t countOffset;
  int maximum;
  std::size_t records;
  std::size_t recordSize;
  std::size_t name;
};

ItemLayout layoutOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Control:
      return {rptname::kControlCount, rptname::kMaxControls, rptname::kControls, sizeof(TReportItem),
              rptname::kItemName};
    case ItemKind::Dayrpt:
      return {rptname::kDayrptCount, rptname::kMaxDayrpts, rptname::kDayrpts, sizeof(TReportItem), rptname::kItemName};
    case ItemKind::Engrpt:
      return {rptname::kEngrptCount, rptname::kMaxEngrpts, rptname::kEngrpts, sizeof(TReportItem), rptname::kItemName};
    case ItemKind::Calc:
      break;
  }
  return {rptname::kCalcCount, rptname::kMaxCalcs, rptname::kCalcs, sizeof(TCalcItem), rptname::kCalcName};
}

std::optional<TOperatorRec> operatorAt(ByteView table, int index) {
  return table.load<TOperatorRec>(password::kRecords + sizeof(TOperatorRec) * static_cast<std::size_t>(index));
}

std::string operatorName(const TOperatorRec& record) { return FieldText(record.name, sizeof record.name); }

}  // namespace

std::optional<std::int32_t> ClientLibrary::itemCount(ByteView report, ItemKind kind) const {
  const ItemLayout layout = layoutOf(kind);
  const auto count = report.load<std::int32_t>(layout.countOffset);
  if (!count || *count < 0 || *count > layout.maximum) return std::nullopt;
  return count;
}

std::optional<std::int32_t> ClientLibrary::reportItemCount(int slot, ItemKind kind) {
  std::optional<std::int32_t> count;
  readReport(slot, [&](ByteView view) {
    count = itemCount(view, kind);
    return count.has_value();
  });
  return count;
}

// count = min(count, total - first) records from item first; first must lie
// in 0..total-1.
bool ClientLibrary::clipItems(int slot, ItemKind kind, std::int32_t first, std::int32_t* count, std::int32_t* total,
                              const std::function<void(ByteView, std::size_t, int)>& copy) {
  if (count == nullptr || total == nullptr || *count < 0) return false;
  return readReport(slot, [&](ByteView view) {
    const auto stored = itemCount(view, kind);
    if (!stored || first < 0 || first >= *stored) return false;
    const ItemLayout layout = layoutOf(kind);
    const std::int32_t n = std::min(*count, *stored - first);
    for (int i = 0; i < n; ++i) copy(view, layout.records + layout.recordSize * static_cast<std::size_t>(first + i), i);
    *count = n;
    *total = *stored;
    return true;
  });
}

bool ClientLibrary::readItemNames(ItemKind kind, std::int32_t slot, std::int32_t first, std::int32_t* count,
                                  std::int32_t* total, char* names) {
  if (names == nullptr) return false;
  const auto lock = openSlot(slot);
  if (!lock) return false;
  const std::size_t name = layoutOf(kind).name;
  return clipItems(slot, kind, first, count, total, [&](ByteView view, std::size_t record, int i) {
    view.copy(record + name, names + 128 * static_cast<std::size_t>(i), 128);
  });
}

bool ClientLibrary::readItemIds(ItemKind kind, std::int32_t slot, std::int32_t first, std::int32_t* count,
                                std::int32_t* total, std::int32_t* ids) {
  if (ids == nullptr) return false;
  const auto lock = openSlot(slot);
  if (!lock) return false;
  return clipItems(slot, kind, first, count, total,
                   [&](ByteView view, std::size_t record, int i) { view.copy(record, ids + i, 4); });
}

std::string ClientLibrary::GetScadaName(std::int32_t slot, std::int32_t standby) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  const auto& entries = standby == 0 ? table_.main : table_.standby;
  return FieldText(entries[static_cast<std::size_t>(slot)].node.nodeName, 128);
}

std::string ClientLibrary::GetNodeName(std::int32_t node) {
  if (!attached()) return std::string();
  const std::lock_guard guard(netListLock_);
  if (node < 0 || node >= lastNetList_.nodeCount) return std::string();
  return FieldText(lastNetList_.nodes[static_cast<std::size_t>(node)].nodeName, 128);
}

std::string ClientLibrary::GetChannelName(std::int32_t slot, std::int32_t channel) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  const auto head = readChead(slot);
  if (!head || channel < 0 || channel >= ChannelCount(*head)) return std::string();
  return ChannelName(*head, channel);
}

std::string ClientLibrary::GetMeterName(std::int32_t slot, std::int32_t channel, std::int32_t meter) {
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  std::string name;
  readMeter(slot, channel, meter,
            [&](ByteView, const MeterRecord& record) { name = FieldText(record.head.meterName, 128); });
  return name;
}

std::string ClientLibrary::GetparaName(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t point,
                                       std::int32_t kind) {
  if (point < 0) return std::string();
  const auto lock = openSlot(slot);
  if (!lock) return std::string();
  std::string name;
  if (kind == 0) {
    // The stored total, as the client has it now (not the list of the last build).
    const auto total = reportItemCount(slot, ItemKind::Calc);
    if (!total || point >= *total) return std::string();
    readReport(slot, [&](ByteView view) {
      const std::size_t record = rptname::kCalcs + sizeof(TCalcItem) * static_cast<std::size_t>(point);
      name = view.text(record + rptname::kCalcName, 128).value_or(std::string());
      return true;
    });
  } else if (kind == 1 || kind == 2) {
    readMeter(slot, channel, meter, [&](ByteView view, const MeterRecord& record) {
      const int count = kind == 1 ? record.head.analogCount : record.head.statusCount;
      if (point < count) name = PointName(view, record, kind == 1 ? point : record.head.analogCount + point);
    });
  }
  return name;
}

std::int32_t ClientLibrary::GetScadaCount() {
  const auto lock = openAttached();
  if (!lock) return -1;
  return table_.stationCount;
}

std::int32_t ClientLibrary::GetChannelCount(std::int32_t slot) {
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  const auto head = readChead(slot);
  return head ? ChannelCount(*head) : -1;
}

std::int32_t ClientLibrary::GetMeterCount(std::int32_t slot, std::int32_t channel) {
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  const auto head = readChead(slot);
  if (!head || channel < 0 || channel >= ChannelCount(*head)) return -1;
  return MeterCount(*head, channel);
}

std::int32_t ClientLibrary::GetParaCount(std::int32_t slot, std::int32_t channel, std::int32_t meter,
                                         std::int32_t kind) {
  if ((kind != 1 && kind != 2)) return -1;
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  std::int32_t count = -1;
  readMeter(slot, channel, meter, [&](ByteView, const MeterRecord& record) {
    count = kind == 1 ? record.head.analogCount : record.head.statusCount;
  });
  return count;
}

std::int32_t ClientLibrary::IsParaValid(std::int32_t kind, std::int32_t slot, std::int32_t channel, std::int32_t meter,
                                        std::int32_t point) {
  if (point < 0) return 0;
  const auto lock = openSlot(slot);
  if (!lock) return 0;
  bool valid = false;
  if (kind == 0) {
    const auto total = reportItemCount(slot, ItemKind::Calc);
    valid = total && point < *total;
  } else if (kind == 1 || kind == 2) {
    readMeter(slot, channel, meter, [&](ByteView, const MeterRecord& record) {
      valid = point < (kind == 1 ? record.head.analogCount : record.head.statusCount);
    });
  }
  return valid ? -1 : 0;
}

std::int32_t ClientLibrary::IsParaCodeValid(std::int32_t a, std::int32_t b) {
  return a != 0 && a != -1 && b != 0 && b != -1 ? -1 : 0;
}

std::string ClientLibrary::GetControlName(std::int32_t slot, std::int32_t control) {
  char name[129] = {};
  std::int32_t count = 1;
  std::int32_t total = 0;
  if (!readItemNames(ItemKind::Control, slot, control, &count, &total, name) || count != 1) return std::string();
  return FieldText(name, 128);
}

std::int32_t ClientLibrary::GetControlCount(std::int32_t slot) {
  const auto lock = openSlot(slot);
  if (!lock) return 0;
  std::int32_t count = 0;
  std::int32_t total = 0;
  return clipItems(slot, ItemKind::Control, 0, &count, &total, [](ByteView, std::size_t, int) {}) ? total : 0;
}

std::string ClientLibrary::vlogAnsi(int number) const { return common::Utf8ToGbk(lang::vlogText(engine_, number)); }

std::string ClientLibrary::GetMeasTypeName(std::int32_t kind) const {
  return vlogAnsi(kind >= 0 && kind <= 3 ? 32 + kind : 36);
}

std::string ClientLibrary::GetControlTypeName(std::int32_t kind) const {
  return kind >= 0 && kind <= 7 ? vlogAnsi(37 + kind) : std::string();
}

std::int32_t ClientLibrary::GetDayrptCount(std::int32_t slot) {
  const std::shared_lock lock(stateLock_);
  return reportItemCount(slot, ItemKind::Dayrpt).value_or(0);
}

std::int32_t ClientLibrary::GetEngrptCount(std::int32_t slot) {
  const std::shared_lock lock(stateLock_);
  return reportItemCount(slot, ItemKind::Engrpt).value_or(0);
}

bool ClientLibrary::reportItem(int slot, ItemKind kind, std::int32_t index, TReportItem* buffer) {
  if (buffer == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return readReport(slot, [&](ByteView view) {
    const auto count = itemCount(view, kind);
    if (!count || index < 0 || index >= *count) return false;
    const ItemLayout layout = layoutOf(kind);
    return view.copy(layout.records + layout.recordSize * static_cast<std::size_t>(index), buffer, sizeof(TReportItem));
  });
}

bool ClientLibrary::GetDayrptInfo(std::int32_t slot, std::int32_t index, TReportItem* buffer) {
  return reportItem(slot, ItemKind::Dayrpt, index, buffer);
}

bool ClientLibrary::GetEngrptInfo(std::int32_t slot, std::int32_t index, TReportItem* buffer) {
  return reportItem(slot, ItemKind::Engrpt, index, buffer);
}

std::vector<ClientLibrary::CalcEntry> ClientLibrary::calcItems(std::int32_t slot) {
  std::vector<CalcEntry> items;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return items;
  const std::int32_t count = stations_[static_cast<std::size_t>(slot)].calcCount;
  readReport(slot, [&](ByteView view) {
    for (int i = 0; i < count; ++i) {
      const std::size_t record = rptname::kCalcs + sizeof(TCalcItem) * static_cast<std::size_t>(i);
      items.push_back({view.load<std::int32_t>(record).value_or(0),
                       view.text(record + rptname::kCalcName, 128).value_or(std::string())});
    }
    return true;
  });
  return items;
}

// --- operators: the table is read again on every call ---

std::int32_t ClientLibrary::GetOperatorCount() {
  const auto lock = openAttached();
  if (!lock) return -1;
  const auto count = viewOf(passwordMem_.get()).load<std::int32_t>(password::kCount);
  return count ? std::clamp<std::int32_t>(*count, 0, kMaxOperators) : -1;
}

std::vector<std::string> ClientLibrary::operatorNames() {
  std::vector<std::string> names;
  const std::int32_t count = GetOperatorCount();
  const std::shared_lock lock(stateLock_);
  const ByteView view = viewOf(passwordMem_.get());
  for (int i = 0; i < count; ++i) {
    const auto record = operatorAt(view, i);
    names.push_back(record ? operatorName(*record) : std::string());
  }
  return names;
}

std::string ClientLibrary::GetOperatorName(std::int32_t index) {
  const std::int32_t count = GetOperatorCount();
  if (index < 0 || index >= count) return std::string();
  const std::shared_lock lock(stateLock_);
  const auto record = operatorAt(viewOf(passwordMem_.get()), index);
  return record ? operatorName(*record) : std::string();
}

std::int32_t ClientLibrary::get_operator_DTYPE(std::int32_t index) {
  const std::int32_t count = GetOperatorCount();
  if (index < 0 || index >= count) return 0;
  const std::shared_lock lock(stateLock_);
  const auto record = operatorAt(viewOf(passwordMem_.get()), index);
  return record ? record->DTYPE : 0;
}

std::int32_t ClientLibrary::check_operator_pass(const char* name, const char* passwordText) {
  if (state_.load() <= 0 || name == nullptr || passwordText == nullptr) return -1;
  const std::int32_t count = GetOperatorCount();
  const std::shared_lock lock(stateLock_);
  const ByteView view = viewOf(passwordMem_.get());
  for (int i = 0; i < count; ++i) {
    const auto record = operatorAt(view, i);
    if (record && operatorName(*record) == name &&
        FieldText(record->password, sizeof record->password) == passwordText)
      return i;
  }
  return -1;
}

// --- paths, time, configuration state ---

std::string ClientLibrary::get_working_path() const { return config_.hostFolder; }

std::string ClientLibrary::GetGraphPath() {
  return attached() ? config_.hostFolder + "CfgCache/Graph/" : std::string();
}

std::string ClientLibrary::GetDeviceLIBPath() {
  return attached() ? config_.hostFolder + "CfgCache/DeviceLibrary/" : std::string();
}

std::int32_t ClientLibrary::rchtime(const SYSTEMTIME& time) { return attached() ? SecondsSince1970(time) : 0; }

std::int32_t ClientLibrary::chtime(std::uint32_t seconds, SYSTEMTIME* time) {
  if (!attached() || time == nullptr) return 0;
  CalendarFromSeconds(seconds, *time);
  return 1;
}

bool ClientLibrary::read_velklog_deskterm_exchangemsg(char* buffer, std::int32_t size) {
  if (buffer == nullptr || size <= 0) return false;
  const std::shared_lock lock(stateLock_);
  if (!usable(mainHandle_.get())) return false;
  const std::string message = exchangeMessage();
  std::memset(buffer, 0, static_cast<std::size_t>(size));
  std::memcpy(buffer, message.data(), GbkCutLength(message, static_cast<std::size_t>(size) - 1));
  return true;
}

bool ClientLibrary::get_stationcfgshare_updatetime(std::uint8_t* buffer16) {
  if (buffer16 == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return viewOf(mainHandle_.get()).copy(mainhandle::kUpdateTime, buffer16, mainhandle::kUpdateTimeSize);
}

bool ClientLibrary::get_stationcfgshare_setupcount(std::int32_t* count) {
  if (count == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return viewOf(mainHandle_.get()).copy(mainhandle::kSetupCount, count, 4);
}

// --- device-type cache and connection settings ---

std::string ClientLibrary::get_regist_meter_str(std::int32_t id) {
  const auto lock = openAttached();
  if (!lock) return std::string();
  return deviceTypes_->typeText(id, 0);
}

std::string ClientLibrary::get_regist_mlog_str(std::int32_t id) {
  const auto lock = openAttached();
  if (!lock) return std::string();
  return deviceTypes_->typeText(id, 2);
}

std::int32_t ClientLibrary::get_meter_unit(const char* name) {
  if (name == nullptr) return 0;
  const auto lock = openAttached();
  if (!lock) return 0;
  return deviceTypes_->idOfName(name);
}

bool ClientLibrary::GetDBConnInfo(char* suffix, char* mainConnection, char* standbyConnection) {
  if (suffix == nullptr || mainConnection == nullptr || standbyConnection == nullptr) return false;
  const auto info = ReadDbConnFile(std::filesystem::path(config_.hostFolder) / kDbConnFile);
  if (!info) return false;
  std::memcpy(suffix, info->suffix.c_str(), info->suffix.size() + 1);
  std::memcpy(mainConnection, info->main.c_str(), info->main.size() + 1);
  std::memcpy(standbyConnection, info->standby.c_str(), info->standby.size() + 1);
  return true;
}

}  // namespace velk
