// The library attached to an in-process stand-in client: every family of
// exports on the sample system, then changed and broken sections.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fmt/format.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include "clientif/clientlib.h"
#include "clientif/sharedint.h"
#include "clientif/testsupport.h"
#include "common/ipc/mutex_holder.h"
#include "common/other_user.h"
#include "common/gbk.h"
#include "tools/standin_client/standin.h"

namespace velk {
namespace {

using velktest::ScopedPrefix;
using velktest::TempFolder;

constexpr const char* kComputer = "velk-test-host";

std::string G(std::string_view utf8) { return common::Utf8ToGbk(utf8); }

template <class T>
std::unique_ptr<T[]> Buffer(std::size_t n = 1) {
  return std::make_unique<T[]>(n);
}

// Taking the lock again under its exclusive hold is refused, loudly: the
// caller does not go on as if it held it, and the lock stays whole.
TEST(WriterFirstLock, ANestedTakeUnderTheExclusiveLockRaises) {
  WriterFirstLock lock;
  lock.lock();
  EXPECT_THROW(lock.lock_shared(), std::system_error);
  EXPECT_THROW(lock.lock(), std::system_error);
  EXPECT_FALSE(std::async(std::launch::async, [&] { return lock.try_lock_shared(); }).get());
  lock.unlock();
  ASSERT_TRUE(lock.try_lock_shared());
  EXPECT_FALSE(std::async(std::launch::async, [&] { return lock.try_lock(); }).get());
  lock.unlock_shared();
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

class LibraryTest : public testing::Test {
 protected:
  void attach(const standin::Scenario& scenario, standin::Options options = {}) {
    client_ = std::make_unique<standin::StandinClient>(scenario, options);
    library_ = std::make_unique<ClientLibrary>(config_, engine_);
    ASSERT_EQ(library_->init_mlog_calls(), 1);
  }
  void attachSample() { attach(standin::SampleScenario(kComputer)); }
  ClientLibrary& lib() { return *library_; }
  standin::StandinClient& client() { return *client_; }
  std::uint8_t* station(std::string_view base, std::int32_t id) { return client_->stationSection(base, id)->View(); }

  ScopedPrefix prefix_;
  TempFolder home_;
  Config config_ = velktest::TestConfig(home_, kComputer);
  lang::MultiLangEngine engine_{lang::LangVariant::Velklog2};
  std::unique_ptr<standin::StandinClient> client_;
  std::unique_ptr<ClientLibrary> library_;
};

TEST_F(LibraryTest, DetachedEveryStateTestingExportRefuses) {
  client_ = std::make_unique<standin::StandinClient>(standin::SampleScenario(kComputer));
  library_ = std::make_unique<ClientLibrary>(config_, engine_);
  std::int32_t a = 0, b = 0;
  TNetNode node{};
  SYSTEMTIME time{};
  char text[256] = {};
  auto checkRefusals = [&] {
    EXPECT_EQ(lib().GetScadaCount(), -1);
    EXPECT_FALSE(lib().get_scada_number(&a));
    EXPECT_FALSE(lib().get_main_server_node(&node));
    EXPECT_EQ(lib().GetNetNodeCount(), 0);
    EXPECT_EQ(lib().calc_meter_num(0, 0, 0), -1);
    EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 0), kNoValue);
    EXPECT_EQ(lib().GetOperatorCount(), -1);
    EXPECT_EQ(lib().check_operator_pass("admin", "123456"), -1);
    EXPECT_EQ(lib().GetChannelName(0, 0), "");
    EXPECT_EQ(lib().GetGraphPath(), "");
    EXPECT_EQ(lib().rchtime(time), 0);
    EXPECT_EQ(lib().chtime(0, &time), 0);
    EXPECT_FALSE(lib().add_ctrl_do(1, 2, "t", 0, 0, 0, 0, "u"));
    EXPECT_EQ(lib().GetCtrlLockState(0, 0), 255);
    EXPECT_FALSE(lib().read_syseve_share_num(&a));
    EXPECT_EQ(lib().Read_Scada_status(0), -1);
    EXPECT_FALSE(lib().readItemNames(ItemKind::Control, 0, 0, &a, &b, text));
    EXPECT_EQ(lib().get_meter_unit("x"), 0);
    EXPECT_EQ(lib().get_regist_meter_str(1), "");
  };
  EXPECT_EQ(lib().state(), -1);
  checkRefusals();
  // Exports that need no attach.
  EXPECT_EQ(lib().get_working_path(), home_.slashed());
  EXPECT_EQ(ClientLibrary::IsParaCodeValid(3, 4), -1);
  EXPECT_EQ(lib().GetMeasTypeName(1), "UndefineTranslateText");
  EXPECT_FALSE(lib().read_velklog_deskterm_exchangemsg(text, sizeof text));  // no VELK_MAIN_HANDLE yet
  lib().close_mlog_calls();                                                  // harmless before any attach
  EXPECT_EQ(lib().state(), -1);

  ASSERT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_EQ(lib().init_mlog_calls(), 0);  // attached already: nothing changes
  EXPECT_EQ(lib().GetScadaCount(), 2);
  lib().close_mlog_calls();
  EXPECT_EQ(lib().state(), -1);
  checkRefusals();
  // The sections stay mapped: look-ups that do not test the state still work.
  EXPECT_TRUE(lib().FindScadaIndex(20, &a));
  EXPECT_EQ(a, 1);
  EXPECT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, sizeof text));
}

TEST_F(LibraryTest, AttachAndCloseKeepTheSharedCounts) {
  attachSample();
  const auto pid = static_cast<std::int32_t>(::getpid());
  EXPECT_EQ(client().attachSlot(0), pid);
  EXPECT_EQ(client().clientCounter(), 1);
  EXPECT_TRUE(lib().IsCLientRunning());
  EXPECT_TRUE(lib().IsClientregisted());
  lib().close_mlog_calls();
  EXPECT_EQ(client().attachSlot(0), 0);
  EXPECT_EQ(client().clientCounter(), 0);
  EXPECT_FALSE(lib().IsCLientRunning());
  EXPECT_FALSE(lib().IsClientregisted());
  // A second attach of the same process takes its old slot again.
  ASSERT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_EQ(client().attachSlot(0), pid);
  EXPECT_EQ(client().attachSlot(1), 0);
}

TEST_F(LibraryTest, StationsAndNodes) {
  attachSample();
  std::int32_t value = 0;
  EXPECT_EQ(lib().GetScadaCount(), 2);
  ASSERT_TRUE(lib().get_scada_number(&value));
  EXPECT_EQ(value, 2);
  ASSERT_TRUE(lib().GetScadaID(0, &value));
  EXPECT_EQ(value, 10);
  ASSERT_TRUE(lib().GetScadaID(1, &value));
  EXPECT_EQ(value, 20);
  EXPECT_FALSE(lib().GetScadaID(2, &value));
  EXPECT_EQ(lib().GetScadaName(0, 0), "FE-10");
  EXPECT_EQ(lib().GetScadaName(0, 1), "FE-10B");
  EXPECT_EQ(lib().GetScadaName(1, 1), "");
  EXPECT_EQ(lib().GetScadaName(2, 0), "");

  TNetNode server{};
  ASSERT_TRUE(lib().get_main_server_node(&server));
  EXPECT_EQ(+server.nodeId, 1);
  EXPECT_EQ(FieldText(server.nodeName, 128), G("主服务器"));

  auto nodes = Buffer<TNetNode>(kMaxNodes);
  ASSERT_TRUE(lib().get_node_list(&value, nodes.get()));
  EXPECT_EQ(value, 6);
  EXPECT_EQ(+nodes[2].stationSlot, 1);   // FE-20
  EXPECT_EQ(+nodes[4].stationSlot, 0);   // the standby front end of station 10
  EXPECT_EQ(+nodes[5].stationSlot, -1);  // the client
  EXPECT_EQ(lib().GetNetNodeCount(), 6);
  EXPECT_EQ(lib().GetNodeName(3), "FE-10");
  EXPECT_EQ(lib().GetNodeName(6), "");

  std::memset(nodes.get(), 0x5A, sizeof(TNetNode) * kMaxNodes);
  EXPECT_FALSE(lib().GetNetNodeInfo(0, nodes.get()));
  ASSERT_TRUE(lib().GetNetNodeInfo(2, nodes.get()));
  EXPECT_EQ(+nodes[1].nodeId, 2);
  EXPECT_EQ(+nodes[2].nodeId, 0x5A5A5A5A);  // left alone
  ASSERT_TRUE(lib().GetNetNodeInfo(100, nodes.get()));
  EXPECT_EQ(+nodes[5].nodeId, 6);
  EXPECT_EQ(+nodes[6].nodeId, 0x5A5A5A5A);

  EXPECT_EQ(lib().Read_front_status("fe-20"), 3);
  EXPECT_EQ(lib().Read_front_status("CLIENT"), -1);  // not a front end
  EXPECT_EQ(lib().Read_node_status("client"), 0x1234);
  EXPECT_EQ(lib().Read_node_status("nobody"), -1);
  EXPECT_EQ(lib().Read_Scada_status(0), 1);  // the standby front end of station 10 is in state 1
  EXPECT_EQ(lib().Read_Scada_status(1), 0);
  EXPECT_EQ(lib().Read_Scada_status(2), -1);
}

