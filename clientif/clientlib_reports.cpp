// The items of a station's report section: control points, day and energy
// report items and calculated items, their names, ids and counts.

#include <algorithm>

#include "clientif/clientlib.h"

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

}  // namespace velk
