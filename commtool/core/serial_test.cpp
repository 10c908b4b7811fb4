#include "commtool/core/serialchannel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "commtool/core/comports.h"
#include "commtool/core/testsupport.h"

namespace tavrix {
namespace {

using test::Bytes;

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override { ports.link(3, pty.slave); }

  bool open(CSerialChannel& target, int port = 3, int baud = 9600, int parity = 0, int dataBits = 8,
            int stopBits = 0) {
    return target.Open(recorder.owner(), "", 0, false, port, baud, parity, dataBits, stopBits, true, true);
  }
  int write(CSerialChannel& target, const std::vector<std::uint8_t>& bytes) {
    return target.Write(bytes.data(), static_cast<int>(bytes.size()));
  }

  test::PortsFolder ports;
  test::PtyPair pty;
  test::Recorder recorder;
  CSerialChannel channel;
};

TEST_F(SerialTest, SendsAndReceivesBothWays) {
  ASSERT_TRUE(open(channel)) << channel.OpenError();
  EXPECT_TRUE(channel.IsOpen());
  EXPECT_EQ(channel.PortNo(), 3);

  const auto text = Bytes(std::string_view("hello\0world", 11));
  ASSERT_TRUE(test::WriteAll(pty.master.get(), text));
  ASSERT_TRUE(recorder.waitForBytes(text.size()));
  EXPECT_EQ(recorder.data, text);

  const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  EXPECT_EQ(write(channel, request), 8);
  EXPECT_EQ(test::ReadExactly(pty.master.get(), 8), request);
  EXPECT_EQ(channel.Write(request.data(), 0), 0);
}

TEST_F(SerialTest, BurstArrivesWholeInOrderInChunksOfAtMost8192) {
  ASSERT_TRUE(open(channel, 3, 256000));
  const auto burst = test::Pattern(50000, 1);
  std::thread writer([&] { test::WriteAll(pty.master.get(), burst); });
  ASSERT_TRUE(recorder.waitForBytes(burst.size()));
  writer.join();
  EXPECT_EQ(recorder.data, burst);
  for (const auto size : recorder.chunks) EXPECT_LE(size, 8192u);
}

TEST_F(SerialTest, OpenErrorsNameThePortAndLeaveItClosed) {
  ports.link(7, ports.path() / "no-such-device");
  CSerialChannel missing;
  EXPECT_FALSE(open(missing, 7));
  EXPECT_EQ(missing.OpenError(), "COM7无效端口，打开失败！");
  EXPECT_FALSE(missing.IsOpen());

  if (!std::filesystem::exists("/dev/ttyS254")) {
    EXPECT_FALSE(open(missing, 255));
    EXPECT_EQ(missing.OpenError(), "COM255无效端口，打开失败！");
  }

  ASSERT_TRUE(open(channel));
  CSerialChannel second;
  EXPECT_FALSE(open(second, 3));
  EXPECT_EQ(second.OpenError(), "COM3已被其它程序打开，打开失败！");
  EXPECT_FALSE(open(channel));  // an open channel is not opened again
  channel.Close();
  EXPECT_TRUE(open(second, 3)) << second.OpenError();
}

TEST_F(SerialTest, PortLockedByAnotherProgramIsBusy) {
  UniqueFd other(::open(pty.slave.c_str(), O_RDWR | O_NOCTTY));
  ASSERT_TRUE(other);
  ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(open(channel));
  EXPECT_EQ(channel.OpenError(), "COM3已被其它程序打开，打开失败！");
}

// Another program holds the port open without locking it (as a terminal
// opened by hand does): the port is busy until that program lets it go.
TEST_F(SerialTest, PortHeldOpenByAnotherProgramIsBusy) {
  const pid_t holder = ::fork();
  if (holder == 0) {
    ::close(pty.master.get());  // a program that only uses the port
    const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) ::pause();
    ::_exit(1);
  }
  ASSERT_GT(holder, 0);
  const auto deadline = std::chrono::steady_clock::now() + test::kGuard;
  bool busy = false;
  while (!busy && std::chrono::steady_clock::now() < deadline) {  // until the holder has opened it
    busy = !open(channel);
    if (!busy) channel.Close();
  }
  EXPECT_TRUE(busy);
  EXPECT_EQ(channel.OpenError(), "COM3已被其它程序打开，打开失败！");
  EXPECT_FALSE(channel.IsOpen());
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_TRUE(open(channel)) << channel.OpenError();
}