TEST_F(LibraryTest, ChannelsMetersAndPoints) {
  attachSample();
  CHEAD head{};
  ASSERT_TRUE(lib().read_CHEAD(&head, 0));
  EXPECT_EQ(head.channelCount, 2);
  EXPECT_EQ(head.meterCounts[0], 3);
  EXPECT_EQ(FieldText(head.channelNames[1], 128), G("二号通道"));
  EXPECT_FALSE(lib().read_CHEAD(&head, 2));
  EXPECT_FALSE(lib().read_CHEAD(&head, 128));

  auto storage = Buffer<std::uint8_t>(sizeof(TMeterPara));
  auto* para = reinterpret_cast<TMeterPara*>(storage.get());
  ASSERT_TRUE(lib().read_meter_para(0, 0, 0, para));
  EXPECT_EQ(+para->meterId, 1001);
  EXPECT_EQ(+para->field2, 11);
  EXPECT_EQ(+para->field3, 12);
  EXPECT_EQ(+para->field4, 13);
  EXPECT_EQ(+para->field5, 14);
  EXPECT_EQ(+para->analogCount, 3);
  EXPECT_EQ(+para->statusCount, 2);
  EXPECT_EQ(FieldText(para->meterName, 128), G("一号表"));
  EXPECT_EQ(FieldText(para->pointNames[3], 128), G("开关1"));
  double values[6];
  std::memcpy(values, storage.get() + offsetof(TMeterPara, pointValues1), sizeof values);
  EXPECT_EQ(values[1], 221.5);
  EXPECT_EQ(values[5], 0.0);  // past A + S
  EXPECT_EQ(para->pointBytes[4], 5);
  EXPECT_FALSE(lib().read_meter_para(0, 0, 3, para));
  EXPECT_FALSE(lib().read_meter_para(0, 2, 0, para));

  EXPECT_EQ(lib().GetChannelCount(0), 2);
  EXPECT_EQ(lib().GetChannelCount(2), -1);
  EXPECT_EQ(lib().GetChannelName(0, 1), G("二号通道"));
  EXPECT_EQ(lib().GetChannelName(0, 2), "");  // equal to the channel count
  EXPECT_EQ(lib().GetMeterCount(0, 0), 3);
  EXPECT_EQ(lib().GetMeterCount(0, 2), -1);
  EXPECT_EQ(lib().GetMeterName(0, 0, 1), G("空表"));
  EXPECT_EQ(lib().GetMeterName(0, 1, 1), G("五号表"));
  EXPECT_EQ(lib().GetParaCount(0, 0, 0, 1), 3);
  EXPECT_EQ(lib().GetParaCount(0, 0, 0, 2), 2);
  EXPECT_EQ(lib().GetParaCount(0, 0, 0, 3), -1);
  EXPECT_EQ(lib().GetparaName(0, 0, 0, 2, 1), "Uc");
  EXPECT_EQ(lib().GetparaName(0, 0, 0, 0, 2), G("开关1"));  // entry A + 0
  EXPECT_EQ(lib().GetparaName(0, 0, 0, 3, 1), "");          // past A
  EXPECT_EQ(lib().GetparaName(0, 0, 0, 1, 0), G("计算2"));
  EXPECT_EQ(lib().GetparaName(0, 0, 0, 3, 0), "");
  EXPECT_EQ(lib().IsParaValid(1, 0, 0, 0, 2), -1);
  EXPECT_EQ(lib().IsParaValid(1, 0, 0, 0, 3), 0);
  EXPECT_EQ(lib().IsParaValid(2, 0, 1, 1, 1), -1);
  EXPECT_EQ(lib().IsParaValid(0, 0, 0, 0, 2), -1);
  EXPECT_EQ(lib().IsParaValid(0, 1, 0, 0, 0), 0);  // station 20 has no calculated items
  EXPECT_EQ(ClientLibrary::IsParaCodeValid(0, 5), 0);
  EXPECT_EQ(ClientLibrary::IsParaCodeValid(5, -1), 0);
}

// Kind 0 reads the stored total of calculated items as the client has it
// now, also when it changed after the last build of the station list.
TEST_F(LibraryTest, CalculatedItemCountsAreReadFromTheSection) {
  attachSample();
  ASSERT_EQ(lib().IsParaValid(0, 0, 0, 0, 2), -1);
  for (const std::int32_t stored : {1, 0, -1, rptname::kMaxCalcs + 1}) {
    std::memcpy(station(kRptNameName, 10) + rptname::kCalcCount, &stored, 4);
    EXPECT_EQ(lib().IsParaValid(0, 0, 0, 0, 2), 0) << stored;
    EXPECT_EQ(lib().GetparaName(0, 0, 0, 2, 0), "") << stored;
    EXPECT_EQ(lib().IsParaValid(0, 0, 0, 0, 0), stored == 1 ? -1 : 0) << stored;
    EXPECT_EQ(lib().GetparaName(0, 0, 0, 0, 0), stored == 1 ? G("计算1") : "") << stored;
  }
}

TEST_F(LibraryTest, RunningMeterNumbers) {
  attachSample();
  std::int32_t slot = -9, channel = -9, meter = -9;
  EXPECT_EQ(lib().calc_meter_num(0, 0, 0), 0);
  EXPECT_EQ(lib().calc_meter_num(0, 1, 1), 4);
  EXPECT_EQ(lib().calc_meter_num(1, 0, 0), 5);
  EXPECT_EQ(lib().calc_meter_num(0, 0, 50), 50);  // the meter is not checked
  EXPECT_EQ(lib().calc_meter_num(2, 0, 0), -1);
  EXPECT_EQ(lib().calc_meter_num(0, 128, 0), -1);
  ASSERT_TRUE(lib().calc_sta_meter(0, 3, &channel, &meter));
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(meter, 0);
  EXPECT_FALSE(lib().calc_sta_meter(0, 5, &channel, &meter));
  EXPECT_FALSE(lib().calc_sta_meter(0, -1, &channel, &meter));
  ASSERT_TRUE(lib().calc_station_sta_meter(5, &slot, &channel, &meter));
  EXPECT_EQ(slot, 1);
  EXPECT_EQ(channel, 0);
  EXPECT_EQ(meter, 0);
  EXPECT_FALSE(lib().calc_station_sta_meter(6, &slot, &channel, &meter));
}

