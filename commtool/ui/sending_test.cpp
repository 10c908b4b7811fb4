// A frame far longer than the line takes at once goes out whole and in order
// while the event loop of the window that sent it keeps running.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

#include "commtool/core/serialchannel.h"
#include "commtool/core/socketchannel.h"
#include "commtool/ui/uitestsupport.h"

namespace tavrix {
namespace {

// Reads count bytes a piece at a time with a pause after each, like a slow line or a busy peer.
std::vector<std::uint8_t> readSlowly(int fd, std::size_t count, std::size_t piece) {
  std::vector<std::uint8_t> got;
  while (got.size() < count) {
    auto bytes = test::ReadExactly(fd, std::min(piece, count - got.size()));
    if (bytes.empty()) break;
    got.insert(got.end(), bytes.begin(), bytes.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return got;
}

struct Outcome {
  qint64 longestStallMs = 0;
  bool reported = false;
  bool whole = false;
};

// Writes the frame from inside a running event loop and runs the loop until the
// channel reports the frame; a 5 ms timer measures the longest gap between its
// ticks from the moment the frame was handed over. (Handing it over copies it:
// that takes as long as the frame is large, not as long as the line is slow.)
Outcome writeInEventLoop(CCommChannel& channel, Mailbox& owner, const std::vector<std::uint8_t>& frame) {
  QEventLoop loop;
  Outcome outcome;
  owner.SetWake([&] {
    QMetaObject::invokeMethod(&loop, [&] {
      bool more = true;
      while (more)
        for (auto& message : owner.Take(SIZE_MAX, more))
          if (message.kind == ChannelMessage::Kind::Sent) {
            outcome.reported = true;
            outcome.whole = message.whole && message.written == frame.size();
            loop.quit();
          }
    }, Qt::QueuedConnection);
  });
  QElapsedTimer sinceTick;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    outcome.longestStallMs = std::max(outcome.longestStallMs, sinceTick.restart() - 5);
  });
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(channel.Write(frame.data(), static_cast<int>(frame.size())), static_cast<int>(frame.size()));
    sinceTick.start();
    probe.start(5);
  });
  QTimer::singleShot(std::chrono::milliseconds(test::kGuard), &loop, &QEventLoop::quit);
  loop.exec();
  owner.SetWake([] {});
  return outcome;
}

TEST(SendingFromAWindow, FrameToAPortAt9600BaudLeavesTheEventLoopRunning) {
  test::PortsFolder ports;
  test::PtyPair pty;
  ports.link(3, pty.slave);
  Mailbox owner;
  CSerialChannel channel;
  ASSERT_TRUE(channel.Open(&owner, "", 0, false, 3, 9600, 0, 8, 0, true, true)) << channel.OpenError();
  const auto frame = test::Pattern(64 * 1024, 21);
  std::vector<std::uint8_t> arrived;
  std::thread line([&] { arrived = readSlowly(pty.master.get(), frame.size(), 512); });
  const Outcome outcome = writeInEventLoop(channel, owner, frame);
  line.join();
  EXPECT_TRUE(outcome.reported);
  EXPECT_TRUE(outcome.whole);
  EXPECT_EQ(arrived, frame);
  EXPECT_LT(outcome.longestStallMs, 50);
  channel.Close();
}

TEST(SendingFromAWindow, FrameToAPeerThatReadsSlowlyLeavesTheEventLoopRunning) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  Mailbox owner;
  CSocketChannel channel;
  ASSERT_TRUE(channel.Open(&owner, "127.0.0.1", kProtocolTcp, true, port, 0, 0, 0, 0, true, true));
  auto peer = test::AcceptOne(listener.get());
  const auto frame = test::Pattern(16 << 20, 22);
  std::vector<std::uint8_t> arrived;
  std::thread reader([&] { arrived = readSlowly(peer.get(), frame.size(), 256 * 1024); });
  const Outcome outcome = writeInEventLoop(channel, owner, frame);
  reader.join();
  EXPECT_TRUE(outcome.reported);
  EXPECT_TRUE(outcome.whole);
  EXPECT_TRUE(arrived == frame);
  EXPECT_LT(outcome.longestStallMs, 50);
  channel.Close();
}

}  // namespace
}  // namespace tavrix