TEST_F(SerialTest, RefusedSettingClosesThePortSoItCanBeOpenedAgain) {
  struct Case {
    int baud, parity, dataBits, stopBits;
  };
  const Case refused[] = {{9600, 0, 8, 1}, {9600, 0, 5, 2}, {0, 0, 8, 0},
                          {9600, 5, 8, 0}, {9600, 0, 9, 0}, {9600, 0, 8, 3}};
  for (const auto& c : refused) {
    EXPECT_FALSE(open(channel, 3, c.baud, c.parity, c.dataBits, c.stopBits));
    EXPECT_EQ(channel.OpenError(), "COM3设置错误：\n可能不支持所选波特率，或停止位，或数据位");
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_FALSE(channel.ReaderRunning());
  }
}

TEST_F(SerialTest, EveryListedSettingIsAccepted) {
  for (const int baud : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 43000, 56000, 57600, 115200,
                         128000, 256000}) {
    ASSERT_TRUE(open(channel, 3, baud)) << baud << ": " << channel.OpenError();
    channel.Close();
  }
  for (const int stopBits : {0, 2}) {
    ASSERT_TRUE(open(channel, 3, 9600, 0, 8, stopBits)) << stopBits;
    channel.Close();
  }
  // A pseudo-terminal always keeps 8 data bits without parity: what it did not
  // take is refused. Every data size and parity on a driver that keeps them:
  // serialdriver_test.cpp.
  EXPECT_FALSE(open(channel, 3, 9600, 2, 8, 0));
  EXPECT_FALSE(open(channel, 3, 9600, 0, 7, 0));
  EXPECT_EQ(channel.OpenError(), "COM3设置错误：\n可能不支持所选波特率，或停止位，或数据位");
}

