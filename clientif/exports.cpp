// The C exports of libvelklog2: one library object for the life of the
// loaded library (made when it is loaded, freed when it is unloaded), and
// every entry point guarded so that nothing is raised to the caller.

#include <cxxabi.h>

#include <cstring>
#include <string>

#include "clientif/clientlib.h"
#include "clientif/dialogs/dialogs.h"
#include "clientif/velklog2.h"
#include "common/lang/engine.h"

namespace {

velk::ClientLibrary& library() {
  static velk::ClientLibrary instance(velk::DefaultConfig(), lang::createLangEngine(lang::LangVariant::Velklog2));
  return instance;
}

// The computer name, host folder, language engine and the 128 share mutexes
// exist from the moment the library is loaded.
__attribute__((constructor)) void loadLibrary() {
  try {
    library();
  } catch (...) {
    // every export tries again and fails on its own
  }
}

// Nothing is raised to the caller, except the unwinding of a thread that is
// cancelled or ends (pthread_cancel, pthread_exit) in a wait of the library:
// that must go on to the thread's start, or the C library ends the process.
// Every lock and object of the library is held so that the unwinding frees it.
template <class Result, class Call>
Result guarded(Result failure, Call call) {
  try {
    return static_cast<Result>(call());
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return failure;
  }
}

constexpr char kEmptyText[] = "";

// The result buffer of the text exports: one per thread, so that two
// threads never overwrite each other's text; cut to 255 bytes between
// characters.
const char* textResult(const std::string& text) {
  thread_local char buffer[256];
  if (text.empty()) return kEmptyText;
  const std::size_t length = velk::GbkCutLength(text, sizeof buffer - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return buffer;
}

template <class Call>
const char* guardedText(Call call) {
  try {
    return textResult(call());
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    return kEmptyText;
  }
}

std::uint8_t flag(bool value) { return value ? 1 : 0; }

void copyName(char* buffer, const std::string& text) {
  if (buffer == nullptr) return;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // namespace

extern "C" {

// --- attach and detach ---

int32_t init_mlog_calls(void) {
  return guarded<int32_t>(-1, [] { return library().init_mlog_calls(); });
}

void close_mlog_calls(void) {
  guarded<int>(0, [] {
    library().close_mlog_calls();
    return 0;
  });
}

uint8_t IsCLientRunning(void) {
  return guarded<uint8_t>(0, [] { return flag(library().IsCLientRunning()); });
}

uint8_t IsClientregisted(void) {
  return guarded<uint8_t>(0, [] { return flag(library().IsClientregisted()); });
}

const char* GetInitErrorMsg(int32_t code) {
  return guardedText([&] { return library().GetInitErrorMsg(code); });
}

// --- device-type cache and connection settings ---

void get_regist_meter_str(int32_t id, char* buffer) {
  if (buffer != nullptr) buffer[0] = '\0';
  guarded<int>(0, [&] {
    copyName(buffer, library().get_regist_meter_str(id));
    return 0;
  });
}

void get_regist_mlog_str(int32_t id, char* buffer) {
  if (buffer != nullptr) buffer[0] = '\0';
  guarded<int>(0, [&] {
    copyName(buffer, library().get_regist_mlog_str(id));
    return 0;
  });
}

int32_t get_meter_unit(const char* name) {
  return guarded<int32_t>(0, [&] { return library().get_meter_unit(name); });
}

uint8_t GetDBConnInfo(char* suffix, char* mainConnection, char* standbyConnection) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetDBConnInfo(suffix, mainConnection, standbyConnection)); });
}

// --- station model and look-ups ---

uint8_t read_CHEAD(CHEAD* buffer, int32_t slot) {
  return guarded<uint8_t>(0, [&] { return flag(library().read_CHEAD(buffer, slot)); });
}

uint8_t read_meter_para(int32_t slot, int32_t channel, int32_t meter, TMeterPara* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().read_meter_para(slot, channel, meter, buffer)); });
}

uint8_t calc_sta_meter(int32_t slot, int32_t n, int32_t* channel, int32_t* meter) {
  return guarded<uint8_t>(0, [&] { return flag(library().calc_sta_meter(slot, n, channel, meter)); });
}

uint8_t calc_station_sta_meter(int32_t n, int32_t* slot, int32_t* channel, int32_t* meter) {
  return guarded<uint8_t>(0, [&] { return flag(library().calc_station_sta_meter(n, slot, channel, meter)); });
}

