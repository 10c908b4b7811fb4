// The attach sequence: every result code of init_mlog_calls against the
// stand-in client, in-process or started by the library as a program.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "clientif/clientlib.h"
#include "clientif/sharedint.h"
#include "clientif/testsupport.h"
#include "common/other_user.h"
#include "common/gbk.h"
#include "tools/standin_client/standin.h"

#ifndef STANDIN_PROGRAM
#error "STANDIN_PROGRAM must name the stand-in client program"
#endif

namespace velk {
namespace {

namespace fs = std::filesystem;
using velktest::ScopedPrefix;
using velktest::TempFolder;

constexpr const char* kComputer = "velk-attach-host";

class AttachTest : public testing::Test {
 protected:
  ~AttachTest() override {
    for (const char* name : {"STANDIN_MODE", "STANDIN_PIDFILE", "STANDIN_LIFETIME_MS", "STANDIN_COMPUTER",
                             "STANDIN_CHURN_MS", "STANDIN_SIGNAL_AFTER_MS"})
      ::unsetenv(name);
  }

  ClientLibrary& lib() {
    if (!library_) library_ = std::make_unique<ClientLibrary>(config_, engine_);
    return *library_;
  }

  // The library starts the stand-in program in this mode.
  void useProgram(const std::string& mode) {
    config_.desktermProgram = STANDIN_PROGRAM;
    ::setenv("STANDIN_MODE", mode.c_str(), 1);
    ::setenv("STANDIN_PIDFILE", pidFile().c_str(), 1);
    ::setenv("STANDIN_LIFETIME_MS", "30000", 1);
    ::setenv("STANDIN_COMPUTER", kComputer, 1);
    // A client that signals or ends is seen long before this limit; only a
    // hanging one waits it out, so a slow start on a loaded machine (or under
    // the sanitizers) is not taken for silence.
    if (mode != "hang") config_.timing.silenceLimitMs = 10000;
  }
  std::string pidFile() const { return (home_.path() / "standin.pid").string(); }
  void endStartedClient() { velktest::EndProcess(velktest::ReadPidFile(pidFile())); }

  // What a failed attach must leave behind: detached, no attach slot of
  // ours, the client counter as it was.
  void expectNothingTaken(std::int32_t counterBefore = 0) {
    EXPECT_EQ(lib().state(), -1);
    ipc::TSharedMem main(kMainHandleName, false, mainhandle::kSize);
    if (main.Ok()) {
      for (int i = 0; i < kAttachSlots; ++i) EXPECT_EQ(SharedInt(main, mainhandle::kAttachSlots + 4 * i).load(), 0);
    }
    ipc::TSharedMem scada(kScadaServerName, false, scadaserver::kSize);
    if (scada.Ok()) {
      EXPECT_EQ(SharedInt(scada, scadaserver::counter(kKindClient)).load(), counterBefore);
    }
  }