TEST_F(SerialTest, SettingsReachTheDevice) {
  ASSERT_TRUE(open(channel, 3, 19200, 0, 8, 2));
  UniqueFd view(::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  if (!view) GTEST_SKIP() << "the port is exclusive for this user";
  termios t{};
  ASSERT_EQ(::tcgetattr(view.get(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_iflag & INPCK);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_oflag & OPOST);
}

TEST_F(SerialTest, ClosedPortIsOpenToOthersAgain) {
  ASSERT_TRUE(open(channel));
  UniqueFd view(::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  if (!view) GTEST_SKIP() << "the port is exclusive for this user";  // only root gets past the exclusive mode
  int exclusive = 0;
  ASSERT_EQ(::ioctl(view.get(), TIOCGEXCL, &exclusive), 0);
  EXPECT_NE(exclusive, 0);
  channel.Close();
  ASSERT_EQ(::ioctl(view.get(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);  // a program without root rights may open it again
}

TEST_F(SerialTest, HangUpEndsTheConnection) {
  ASSERT_TRUE(open(channel));
  pty.master.reset();
  ASSERT_TRUE(recorder.waitForEnded());
  EXPECT_FALSE(channel.ReaderRunning());
  channel.Close();
  EXPECT_FALSE(channel.IsOpen());
}

TEST_F(SerialTest, CloseByTheProgramIsNoEndedConnection) {
  ASSERT_TRUE(open(channel));
  channel.Close();
  recorder.poll();
  EXPECT_EQ(recorder.ended, 0);
}

// The other end drains like a line at 9600 baud would, only faster: a little
// at a time with pauses, so the writer keeps waiting for room.
std::vector<std::uint8_t> readSlowly(int fd, std::size_t count) {
  std::vector<std::uint8_t> got;
  while (got.size() < count) {
    auto piece = test::ReadExactly(fd, std::min<std::size_t>(1024, count - got.size()));
    if (piece.empty()) break;
    got.insert(got.end(), piece.begin(), piece.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return got;
}

TEST_F(SerialTest, FrameLongerThanTheLineTakesGoesOutWholeAndInOrder) {
  ASSERT_TRUE(open(channel, 3, 9600));
  const auto frame = test::Pattern(64 * 1024, 2);
  const auto next = Bytes("next");
  EXPECT_EQ(write(channel, frame), static_cast<int>(frame.size()));  // queued; the writer does the waiting
  EXPECT_EQ(write(channel, next), 4);
  EXPECT_EQ(readSlowly(pty.master.get(), frame.size()), frame);
  EXPECT_EQ(test::ReadExactly(pty.master.get(), 4), next);
  ASSERT_TRUE(recorder.waitForSent(2));
  EXPECT_EQ(recorder.sent[0].written, frame.size());
  EXPECT_TRUE(recorder.sent[0].whole);
  EXPECT_EQ(recorder.sent[1].written, 4u);
  EXPECT_FALSE(channel.Sending());
}

TEST_F(SerialTest, EchoOfAFrameNeverComesBeforeTheFramesReport) {
  ASSERT_TRUE(open(channel)) << channel.OpenError();
  test::Echo echo(pty.master.get());
  EXPECT_EQ(test::EchoesBeforeTheirFrame(channel, recorder, 20000), 0);
}

TEST_F(SerialTest, CloseDropsFramesThatWaitForAStalledLine) {
  ASSERT_TRUE(open(channel, 3, 9600));
  const auto frame = test::Pattern(256 * 1024, 3);  // more than the line holds: nobody reads the other end
  ASSERT_EQ(write(channel, frame), static_cast<int>(frame.size()));
  std::size_t queued = 1;
  while (write(channel, Bytes("x")) == 1) ++queued;
  // The queue is bounded (the frame going out may still count in it), and refusing does not wait.
  EXPECT_GE(queued, FrameWriter::kMaxFrames);
  EXPECT_LE(queued, FrameWriter::kMaxFrames + 1);
  EXPECT_TRUE(channel.Sending());
  channel.Close();
  EXPECT_FALSE(channel.Sending());
  recorder.poll();
  EXPECT_TRUE(recorder.sent.empty());  // nothing went out whole
  EXPECT_LT(test::ReadAvailable(pty.master.get(), 50).size(), frame.size());

  ASSERT_TRUE(open(channel, 3, 9600));  // a new start sends again
  EXPECT_EQ(write(channel, Bytes("ok")), 2);
  EXPECT_EQ(test::ReadExactly(pty.master.get(), 2), Bytes("ok"));
}

TEST_F(SerialTest, HangUpFailsTheFrameGoingOut) {
  ASSERT_TRUE(open(channel, 3, 9600));
  ASSERT_EQ(write(channel, test::Pattern(256 * 1024, 4)), 256 * 1024);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the line fill up
  pty.master.reset();
  ASSERT_TRUE(recorder.waitForSent());
  EXPECT_FALSE(recorder.sent[0].whole);
  EXPECT_LT(recorder.sent[0].written, 256u * 1024);
}

TEST_F(SerialTest, CloseWhileDataStreamsJoinsTheReader) {
  ASSERT_TRUE(open(channel, 3, 256000));
  ::fcntl(pty.master.get(), F_SETFL, O_NONBLOCK);
  std::atomic<bool> run{true};
  std::thread writer([&] {
    const auto block = test::Pattern(4096, 3);
    while (run) {
      if (::write(pty.master.get(), block.data(), block.size()) < 0) std::this_thread::yield();
    }
  });
  ASSERT_TRUE(recorder.waitForBytes(100000));
  channel.Close();
  run = false;
  writer.join();
  EXPECT_FALSE(channel.ReaderRunning());
  EXPECT_FALSE(channel.IsOpen());
  recorder.poll();
  EXPECT_EQ(recorder.ended, 0);
  EXPECT_TRUE(open(channel));
}

TEST_F(SerialTest, ModemLinesOnlyWhenOpen) {
  EXPECT_FALSE(channel.SetDTR(true));
  EXPECT_FALSE(channel.SetRTS(true));
  EXPECT_FALSE(channel.SetBreak(true));
  EXPECT_FALSE(channel.SetQueues(8192, 8192));
  ASSERT_TRUE(open(channel));
  EXPECT_TRUE(channel.SetQueues(8192, 8192));
}

TEST(ComPortPath, LinkInThePortsFolderElseTtyS) {
  test::PortsFolder ports;
  ports.link(3, "/dev/ttyUSB0");
  EXPECT_EQ(ComPortPath(3), ports.path() / "com3");
  EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");
  EXPECT_EQ(ComPortPath(255), "/dev/ttyS254");
}

TEST(ComPortPath, FolderFromTheConfigHome) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string keep = saved ? saved : "";
  ::unsetenv("TAVRIX_PORTS_DIR");
  ::setenv("XDG_CONFIG_HOME", "/tmp/tavrix-config", 1);
  EXPECT_EQ(PortsFolder(), "/tmp/tavrix-config/tavrix/ports");
  if (saved)
    ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tavrix