int32_t calc_meter_num(int32_t slot, int32_t channel, int32_t meter) {
  return guarded<int32_t>(-1, [&] { return library().calc_meter_num(slot, channel, meter); });
}

uint8_t get_scada_number(int32_t* count) {
  return guarded<uint8_t>(0, [&] { return flag(library().get_scada_number(count)); });
}

uint8_t get_main_server_node(TNetNode* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().get_main_server_node(buffer)); });
}

uint8_t get_node_list(int32_t* count, TNetNode* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().get_node_list(count, buffer)); });
}

int32_t GetNetNodeCount(void) {
  return guarded<int32_t>(0, [] { return library().GetNetNodeCount(); });
}

uint8_t GetNetNodeInfo(int32_t n, TNetNode* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetNetNodeInfo(n, buffer)); });
}

int32_t refresh_stationcfgshare(void) {
  return guarded<int32_t>(-1, [] { return library().refresh_stationcfgshare(); });
}

uint8_t FindScadaIndex(int32_t stationId, int32_t* slot) {
  return guarded<uint8_t>(0, [&] { return flag(library().FindScadaIndex(stationId, slot)); });
}

uint8_t FindChannelIndex(int32_t stationId, int32_t channelId, int32_t* slot, int32_t* channel) {
  return guarded<uint8_t>(0, [&] { return flag(library().FindChannelIndex(stationId, channelId, slot, channel)); });
}

uint8_t FindDeviceIndex(int32_t stationId, int32_t channelId, int32_t meterId, int32_t* slot, int32_t* channel,
                        int32_t* meter) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().FindDeviceIndex(stationId, channelId, meterId, slot, channel, meter)); });
}

uint8_t FindMeasIndex(int32_t stationId, int32_t channelId, int32_t meterId, int32_t pointId, int32_t* slot,
                      int32_t* channel, int32_t* meter, int32_t* point) {
  return guarded<uint8_t>(0, [&] {
    return flag(library().FindMeasIndex(stationId, channelId, meterId, pointId, slot, channel, meter, point));
  });
}

uint8_t FindCtrlIndex(int32_t stationId, int32_t controlId, int32_t* slot, int32_t* control) {
  return guarded<uint8_t>(0, [&] { return flag(library().FindCtrlIndex(stationId, controlId, slot, control)); });
}

uint8_t GetScadaID(int32_t slot, int32_t* stationId) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetScadaID(slot, stationId)); });
}

uint8_t GetChannelID(int32_t slot, int32_t channel, int32_t* channelId) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetChannelID(slot, channel, channelId)); });
}

uint8_t GetDeviceID(int32_t slot, int32_t channel, int32_t meter, int32_t* meterId) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetDeviceID(slot, channel, meter, meterId)); });
}

uint8_t GetMeasID(int32_t slot, int32_t channel, int32_t meter, int32_t point, int32_t* pointId) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetMeasID(slot, channel, meter, point, pointId)); });
}

uint8_t GetCtrlID(int32_t slot, int32_t control, int32_t* controlId) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetCtrlID(slot, control, controlId)); });
}

// --- realtime values, events and controls ---

double read_realtime_data(int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d) {
  return guarded<double>(velk::kNoValue, [&] { return library().read_realtime_data(kind, a, b, c, d); });
}

double read_realtime_data_byid(int32_t, int32_t, int32_t) { return velk::kNoValue; }

uint8_t Read_realtime_values(int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }

uint8_t Read_calc_items(int32_t slot, int32_t* count, TCalcItem* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().Read_calc_items(slot, count, buffer)); });
}

uint8_t read_syseve_share_num(int32_t* writeIndex) {
  return guarded<uint8_t>(0, [&] { return flag(library().read_syseve_share_num(writeIndex)); });
}

uint8_t read_syseve_share_data(int32_t* writeIndex, int32_t* readIndex, int32_t* count, int32_t capacity,
                               TSysEvent* buffer) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().read_syseve_share_data(writeIndex, readIndex, count, capacity, buffer)); });
}

uint8_t add_ctrl_do(int32_t firstCode, int32_t secondCode, const char* text1, int16_t value, int32_t station,
                    int32_t sixth, int32_t seventh, const char* text2) {
  return guarded<uint8_t>(0, [&] {
    return flag(library().add_ctrl_do(firstCode, secondCode, text1, value, station, sixth, seventh, text2));
  });
}

uint8_t GetCtrlLockState(int32_t slot, int32_t control) {
  return guarded<uint8_t>(255, [&] { return library().GetCtrlLockState(slot, control); });
}