TEST_F(LibraryTest, IdsAndPositions) {
  attachSample();
  std::int32_t slot = -9, channel = -9, meter = -9, point = -9, id = 0;
  ASSERT_TRUE(lib().FindScadaIndex(20, &slot));
  EXPECT_EQ(slot, 1);
  EXPECT_FALSE(lib().FindScadaIndex(30, &slot));
  ASSERT_TRUE(lib().FindChannelIndex(10, 102, &slot, &channel));
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(channel, 1);
  ASSERT_TRUE(lib().FindDeviceIndex(10, 101, 1003, &slot, &channel, &meter));
  EXPECT_EQ(meter, 2);
  EXPECT_FALSE(lib().FindDeviceIndex(10, 101, 1011, &slot, &channel, &meter));
  ASSERT_TRUE(lib().FindMeasIndex(10, 101, 1001, 6001, &slot, &channel, &meter, &point));
  EXPECT_EQ(point, 0);  // the first status point answers like the first analog point
  ASSERT_TRUE(lib().FindMeasIndex(10, 101, 1001, 5003, &slot, &channel, &meter, &point));
  EXPECT_EQ(point, 2);
  ASSERT_TRUE(lib().FindMeasIndex(10, 102, 1012, 6032, &slot, &channel, &meter, &point));
  EXPECT_EQ(channel, 1);
  EXPECT_EQ(meter, 1);
  EXPECT_EQ(point, 1);
  ASSERT_TRUE(lib().FindCtrlIndex(10, 7003, &slot, &point));
  EXPECT_EQ(point, 2);
  ASSERT_TRUE(lib().FindCtrlIndex(20, 7101, &slot, &point));
  EXPECT_EQ(slot, 1);
  // An id of 0 fails at once.
  EXPECT_FALSE(lib().FindScadaIndex(0, &slot));
  EXPECT_FALSE(lib().FindChannelIndex(10, 0, &slot, &channel));
  EXPECT_FALSE(lib().FindDeviceIndex(10, 101, 0, &slot, &channel, &meter));
  EXPECT_FALSE(lib().FindMeasIndex(10, 101, 1001, 0, &slot, &channel, &meter, &point));
  EXPECT_FALSE(lib().FindCtrlIndex(10, 0, &slot, &point));

  ASSERT_TRUE(lib().GetChannelID(0, 1, &id));
  EXPECT_EQ(id, 102);
  EXPECT_FALSE(lib().GetChannelID(0, 2, &id));
  ASSERT_TRUE(lib().GetDeviceID(0, 1, 1, &id));
  EXPECT_EQ(id, 1012);
  ASSERT_TRUE(lib().GetMeasID(0, 0, 0, 3, &id));
  EXPECT_EQ(id, 6001);
  EXPECT_FALSE(lib().GetMeasID(0, 0, 0, 5, &id));
  ASSERT_TRUE(lib().GetCtrlID(0, 4, &id));
  EXPECT_EQ(id, 7005);
  EXPECT_FALSE(lib().GetCtrlID(0, 5, &id));
}

TEST_F(LibraryTest, RealtimeValues) {
  attachSample();
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 1), 221.5);
  EXPECT_EQ(lib().read_realtime_data(kSelectorAnalog, 0, 0, 0, 1), 221.5);
  EXPECT_EQ(lib().read_realtime_data(1, 0, 1, 0, 0), 100.25);
  EXPECT_EQ(lib().read_realtime_data(1, 1, 0, 0, 0), 10.0);
  EXPECT_EQ(lib().read_realtime_data(2, 0, 0, 0, 0), 1.0);
  EXPECT_EQ(lib().read_realtime_data(kSelectorStatus, 0, 0, 0, 1), 0.0);
  EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, 2), 3.5);
  EXPECT_EQ(lib().read_realtime_data(kSelectorCalc, 0, 0, 0, 0), 1.5);
  EXPECT_EQ(lib().read_realtime_data(5, 0, 0, 0, 0), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 3), kNoValue);  // only 3 analog points
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 1, 0), kNoValue);  // a meter without analog points
  EXPECT_EQ(lib().read_realtime_data(1, 0, 128, 0, 0), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, 10000), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(1, 2, 0, 0, 0), kNoValue);  // no such station

  client().setAnalogValue(10, 0, 0, 1, -7.25);
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 1), -7.25);

  // A meter whose value offset is 0 has no values, whatever its count says.
  std::uint8_t* values = station(kRealtimeName, 10);
  const std::int16_t three = 3;
  std::memcpy(values + realtime::kAnalogCounts + 2 * realtime::meterIndex(0, 1), &three, 2);
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 1, 0), kNoValue);

  // Node states (kind 3): node id, selector, channel id.
  EXPECT_EQ(lib().read_realtime_data(3, 3, kSelectorNodeState, 0, 0), 1.0);
  EXPECT_EQ(lib().read_realtime_data(3, 3, kSelectorSecondState, 0, 0), 2.0);
  EXPECT_EQ(lib().read_realtime_data(3, 4, kSelectorChannelState, 102, 0), 8.0);
  EXPECT_EQ(lib().read_realtime_data(3, 5, kSelectorChannelState, 101, 0), 7.0);  // standby of station 10
  EXPECT_EQ(lib().read_realtime_data(3, 4, kSelectorChannelState, 999, 0), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(3, 6, kSelectorChannelState, 101, 0), kNoValue);  // no station
  EXPECT_EQ(lib().read_realtime_data(3, 6, kSelectorSecondState, 0, 0), 10.0);
  EXPECT_EQ(lib().read_realtime_data(3, 77, kSelectorNodeState, 0, 0), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(3, 3, 0x1234, 0, 0), kNoValue);
}

TEST_F(LibraryTest, ItemReadersClipToTheStoredCount) {
  attachSample();
  std::int32_t count = 10, total = 0;
  char names[10 * 128];
  std::memset(names, 0x77, sizeof names);
  ASSERT_TRUE(lib().readItemNames(ItemKind::Control, 0, 3, &count, &total, names));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(total, 5);
  EXPECT_EQ(FieldText(names, 128), G("遥控4"));
  EXPECT_EQ(FieldText(names + 128, 128), G("遥控5"));
  EXPECT_EQ(names[256], 0x77);
  count = 10;
  EXPECT_FALSE(lib().readItemNames(ItemKind::Control, 0, 5, &count, &total, names));
  EXPECT_FALSE(lib().readItemNames(ItemKind::Control, 0, -1, &count, &total, names));
  count = -1;
  EXPECT_FALSE(lib().readItemNames(ItemKind::Control, 0, 0, &count, &total, names));

  std::int32_t ids[4] = {};
  count = 4;
  ASSERT_TRUE(lib().readItemIds(ItemKind::Dayrpt, 0, 1, &count, &total, ids));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(total, 4);
  EXPECT_EQ(ids[0], 8002);
  EXPECT_EQ(ids[2], 8004);
  count = 4;
  ASSERT_TRUE(lib().readItemNames(ItemKind::Calc, 0, 0, &count, &total, names));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(FieldText(names + 256, 128), G("计算3"));
  count = 1;
  EXPECT_FALSE(lib().readItemIds(ItemKind::Engrpt, 1, 0, &count, &total, ids));  // none in station 20

  EXPECT_EQ(lib().GetControlCount(0), 5);
  EXPECT_EQ(lib().GetControlCount(1), 1);
  EXPECT_EQ(lib().GetControlName(0, 4), G("遥控5"));
  EXPECT_EQ(lib().GetControlName(0, 5), "");
  EXPECT_EQ(lib().GetDayrptCount(0), 4);
  EXPECT_EQ(lib().GetEngrptCount(0), 2);
  EXPECT_EQ(lib().GetDayrptCount(2), 0);
  TReportItem item{};
  ASSERT_TRUE(lib().GetEngrptInfo(0, 1, &item));
  EXPECT_EQ(+item.id, 9002);
  EXPECT_EQ(item.reserved[0], 2);  // passed on whole
  EXPECT_FALSE(lib().GetDayrptInfo(0, 4, &item));

  auto calcs = Buffer<TCalcItem>(3);
  count = 5;
  ASSERT_TRUE(lib().Read_calc_items(0, &count, calcs.get()));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(+calcs[2].id, 9503);
  count = 0;
  EXPECT_FALSE(lib().Read_calc_items(0, &count, calcs.get()));
  count = 1;
  EXPECT_FALSE(lib().Read_calc_items(1, &count, calcs.get()));  // no calculated items
}

TEST_F(LibraryTest, StationWithoutSections) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  scenario.nodes.push_back({7, "FE-30", "fe30", kRoleFrontEnd, 0, 30, 0, 0});
  scenario.stationCount = 3;  // station 30 publishes nothing
  attach(scenario);
  EXPECT_EQ(lib().GetScadaName(2, 0), "FE-30");
  EXPECT_EQ(lib().GetControlCount(2), 0);
  EXPECT_EQ(lib().GetChannelCount(2), -1);
  EXPECT_EQ(lib().GetCtrlLockState(2, 0), 255);
  EXPECT_EQ(lib().read_realtime_data(1, 2, 0, 0, 0), kNoValue);
  EXPECT_EQ(lib().calc_meter_num(2, 0, 0), 6);    // a station without its table adds no meters
  EXPECT_EQ(lib().refresh_stationcfgshare(), 0);  // the last slot has no report section
}

