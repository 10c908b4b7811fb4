// Tavrix against programs of others: socat on a pseudo-terminal pair and on
// a loopback port, and mbpoll as a Modbus RTU master.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

#include <gtest/gtest.h>

#include "commtool/core/hexcode.h"
#include "commtool/core/serialchannel.h"
#include "commtool/core/socketchannel.h"
#include "commtool/core/testsupport.h"

extern char** environ;

namespace tavrix {
namespace {

using test::Bytes;

// A program started by the test, stopped when the object goes.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    output_.reset(out[0]);
    UniqueFd write(out[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, write.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, write.get(), 2);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  bool started() const { return pid_ > 0; }
  // Everything it printed, once it has ended by itself.
  std::string finish() {
    std::string text;
    char buffer[1024];
    for (;;) {
      const ssize_t n = RetryOnEintr([&] { return ::read(output_.get(), buffer, sizeof buffer); });
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return text;
  }

 private:
  pid_t pid_ = -1;
  UniqueFd output_;
};

bool waitForPath(const std::filesystem::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + test::kGuard;
  while (!std::filesystem::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class SocatPtyPair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("socat")) GTEST_SKIP() << "socat is not installed";
    const auto a = ports.path() / "a";
    const auto b = ports.path() / "b";
    socat = std::make_unique<Child>(std::vector<std::string>{
        "socat", "pty,raw,echo=0,link=" + a.string(), "pty,raw,echo=0,link=" + b.string()});
    ASSERT_TRUE(socat->started());
    ASSERT_TRUE(waitForPath(a) && waitForPath(b));
    ports.link(4, a);
    peerPath = b;
  }

  test::PortsFolder ports;
  std::unique_ptr<Child> socat;
  std::filesystem::path peerPath;
  test::Recorder recorder;
  CSerialChannel channel;
};

TEST_F(SocatPtyPair, SerialTalksThroughSocat) {
  ASSERT_TRUE(channel.Open(recorder.owner(), "", 0, false, 4, 115200, 0, 8, 0, true, true)) << channel.OpenError();
  UniqueFd peer(::open(peerPath.c_str(), O_RDWR | O_NOCTTY));
  ASSERT_TRUE(peer);
  const auto out = test::Pattern(3000, 8);
  EXPECT_EQ(channel.Write(out.data(), static_cast<int>(out.size())), 3000);
  EXPECT_EQ(test::ReadExactly(peer.get(), out.size()), out);
  ASSERT_TRUE(test::WriteAll(peer.get(), Bytes("from socat")));
  ASSERT_TRUE(recorder.waitForBytes(10));
  EXPECT_EQ(recorder.data, Bytes("from socat"));
}

TEST_F(SocatPtyPair, MbpollReadsAFrameWhoseCrcThisToolAppended) {
  if (!test::HaveProgram("mbpoll")) GTEST_SKIP() << "mbpoll is not installed";
  ASSERT_TRUE(channel.Open(recorder.owner(), "", 0, false, 4, 9600, 0, 8, 0, true, true)) << channel.OpenError();
  Child master({"mbpoll", "-m", "rtu", "-a", "1", "-b", "9600", "-P", "none", "-t", "4", "-r", "1", "-c", "1", "-1",
                "-o", "5", peerPath.string()});
  ASSERT_TRUE(master.started());

  // Read holding register 0 of slave 1; its CRC must be the one this tool computes.
  ASSERT_TRUE(recorder.waitForBytes(8));
  ASSERT_EQ(recorder.data.size(), 8u);
  std::vector<std::uint8_t> request(recorder.data.begin(), recorder.data.begin() + 6);
  EXPECT_EQ(request, (std::vector<std::uint8_t>{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}));
  AppendCheckCode(request, kCheckCrcModbus, 1);
  EXPECT_EQ(request, recorder.data);

  std::vector<std::uint8_t> reply;
  HexToBytes("01 03 02 00 2A", reply);
  AppendCheckCode(reply, kCheckCrcModbus, 1);
  EXPECT_EQ(channel.Write(reply.data(), static_cast<int>(reply.size())), 7);
  const std::string printed = master.finish();
  EXPECT_NE(printed.find("[1]: \t42"), std::string::npos) << printed;
}

TEST(SocatTcp, ServerSessionEchoedBySocat) {
  if (!test::HaveProgram("socat")) GTEST_SKIP() << "socat is not installed";
  test::Recorder server;
  CSocketChannel listening;
  ASSERT_TRUE(listening.Open(server.owner(), "", kProtocolTcp, false, 0, 0, 0, 8, 0, true, true));
  Child echo({"socat", "TCP:127.0.0.1:" + std::to_string(listening.LocalPort()), "EXEC:cat"});
  ASSERT_TRUE(echo.started());
  ASSERT_TRUE(server.waitFor([&] { return server.accepted.size() == 1; }));

  test::Recorder recorder;
  CSocketChannel session;
  session.SetOwner(recorder.owner());
  ASSERT_TRUE(session.Attach(std::move(server.accepted[0])));
  const auto data = test::Pattern(20000, 9);
  EXPECT_EQ(session.Write(data.data(), static_cast<int>(data.size())), 20000);
  ASSERT_TRUE(recorder.waitForBytes(data.size()));
  EXPECT_EQ(recorder.data, data);
}

}  // namespace
}  // namespace tavrix