int32_t Read_front_status(const char* nodeName) {
  return guarded<int32_t>(-1, [&] { return library().Read_front_status(nodeName); });
}

int32_t Read_node_status(const char* nodeName) {
  return guarded<int32_t>(-1, [&] { return library().Read_node_status(nodeName); });
}

int32_t Read_Scada_status(int32_t slot) {
  return guarded<int32_t>(-1, [&] { return library().Read_Scada_status(slot); });
}

// --- item names and ids ---

uint8_t read_ctrl_do_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemNames(velk::ItemKind::Control, slot, first, count, total, names)); });
}

uint8_t read_calcs_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemNames(velk::ItemKind::Calc, slot, first, count, total, names)); });
}

uint8_t read_dayrpt_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemNames(velk::ItemKind::Dayrpt, slot, first, count, total, names)); });
}

uint8_t read_engrpt_names(int32_t slot, int32_t first, int32_t* count, int32_t* total, char* names) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemNames(velk::ItemKind::Engrpt, slot, first, count, total, names)); });
}

uint8_t read_dayrpt_ids(int32_t slot, int32_t first, int32_t* count, int32_t* total, int32_t* ids) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemIds(velk::ItemKind::Dayrpt, slot, first, count, total, ids)); });
}

uint8_t read_engrpt_ids(int32_t slot, int32_t first, int32_t* count, int32_t* total, int32_t* ids) {
  return guarded<uint8_t>(
      0, [&] { return flag(library().readItemIds(velk::ItemKind::Engrpt, slot, first, count, total, ids)); });
}

// --- names, counts and checks ---

const char* GetScadaName(int32_t slot, int32_t standby) {
  return guardedText([&] { return library().GetScadaName(slot, standby); });
}

const char* GetNodeName(int32_t node) {
  return guardedText([&] { return library().GetNodeName(node); });
}

const char* GetChannelName(int32_t slot, int32_t channel) {
  return guardedText([&] { return library().GetChannelName(slot, channel); });
}

const char* GetMeterName(int32_t slot, int32_t channel, int32_t meter) {
  return guardedText([&] { return library().GetMeterName(slot, channel, meter); });
}

const char* GetparaName(int32_t slot, int32_t channel, int32_t meter, int32_t point, int32_t kind) {
  return guardedText([&] { return library().GetparaName(slot, channel, meter, point, kind); });
}

int32_t GetScadaCount(void) {
  return guarded<int32_t>(-1, [] { return library().GetScadaCount(); });
}

int32_t GetChannelCount(int32_t slot) {
  return guarded<int32_t>(-1, [&] { return library().GetChannelCount(slot); });
}

int32_t GetMeterCount(int32_t slot, int32_t channel) {
  return guarded<int32_t>(-1, [&] { return library().GetMeterCount(slot, channel); });
}

int32_t GetParaCount(int32_t slot, int32_t channel, int32_t meter, int32_t kind) {
  return guarded<int32_t>(-1, [&] { return library().GetParaCount(slot, channel, meter, kind); });
}

int32_t IsParaValid(int32_t kind, int32_t slot, int32_t channel, int32_t meter, int32_t point) {
  return guarded<int32_t>(0, [&] { return library().IsParaValid(kind, slot, channel, meter, point); });
}

int32_t IsParaCodeValid(int32_t a, int32_t b) { return velk::ClientLibrary::IsParaCodeValid(a, b); }

const char* GetControlName(int32_t slot, int32_t control) {
  return guardedText([&] { return library().GetControlName(slot, control); });
}

int32_t GetControlCount(int32_t slot) {
  return guarded<int32_t>(0, [&] { return library().GetControlCount(slot); });
}

const char* GetMeasTypeName(int32_t kind) {
  return guardedText([&] { return library().GetMeasTypeName(kind); });
}

const char* GetControlTypeName(int32_t kind) {
  return guardedText([&] { return library().GetControlTypeName(kind); });
}

int32_t GetDayrptCount(int32_t slot) {
  return guarded<int32_t>(0, [&] { return library().GetDayrptCount(slot); });
}

int32_t GetEngrptCount(int32_t slot) {
  return guarded<int32_t>(0, [&] { return library().GetEngrptCount(slot); });
}

uint8_t GetDayrptInfo(int32_t slot, int32_t index, TReportItem* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetDayrptInfo(slot, index, buffer)); });
}