TEST_F(LibraryTest, OperatorsAndPasswords) {
  attachSample();
  EXPECT_EQ(lib().GetOperatorCount(), 3);
  EXPECT_EQ(lib().GetOperatorName(2), "Zhang");
  EXPECT_EQ(lib().GetOperatorName(3), "");
  EXPECT_EQ(lib().GetOperatorName(-1), "");
  EXPECT_EQ(lib().get_operator_DTYPE(0), 0xFF);
  EXPECT_EQ(lib().get_operator_DTYPE(3), 0);
  EXPECT_EQ(lib().check_operator_pass("guest", "guest"), 1);
  EXPECT_EQ(lib().check_operator_pass("Guest", "guest"), -1);
  EXPECT_EQ(lib().check_operator_pass("guest", "GUEST"), -1);
  EXPECT_EQ(lib().check_operator_pass("guest", "gues"), -1);
  EXPECT_EQ(lib().check_operator_pass(nullptr, "x"), -1);
  // A count beyond the table is cut to its 100 records.
  const std::int32_t many = 5000;
  std::memcpy(client().bytes(kPasswordName), &many, 4);
  EXPECT_EQ(lib().GetOperatorCount(), 100);
  EXPECT_EQ(lib().GetOperatorName(99), "");
}

TEST_F(LibraryTest, ControlQueue) {
  SYSTEMTIME fixed{};
  fixed.wYear = 2000;
  fixed.wMonth = 3;
  fixed.wDay = 1;
  fixed.wSecond = 5;
  fixed.wMilliseconds = 789;
  config_.localTime = [fixed] { return fixed; };
  attachSample();
  const std::string longText(200, 'x');
  ASSERT_TRUE(lib().add_ctrl_do(11, 22, "open", -3, 7, 66, 77, longText.c_str()));
  ASSERT_EQ(client().queuedPackets(), 1);
  const TCtrlPacket packet = client().packet(0);
  EXPECT_EQ(+packet.station, 7);
  EXPECT_EQ(+packet.firstCode, 11);
  EXPECT_EQ(+packet.secondCode, 22);
  EXPECT_EQ(+packet.seconds, 951868805);
  EXPECT_EQ(+packet.milliseconds, 789);
  EXPECT_EQ(+packet.value, -3);
  EXPECT_EQ(FieldText(packet.text1, 128), "open");
  EXPECT_EQ(FieldText(packet.text2, 128), std::string(127, 'x'));
  EXPECT_EQ(FieldText(packet.computerName, 128), kComputer);
  EXPECT_EQ(+packet.sixth, 66);
  EXPECT_EQ(+packet.seventh, 77);
  EXPECT_EQ(+packet.reserved0, 0);

  // The same station and codes are refused while queued, whatever else differs.
  EXPECT_FALSE(lib().add_ctrl_do(11, 22, "close", 5, 7, 1, 2, "other"));
  EXPECT_TRUE(lib().add_ctrl_do(11, 23, "open", -3, 7, 66, 77, ""));
  EXPECT_FALSE(lib().add_ctrl_do(0, 22, "", 0, 7, 0, 0, ""));
  EXPECT_FALSE(lib().add_ctrl_do(11, 0, "", 0, 7, 0, 0, ""));
  EXPECT_FALSE(lib().add_ctrl_do(11, 22, "", 0, -1, 0, 0, ""));
  EXPECT_FALSE(lib().add_ctrl_do(11, 22, "", 0, 40000, 0, 0, ""));  // not an int16 station
  EXPECT_EQ(client().queuedPackets(), 2);
  // A long text is cut between characters: 127 bytes would end in half of one.
  std::string wide;
  for (int i = 0; i < 70; ++i) wide += G("开");
  ASSERT_TRUE(lib().add_ctrl_do(12, 22, wide.c_str(), 0, 7, 0, 0, ""));
  EXPECT_EQ(FieldText(client().packet(2).text1, 128), wide.substr(0, 126));

  client().clearPackets();
  for (int i = 1; i <= 100; ++i) ASSERT_TRUE(lib().add_ctrl_do(i, 1, "", 0, 0, 0, 0, "")) << i;
  EXPECT_FALSE(lib().add_ctrl_do(101, 1, "", 0, 0, 0, 0, ""));  // full
  const std::int32_t broken = -4;
  std::memcpy(client().bytes(kCtrlPackName), &broken, 4);
  EXPECT_FALSE(lib().add_ctrl_do(102, 1, "", 0, 0, 0, 0, ""));

  // Held by another thread for longer than the wait: refused.
  client().clearPackets();
  std::atomic<bool> held{false}, done{false};
  std::thread holder([&] {
    ipc::TMutex mutex(kCtrlPackMutexName);
    ASSERT_TRUE(mutex.Get(ipc::kInfinite));
    held = true;
    while (!done) std::this_thread::yield();
    mutex.Release();
  });
  while (!held) std::this_thread::yield();
  EXPECT_FALSE(lib().add_ctrl_do(1, 1, "", 0, 0, 0, 0, ""));
  done = true;
  holder.join();
  EXPECT_TRUE(lib().add_ctrl_do(1, 1, "", 0, 0, 0, 0, ""));
}

// The client keeps its queue mutex while 8 callers wait for it: only they
// wait. Exports whose resources are free answer at once, attaching state
// included.
TEST_F(LibraryTest, ASlowClientMutexStallsOnlyItsOwnCallers) {
  config_.timing.mutexWaitMs = 1000;
  attachSample();
  ipc::test::MutexHolder client(kCtrlPackMutexName);
  ASSERT_TRUE(client.holding());
  std::vector<std::future<bool>> callers;
  for (int i = 0; i < 8; ++i)
    callers.push_back(std::async(std::launch::async, [&, i] { return lib().add_ctrl_do(i + 1, 1, "", 0, 0, 0, 0, ""); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // all of them waiting
  const auto answersAtOnce = [](const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100);
  };
  EXPECT_TRUE(answersAtOnce([&] { EXPECT_EQ(lib().GetScadaCount(), 2); }));
  EXPECT_TRUE(answersAtOnce([&] {
    std::int32_t write = 0, read = 0, count = 1;
    TSysEvent event{};
    EXPECT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 1, &event));
  }));
  EXPECT_TRUE(answersAtOnce([&] { EXPECT_EQ(lib().refresh_stationcfgshare(), 1); }));
  for (auto& caller : callers) EXPECT_FALSE(caller.get());  // each after its own 1000 ms
  client.letGo();
  EXPECT_TRUE(lib().add_ctrl_do(1, 1, "", 0, 0, 0, 0, ""));
}

TEST_F(LibraryTest, ControlLocks) {
  attachSample();
  EXPECT_EQ(lib().GetCtrlLockState(0, 1), 1);
  EXPECT_EQ(lib().GetCtrlLockState(0, 4), 2);
  EXPECT_EQ(lib().GetCtrlLockState(0, 5), 255);  // equal to the control count
  EXPECT_EQ(lib().GetCtrlLockState(1, 0), 0);
  EXPECT_EQ(lib().GetCtrlLockState(2, 0), 255);
  // A lock offset past the section gives the failure value, not a read past it.
  const std::int32_t far = 1 << 30;
  std::memcpy(station(kRealtimeName, 10) + realtime::kLockOffset, &far, 4);
  EXPECT_EQ(lib().GetCtrlLockState(0, 0), 255);
}

