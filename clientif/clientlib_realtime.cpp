// Realtime values, node states, the system event ring and the control queue.

#include <algorithm>
#include <cstring>

#include "clientif/clientlib.h"
#include "clientif/sharedint.h"
#include "clientif/timeconv.h"
#include "common/strings.h"

namespace velk {
namespace {

// Holds a named mutex for one scope when it was obtained in time.
class HeldMutex {
 public:
  HeldMutex(ipc::TMutex* mutex, std::uint32_t milliseconds)
      : mutex_(mutex), held_(mutex != nullptr && mutex->Get(milliseconds)) {}
  ~HeldMutex() {
    if (held_) mutex_->Release();
  }
  HeldMutex(const HeldMutex&) = delete;
  HeldMutex& operator=(const HeldMutex&) = delete;
  bool held() const { return held_; }

 private:
  ipc::TMutex* mutex_;
  bool held_;
};

std::optional<std::int32_t> selectorOfKind(std::int32_t kind) {
  switch (kind) {
    case 0:
    case kSelectorCalc:
      return kSelectorCalc;
    case 1:
    case kSelectorAnalog:
      return kSelectorAnalog;
    case 2:
    case kSelectorStatus:
      return kSelectorStatus;
    default:
      return std::nullopt;
  }
}

// An analog or status value of meter (channel, meter), point d.
std::optional<double> meterValue(ByteView view, bool analog, int channel, int meter, int d) {
  if (channel < 0 || channel >= kMaxChannels || meter < 0 || meter >= kMaxMeterPositions || d < 0) return std::nullopt;
  const std::size_t x = realtime::meterIndex(channel, meter);
  const auto count = view.load<std::int16_t>((analog ? realtime::kAnalogCounts : realtime::kStatusCounts) + 2 * x);
  const auto offset = view.load<std::int32_t>((analog ? realtime::kAnalogOffsets : realtime::kStatusOffsets) + 4 * x);
  if (!count || !offset || d >= *count || *offset <= 0) return std::nullopt;
  if (analog) return view.load<double>(static_cast<std::size_t>(*offset) + 8 * static_cast<std::size_t>(d));
  const auto status = view.load<std::uint8_t>(static_cast<std::size_t>(*offset) + static_cast<std::size_t>(d));
  if (!status) return std::nullopt;
  return static_cast<double>(*status);
}

std::optional<double> calcValue(ByteView view, int d) {
  if (d < 0 || d >= realtime::kMaxCalcValues) return std::nullopt;
  const auto offset = view.load<std::int32_t>(realtime::kCalcOffset);
  if (!offset) return std::nullopt;
  const std::int64_t position = std::int64_t{*offset} + 8 * std::int64_t{d};
  if (position < 1) return std::nullopt;
  return view.load<double>(static_cast<std::size_t>(position));
}

const TNetNode* findNodeByName(const NetList& list, const char* name, bool frontEndOnly) {
  for (const TNetNode& node : list) {
    if (frontEndOnly && (node.role & kRoleFrontEnd) == 0) continue;
    if (common::SameText(FieldText(node.nodeName, 128), name)) return &node;
  }
  return nullptr;
}

int stateNibble(const TNetNode& node) { return (node.state >> 4) & 0x0F; }

}  // namespace

double ClientLibrary::read_realtime_data(std::int32_t kind, std::int32_t a, std::int32_t b, std::int32_t c,
                                         std::int32_t d) {
  const auto lock = openAttached();
  if (!lock) return kNoValue;
  if (kind == 3) return nodeStatusValue(a, b, c).value_or(kNoValue);
  const auto selector = selectorOfKind(kind);
  if (!selector || a < 0 || a >= kMaxStations) return kNoValue;
  std::optional<double> value;
  readSized(a, SizedSection::Realtime, [&](ByteView view) {
    value = *selector == kSelectorCalc ? calcValue(view, d) : meterValue(view, *selector == kSelectorAnalog, b, c, d);
    return value.has_value();
  });
  return value.value_or(kNoValue);
}

std::optional<double> ClientLibrary::nodeStatusValue(std::int32_t nodeId, std::int32_t selector,
                                                     std::int32_t channelId) {
  if (nodeId < 0) return std::nullopt;
  const auto list = readNetList();
  if (!list) return std::nullopt;
  const auto node = std::find_if(list->begin(), list->end(), [&](const TNetNode& n) { return n.nodeId == nodeId; });
  if (node == list->end()) return std::nullopt;
  const std::size_t record = nodestatus::kRecordSize * static_cast<std::size_t>(node - list->begin());
  std::optional<std::int32_t> value;
  if (selector == kSelectorNodeState) {
    value = viewOf(nodeStatusMem_.get()).load<std::int32_t>(record + nodestatus::kNodeState);
  } else if (selector == kSelectorSecondState) {
    value = viewOf(nodeStatusMem_.get()).load<std::int32_t>(record + nodestatus::kSecondState);
  } else if (selector == kSelectorChannelState && node->stationId != 0) {
    const auto head = readChead(node->stationSlot);
    if (!head) return std::nullopt;
    // Taken after the read: stateLock_ may have been let go in it.
    const ByteView status = viewOf(nodeStatusMem_.get());
    for (int k = 0; k < ChannelCount(*head) && !value; ++k)
      if (ChannelId(*head, k) == channelId)
        value = status.load<std::int32_t>(record + nodestatus::kChannelStates + 4 * static_cast<std::size_t>(k));
  }
  if (!value) return std::nullopt;
  return static_cast<double>(*value);
}

bool ClientLibrary::Read_calc_items(std::int32_t slot, std::int32_t* count, TCalcItem* buffer) {
  if (count == nullptr || buffer == nullptr || *count < 1) return false;
  const auto lock = openSlot(slot);
  if (!lock) return false;
  std::int32_t total = 0;
  return clipItems(slot, ItemKind::Calc, 0, count, &total,
                   [&](ByteView view, std::size_t record, int i) { view.copy(record, buffer + i, sizeof(TCalcItem)); });
}

bool ClientLibrary::read_syseve_share_num(std::int32_t* writeIndex) {
  if (writeIndex == nullptr) return false;
  const auto lock = openAttached();
  if (!lock) return false;
  const auto index = viewOf(sysEveMem_.get()).load<std::int32_t>(syseve::kWriteIndex);
  if (!index) return false;
  *writeIndex = *index;
  return true;
}

// The caller keeps its own read index and moves it on by the count itself.
// Indexes, count and capacity are checked, and no more than count records
// are copied.
bool ClientLibrary::read_syseve_share_data(std::int32_t* writeIndex, std::int32_t* readIndex, std::int32_t* count,
                                           std::int32_t capacity, TSysEvent* buffer) {
  constexpr int kRing = syseve::kRingSize;
  if (writeIndex == nullptr || readIndex == nullptr || count == nullptr || buffer == nullptr) return false;
  if (*count < 0 || capacity < 1 || capacity > kRing || *readIndex < 0 || *readIndex > kRing) return false;
  std::int32_t wanted = std::min(*count, kRing);
  std::shared_ptr<ipc::TSharedMem> section;
  std::shared_ptr<ipc::TMutex> mutex;
  {
    const auto lock = openAttached();
    if (!lock) return false;
    section = sysEveMem_;
    mutex = sysEveMutex_;
  }
  // Waited for without any lock of the library: a client that holds its
  // mutex long stalls only the callers that need that mutex.
  const HeldMutex held(mutex.get(), config_.timing.mutexWaitMs);
  const ByteView ring = viewOf(section.get());
  if (!held.held()) return false;
  const auto written = ring.load<std::int32_t>(syseve::kWriteIndex);
  if (!written || *written < 0 || *written > kRing) return false;
  *writeIndex = *written == kRing ? 0 : *written;
  if (wanted == 0) {
    wanted = *written - *readIndex;
    if (wanted < 0) wanted += kRing;
  }
  const int start = *readIndex == kRing ? 0 : *readIndex;
  const int limit = std::min(wanted, capacity);
  const int firstPiece = std::min(limit, kRing - start);
  const int secondPiece = limit - firstPiece;
  if (!ring.copy(syseve::kRing + sizeof(TSysEvent) * static_cast<std::size_t>(start), buffer,
                 sizeof(TSysEvent) * static_cast<std::size_t>(firstPiece)) ||
      !ring.copy(syseve::kRing, buffer + firstPiece, sizeof(TSysEvent) * static_cast<std::size_t>(secondPiece)))
    return false;
  *count = firstPiece + secondPiece;
  return true;
}

bool ClientLibrary::add_ctrl_do(std::int32_t firstCode, std::int32_t secondCode, const char* text1, std::int16_t value,
                                std::int32_t station, std::int32_t sixth, std::int32_t seventh, const char* text2) {
  // The station is stored in 16 bits.
  if (firstCode == 0 || secondCode == 0 || station < 0 || station > INT16_MAX) return false;
  TCtrlPacket packet{};
  packet.station = static_cast<std::int16_t>(station);
  packet.firstCode = firstCode;
  packet.secondCode = secondCode;
  const SYSTEMTIME now = config_.localTime ? config_.localTime() : LocalTimeNow();
  packet.seconds = SecondsSince1970(now);
  packet.milliseconds = now.wMilliseconds;
  packet.value = value;
  SetFieldText(packet.text1, sizeof packet.text1, text1 == nullptr ? "" : text1);
  SetFieldText(packet.computerName, sizeof packet.computerName, config_.computerName);
  SetFieldText(packet.text2, sizeof packet.text2, text2 == nullptr ? "" : text2);
  packet.sixth = sixth;
  packet.seventh = seventh;

  std::shared_ptr<ipc::TSharedMem> queueSection;
  std::shared_ptr<ipc::TMutex> mutex;
  {
    const auto lock = openAttached();
    if (!lock) return false;
    queueSection = ctrlPackMem_;
    mutex = ctrlPackMutex_;
  }
  // As the event ring: the client's mutex is waited for without our locks.
  const HeldMutex held(mutex.get(), config_.timing.mutexWaitMs);
  if (!held.held() || !usable(queueSection.get())) return false;
  ipc::TSharedMem& section = *queueSection;
  const std::int32_t queued = SharedInt(section, ctrlpack::kCount).load();
  if (queued < 0 || queued >= ctrlpack::kCapacity) return false;
  std::uint8_t* packets = section.View() + ctrlpack::kPackets;
  const auto* key = reinterpret_cast<const std::uint8_t*>(&packet) + ctrlpack::kKey;
  for (int i = 0; i < queued; ++i)
    if (std::memcmp(packets + sizeof(TCtrlPacket) * i + ctrlpack::kKey, key, ctrlpack::kKeySize) == 0) return false;
  std::memcpy(packets + sizeof(TCtrlPacket) * static_cast<std::size_t>(queued), &packet, sizeof packet);
  SharedInt(section, ctrlpack::kCount).store(queued + 1);
  return true;
}

std::uint8_t ClientLibrary::GetCtrlLockState(std::int32_t slot, std::int32_t control) {
  constexpr std::uint8_t kFailure = 255;
  const auto lock = openSlot(slot);
  if (!lock || control < 0) return kFailure;
  const auto controls = reportItemCount(slot, ItemKind::Control);
  if (!controls || control >= *controls) return kFailure;
  const std::shared_lock view(viewLocks_[static_cast<std::size_t>(slot)]);
  const ByteView values = viewOf(stations_[static_cast<std::size_t>(slot)].realtime.get());
  const auto offset = values.load<std::int32_t>(realtime::kLockOffset);
  if (!offset) return kFailure;
  const std::int64_t position = std::int64_t{*offset} + control;
  if (position < 0) return kFailure;
  return values.load<std::uint8_t>(static_cast<std::size_t>(position)).value_or(kFailure);
}

std::int32_t ClientLibrary::Read_front_status(const char* nodeName) {
  if (nodeName == nullptr) return -1;
  const auto lock = openAttached();
  if (!lock) return -1;
  const auto list = readNetList();
  const TNetNode* node = list ? findNodeByName(*list, nodeName, true) : nullptr;
  return node == nullptr ? -1 : stateNibble(*node);
}

std::int32_t ClientLibrary::Read_node_status(const char* nodeName) {
  if (nodeName == nullptr) return -1;
  const auto lock = openAttached();
  if (!lock) return -1;
  const auto list = readNetList();
  const TNetNode* node = list ? findNodeByName(*list, nodeName, false) : nullptr;
  return node == nullptr ? -1 : static_cast<std::int32_t>(node->state);
}

std::int32_t ClientLibrary::Read_Scada_status(std::int32_t slot) {
  const auto lock = openAttached();
  if (!lock) return -1;
  const auto list = readNetList();
  if (!list || slot < 0 || slot >= list->stationCount) return -1;
  return std::any_of(list->begin(), list->end(),
                     [&](const TNetNode& node) { return node.stationSlot == slot && stateNibble(node) == 1; })
             ? 1
             : 0;
}

}  // namespace velk
