// The station model: reading the sections of a station, the net list, the
// running meter numbers and the searches between ids and positions.

#include <algorithm>

#include "clientif/clientlib.h"
#include "clientif/sharedint.h"

namespace velk {
namespace {

// The per-station read lock of VELK_MAIN_HANDLE. A reader counts itself in
// first and then looks at the writer flag, so that a writer that checks the
// count after setting its flag never misses it; while the flag is set the
// reader steps back out and waits. There is no time-out.
class StationReadLock {
 public:
  StationReadLock(const ipc::TSharedMem& main, int slot, const std::function<void()>& wait)
      : readers_(SharedInt(main, mainhandle::kReaderCounts + 4 * static_cast<std::size_t>(slot))) {
    const auto writer = SharedInt(main, mainhandle::kWriterFlags + 4 * static_cast<std::size_t>(slot));
    for (;;) {
      readers_.fetch_add(1);
      if (writer.load() <= 0) return;
      readers_.fetch_sub(1);
      wait();
    }
  }
  ~StationReadLock() { readers_.fetch_sub(1); }
  StationReadLock(const StationReadLock&) = delete;
  StationReadLock& operator=(const StationReadLock&) = delete;

 private:
  std::atomic_ref<std::int32_t> readers_;
};

// Lets a lock held shared go for one scope and takes it back at its end,
// also when a cancelled thread unwinds out of the scope: the caller's own
// guard then releases it exactly once.
class SharedLockLetGo {
 public:
  explicit SharedLockLetGo(WriterFirstLock& lock) : lock_(lock) { lock_.unlock_shared(); }
  ~SharedLockLetGo() { lock_.lock_shared(); }
  SharedLockLetGo(const SharedLockLetGo&) = delete;
  SharedLockLetGo& operator=(const SharedLockLetGo&) = delete;