TEST_F(LibraryTest, EventRing) {
  attachSample();
  std::int32_t write = -1;
  ASSERT_TRUE(lib().read_syseve_share_num(&write));
  EXPECT_EQ(write, 10);

  auto events = Buffer<TSysEvent>(40);
  std::int32_t read = 4990, count = 0;
  ASSERT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 40, events.get()));
  EXPECT_EQ(write, 10);
  ASSERT_EQ(count, 20);
  EXPECT_EQ(events[0].bytes[0], standin::EventByte(4990));
  EXPECT_EQ(events[9].bytes[940], standin::EventByte(4999));
  EXPECT_EQ(events[10].bytes[0], standin::EventByte(0));
  EXPECT_EQ(events[19].bytes[0], standin::EventByte(9));

  // Capacity limits the copy; no more than the count is copied.
  read = 4990;
  count = 0;
  ASSERT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 15, events.get()));
  EXPECT_EQ(count, 15);
  read = 2;
  count = 3;
  std::memset(events.get(), 0, sizeof(TSysEvent) * 40);
  ASSERT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 40, events.get()));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(events[2].bytes[0], standin::EventByte(4));
  EXPECT_EQ(events[3].bytes[0], 0);
  // A read index of 5000 is 0.
  read = 5000;
  count = 0;
  ASSERT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 40, events.get()));
  EXPECT_EQ(count, 10);
  EXPECT_EQ(events[0].bytes[0], standin::EventByte(0));

  const struct {
    std::int32_t read, count, capacity;
  } refused[] = {{-1, 0, 10}, {5001, 0, 10}, {0, -1, 10}, {0, 0, 0}, {0, 0, 5001}};
  for (const auto& c : refused) {
    read = c.read;
    count = c.count;
    EXPECT_FALSE(lib().read_syseve_share_data(&write, &read, &count, c.capacity, events.get()))
        << c.read << " " << c.count << " " << c.capacity;
  }
  // A write index out of range in the section.
  const std::int32_t broken = 7000;
  std::memcpy(client().bytes(kSysEveName), &broken, 4);
  read = 0;
  count = 0;
  EXPECT_FALSE(lib().read_syseve_share_data(&write, &read, &count, 40, events.get()));
  const std::int32_t full = 5000;
  std::memcpy(client().bytes(kSysEveName), &full, 4);
  ASSERT_TRUE(lib().read_syseve_share_data(&write, &read, &count, 40, events.get()));
  EXPECT_EQ(write, 0);
  EXPECT_EQ(count, 40);
}

TEST_F(LibraryTest, ExchangeMessageAndConfigurationState) {
  attachSample();
  char text[128];
  std::memset(text, 'q', sizeof text);
  ASSERT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, 1));
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'q');
  EXPECT_FALSE(lib().read_velklog_deskterm_exchangemsg(text, 0));
  EXPECT_FALSE(lib().read_velklog_deskterm_exchangemsg(text, -5));
  ASSERT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, sizeof text));
  EXPECT_EQ(std::string(text), G("正在运行"));
  ASSERT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, 5));
  EXPECT_EQ(std::string(text), G("正在运行").substr(0, 4));
  ASSERT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, 4));  // room for 3 bytes: one character
  EXPECT_EQ(std::string(text), G("正"));
  // A message that fills its whole field still ends inside it.
  std::memset(client().bytes(kMainHandleName) + mainhandle::kExchangeMessage, 'm', 128);
  ASSERT_TRUE(lib().read_velklog_deskterm_exchangemsg(text, sizeof text));
  EXPECT_EQ(std::string(text), std::string(127, 'm'));

  std::uint8_t update[16] = {};
  ASSERT_TRUE(lib().get_stationcfgshare_updatetime(update));
  EXPECT_EQ(update[0], 1);
  EXPECT_EQ(update[15], 16);
  std::int32_t setups = 0;
  ASSERT_TRUE(lib().get_stationcfgshare_setupcount(&setups));
  EXPECT_EQ(setups, 7);
}

TEST_F(LibraryTest, PathsTimeAndTypeNames) {
  attachSample();
  EXPECT_EQ(lib().get_working_path(), home_.slashed());
  EXPECT_EQ(lib().GetGraphPath(), home_.slashed() + "CfgCache/Graph/");
  EXPECT_EQ(lib().GetDeviceLIBPath(), home_.slashed() + "CfgCache/DeviceLibrary/");
  SYSTEMTIME t{};
  t.wYear = 2000;
  t.wMonth = 3;
  t.wDay = 1;
  EXPECT_EQ(lib().rchtime(t), 951868800);
  ASSERT_EQ(lib().chtime(68256000, &t), 1);
  EXPECT_EQ(+t.wYear, 1972);
  EXPECT_EQ(lib().GetMeasTypeName(9), "UndefineTranslateText");
  EXPECT_EQ(lib().GetControlTypeName(8), "");
  EXPECT_EQ(lib().GetControlTypeName(7), "UndefineTranslateText");
}

TEST_F(LibraryTest, LanguageTextsComeBackInCodePage936) {
  home_.write("Language/velklog2.lang",
              G("[StringsTable]\r\nVLOG_0033=模拟量\r\nVLOG_0044=遥调\r\nVLOG_0018=打不开\r\n"));
  attachSample();
  EXPECT_EQ(lib().GetMeasTypeName(1), G("模拟量"));
  EXPECT_EQ(lib().GetControlTypeName(7), G("遥调"));
  EXPECT_EQ(lib().GetInitErrorMsg(-1), G("打不开"));
}

TEST_F(LibraryTest, CacheFilesBesideTheHost) {
  std::string registry;
  auto add = [&](std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) registry.push_back(static_cast<char>((v >> s) & 0xFF));
  };
  add(kCacheMagic);
  add(kCacheMinVersion);
  registry.append(16, '\0');
  add(0);
  add(2);
  registry.append(1024, '\0');
  add(31);
  add(32);
  registry.append(4 * 1022, '\0');
  registry += MakeRegistryString("Relay") + MakeRegistryString("") + MakeRegistryString("RelayLog");
  registry += MakeRegistryString(G("电表")) + MakeRegistryString("") + MakeRegistryString("MeterLog");
  home_.write("CfgCache/zadavud.reg.cah", registry);
  home_.write("dbconn.cfg", MakeDbConnBytes({"_h", "main text", "spare text"}));
  attachSample();
  EXPECT_EQ(lib().get_regist_meter_str(32), G("电表"));
  EXPECT_EQ(lib().get_regist_mlog_str(31), "RelayLog");
  EXPECT_EQ(lib().get_regist_meter_str(33), "");
  EXPECT_EQ(lib().get_meter_unit("RELAY"), 31);
  EXPECT_EQ(lib().get_meter_unit("none"), 0);
  char suffix[64], main[64], spare[64];
  ASSERT_TRUE(lib().GetDBConnInfo(suffix, main, spare));
  EXPECT_STREQ(suffix, "_h");
  EXPECT_STREQ(main, "main text");
  EXPECT_STREQ(spare, "spare text");
}

TEST_F(LibraryTest, GetDBConnInfoLeavesTheBuffersOnFailure) {
  ClientLibrary detached(config_, engine_);
  char suffix[8] = "keep", main[8] = "keep", spare[8] = "keep";
  EXPECT_FALSE(detached.GetDBConnInfo(suffix, main, spare));  // no file
  std::string bytes = MakeDbConnBytes({"s", "m", "b"});
  const std::int32_t tooLong = 10241;
  std::memcpy(bytes.data() + 24 + 4 + 2, &tooLong, 4);
  home_.write("dbconn.cfg", bytes);
  EXPECT_FALSE(detached.GetDBConnInfo(suffix, main, spare));
  EXPECT_STREQ(suffix, "keep");
  EXPECT_STREQ(main, "keep");
  EXPECT_STREQ(spare, "keep");
  home_.write("dbconn.cfg", MakeDbConnBytes({"s", "m", "b"}));
  EXPECT_TRUE(detached.GetDBConnInfo(suffix, main, spare));  // needs no attach
  EXPECT_STREQ(main, "m");
}

TEST_F(LibraryTest, ReadersWaitWhileTheWriterFlagIsSet) {
  int waits = 0;
  config_.sleep = [&](std::uint32_t) {
    // The client finishes writing after the reader has looked three times.
    if (++waits == 3) client().setWriterFlag(0, 0);
  };
  attachSample();
  client().setWriterFlag(0, 1);
  EXPECT_EQ(lib().GetChannelCount(0), 2);
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(client().readerCount(0), 0);
  client().setWriterFlag(1, 5);  // another station's writer does not hold this one up
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 0), 220.5);
  EXPECT_EQ(waits, 3);
}

// The bound for work that must not wait on the operator client or on busy
// readers: generous, so that only a hang fails it.
constexpr auto kNoHang = std::chrono::seconds(20);