uint8_t GetEngrptInfo(int32_t slot, int32_t index, TReportItem* buffer) {
  return guarded<uint8_t>(0, [&] { return flag(library().GetEngrptInfo(slot, index, buffer)); });
}

// --- operators ---

int32_t GetOperatorCount(void) {
  return guarded<int32_t>(-1, [] { return library().GetOperatorCount(); });
}

const char* GetOperatorName(int32_t index) {
  return guardedText([&] { return library().GetOperatorName(index); });
}

int32_t get_operator_DTYPE(int32_t index) {
  return guarded<int32_t>(0, [&] { return library().get_operator_DTYPE(index); });
}

int32_t check_operator_pass(const char* name, const char* password) {
  return guarded<int32_t>(-1, [&] { return library().check_operator_pass(name, password); });
}

// --- paths, time and configuration state ---

// Callers pass a buffer of MAX_PATH (260) bytes.
void get_working_path(char* buffer) {
  if (buffer == nullptr) return;
  buffer[0] = '\0';
  guarded<int>(0, [&] {
    const std::string path = library().get_working_path();
    const std::size_t length = path.size() < 260 ? path.size() : 259;
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    return 0;
  });
}

const char* GetGraphPath(void) {
  return guardedText([] { return library().GetGraphPath(); });
}

const char* GetDeviceLIBPath(void) {
  return guardedText([] { return library().GetDeviceLIBPath(); });
}

int32_t rchtime(SYSTEMTIME time) {
  return guarded<int32_t>(0, [&] { return library().rchtime(time); });
}

int32_t chtime(uint32_t seconds, SYSTEMTIME* time) {
  return guarded<int32_t>(0, [&] { return library().chtime(seconds, time); });
}

uint8_t read_velklog_deskterm_exchangemsg(char* buffer, int32_t size) {
  return guarded<uint8_t>(0, [&] { return flag(library().read_velklog_deskterm_exchangemsg(buffer, size)); });
}

uint8_t get_stationcfgshare_updatetime(uint8_t* buffer16) {
  return guarded<uint8_t>(0, [&] { return flag(library().get_stationcfgshare_updatetime(buffer16)); });
}

uint8_t get_stationcfgshare_setupcount(int32_t* count) {
  return guarded<uint8_t>(0, [&] { return flag(library().get_stationcfgshare_setupcount(count)); });
}

// --- dialogs ---

int32_t CheckUserPassword(uintptr_t parent, char* name, int32_t* rights) {
  return guarded<int32_t>(0, [&] { return velk::dialogs::CheckUserPassword(library(), parent, name, rights); });
}

int32_t CheckUserPassword2(uintptr_t parent, char* name, int32_t* rights, const char* caption) {
  return guarded<int32_t>(0,
                          [&] { return velk::dialogs::CheckUserPassword2(library(), parent, name, rights, caption); });
}

int32_t ChooseParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId, int32_t* pointId,
                          int32_t* kind) {
  return guarded<int32_t>(0, [&] {
    return velk::dialogs::ChooseParaTree(library(), velk::dialogs::PointChoice::All, parent, stationId, channelId,
                                         meterId, pointId, kind);
  });
}

int32_t ChooseMeasParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId,
                              int32_t* pointId, int32_t* kind) {
  return guarded<int32_t>(0, [&] {
    return velk::dialogs::ChooseParaTree(library(), velk::dialogs::PointChoice::Measured, parent, stationId, channelId,
                                         meterId, pointId, kind);
  });
}

int32_t ChooseStatusParaTreeDlg(uintptr_t parent, int32_t* stationId, int32_t* channelId, int32_t* meterId,
                                int32_t* pointId, int32_t* kind) {
  return guarded<int32_t>(0, [&] {
    return velk::dialogs::ChooseParaTree(library(), velk::dialogs::PointChoice::Status, parent, stationId, channelId,
                                         meterId, pointId, kind);
  });
}

int32_t ChooseCtrlDlg(uintptr_t parent, int32_t* stationId, int32_t* controlId) {
  return guarded<int32_t>(0, [&] { return velk::dialogs::ChooseCtrl(library(), parent, stationId, controlId); });
}

int32_t ChooseNodeStatusTreeDlg(uintptr_t parent, int32_t* nodeId, int32_t* selector, int32_t* third) {
  return guarded<int32_t>(
      0, [&] { return velk::dialogs::ChooseNodeStatusTree(library(), parent, nodeId, selector, third); });
}

}  // extern "C"