  ScopedPrefix prefix_;
  TempFolder home_;
  Config config_ = velktest::TestConfig(home_, kComputer);
  lang::MultiLangEngine engine_{lang::LangVariant::Velklog2};
  std::unique_ptr<ClientLibrary> library_;
};

TEST_F(AttachTest, ARunningClientIsNeitherStartedNorWaitedFor) {
  config_.desktermProgram = (home_.path() / "no-such-program").string();  // a start would fail with -2
  standin::StandinClient client(standin::SampleScenario(kComputer));      // never signals its start
  EXPECT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_EQ(lib().state(), 1);
  EXPECT_EQ(lib().init_mlog_calls(), 0);
  EXPECT_EQ(client.clientCounter(), 1);
}

TEST_F(AttachTest, StartsTheClientAndWaitsForItsSignal) {
  useProgram("ok");
  ASSERT_EQ(lib().init_mlog_calls(), 1);
  // The attach slot was taken before the client started; the client keeps it.
  ipc::TSharedMem main(kMainHandleName, false, mainhandle::kSize);
  ASSERT_TRUE(main.Ok());
  EXPECT_EQ(SharedInt(main, mainhandle::kAttachSlots).load(), static_cast<std::int32_t>(::getpid()));
  EXPECT_EQ(lib().GetScadaCount(), 2);
  EXPECT_EQ(lib().GetChannelName(1, 0), common::Utf8ToGbk("二十站通道"));
  lib().close_mlog_calls();
  endStartedClient();
}

// A signal left set by a client that has gone must not pass for the start
// of the new one, which here never signals.
// A client the library started is reaped when it ends, while the host runs
// on (here: nobody else waits for it).
TEST_F(AttachTest, AStartedClientLeavesNoZombieWhenItEnds) {
  useProgram("ok");
  ASSERT_EQ(lib().init_mlog_calls(), 1);
  const pid_t pid = velktest::ReadPidFile(pidFile());
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  const fs::path entry = fs::path("/proc") / std::to_string(pid);
  for (int i = 0; i < 400 && fs::exists(entry); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(fs::exists(entry)) << "the client is still there (a zombie) 2 s after its end";
  lib().close_mlog_calls();
}

TEST_F(AttachTest, AStartSignalLeftByAGoneClientIsNotTaken) {
  ipc::TEvent leftOver(kInitEventName, true, false, true);
  ASSERT_TRUE(leftOver.setEvent());
  useProgram("hang");
  EXPECT_EQ(lib().init_mlog_calls(), -3);
  expectNothingTaken();
  endStartedClient();
}

TEST_F(AttachTest, TheClientProgramIsDesktermInTheHostFolder) {
  fs::create_symlink(STANDIN_PROGRAM, home_.path() / "deskterm");
  useProgram("ok");
  config_.desktermProgram.clear();
  ASSERT_EQ(lib().init_mlog_calls(), 1);
  endStartedClient();
}

// What another local user can leave under the names of the objects: a
// link, a folder, a FIFO. Library and client both pass them over.
TEST_F(AttachTest, EntriesAnotherUserPlantedUnderOurNamesArePassedOver) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  const auto pathOf = [](ipc::ObjectKind kind, std::string_view name) {
    return "/dev/shm" + ipc::PosixObjectName(kind, name).value();
  };
  const std::string mainHandle = pathOf(ipc::ObjectKind::Section, kMainHandleName);
  const std::string netList = pathOf(ipc::ObjectKind::Section, kNetListName);
  const std::string queueMutex = pathOf(ipc::ObjectKind::Mutex, kCtrlPackMutexName);
  ASSERT_TRUE(common::test::RunAsNobody([&] {
    return ::symlink("/dev/null", mainHandle.c_str()) == 0 && ::mkdir(netList.c_str(), 0777) == 0 &&
           ::mkfifo(queueMutex.c_str(), 0666) == 0;
  }));
  useProgram("ok");
  EXPECT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_EQ(lib().GetScadaCount(), 2);
  EXPECT_TRUE(lib().add_ctrl_do(1, 2, "t", 1, 0, 0, 0, "u"));
  lib().close_mlog_calls();
  endStartedClient();
  for (const std::string& path : {mainHandle, netList, queueMutex}) fs::remove(path);
}

TEST_F(AttachTest, AClientThatCannotStart) {
  config_.desktermProgram = (home_.path() / "no-such-program").string();
  EXPECT_EQ(lib().init_mlog_calls(), -2);
  expectNothingTaken();
  home_.write("not-executable", "#!/bin/sh\n");
  config_.desktermProgram = (home_.path() / "not-executable").string();
  library_.reset();
  EXPECT_EQ(lib().init_mlog_calls(), -2);
}

TEST_F(AttachTest, NoStartSignalWithinTheSilenceLimit) {
  useProgram("hang");
  EXPECT_EQ(lib().init_mlog_calls(), -3);
  expectNothingTaken();
  endStartedClient();
}

TEST_F(AttachTest, ANewExchangeMessageRestartsTheSilenceLimit) {
  useProgram("churn");
  ::setenv("STANDIN_CHURN_MS", "20", 1);
  ::setenv("STANDIN_SIGNAL_AFTER_MS", "3000", 1);
  config_.timing.silenceLimitMs = 1000;  // far shorter than the time to the signal, longer than a slow start
  std::vector<std::string> texts;
  config_.progress = [&](const std::string& text) { texts.push_back(text); };
  EXPECT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_GT(texts.size(), 5u);
  endStartedClient();
}

TEST_F(AttachTest, TheStartedClientEndsWithItsCode) {
  struct Case {
    const char* mode;
    std::int32_t code;
  };
  const Case cases[] = {{"exit:0", -11}, {"exit:3", -11}, {"exit:-2", -1002}, {"exit:-110", -1110}, {"exit:-1", -1001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    library_.reset();
    useProgram(c.mode);
    EXPECT_EQ(lib().init_mlog_calls(), c.code);
    expectNothingTaken();
  }
}

TEST_F(AttachTest, ExitCodeTexts) {
  home_.write("Language/velklog2.lang",
              common::Utf8ToGbk("[StringsTable]\r\nVLOG_0030=客户端退出：%s\r\nVLOG_0003=网络错误\r\n"));
  useProgram("exit:-2");
  ASSERT_EQ(lib().init_mlog_calls(), -1002);
  EXPECT_EQ(lib().GetInitErrorMsg(-1002), common::Utf8ToGbk("客户端退出：网络错误"));
  EXPECT_EQ(lib().GetInitErrorMsg(-1001), common::Utf8ToGbk("客户端退出：WIN SOCKT VERSION ERROR"));
  EXPECT_EQ(lib().GetInitErrorMsg(-13), "UndefineTranslateText13");
  EXPECT_EQ(lib().GetInitErrorMsg(5), "");
}

TEST_F(AttachTest, ObjectsThatCannotBeUsed) {
  struct Case {
    std::string_view tooSmall;
    std::vector<std::string_view> present;  // full-size sections made before
    bool instance;
    std::int32_t code;
  };
  const Case cases[] = {
      {kMainHandleName, {}, false, -1},
      {kScadaServerName, {}, true, -4},
      {"", {}, true, -5},
      {"", {kNetListName}, true, -6},
      {kCtrlPackName, {kNetListName, kPasswordName}, true, -7},
      {kSysEveName, {kNetListName, kPasswordName}, true, -8},
      {kNodeStatusName, {kNetListName, kPasswordName}, true, -13},
  };
  const std::pair<std::string_view, std::size_t> sizes[] = {{kNetListName, netlist::kSize},
                                                            {kPasswordName, password::kSize}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const ScopedPrefix own;
    library_.reset();
    std::unique_ptr<ipc::TMutex> instance;
    if (c.instance) instance = std::make_unique<ipc::TMutex>(TVErirUri(kInstanceName).mutexName());
    std::vector<std::unique_ptr<ipc::TSharedMem>> objects;
    for (const std::string_view name : c.present)
      for (const auto& [known, size] : sizes)
        if (known == name) objects.push_back(std::make_unique<ipc::TSharedMem>(name, true, size));
    if (!c.tooSmall.empty()) objects.push_back(std::make_unique<ipc::TSharedMem>(c.tooSmall, true, 100));
    EXPECT_EQ(lib().init_mlog_calls(), c.code);
    expectNothingTaken();
    library_.reset();
  }
}

// The library zero-fills VELK_MAIN_HANDLE and VELK_NODESTATUS only when it
// creates them; sections it opens keep every byte (here no slot is free, so
// it writes nothing into them).
TEST_F(AttachTest, SectionsTheLibraryCreatesStartZeroedAndOpenedOnesKeepTheirBytes) {
  const std::pair<std::string_view, std::size_t> checked[] = {{kMainHandleName, mainhandle::kSize},
                                                              {kNodeStatusName, nodestatus::kSize}};
  for (const bool madeBefore : {false, true}) {
    SCOPED_TRACE(madeBefore ? "opened" : "created");
    const ScopedPrefix own;
    library_.reset();
    const ipc::TMutex instance(TVErirUri(kInstanceName).mutexName());
    const ipc::TSharedMem netList(kNetListName, true, netlist::kSize);
    const ipc::TSharedMem operators(kPasswordName, true, password::kSize);
    std::vector<std::unique_ptr<ipc::TSharedMem>> before;
    if (madeBefore) {
      for (const auto& [name, size] : checked) {
        before.push_back(std::make_unique<ipc::TSharedMem>(name, true, size));
        std::memset(before.back()->View(), 0x5A, size);
      }
    }
    EXPECT_EQ(lib().init_mlog_calls(), -9);  // the empty net list has no node of ours
    for (const auto& [name, size] : checked) {
      SCOPED_TRACE(name);
      ipc::TSharedMem section(name, false, static_cast<std::uint32_t>(size));
      ASSERT_TRUE(section.Ok());
      const std::uint8_t expected = madeBefore ? 0x5A : 0;
      const std::uint8_t* bytes = section.View();
      EXPECT_EQ(std::count(bytes, bytes + size, expected), static_cast<std::ptrdiff_t>(size));
    }
    library_.reset();
  }
}

// The stand-in opens sections that others made before it started and keeps
// what they wrote there.
TEST_F(AttachTest, TheStandInKeepsWhatOthersWroteBeforeItStarted) {
  ipc::TSharedMem main(kMainHandleName, true, mainhandle::kSize);
  ipc::TSharedMem queue(kCtrlPackName, true, ctrlpack::kSize);
  SharedInt(main, mainhandle::kAttachSlots).store(4242);
  SharedInt(main, mainhandle::kReaderCounts + 4 * 3).store(2);
  SharedInt(queue, ctrlpack::kCount).store(1);
  TCtrlPacket queued{};
  queued.firstCode = 11;
  std::memcpy(queue.View() + ctrlpack::kPackets, &queued, sizeof queued);
  standin::StandinClient client(standin::SampleScenario(kComputer));
  EXPECT_EQ(client.attachSlot(0), 4242);
  EXPECT_EQ(client.attachSlot(1), 0);
  EXPECT_EQ(client.readerCount(3), 2);
  EXPECT_EQ(client.queuedPackets(), 1);
  EXPECT_EQ(+client.packet(0).firstCode, 11);
  std::int32_t setups = 0;
  std::memcpy(&setups, client.bytes(kMainHandleName) + mainhandle::kSetupCount, 4);
  EXPECT_EQ(setups, 7);  // what the stand-in publishes itself is written
}

TEST_F(AttachTest, TheInstanceMutexTellsWhetherTheClientRuns) {
  const TVErirUri client(kInstanceName);
  EXPECT_EQ(client.mutexName(), "VerirUri_XRT_VELKORA3_DESKTERM_INSTANCE_HANDLE");
  EXPECT_FALSE(client.probe());
  {
    const ipc::TMutex held(client.mutexName());
    EXPECT_TRUE(client.probe());
  }
  EXPECT_FALSE(client.probe());
}

TEST_F(AttachTest, OwnComputerMustBeAnOperatorClient) {
  struct Case {
    std::string libraryComputer;
    std::uint8_t role;
    std::int32_t code;
  };
  const Case cases[] = {
      {"elsewhere", kRoleClient, -9},
      {kComputer, kRoleFrontEnd, -9},
      {"VELK-ATTACH-HOST", kRoleClient, 1},  // letter case does not count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.libraryComputer);
    const ScopedPrefix own;
    standin::Scenario scenario = standin::SampleScenario(kComputer);
    scenario.nodes.back().role = c.role;
    standin::StandinClient client(scenario);
    config_.computerName = c.libraryComputer;
    library_.reset();
    EXPECT_EQ(lib().init_mlog_calls(), c.code);
    if (c.code < 0) {
      expectNothingTaken();
    }
    library_.reset();
  }
}

TEST_F(AttachTest, AClientThatKeepsShuttingDown) {
  int steps = 0;
  config_.sleep = [&](std::uint32_t) { ++steps; };
  standin::StandinClient client(standin::SampleScenario(kComputer));
  client.setFinalizing(true);
  EXPECT_EQ(lib().init_mlog_calls(), -12);
  EXPECT_EQ(steps, 21);  // 10 ms steps until more than 200 ms have passed
  expectNothingTaken();
}

TEST_F(AttachTest, AClientThatFinishesShuttingDown) {
  int steps = 0;
  standin::StandinClient client(standin::SampleScenario(kComputer));
  config_.sleep = [&](std::uint32_t) {
    if (++steps == 5) client.setFinalizing(false);
  };
  client.setFinalizing(true);
  EXPECT_EQ(lib().init_mlog_calls(), 1);
  EXPECT_EQ(steps, 5);
}

TEST_F(AttachTest, FailedAttachesDoNotPileUpSlotsOrCounts) {
  standin::Options options;
  options.password = false;
  standin::StandinClient client(standin::SampleScenario(kComputer), options);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(lib().init_mlog_calls(), -6);
  EXPECT_EQ(client.attachSlot(0), 0);
  EXPECT_EQ(client.clientCounter(), 0);
  EXPECT_FALSE(lib().IsCLientRunning());
}

}  // namespace
}  // namespace velk
