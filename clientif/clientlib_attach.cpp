// Loading, attaching, detaching and refreshing the station objects.

#include <algorithm>
#include <chrono>
#include <thread>

#include <fmt/format.h>
#include <unistd.h>

#include "clientif/clientlib.h"
#include "clientif/errortext.h"
#include "clientif/sharedint.h"
#include "common/gbk.h"
#include "common/safeformat.h"

namespace velk {
namespace {

template <class T, class... Args>
std::unique_ptr<T> openObject(Args&&... args) {
  try {
    return std::make_unique<T>(std::forward<Args>(args)...);
  } catch (const std::exception&) {
    return nullptr;  // TMutex raises when it can neither open nor create
  }
}

// A section that must be usable; null otherwise.
std::unique_ptr<ipc::TSharedMem> openSection(std::string_view name, bool create, std::size_t size,
                                             bool zeroWhenNew = false) {
  auto section = openObject<ipc::TSharedMem>(name, create, static_cast<std::uint32_t>(size));
  if (!section || !section->Ok()) return nullptr;
  if (zeroWhenNew && section->CreatedNew()) std::memset(section->View(), 0, size);
  return section;
}

// VELK_COMM_HEAD-NN and VELK_REALTIME-NN: a 4-byte view tells the size to map.
std::unique_ptr<ipc::TSharedMem> openSizedSection(const std::string& name) {
  ipc::TSharedMem probe(name, false, 4);
  if (!probe.Ok()) return nullptr;
  std::int32_t size = 0;
  std::memcpy(&size, probe.View(), sizeof size);
  if (size < 4) return nullptr;
  return openSection(name, false, static_cast<std::size_t>(size));
}

// Runs its step when the scope is left, unless dismissed.
class AtScopeEnd {
 public:
  explicit AtScopeEnd(std::function<void()> step) : step_(std::move(step)) {}
  ~AtScopeEnd() {
    if (step_) step_();
  }
  AtScopeEnd(const AtScopeEnd&) = delete;
  AtScopeEnd& operator=(const AtScopeEnd&) = delete;
  void dismiss() { step_ = nullptr; }