TEST_F(LibraryTest, DetachDoesNotWaitForAReaderWaitingOnTheWriterFlag) {
  std::promise<void> readerWaits;
  std::atomic<bool> told{false};
  config_.sleep = [&](std::uint32_t) {
    if (!told.exchange(true)) readerWaits.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  attachSample();
  client().setWriterFlag(0, 1);
  auto reader = std::async(std::launch::async, [&] { return lib().GetChannelCount(0); });
  readerWaits.get_future().wait();
  auto detach = std::async(std::launch::async, [&] { lib().close_mlog_calls(); });
  const bool detached = detach.wait_for(kNoHang) == std::future_status::ready;
  client().setWriterFlag(0, 0);  // lets everything finish, hung or not
  EXPECT_TRUE(detached);
  detach.wait();
  EXPECT_EQ(reader.get(), 2);  // the reader reads once the writer is done
  EXPECT_EQ(lib().state(), -1);
  EXPECT_EQ(client().readerCount(0), 0);
  EXPECT_EQ(client().clientCounter(), 0);
}

TEST_F(LibraryTest, RefreshGetsInBetweenReadersThatNeverStop) {
  attachSample();
  std::atomic<bool> stop{false};
  std::atomic<long> reads{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 12; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        if (lib().read_realtime_data(1, 0, 0, 0, 2) != 222.5) ++wrong;
        if (lib().GetMeterName(0, 1, 0) != G("四号表")) ++wrong;
        ++reads;
      }
    });
  }
  while (reads.load() < 1200) std::this_thread::yield();
  auto refresh = std::async(std::launch::async, [&] { return lib().refresh_stationcfgshare(); });
  const bool refreshed = refresh.wait_for(kNoHang) == std::future_status::ready;
  stop.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(refresh.get(), 1);
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(LibraryTest, APasswordSectionAnotherUserPlantedIsNotRead) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const std::string planted = ipc::PosixObjectName(ipc::ObjectKind::Section, kPasswordName).value();
  const common::test::NobodyProcess planter([&] {
    const int fd = ::shm_open(planted.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
    return fd >= 0 && ::fchmod(fd, 0666) == 0 && ::ftruncate(fd, password::kSize) == 0 && ::flock(fd, LOCK_SH) == 0;
  });
  ASSERT_TRUE(planter.succeeded());
  attachSample();
  // The other user writes its forged records again, after the client started.
  const int fd = ::shm_open(planted.c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  const std::string forged(password::kSize, 'F');
  EXPECT_EQ(::pwrite(fd, forged.data(), forged.size(), 0), static_cast<ssize_t>(forged.size()));
  ::close(fd);
  EXPECT_EQ(lib().GetOperatorCount(), 3);
  EXPECT_EQ(lib().GetOperatorName(0), "admin");
  EXPECT_EQ(lib().check_operator_pass("admin", "123456"), 0);  // its index: the password is ours
  ::shm_unlink(planted.c_str());
}

int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator()));
}

TEST_F(LibraryTest, StationSectionsKeepNoDescriptor) {
  // The descriptors that attaching adds must not grow with the stations:
  // the sections the client made are mapped and their descriptors closed
  // (only the few sections the library creates when missing keep theirs).
  std::vector<int> added;
  for (const int extraStations : {0, 4}) {
    standin::Scenario scenario = standin::SampleScenario(kComputer);
    for (int i = 0; i < extraStations; ++i) {
      const std::int32_t id = 30 + i;
      scenario.nodes.push_back({100 + i, fmt::format("FE-{}", id), fmt::format("fe{}", id), kRoleFrontEnd, 0, id, 0, 0});
      standin::Station station;
      station.id = id;
      station.channels = {{id * 10, "通道", 0, {{id * 100, "表", 0, 0, 0, 0, {{id * 1000, "U", id + 0.5}}, {}}}}};
      scenario.stations.push_back(station);
    }
    library_.reset();
    client_ = std::make_unique<standin::StandinClient>(scenario);
    const int atLoad = OpenDescriptors();
    library_ = std::make_unique<ClientLibrary>(config_, engine_);
    EXPECT_EQ(OpenDescriptors(), atLoad);  // its 128 mutexes keep none either
    const int before = OpenDescriptors();
    ASSERT_EQ(lib().init_mlog_calls(), 1);
    added.push_back(OpenDescriptors() - before);
    ASSERT_EQ(lib().GetScadaCount(), 2 + extraStations);
    // The mappings stay valid: every station's sections read.
    for (int i = 0; i < extraStations; ++i) {
      EXPECT_EQ(lib().read_realtime_data(1, 2 + i, 0, 0, 0), 30 + i + 0.5) << i;
      EXPECT_EQ(lib().GetMeterName(2 + i, 0, 0), G("表")) << i;
    }
    EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 2), 222.5);
    EXPECT_EQ(lib().GetControlCount(0), 5);
    library_.reset();
    client_.reset();
  }
  EXPECT_EQ(added[0], added[1]);
}

TEST_F(LibraryTest, ViewsFollowTheStoredSize) {
  standin::Options options;
  options.spareBytes = 4096;
  attach(standin::SampleScenario(kComputer), options);
  std::uint8_t* head = station(kCommHeadName, 20);
  std::int32_t size = 0;
  std::memcpy(&size, head, 4);
  // The client appends a meter to the channel of station 20 and states the new size.
  CHEAD chead{};
  std::memcpy(&chead, head + 4, sizeof chead);
  chead.meterCounts[0] = 2;
  TMeterHead meter{};
  meter.meterId = 2002;
  SetFieldText(meter.meterName, 128, "appended");
  std::memcpy(head + size, &meter, sizeof meter);
  std::memcpy(head + 4, &chead, sizeof chead);
  const std::int32_t grown = size + 179;
  std::memcpy(head, &grown, 4);
  EXPECT_EQ(lib().GetMeterName(1, 0, 1), "appended");

  // A size beyond the section fails the read (no fault) until it is right again.
  const std::int32_t beyond = size + 100000;
  std::memcpy(head, &beyond, 4);
  EXPECT_EQ(lib().GetMeterName(1, 0, 1), "");
  EXPECT_EQ(lib().GetChannelCount(1), -1);
  EXPECT_EQ(client().readerCount(1), 0);
  std::memcpy(head, &grown, 4);
  EXPECT_EQ(lib().GetMeterName(1, 0, 0), G("二十站表"));

  // Realtime values: a second table set after growth.
  std::uint8_t* values = station(kRealtimeName, 20);
  std::int32_t valuesSize = 0;
  std::memcpy(&valuesSize, values, 4);
  const double extra = 42.5;
  std::memcpy(values + valuesSize, &extra, 8);
  const std::int32_t offset = valuesSize;
  std::memcpy(values + realtime::kAnalogOffsets + 4 * realtime::meterIndex(0, 0), &offset, 4);
  EXPECT_EQ(lib().read_realtime_data(1, 1, 0, 0, 0), kNoValue);  // past the old view
  const std::int32_t valuesGrown = valuesSize + 8;
  std::memcpy(values, &valuesGrown, 4);
  EXPECT_EQ(lib().read_realtime_data(1, 1, 0, 0, 0), 42.5);
}

TEST_F(LibraryTest, RefreshMovesObjectsWithTheirStations) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  attach(scenario);
  // Station 5 comes in before both (10 and 20 move up one slot), then 20 goes.
  standin::Station five;
  five.id = 5;
  five.channels = {{501, "五站通道", 0, {}}};
  five.controls = {{7501, "五站遥控", 0}};
  scenario.stations.push_back(five);
  scenario.nodes.push_back({7, "FE-5", "fe5", kRoleFrontEnd, 0, 5, 0, 0});
  client().publishStation(five);
  client().publishNetList(scenario);
  std::int32_t setups = 0;
  ASSERT_TRUE(lib().get_stationcfgshare_setupcount(&setups));
  EXPECT_EQ(setups, 8);
  EXPECT_EQ(lib().GetChannelName(0, 0), G("一号通道"));  // not refreshed yet
  ASSERT_EQ(lib().refresh_stationcfgshare(), 1);
  EXPECT_EQ(lib().GetScadaCount(), 3);
  EXPECT_EQ(lib().GetChannelName(0, 0), G("五站通道"));
  EXPECT_EQ(lib().GetChannelName(1, 0), G("一号通道"));
  EXPECT_EQ(lib().GetChannelName(2, 0), G("二十站通道"));
  EXPECT_EQ(lib().read_realtime_data(1, 2, 0, 0, 0), 10.0);
  EXPECT_EQ(lib().GetControlName(0, 0), G("五站遥控"));
  EXPECT_EQ(lib().IsParaValid(0, 1, 0, 0, 2), -1);  // the calculated items moved along

  // Station 20 leaves; the standby front end of 10 and its main share one set of objects.
  scenario.nodes.erase(scenario.nodes.begin() + 2);
  scenario.stations.erase(scenario.stations.begin());
  client().publishNetList(scenario);
  ASSERT_EQ(lib().refresh_stationcfgshare(), 1);
  EXPECT_EQ(lib().GetScadaCount(), 2);
  EXPECT_EQ(lib().GetChannelName(0, 0), G("五站通道"));
  EXPECT_EQ(lib().GetChannelName(1, 0), G("一号通道"));
  EXPECT_EQ(lib().GetChannelName(2, 0), "");

  // No stations at all.
  scenario.nodes.erase(std::remove_if(scenario.nodes.begin(), scenario.nodes.end(),
                                      [](const standin::Node& n) { return (n.role & kRoleFrontEnd) != 0; }),
                       scenario.nodes.end());
  scenario.stations.clear();
  client().publishNetList(scenario);
  EXPECT_EQ(lib().refresh_stationcfgshare(), -1);
  EXPECT_EQ(lib().GetScadaCount(), 0);
}

