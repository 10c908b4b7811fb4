#pragma once
// The whole of libvelklog2 behind its C exports: attaching to the operator
// client, the station model, realtime values, events, controls, names,
// counts, reports and the cache files. One object is one loaded library;
// its destructor is the library's exit procedure. Tests make as many as they
// like, each with its own configuration.
//
// Every method answers as the export of the same name, with the export's
// failure value; none raises. Texts come back in code page 936, as the
// sections hold them. Methods may be called from any thread.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "clientif/cachefiles.h"
#include "clientif/layout.h"
#include "clientif/platform.h"
#include "clientif/stationmodel.h"
#include "clientif/writerfirstlock.h"
#include "common/ipc/ipcfunc.h"
#include "common/lang/engine.h"

namespace velk {

inline constexpr double kNoValue = -2147483648.0;

// Value kinds of read_realtime_data and their selectors.
inline constexpr std::int32_t kSelectorCalc = 0x10124100;
inline constexpr std::int32_t kSelectorAnalog = 0x10121111;
inline constexpr std::int32_t kSelectorStatus = 0x10121112;
inline constexpr std::int32_t kSelectorNodeState = 0x10120000;
inline constexpr std::int32_t kSelectorSecondState = 0x10ffff00;
inline constexpr std::int32_t kSelectorChannelState = 0x10121100;

// The kinds of items in a station's report section.
enum class ItemKind { Control, Dayrpt, Engrpt, Calc };

class ClientLibrary {
 public:
  ClientLibrary(Config config, lang::MultiLangEngine& engine);
  ~ClientLibrary();
  ClientLibrary(const ClientLibrary&) = delete;
  ClientLibrary& operator=(const ClientLibrary&) = delete;

  const Config& config() const { return config_; }
  lang::MultiLangEngine& engine() const { return engine_; }
  int state() const { return state_.load(); }
  // Attached, in this process: in a child of fork() the parent's sections
  // are not mapped, and the library answers as detached there until the
  // child attaches itself.
  bool attached() const { return state_.load() > 0 && usable(mainHandle_.get()); }

  // Attach and detach
  std::int32_t init_mlog_calls();
  void close_mlog_calls();
  bool IsCLientRunning();
  bool IsClientregisted();
  std::string GetInitErrorMsg(std::int32_t code) const;

  // Device-type cache and connection settings
  std::string get_regist_meter_str(std::int32_t id);
  std::string get_regist_mlog_str(std::int32_t id);
  std::int32_t get_meter_unit(const char* name);
  bool GetDBConnInfo(char* suffix, char* mainConnection, char* standbyConnection);