 private:
  WriterFirstLock& lock_;
};

std::int32_t storedSize(const ipc::TSharedMem& section) { return SharedInt(section, 0).load(); }

bool viewFresh(const ipc::TSharedMem& section) {
  return section.Ok() && section.MappedSize() >= 4 && storedSize(section) == section.MappedSize();
}

// Maps the view again with the size the section states. A size the section
// does not hold fails (the view then keeps 4 bytes to read the size from).
bool remapToStoredSize(ipc::TSharedMem& section) {
  if ((!section.Ok() || section.MappedSize() < 4) && !section.Remap(4)) return false;
  const std::int32_t size = storedSize(section);
  if (size == section.MappedSize()) return true;
  if (size >= 4 && section.Remap(static_cast<std::uint32_t>(size))) return true;
  section.Remap(4);
  return false;
}

bool validPosition(int value) { return value >= 0 && value < kMaxChannels; }

}  // namespace

std::optional<NetList> ClientLibrary::readNetList() {
  auto list = CopyNetList(viewOf(netListMem_.get()));
  if (list) {
    const std::lock_guard guard(netListLock_);
    lastNetList_ = *list;
  }
  return list;
}

std::optional<NetList> ClientLibrary::netList() {
  const std::shared_lock lock(stateLock_);
  return readNetList();
}

StationTable ClientLibrary::stationTable() {
  const std::shared_lock lock(stateLock_);
  return table_;
}

bool ClientLibrary::readSized(int slot, SizedSection which, const std::function<bool(ByteView)>& read) {
  if (slot < 0 || slot >= kMaxStations || !usable(mainHandle_.get())) return false;
  // The operator client may keep its writer flag up for long: the wait for
  // it lets stateLock_ go, so that detaching and refreshing go on meanwhile.
  // (mainHandle_ stays once made; the station's objects are looked up after.)
  const StationReadLock guard(*mainHandle_, slot, [this] {
    const SharedLockLetGo letGo(stateLock_);
    sleep(config_.timing.readerPollMs);
  });
  StationObjects& station = stations_[static_cast<std::size_t>(slot)];
  ipc::TSharedMem* section = (which == SizedSection::CommHead ? station.commHead : station.realtime).get();
  if (section == nullptr) return false;
  std::shared_mutex& viewLock = viewLocks_[static_cast<std::size_t>(slot)];
  {
    const std::shared_lock shared(viewLock);
    if (viewFresh(*section)) return read(viewOf(section));
  }
  const std::unique_lock exclusive(viewLock);
  return remapToStoredSize(*section) && read(viewOf(section));
}

std::optional<CHEAD> ClientLibrary::readChead(int slot) {
  std::optional<CHEAD> head;
  readSized(slot, SizedSection::CommHead, [&](ByteView view) {
    head = CopyChead(view);
    return head.has_value();
  });
  return head;
}

bool ClientLibrary::readMeter(int slot, int channel, int meter,
                              const std::function<void(ByteView, const MeterRecord&)>& use) {
  return readSized(slot, SizedSection::CommHead, [&](ByteView view) {
    const auto head = CopyChead(view);
    if (!head) return false;
    const auto record = FindMeter(view, *head, channel, meter);
    if (!record) return false;
    use(view, *record);
    return true;
  });
}

bool ClientLibrary::readReport(int slot, const std::function<bool(ByteView)>& read) {
  if (slot < 0 || slot >= kMaxStations) return false;
  const ipc::TSharedMem* section = stations_[static_cast<std::size_t>(slot)].rptName.get();
  return section != nullptr && section->Ok() && read(viewOf(section));
}

bool ClientLibrary::read_CHEAD(CHEAD* buffer, std::int32_t slot) {
  if (buffer == nullptr || slot < 0 || slot >= kMaxStations) return false;
  const std::shared_lock lock(stateLock_);
  const ipc::TSharedMem* section = stations_[static_cast<std::size_t>(slot)].commHead.get();
  if (section == nullptr) return false;
  const std::shared_lock view(viewLocks_[static_cast<std::size_t>(slot)]);
  return viewOf(section).copy(commhead::kChead, buffer, sizeof(CHEAD));
}

bool ClientLibrary::read_meter_para(std::int32_t slot, std::int32_t channel, std::int32_t meter, TMeterPara* buffer) {
  if (buffer == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  return readMeter(slot, channel, meter,
                   [&](ByteView view, const MeterRecord& record) { ExpandMeter(view, record, *buffer); });
}

std::int32_t ClientLibrary::calc_meter_num(std::int32_t slot, std::int32_t channel, std::int32_t meter) {
  if (!validPosition(channel) || !validPosition(meter)) return -1;
  const auto lock = openSlot(slot);
  if (!lock) return -1;
  std::int32_t number = 0;
  for (int s = 0; s < slot; ++s)
    if (const auto head = readChead(s)) number += StationMeterTotal(*head);
  if (const auto head = readChead(slot)) {
    for (int c = 0; c < channel; ++c) number += MeterCount(*head, c);
    number += meter;
  }
  return number;
}

bool ClientLibrary::calc_sta_meter(std::int32_t slot, std::int32_t n, std::int32_t* channel, std::int32_t* meter) {
  if (channel == nullptr || meter == nullptr || n < 0) return false;
  const auto lock = openSlot(slot);
  if (!lock) return false;
  const auto head = readChead(slot);
  if (!head) return false;
  int before = 0;
  for (int c = 0; c < ChannelCount(*head); ++c) {
    const int count = MeterCount(*head, c);
    if (before + count > n) {
      *channel = c;
      *meter = n - before;
      return true;
    }
    before += count;
  }
  return false;
}

bool ClientLibrary::calc_station_sta_meter(std::int32_t n, std::int32_t* slot, std::int32_t* channel,
                                           std::int32_t* meter) {
  if (slot == nullptr || channel == nullptr || meter == nullptr || n < 0) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  int before = 0;
  for (int s = 0; s < table_.stationCount; ++s) {
    const auto head = readChead(s);
    if (!head) continue;
    for (int c = 0; c < ChannelCount(*head); ++c) {
      const int count = MeterCount(*head, c);
      if (before + count > n) {
        *slot = s;
        *channel = c;
        *meter = n - before;
        return true;
      }
      before += count;
    }
  }
  return false;
}

bool ClientLibrary::get_scada_number(std::int32_t* count) {
  if (count == nullptr) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  const auto list = readNetList();
  if (!list) return false;
  *count = list->stationCount;
  return true;
}

bool ClientLibrary::get_main_server_node(TNetNode* buffer) {
  if (buffer == nullptr) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  const auto list = readNetList();
  if (!list) return false;
  const TNetNode* found = nullptr;
  for (const TNetNode& node : *list)
    if ((node.role & kRoleServer) != 0 && (node.role & kRoleStandbyServer) == 0) found = &node;
  if (found == nullptr) return false;
  *buffer = *found;
  return true;
}

bool ClientLibrary::get_node_list(std::int32_t* count, TNetNode* buffer) {
  if (count == nullptr || buffer == nullptr) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  const auto list = readNetList();
  if (!list) return false;
  *count = list->nodeCount;
  std::copy(list->begin(), list->end(), buffer);
  return true;
}

std::int32_t ClientLibrary::GetNetNodeCount() {
  const auto lock = openAttached();
  if (!lock) return 0;
  const auto list = readNetList();
  return list ? list->nodeCount : 0;
}

bool ClientLibrary::GetNetNodeInfo(std::int32_t n, TNetNode* buffer) {
  if (buffer == nullptr || n < 1) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  const auto list = readNetList();
  if (!list) return false;
  std::copy_n(list->begin(), std::min(n, list->nodeCount), buffer);
  return true;
}

bool ClientLibrary::FindScadaIndex(std::int32_t stationId, std::int32_t* slot) {
  if (stationId == 0 || slot == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  for (int s = 0; s < table_.stationCount; ++s) {
    if (table_.stationId(s) == stationId) {
      *slot = s;
      return true;
    }
  }
  return false;
}

bool ClientLibrary::FindChannelIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t* slot,
                                     std::int32_t* channel) {
  if (stationId == 0 || channelId == 0 || slot == nullptr || channel == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  for (int s = 0; s < table_.stationCount; ++s) {
    if (table_.stationId(s) != stationId) continue;
    const auto head = readChead(s);
    if (!head) return false;
    for (int c = 0; c < ChannelCount(*head); ++c) {
      if (ChannelId(*head, c) == channelId) {
        *slot = s;
        *channel = c;
        return true;
      }
    }
  }
  return false;
}

bool ClientLibrary::FindDeviceIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId,
                                    std::int32_t* slot, std::int32_t* channel, std::int32_t* meter) {
  std::int32_t point = 0;
  if (slot == nullptr || channel == nullptr || meter == nullptr) return false;
  // A meter search is a point search that takes the meter itself.
  return FindMeasIndexImpl(stationId, channelId, meterId, std::nullopt, slot, channel, meter, &point);
}

bool ClientLibrary::FindMeasIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId,
                                  std::int32_t pointId, std::int32_t* slot, std::int32_t* channel, std::int32_t* meter,
                                  std::int32_t* point) {
  if (pointId == 0 || slot == nullptr || channel == nullptr || meter == nullptr || point == nullptr) return false;
  return FindMeasIndexImpl(stationId, channelId, meterId, pointId, slot, channel, meter, point);
}

// Every channel with the channel id and, in it, every meter with the meter
// id is looked at in order; pointId empty: the first such meter is the result.
// A point's result is its index among the analog points or among the status
// points, so the two kinds are not told apart.
bool ClientLibrary::FindMeasIndexImpl(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId,
                                      std::optional<std::int32_t> pointId, std::int32_t* slot, std::int32_t* channel,
                                      std::int32_t* meter, std::int32_t* point) {
  if (stationId == 0 || channelId == 0 || meterId == 0) return false;
  const std::shared_lock lock(stateLock_);
  for (int s = 0; s < table_.stationCount; ++s) {
    if (table_.stationId(s) != stationId) continue;
    bool found = false;
    const bool readable = readSized(s, SizedSection::CommHead, [&](ByteView view) {
      const auto head = CopyChead(view);
      if (!head) return false;
      for (int c = 0; c < ChannelCount(*head) && !found; ++c) {
        if (ChannelId(*head, c) != channelId) continue;
        const bool whole = WalkChannelMeters(view, *head, c, [&](int m, const MeterRecord& record) {
          if (record.head.meterId != meterId) return false;
          int index = -1;
          if (pointId) {
            for (int p = 0; p < record.pointCount() && index < 0; ++p)
              if (PointId(view, record, p) == *pointId) index = p;
            if (index < 0) return false;
          }
          *slot = s;
          *channel = c;
          *meter = m;
          *point = index < record.head.analogCount ? index : index - record.head.analogCount;
          found = true;
          return true;
        });
        if (!whole) return false;
      }
      return true;
    });
    if (!readable) return false;
    if (found) return true;
  }
  return false;
}

bool ClientLibrary::FindCtrlIndex(std::int32_t stationId, std::int32_t controlId, std::int32_t* slot,
                                  std::int32_t* control) {
  if (stationId == 0 || controlId == 0 || slot == nullptr || control == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  for (int s = 0; s < table_.stationCount; ++s) {
    if (table_.stationId(s) != stationId) continue;
    bool found = false;
    const bool readable = readReport(s, [&](ByteView view) {
      const auto count = itemCount(view, ItemKind::Control);
      if (!count) return false;
      for (int i = 0; i < *count && !found; ++i) {
        if (view.load<std::int32_t>(rptname::kControls + sizeof(TReportItem) * static_cast<std::size_t>(i)) ==
            controlId) {
          *slot = s;
          *control = i;
          found = true;
        }
      }
      return true;
    });
    if (!readable) return false;
    if (found) return true;
  }
  return false;
}

bool ClientLibrary::GetScadaID(std::int32_t slot, std::int32_t* stationId) {
  if (stationId == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return false;
  *stationId = table_.stationId(slot);
  return true;
}

bool ClientLibrary::GetChannelID(std::int32_t slot, std::int32_t channel, std::int32_t* channelId) {
  if (channelId == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return false;
  const auto head = readChead(slot);
  if (!head || channel < 0 || channel >= ChannelCount(*head)) return false;
  *channelId = ChannelId(*head, channel);
  return true;
}

bool ClientLibrary::GetDeviceID(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t* meterId) {
  if (meterId == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return false;
  return readMeter(slot, channel, meter, [&](ByteView, const MeterRecord& record) { *meterId = record.head.meterId; });
}

bool ClientLibrary::GetMeasID(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t point,
                              std::int32_t* pointId) {
  if (pointId == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return false;
  bool inRange = false;
  const bool read = readMeter(slot, channel, meter, [&](ByteView view, const MeterRecord& record) {
    inRange = point >= 0 && point < record.pointCount();
    if (inRange) *pointId = PointId(view, record, point);
  });
  return read && inRange;
}

bool ClientLibrary::GetCtrlID(std::int32_t slot, std::int32_t control, std::int32_t* controlId) {
  if (controlId == nullptr) return false;
  const std::shared_lock lock(stateLock_);
  if (!table_.validSlot(slot)) return false;
  return readReport(slot, [&](ByteView view) {
    const auto count = itemCount(view, ItemKind::Control);
    if (!count || control < 0 || control >= *count) return false;
    const auto id =
        view.load<std::int32_t>(rptname::kControls + sizeof(TReportItem) * static_cast<std::size_t>(control));
    if (!id) return false;
    *controlId = *id;
    return true;
  });
}

}  // namespace velk