 private:
  std::function<void()> step_;
};

}  // namespace

ClientLibrary::ClientLibrary(Config config, lang::MultiLangEngine& engine)
    : config_(std::move(config)), engine_(engine), deviceTypes_(std::make_unique<DeviceTypeCache>()) {
  crShareMutexes_.reserve(kCrShareMutexCount);
  for (int i = 1; i <= kCrShareMutexCount; ++i)
    crShareMutexes_.push_back(openObject<ipc::TMutex>(fmt::format("{}{}", kCrShareMutexBase, i)));
  joinForkHandlers();
}

// The exit procedure: every object is freed; the sections of the stations
// before the others' (the members' order does the rest).
ClientLibrary::~ClientLibrary() {
  leaveForkHandlers();
  for (StationObjects& station : stations_) station = StationObjects();
}

void ClientLibrary::sleep(std::uint32_t milliseconds) const {
  if (config_.sleep) {
    config_.sleep(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

void ClientLibrary::progress(const std::string& text) const {
  if (config_.progress) config_.progress(text);
}

bool ClientLibrary::clientInstanceExists() const {
  return TVErirUri(kInstanceName).probe();
}

std::string ClientLibrary::exchangeMessage() const {
  return viewOf(mainHandle_.get())
      .text(mainhandle::kExchangeMessage, mainhandle::kExchangeMessageSize)
      .value_or(std::string());
}

ByteView ClientLibrary::viewOf(const ipc::TSharedMem* memory) const {
  if (memory == nullptr || !memory->Ok()) return {};
  return {memory->View(), static_cast<std::size_t>(memory->MappedSize())};
}

// Attached is looked at under the lock: detaching takes it exclusive, so
// the answer holds for as long as the caller keeps it.
std::optional<ClientLibrary::SharedState> ClientLibrary::openAttached() {
  SharedState lock(stateLock_);
  if (!attached()) return std::nullopt;
  return lock;
}

std::optional<ClientLibrary::SharedState> ClientLibrary::openSlot(std::int32_t slot) {
  auto lock = openAttached();
  if (!lock || !table_.validSlot(slot)) return std::nullopt;
  return lock;
}

std::int32_t ClientLibrary::init_mlog_calls() {
  const std::lock_guard attach(attachLock_);
  if (attached()) return 0;
  state_.store(-1);
  engine_.loadLanguageFileFrom(lang::namedLanguageFile(config_.hostFolder, "velklog2.lang"));
  if (!openMainHandle()) return -1;
  // However the attach ends short of success (a failed step, or a thread
  // cancelled in one of its waits), it gives back what it took.
  AtScopeEnd undo([this] { undoFailedAttach(); });
  takeAttachSlot();
  std::int32_t code = 0;
  if (!waitWhileClientShutsDown(code) || !startClientAndWait(code)) return code;
  const std::unique_lock lock(stateLock_);
  code = -4;
  if (!openScadaServer()) return code;
  if (!openGlobalSections(code)) return code;
  if (!ownComputerIsClient()) return -9;
  buildStations();
  LoadDeviceTypeCache(std::filesystem::path(config_.hostFolder) / kDeviceTypeFile, *deviceTypes_);
  state_.store(1);
  undo.dismiss();
  return 1;
}

bool ClientLibrary::openMainHandle() {
  const std::unique_lock lock(stateLock_);
  if (usable(mainHandle_.get())) return true;
  mainHandle_ = openSection(kMainHandleName, true, mainhandle::kSize, true);
  return mainHandle_ != nullptr;
}

// The slot that holds our process id, else the first free one; none free:
// we go on without one.
bool ClientLibrary::takeAttachSlot() {
  const auto pid = static_cast<std::int32_t>(::getpid());
  for (int i = 0; i < kAttachSlots; ++i)
    if (SharedInt(*mainHandle_, mainhandle::kAttachSlots + 4 * i).load() == pid) return true;
  for (int i = 0; i < kAttachSlots; ++i) {
    std::int32_t expected = 0;
    if (SharedInt(*mainHandle_, mainhandle::kAttachSlots + 4 * i).compare_exchange_strong(expected, pid)) return true;
  }
  return false;
}

void ClientLibrary::freeAttachSlot() {
  const auto pid = static_cast<std::int32_t>(::getpid());
  for (int i = 0; i < kAttachSlots; ++i) {
    std::int32_t expected = pid;
    if (SharedInt(*mainHandle_, mainhandle::kAttachSlots + 4 * i).compare_exchange_strong(expected, 0)) return;
  }
}

// A failed attach gives back what it took in the shared sections: its
// attach slot and its count of the client, which close_mlog_calls would not
// take back (it does nothing while detached).
void ClientLibrary::undoFailedAttach() {
  if (usable(mainHandle_.get())) freeAttachSlot();
  if (counted_ && usable(scadaServer_.get())) {
    auto counter = SharedInt(*scadaServer_, scadaserver::counter(kKindClient));
    std::int32_t value = counter.load();
    while (value > 0 && !counter.compare_exchange_weak(value, value - 1)) {
    }
  }
  counted_ = false;
}

bool ClientLibrary::waitWhileClientShutsDown(std::int32_t& code) {
  if (!clientInstanceExists()) return true;
  ipc::TEvent finalizing(kFinalizeEventName, true, false, true);
  const Timing& timing = config_.timing;
  std::uint32_t elapsed = 0;
  while (finalizing.Wait(0)) {
    sleep(timing.shutdownStepMs);
    elapsed += timing.shutdownStepMs;
    const std::int64_t secondsLeft = (std::int64_t{timing.shutdownLimitMs} - elapsed) / 1000;
    progress(common::SafeFormat(lang::vlogText(engine_, 1), {fmt::format("{}", secondsLeft)}));
    progress(common::GbkToUtf8(exchangeMessage()));
    if (elapsed > timing.shutdownLimitMs) {
      code = -12;
      return false;
    }
  }
  return true;
}

bool ClientLibrary::startClientAndWait(std::int32_t& code) {
  ipc::TEvent started(kInitEventName, true, false, true);
  if (clientInstanceExists()) return true;
  progress(lang::vlogText(engine_, 2));
  progress(common::GbkToUtf8(exchangeMessage()));
  // A signal left by a client that has gone tells nothing about the new one.
  started.resetEvent();
  auto client = StartSystemProgram(kKindClient, config_.hostFolder, config_.desktermProgram);
  if (!client) {
    code = -2;
    return false;
  }
  // However this wait ends, a client still running is waited for from now
  // on, so that it leaves no zombie when it ends.
  const AtScopeEnd reap([&] {
    if (!client->exitCode()) reaper_.reap(client->pid());
  });
  const Timing& timing = config_.timing;
  sleep(timing.startPauseMs);
  std::uint32_t elapsed = 0;
  std::string lastMessage;
  while (!started.Wait(timing.startSliceMs)) {
    const std::string message = exchangeMessage();
    elapsed += timing.startSliceMs;
    const std::optional<int> exitCode = clientInstanceExists() ? std::nullopt : client->exitCode();
    if (exitCode) {
      code = *exitCode < 0 ? *exitCode - 1000 : -11;
      return false;
    }
    if (message != lastMessage) {
      lastMessage = message;
      elapsed = 0;
      progress(common::GbkToUtf8(message));
    } else if (elapsed >= timing.silenceLimitMs) {
      code = -3;
      return false;
    }
  }
  return true;
}

bool ClientLibrary::openScadaServer() {
  // In a child of fork() the parent's objects are not usable: made anew.
  if (!usable(scadaServer_.get())) {
    scadaServer_ = openSection(kScadaServerName, true, scadaserver::kSize);
    scadaServerMutex_ = openObject<ipc::TMutex>(kScadaServerMutexName);
  }
  if (!scadaServer_ || !scadaServerMutex_) return false;
  SharedInt(*scadaServer_, scadaserver::counter(kKindClient)).fetch_add(1);
  counted_ = true;
  return true;
}

bool ClientLibrary::openGlobalSections(std::int32_t& code) {
  code = -5;
  netListMem_ = openSection(kNetListName, false, netlist::kSize);
  netListMutex_ = netListMem_ ? openObject<ipc::TMutex>(kNetListMutexName) : nullptr;
  if (!netListMutex_) return false;
  code = -6;
  passwordMem_ = openSection(kPasswordName, false, password::kSize);
  if (!passwordMem_) return false;
  code = -7;
  ctrlPackMem_ = openSection(kCtrlPackName, true, ctrlpack::kSize);
  ctrlPackMutex_ = ctrlPackMem_ ? openObject<ipc::TMutex>(kCtrlPackMutexName) : nullptr;
  if (!ctrlPackMutex_) return false;
  code = -8;
  sysEveMem_ = openSection(kSysEveName, true, syseve::kSize);
  sysEveMutex_ = sysEveMem_ ? openObject<ipc::TMutex>(kSysEveMutexName) : nullptr;
  if (!sysEveMutex_) return false;
  code = -13;
  nodeStatusMem_ = openSection(kNodeStatusName, true, nodestatus::kSize, true);
  nodeStatusMutex_ = nodeStatusMem_ ? openObject<ipc::TMutex>(kNodeStatusMutexName) : nullptr;
  return nodeStatusMutex_ != nullptr;
}

// The first node on our computer must be an operator client.
bool ClientLibrary::ownComputerIsClient() {
  const auto list = readNetList();
  if (!list) return false;
  for (const TNetNode& node : *list)
    if (SameComputerName(node.computerName, config_.computerName)) return (node.role & kRoleClient) != 0;
  return false;
}

void ClientLibrary::buildStations() {
  const auto list = readNetList();
  builtNetList_ = list.value_or(NetList());
  table_ = BuildStationTable(builtNetList_);
  for (StationObjects& station : stations_) station = StationObjects();
  for (int slot = 0; slot < table_.stationCount; ++slot) {
    openStationObjects(slot);
    buildCalcList(slot);
  }
}

// Opens the sections the slot lacks. A slot without a main front end has no
// station id to name them by and stays without.
void ClientLibrary::openStationObjects(int slot) {
  const StationEntry& main = table_.main[static_cast<std::size_t>(slot)];
  if (!main.present) return;
  const std::int32_t id = main.node.stationId;
  StationObjects& station = stations_[static_cast<std::size_t>(slot)];
  if (!station.commHead) {
    if (const auto name = StationObjectName(kCommHeadName, id)) station.commHead = openSizedSection(*name);
  }
  if (!station.rptName) {
    if (const auto name = StationObjectName(kRptNameName, id))
      station.rptName = openSection(*name, false, rptname::kSize);
  }
  if (!station.realtime) {
    if (const auto name = StationObjectName(kRealtimeName, id)) station.realtime = openSizedSection(*name);
  }
  if (station.realtime && !station.realtimeMutex) {
    if (const auto name = StationObjectName(kRealtimeMutexName, id))
      station.realtimeMutex = openObject<ipc::TMutex>(*name);
  }
}

void ClientLibrary::buildCalcList(int slot) {
  StationObjects& station = stations_[static_cast<std::size_t>(slot)];
  station.calcCount = 0;
  if (const auto count = itemCount(viewOf(station.rptName.get()), ItemKind::Calc)) station.calcCount = *count;
}

// In a child of fork() that has not attached itself, the count and the
// attach slot are the parent's: only the state goes back.
void ClientLibrary::close_mlog_calls() {
  const std::lock_guard attach(attachLock_);
  if (state_.load() == -1) return;
  const std::unique_lock lock(stateLock_);
  if (counted_ && usable(scadaServer_.get())) {
    auto counter = SharedInt(*scadaServer_, scadaserver::counter(kKindClient));
    std::int32_t value = counter.load();
    while (value > 0 && !counter.compare_exchange_weak(value, value - 1)) {
    }
  }
  counted_ = false;
  if (usable(mainHandle_.get())) freeAttachSlot();
  state_.store(-1);
}

bool ClientLibrary::IsCLientRunning() {
  const std::shared_lock lock(stateLock_);
  return usable(scadaServer_.get()) && SharedInt(*scadaServer_, scadaserver::counter(kKindClient)).load() > 0;
}

bool ClientLibrary::IsClientregisted() {
  if (!IsCLientRunning()) return false;
  const std::shared_lock lock(stateLock_);
  const auto list = readNetList();
  return list && std::any_of(list->begin(), list->end(), [&](const TNetNode& node) {
           return SameComputerName(node.computerName, config_.computerName);
         });
}

std::string ClientLibrary::GetInitErrorMsg(std::int32_t code) const {
  return common::Utf8ToGbk(InitErrorText(engine_, code));
}

// Objects move with their station: the slot of every station id is looked up
// in the new list, and what no station takes over is freed.
std::int32_t ClientLibrary::refresh_stationcfgshare() {
  const std::lock_guard attach(attachLock_);
  const std::unique_lock lock(stateLock_);
  const auto fresh = readNetList();
  if (!fresh) return -1;
  const NetList old = builtNetList_;
  const std::int32_t oldStationCount = table_.stationCount;
  table_ = BuildStationTable(*fresh);
  std::array<StationObjects, kMaxStations> moved;
  for (const TNetNode& node : old) {
    if (node.stationId == 0 || node.stationSlot < 0 || node.stationSlot >= oldStationCount) continue;
    StationObjects& objects = stations_[static_cast<std::size_t>(node.stationSlot)];
    if (!objects.commHead && !objects.rptName && !objects.realtime) continue;
    const auto target = std::find_if(fresh->begin(), fresh->end(), [&](const TNetNode& candidate) {
      return candidate.stationId == node.stationId && table_.validSlot(candidate.stationSlot);
    });
    if (target == fresh->end()) continue;
    StationObjects& destination = moved[static_cast<std::size_t>(target->stationSlot)];
    if (!destination.commHead && !destination.rptName && !destination.realtime) destination = std::move(objects);
  }
  stations_ = std::move(moved);
  builtNetList_ = *fresh;
  for (int slot = 0; slot < table_.stationCount; ++slot) {
    openStationObjects(slot);
    buildCalcList(slot);
  }
  if (table_.stationCount == 0) return -1;
  return stations_[static_cast<std::size_t>(table_.stationCount - 1)].rptName ? 1 : 0;
}

}  // namespace velk