  // Station model and look-ups
  bool read_CHEAD(CHEAD* buffer, std::int32_t slot);
  bool read_meter_para(std::int32_t slot, std::int32_t channel, std::int32_t meter, TMeterPara* buffer);
  bool calc_sta_meter(std::int32_t slot, std::int32_t n, std::int32_t* channel, std::int32_t* meter);
  bool calc_station_sta_meter(std::int32_t n, std::int32_t* slot, std::int32_t* channel, std::int32_t* meter);
  std::int32_t calc_meter_num(std::int32_t slot, std::int32_t channel, std::int32_t meter);
  bool get_scada_number(std::int32_t* count);
  bool get_main_server_node(TNetNode* buffer);
  bool get_node_list(std::int32_t* count, TNetNode* buffer);
  std::int32_t GetNetNodeCount();
  bool GetNetNodeInfo(std::int32_t n, TNetNode* buffer);
  std::int32_t refresh_stationcfgshare();
  bool FindScadaIndex(std::int32_t stationId, std::int32_t* slot);
  bool FindChannelIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t* slot, std::int32_t* channel);
  bool FindDeviceIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId, std::int32_t* slot,
                       std::int32_t* channel, std::int32_t* meter);
  bool FindMeasIndex(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId, std::int32_t pointId,
                     std::int32_t* slot, std::int32_t* channel, std::int32_t* meter, std::int32_t* point);
  bool FindCtrlIndex(std::int32_t stationId, std::int32_t controlId, std::int32_t* slot, std::int32_t* control);
  bool GetScadaID(std::int32_t slot, std::int32_t* stationId);
  bool GetChannelID(std::int32_t slot, std::int32_t channel, std::int32_t* channelId);
  bool GetDeviceID(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t* meterId);
  bool GetMeasID(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t point,
                 std::int32_t* pointId);
  bool GetCtrlID(std::int32_t slot, std::int32_t control, std::int32_t* controlId);

  // Realtime values, events and controls
  double read_realtime_data(std::int32_t kind, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d);
  bool Read_calc_items(std::int32_t slot, std::int32_t* count, TCalcItem* buffer);
  bool read_syseve_share_num(std::int32_t* writeIndex);
  bool read_syseve_share_data(std::int32_t* writeIndex, std::int32_t* readIndex, std::int32_t* count,
                              std::int32_t capacity, TSysEvent* buffer);
  bool add_ctrl_do(std::int32_t firstCode, std::int32_t secondCode, const char* text1, std::int16_t value,
                   std::int32_t station, std::int32_t sixth, std::int32_t seventh, const char* text2);
  std::uint8_t GetCtrlLockState(std::int32_t slot, std::int32_t control);
  std::int32_t Read_front_status(const char* nodeName);
  std::int32_t Read_node_status(const char* nodeName);
  std::int32_t Read_Scada_status(std::int32_t slot);

  // Item names and ids with the in/out count convention: 128-byte names or
  // int32 ids into buffer.
  bool readItemNames(ItemKind kind, std::int32_t slot, std::int32_t first, std::int32_t* count, std::int32_t* total,
                     char* names);
  bool readItemIds(ItemKind kind, std::int32_t slot, std::int32_t first, std::int32_t* count, std::int32_t* total,
                   std::int32_t* ids);

  // Names, counts and checks
  std::string GetScadaName(std::int32_t slot, std::int32_t standby);
  std::string GetNodeName(std::int32_t node);
  std::string GetChannelName(std::int32_t slot, std::int32_t channel);
  std::string GetMeterName(std::int32_t slot, std::int32_t channel, std::int32_t meter);
  std::string GetparaName(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t point,
                          std::int32_t kind);
  std::int32_t GetScadaCount();
  std::int32_t GetChannelCount(std::int32_t slot);
  std::int32_t GetMeterCount(std::int32_t slot, std::int32_t channel);
  std::int32_t GetParaCount(std::int32_t slot, std::int32_t channel, std::int32_t meter, std::int32_t kind);
  std::int32_t IsParaValid(std::int32_t kind, std::int32_t slot, std::int32_t channel, std::int32_t meter,
                           std::int32_t point);
  static std::int32_t IsParaCodeValid(std::int32_t a, std::int32_t b);
  std::string GetControlName(std::int32_t slot, std::int32_t control);
  std::int32_t GetControlCount(std::int32_t slot);
  std::string GetMeasTypeName(std::int32_t kind) const;
  std::string GetControlTypeName(std::int32_t kind) const;
  std::int32_t GetDayrptCount(std::int32_t slot);
  std::int32_t GetEngrptCount(std::int32_t slot);
  bool GetDayrptInfo(std::int32_t slot, std::int32_t index, TReportItem* buffer);
  bool GetEngrptInfo(std::int32_t slot, std::int32_t index, TReportItem* buffer);

  // Operators
  std::int32_t GetOperatorCount();
  std::string GetOperatorName(std::int32_t index);
  std::int32_t get_operator_DTYPE(std::int32_t index);
  std::int32_t check_operator_pass(const char* name, const char* password);
  // The operator names, in table order (for the log-in dialog).
  std::vector<std::string> operatorNames();

  // Paths, time and configuration state
  std::string get_working_path() const;
  std::string GetGraphPath();
  std::string GetDeviceLIBPath();
  std::int32_t rchtime(const SYSTEMTIME& time);
  std::int32_t chtime(std::uint32_t seconds, SYSTEMTIME* time);
  bool read_velklog_deskterm_exchangemsg(char* buffer, std::int32_t size);
  bool get_stationcfgshare_updatetime(std::uint8_t* buffer16);
  bool get_stationcfgshare_setupcount(std::int32_t* count);

  // For the dialogs: the station table as last built, and a slot's
  // calculated items (id and name) as listed at the last build.
  StationTable stationTable();
  struct CalcEntry {
    std::int32_t id = 0;
    std::string name;
  };
  std::vector<CalcEntry> calcItems(std::int32_t slot);
  // A fresh copy of the net list (empty while VELK_NET_LIST is not open).
  std::optional<NetList> netList();

 private:
  struct StationObjects {
    std::unique_ptr<ipc::TSharedMem> commHead;
    std::unique_ptr<ipc::TSharedMem> rptName;
    std::unique_ptr<ipc::TSharedMem> realtime;
    std::unique_ptr<ipc::TMutex> realtimeMutex;
    std::int32_t calcCount = 0;  // the calculated-item list: items 0..calcCount-1
  };
  enum class SizedSection { CommHead, Realtime };
  using SharedState = std::shared_lock<WriterFirstLock>;

  // The opening of the exports that need an attach: stateLock_ held shared
  // while the library is attached; empty (and nothing held) when the export
  // must refuse. openSlot also wants slot to be one of the table's.
  std::optional<SharedState> openAttached();
  std::optional<SharedState> openSlot(std::int32_t slot);

  // Attach steps; each returns false when its step fails.
  bool openMainHandle();
  bool takeAttachSlot();
  void freeAttachSlot();
  bool waitWhileClientShutsDown(std::int32_t& code);
  bool startClientAndWait(std::int32_t& code);
  bool openScadaServer();
  bool openGlobalSections(std::int32_t& code);
  bool ownComputerIsClient();
  void buildStations();
  void openStationObjects(int slot);
  void buildCalcList(int slot);
  void undoFailedAttach();
  bool clientInstanceExists() const;
  void sleep(std::uint32_t milliseconds) const;
  void progress(const std::string& text) const;
  std::string exchangeMessage() const;  // held: mainHandle_ set
  void joinForkHandlers();
  void leaveForkHandlers();

  // Readers; the caller holds stateLock_ (shared or exclusive).
  std::optional<NetList> readNetList();
  // The caller holds stateLock_ shared: it is let go while the station's
  // writer flag is set, so the station's objects may change meanwhile.
  bool readSized(int slot, SizedSection which, const std::function<bool(ByteView)>& read);
  std::optional<CHEAD> readChead(int slot);
  bool FindMeasIndexImpl(std::int32_t stationId, std::int32_t channelId, std::int32_t meterId,
                         std::optional<std::int32_t> pointId, std::int32_t* slot, std::int32_t* channel,
                         std::int32_t* meter, std::int32_t* point);
  bool readMeter(int slot, int channel, int meter, const std::function<void(ByteView, const MeterRecord&)>& use);
  std::optional<double> nodeStatusValue(std::int32_t nodeId, std::int32_t selector, std::int32_t channelId);
  bool readReport(int slot, const std::function<bool(ByteView)>& read);
  std::optional<std::int32_t> itemCount(ByteView report, ItemKind kind) const;
  bool clipItems(int slot, ItemKind kind, std::int32_t first, std::int32_t* count, std::int32_t* total,
                 const std::function<void(ByteView, std::size_t record, int i)>& copy);
  std::optional<std::int32_t> reportItemCount(int slot, ItemKind kind);
  bool reportItem(int slot, ItemKind kind, std::int32_t index, TReportItem* buffer);
  std::string vlogAnsi(int number) const;
  ByteView viewOf(const ipc::TSharedMem* memory) const;
  static bool usable(const ipc::TSharedMem* memory) { return memory != nullptr && memory->Ok(); }

  Config config_;
  lang::MultiLangEngine& engine_;
  std::atomic<int> state_{-1};

  // Locks, in the order they are taken (a thread holding one takes only
  // those below it):
  //  1. attachLock_: init, close and refresh, one at a time.
  //  2. stateLock_: exclusive while init, close and refresh replace
  //     objects; shared by every export that reads them (openAttached,
  //     openSlot).
  //  3. The station read lock (the reader count and writer flag of
  //     VELK_MAIN_HANDLE, shared with the client): taken holding stateLock_
  //     shared; while the client's writer flag is up the reader lets
  //     stateLock_ go and takes it back before it looks again (readSized).
  //  4. viewLocks_[slot]: shared to read a slot's sized views, exclusive to
  //     map them again; one slot at a time, always holding stateLock_.
  //  5. netListLock_: only around lastNetList_; nothing is taken under it.
  // The client's named mutexes (control queue, event ring) are waited for
  // holding none of these, and held only while their section is used.
  // Every lock is held by a guard, so a cancelled thread frees it once.
  //
  // A host that forks while other threads are in the library: the fork
  // handlers (clientlib_fork.cpp) hold 2 and 5 of every library (so that no
  // thread holds 4) and its reaper's lock while fork() runs, so that no
  // thread is amid a change of what they guard. None of them is held across
  // a wait for the client or a call of the configuration's hooks, so fork()
  // waits only for short work. attachLock_ is held across the attach's
  // waits for the client (a minute and more): fork() does not wait for it.
  // The child starts with every lock free, attachLock_ too.
  friend struct ForkHandlers;
  friend struct LockAccessForTests;
  std::mutex attachLock_;
  mutable WriterFirstLock stateLock_;
  std::mutex netListLock_;  // lastNetList_

  std::vector<std::unique_ptr<ipc::TMutex>> crShareMutexes_;
  std::unique_ptr<ipc::TSharedMem> mainHandle_;
  std::unique_ptr<ipc::TSharedMem> scadaServer_;
  std::unique_ptr<ipc::TMutex> scadaServerMutex_;
  std::unique_ptr<ipc::TSharedMem> netListMem_;
  std::unique_ptr<ipc::TMutex> netListMutex_;
  std::unique_ptr<ipc::TSharedMem> passwordMem_;
  // Shared: a caller keeps them while it waits for the client's mutex
  // without the library's locks, even when an attach replaces them.
  std::shared_ptr<ipc::TSharedMem> ctrlPackMem_;
  std::shared_ptr<ipc::TMutex> ctrlPackMutex_;
  std::shared_ptr<ipc::TSharedMem> sysEveMem_;
  std::shared_ptr<ipc::TMutex> sysEveMutex_;
  std::unique_ptr<ipc::TSharedMem> nodeStatusMem_;
  std::unique_ptr<ipc::TMutex> nodeStatusMutex_;
  bool counted_ = false;  // this attach added one to the client counter

  std::array<StationObjects, kMaxStations> stations_;
  std::array<std::shared_mutex, kMaxStations> viewLocks_;  // remaps of a slot's sized views (lock 4)
  StationTable table_;
  NetList builtNetList_;  // the list table_ was built from
  NetList lastNetList_;   // the list as last read
  std::unique_ptr<DeviceTypeCache> deviceTypes_;
  Reaper reaper_;  // the clients this library started
};

}  // namespace velk