TEST_F(LibraryTest, RefreshWhenStationsSwapSlots) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  attach(scenario);
  // Both stations change ids: 10 becomes 30 (now after 20), so 20 takes slot 0.
  standin::Station thirty = scenario.stations[1];
  thirty.id = 30;
  thirty.channels[0].name = "三十站";
  client().publishStation(thirty);
  for (standin::Node& node : scenario.nodes)
    if (node.stationId == 10) node.stationId = 30;
  client().publishNetList(scenario);
  ASSERT_EQ(lib().refresh_stationcfgshare(), 1);
  EXPECT_EQ(lib().GetChannelName(0, 0), G("二十站通道"));
  EXPECT_EQ(lib().GetChannelName(1, 0), G("三十站"));
  std::int32_t slot = -1;
  ASSERT_TRUE(lib().FindScadaIndex(30, &slot));
  EXPECT_EQ(slot, 1);
}

// A node that carries a station id but is no front end (here the main
// server) has no slot: its station's objects stay with the front end's slot.
TEST_F(LibraryTest, RefreshIgnoresNodesWithAStationIdButNoSlot) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  scenario.nodes[0].stationId = 10;
  attach(scenario);
  client().publishNetList(scenario);
  ASSERT_EQ(lib().refresh_stationcfgshare(), 1);
  std::int32_t slot = -1;
  ASSERT_TRUE(lib().FindScadaIndex(10, &slot));
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(lib().GetChannelName(0, 0), G("一号通道"));
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 1), 221.5);
  EXPECT_EQ(lib().GetControlName(0, 4), G("遥控5"));
  EXPECT_EQ(lib().IsParaValid(0, 0, 0, 0, 2), -1);
}

// Every indexed export with indexes at and past the edges and missing
// buffers: the failure value, no fault, and no reader left counted in.
TEST_F(LibraryTest, HostileArgumentsFailCleanly) {
  attachSample();
  const std::int32_t bad[] = {-1, 6, 127, 128, INT_MAX, INT_MIN};
  std::int32_t v = 0, w = 0, x = 0, y = 0;
  for (const std::int32_t b : bad) {
    SCOPED_TRACE(b);
    EXPECT_FALSE(lib().read_CHEAD(nullptr, 0));
    CHEAD head{};
    EXPECT_FALSE(lib().read_CHEAD(&head, b));
    EXPECT_FALSE(lib().read_meter_para(b, 0, 0, nullptr));
    EXPECT_EQ(lib().GetChannelCount(b), -1);
    EXPECT_EQ(lib().GetMeterCount(0, b), -1);
    EXPECT_EQ(lib().GetMeterName(0, 0, b), "");
    EXPECT_EQ(lib().GetMeterName(b, 0, 0), "");
    EXPECT_EQ(lib().GetparaName(0, 0, 0, b, 1), "");
    EXPECT_EQ(lib().GetparaName(0, 0, 0, b, 2), "");
    EXPECT_EQ(lib().GetparaName(0, 0, 0, b, 0), "");
    EXPECT_EQ(lib().GetParaCount(0, b, 0, 1), -1);
    EXPECT_EQ(lib().IsParaValid(1, 0, 0, 0, b), 0);
    EXPECT_EQ(lib().GetNodeName(b), "");
    EXPECT_EQ(lib().GetScadaName(b, 0), "");
    EXPECT_EQ(lib().GetOperatorName(b), "");
    EXPECT_EQ(lib().get_operator_DTYPE(b), 0);
    EXPECT_EQ(lib().GetControlName(0, b), "");
    EXPECT_EQ(lib().GetControlName(b, 0), "");
    EXPECT_EQ(lib().GetControlCount(b), 0);
    EXPECT_EQ(lib().GetDayrptCount(b), 0);
    EXPECT_FALSE(lib().GetDayrptInfo(0, b, nullptr));
    TReportItem item{};
    EXPECT_FALSE(lib().GetEngrptInfo(0, b, &item));
    EXPECT_EQ(lib().GetCtrlLockState(0, b), 255);
    EXPECT_EQ(lib().GetCtrlLockState(b, 0), 255);
    EXPECT_EQ(lib().Read_Scada_status(b), -1);
    EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, b), kNoValue);
    EXPECT_EQ(lib().read_realtime_data(2, b, 0, 0, 0), kNoValue);
    EXPECT_EQ(lib().read_realtime_data(1, 0, b, 0, 0), kNoValue);
    EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, b), kNoValue);
    EXPECT_EQ(lib().read_realtime_data(3, b, kSelectorChannelState, b, 0), kNoValue);
    EXPECT_FALSE(lib().GetChannelID(0, b, &v));
    EXPECT_FALSE(lib().GetDeviceID(0, 0, b, &v));
    EXPECT_FALSE(lib().GetMeasID(0, 0, 0, b, &v));
    EXPECT_FALSE(lib().GetCtrlID(0, b, &v));
    EXPECT_FALSE(lib().calc_sta_meter(b, 0, &v, &w));
    EXPECT_EQ(lib().calc_meter_num(b, 0, 0), -1);
    x = 10;
    EXPECT_FALSE(lib().readItemNames(ItemKind::Dayrpt, 0, b, &x, &y, nullptr));
    char names[128];
    EXPECT_FALSE(lib().readItemNames(ItemKind::Dayrpt, b, 0, &x, &y, names));
    EXPECT_FALSE(lib().GetNetNodeInfo(b < 1 ? b : 1, nullptr));
  }
  EXPECT_FALSE(lib().get_node_list(nullptr, nullptr));
  EXPECT_FALSE(lib().calc_sta_meter(0, 0, nullptr, &w));
  EXPECT_FALSE(lib().FindMeasIndex(10, 101, 1001, 5001, nullptr, &v, &w, &x));
  EXPECT_FALSE(lib().read_syseve_share_data(nullptr, &v, &w, 1, nullptr));
  EXPECT_EQ(lib().Read_front_status(nullptr), -1);
  EXPECT_EQ(lib().get_meter_unit(nullptr), 0);
  EXPECT_FALSE(lib().GetDBConnInfo(nullptr, nullptr, nullptr));
  for (int slot = 0; slot < kMaxStations; ++slot) ASSERT_EQ(client().readerCount(slot), 0) << slot;
}

// Counts and offsets in the sections that no honest client writes.
TEST_F(LibraryTest, CorruptSectionsFailCleanly) {
  attachSample();
  std::uint8_t* head = station(kCommHeadName, 10);
  std::uint8_t* rpt = station(kRptNameName, 10);
  std::uint8_t* values = station(kRealtimeName, 10);
  // 200 channels listed in a table of 128.
  head[4] = 200;
  EXPECT_EQ(lib().GetChannelCount(0), 128);
  EXPECT_EQ(lib().GetChannelName(0, 150), "");
  EXPECT_EQ(lib().GetMeterCount(0, 127), 0);
  head[4] = 2;
  // A meter with A + S = 2000.
  const std::int16_t big = 1000;
  std::memcpy(head + commhead::kMeters + 139, &big, 2);
  std::memcpy(head + commhead::kMeters + 141, &big, 2);
  auto storage = Buffer<std::uint8_t>(sizeof(TMeterPara));
  EXPECT_FALSE(lib().read_meter_para(0, 0, 0, reinterpret_cast<TMeterPara*>(storage.get())));
  EXPECT_EQ(lib().GetMeterName(0, 0, 2), "");  // the walk cannot pass the broken record
  std::int32_t a = 0, b = 0, c = 0, d = 0;
  EXPECT_FALSE(lib().FindMeasIndex(10, 101, 1003, 5011, &a, &b, &c, &d));
  // A channel name without its NUL.
  std::memset(head + 4 + offsetof(CHEAD, channelNames), 'n', 128);
  EXPECT_EQ(lib().GetChannelName(0, 0), std::string(128, 'n'));
  // Item counts above their limits.
  const std::int32_t tooMany = 10001;
  std::memcpy(rpt + rptname::kControlCount, &tooMany, 4);
  EXPECT_EQ(lib().GetControlCount(0), 0);
  EXPECT_EQ(lib().GetCtrlLockState(0, 0), 255);
  EXPECT_FALSE(lib().FindCtrlIndex(10, 7001, &a, &b));
  // Value offsets past the section and negative ones.
  const std::int32_t far = 0x7FFFFFF0;
  const std::int32_t negative = -8;
  std::memcpy(values + realtime::kAnalogOffsets + 4 * realtime::meterIndex(0, 0), &far, 4);
  EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 0), kNoValue);
  std::memcpy(values + realtime::kStatusOffsets + 4 * realtime::meterIndex(0, 0), &negative, 4);
  EXPECT_EQ(lib().read_realtime_data(2, 0, 0, 0, 0), kNoValue);
  std::memcpy(values + realtime::kCalcOffset, &far, 4);
  EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, 0), kNoValue);
  std::memcpy(values + realtime::kCalcOffset, &negative, 4);
  EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, 0), kNoValue);
  EXPECT_EQ(lib().read_realtime_data(0, 0, 0, 0, 1), kNoValue);  // o + 8d = 0
  // Node and station counts beyond the tables.
  const std::int32_t nodes = 1000;
  std::memcpy(client().bytes(kNetListName), &nodes, 4);
  EXPECT_EQ(lib().GetNetNodeCount(), 128);
  for (int slot = 0; slot < kMaxStations; ++slot) ASSERT_EQ(client().readerCount(slot), 0) << slot;
}

TEST_F(LibraryTest, ConcurrentReadersAgree) {
  attachSample();
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        if (lib().read_realtime_data(1, 0, 0, 0, 2) != 222.5) ++wrong;
        if (lib().GetMeterName(0, 1, 0) != G("四号表")) ++wrong;
      }
    });
  }
  for (int i = 0; i < 20; ++i) lib().refresh_stationcfgshare();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(client().readerCount(0), 0);
}

}  // namespace

// The library's in-process locks, for a thread of a test to hold.
struct LockAccessForTests {
  static WriterFirstLock& state(ClientLibrary& library) { return library.stateLock_; }
  static std::shared_mutex& view(ClientLibrary& library, int slot) {
    return library.viewLocks_[static_cast<std::size_t>(slot)];
  }
  static std::mutex& netList(ClientLibrary& library) { return library.netListLock_; }
  static Reaper& reaper(ClientLibrary& library) { return library.reaper_; }
};

namespace {

using Locks = LockAccessForTests;

// Lets go a thread that holds a lock of the library once fork() is called:
// the test's prepare handler is registered after the library's, so it runs
// before theirs, which wait for that lock. Armed for one fork() at a time.
std::atomic<std::atomic<bool>*> letGoOnFork{nullptr};

void ArmLetGoOnFork(std::atomic<bool>& letGo) {
  static const bool registered = ::pthread_atfork(
                                     [] {
                                       if (std::atomic<bool>* armed = letGoOnFork.exchange(nullptr)) {
                                         armed->store(true);
                                         armed->notify_all();
                                       }
                                     },
                                     nullptr, nullptr) == 0;
  ASSERT_TRUE(registered);
  letGoOnFork.store(&letGo);
}

// A host forks while another of its threads holds one of the library's
// locks. fork() waits for the locks held for short work only; the child
// never waits for a thread it does not have: it detaches, attaches on its
// own, reads and refreshes. The parent's library goes on as before.
TEST_F(LibraryTest, AChildForkedWhileAnotherThreadHoldsALockNeverWaitsForIt) {
  std::atomic<bool> holding{false};
  std::atomic<bool> letGo{false};
  const pid_t parent = ::getpid();
  // A thread held in an attach's wait for a client that shuts down holds attachLock_.
  config_.sleep = [&](std::uint32_t) {
    if (::getpid() != parent) return;
    holding.store(true);
    holding.notify_all();
    letGo.wait(false);
  };
  const auto holdWhileLetGoWaits = [&](auto& lock) {
    const std::lock_guard guard(lock);
    holding.store(true);
    holding.notify_all();
    letGo.wait(false);
  };
  const struct {
    const char* label;
    bool forkWaitsForIt;  // false: the child is forked while the lock is held
    std::function<void(ClientLibrary&)> hold;
  } cases[] = {
      {"attach, in the wait for a client that shuts down", false,
       [&](ClientLibrary& library) {
         library.close_mlog_calls();
         client().setFinalizing(true);
         library.init_mlog_calls();
       }},
      {"state, shared", true,
       [&](ClientLibrary& library) {
         const std::shared_lock guard(Locks::state(library));
         holding.store(true);
         holding.notify_all();
         letGo.wait(false);
       }},
      {"state, exclusive", true, [&](ClientLibrary& library) { holdWhileLetGoWaits(Locks::state(library)); }},
      {"view of slot 0, exclusive", true,
       [&](ClientLibrary& library) {
         const std::shared_lock state(Locks::state(library));
         holdWhileLetGoWaits(Locks::view(library, 0));
       }},
      {"net list", true, [&](ClientLibrary& library) { holdWhileLetGoWaits(Locks::netList(library)); }},
      {"reaper", true,
       [&](ClientLibrary& library) {
         Reaper& reaper = Locks::reaper(library);
         reaper.holdForFork();
         holding.store(true);
         holding.notify_all();
         letGo.wait(false);
         reaper.releaseAfterFork();
       }},
  };
  attachSample();
  for (const auto& c : cases) {
    holding.store(false);
    letGo.store(false);
    std::atomic<bool> forked{false};
    // Once it has let go the holder does nothing until fork() has returned:
    // the sanitizers' allocator is not safe to use across fork().
    std::thread holder([&] {
      c.hold(lib());
      forked.wait(false);
    });
    holding.wait(false);
    if (c.forkWaitsForIt) ArmLetGoOnFork(letGo);
    const pid_t child = ::fork();
    if (child == 0) {
      int failures = 0;
      const auto check = [&](bool held) { failures += held ? 0 : 1; };
      ipc::TEvent(kFinalizeEventName, true, false, true).resetEvent();
      lib().close_mlog_calls();
      check(lib().init_mlog_calls() == 1);
      check(lib().read_realtime_data(1, 0, 0, 0, 1) == 221.5);
      check(lib().GetNodeName(3) == "FE-10");
      check(lib().refresh_stationcfgshare() == 1);
      Locks::reaper(lib()).reap(::getpid());  // no child of its own: its thread ends at once
      lib().close_mlog_calls();
      ::_exit(failures);
    }
    letGoOnFork.store(nullptr);
    forked.store(true);
    forked.notify_all();
    letGo.store(true);
    letGo.notify_all();
    holder.join();
    ASSERT_GT(child, 0) << c.label;
    EXPECT_EQ(velktest::ExitCodeWithin(child, kNoHang), 0) << c.label;
    client().setFinalizing(false);
    const std::int32_t attachedAlready = lib().state() == 1 ? 0 : 1;
    ASSERT_EQ(lib().init_mlog_calls(), attachedAlready) << c.label;
    EXPECT_EQ(lib().read_realtime_data(1, 0, 0, 0, 1), 221.5) << c.label;
    EXPECT_EQ(lib().refresh_stationcfgshare(), 1) << c.label;
    EXPECT_EQ(client().clientCounter(), 1) << c.label;
  }
}

}  // namespace
}  // namespace velk
