// Tavrix under load: 100 MB through a loopback TCP connection.
//   TcpIntoChannel      the socket channel and its hand-off, taken by a plain thread
//   TcpFromChannel      frames written through a TCP client channel to a peer that reads and checks them
//   MainDialogDisplay   the same into the main dialog (HEX display, emptied at 10240 characters)
//   SessionDisplay      a connection window, whose display is never emptied
//   UdpBurst*           a burst of datagrams into a UDP server channel, beside a plain reader
// Every byte is checked in order against the stream that was sent. The
// dialogs run offscreen; a 1 ms timer measures the longest stall of the
// event loop while data arrives.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "commtool/core/mailbox.h"
#include "commtool/core/socketchannel.h"
#include "commtool/ui/sessiondlg.h"
#include "commtool/ui/tavrixdlg.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavrix::UniqueFd;

// Byte o of the stream is byte o % 8 of the little-endian 64-bit number o / 8,
// so that a lost, doubled or moved byte shows.
std::uint8_t streamByte(std::uint64_t offset) {
  return static_cast<std::uint8_t>((offset >> 3) >> ((offset & 7) * 8));
}

// Writes the stream from offset on; eight bytes at a time where they are aligned.
void fillStream(std::uint8_t* out, std::size_t count, std::uint64_t offset) {
  std::size_t i = 0;
  for (; i < count && ((offset + i) & 7) != 0; ++i) out[i] = streamByte(offset + i);
  for (; i + 8 <= count; i += 8) {
    const std::uint64_t word = (offset + i) >> 3;
    std::memcpy(out + i, &word, 8);
  }
  for (; i < count; ++i) out[i] = streamByte(offset + i);
}

struct StreamCheck {
  std::uint64_t offset = 0;
  bool intact = true;
  std::vector<std::uint8_t> expected;
  void feed(std::span<const std::uint8_t> bytes) {
    expected.resize(bytes.size());
    fillStream(expected.data(), bytes.size(), offset);
    intact &= std::memcmp(expected.data(), bytes.data(), bytes.size()) == 0;
    offset += bytes.size();
  }
};

UniqueFd listenLoopback(int& port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(fd.get(), 4);
  socklen_t length = sizeof address;
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

UniqueFd connectLoopback(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  return fd;
}

// Writes the stream into a connected socket.
void sendStream(int fd, std::uint64_t total) {
  std::vector<std::uint8_t> block(256 * 1024);
  for (std::uint64_t offset = 0; offset < total;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), total - offset));
    fillStream(block.data(), n, offset);
    std::size_t done = 0;
    while (done < n) {
      const ssize_t sent = ::send(fd, block.data() + done, n - done, MSG_NOSIGNAL);
      if (sent <= 0) return;
      done += static_cast<std::size_t>(sent);
    }
    offset += n;
  }
}

// Accepts one client and writes the stream to it.
std::thread serveStream(UniqueFd& listener, std::uint64_t total) {
  return std::thread([&listener, total] {
    pollfd p{listener.get(), POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return;
    UniqueFd client(::accept(listener.get(), nullptr, nullptr));
    sendStream(client.get(), total);
  });
}

// Figures over all iterations: the mean rate, the longest stall, whether every byte came.
struct Figures {
  double bytes = 0;
  double seconds = 0;
  double longestStall = 0;
  bool intact = true;

  void add(benchmark::State& state, std::uint64_t total, const StreamCheck& check, double elapsed,
           double stall = 0) {
    state.SetIterationTime(elapsed);
    bytes += static_cast<double>(total);
    seconds += elapsed;
    longestStall = std::max(longestStall, stall);
    intact &= check.intact && check.offset == total;
  }
  void report(benchmark::State& state, bool withStall) const {
    state.counters["MB_per_s"] = bytes / 1e6 / seconds;
    state.counters["intact"] = intact ? 1 : 0;
    if (withStall) state.counters["max_stall_ms"] = longestStall;
    if (!intact) state.SkipWithError("data lost or reordered");
  }
};

void TcpIntoChannel(benchmark::State& state) {
  const std::uint64_t total = static_cast<std::uint64_t>(state.range(0)) << 20;
  Figures figures;
  for (auto _ : state) {
    int port = 0;
    auto listener = listenLoopback(port);
    tavrix::Mailbox mailbox;
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    mailbox.SetWake([&] {
      std::lock_guard lock(mutex);
      woken = true;
      cv.notify_one();
    });
    tavrix::CSocketChannel channel;
    auto sender = serveStream(listener, total);
    const auto start = Clock::now();
    channel.Open(&mailbox, "127.0.0.1", tavrix::kProtocolTcp, true, port, 0, 0, 8, 0, true, true);
    StreamCheck check;
    while (check.offset < total) {
      {
        std::unique_lock lock(mutex);
        if (!cv.wait_for(lock, std::chrono::seconds(10), [&] { return woken; })) break;
        woken = false;
      }
      bool more = true;
      while (more)
        for (auto& message : mailbox.Take(SIZE_MAX, more)) check.feed(message.bytes);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    channel.Close();
    figures.add(state, total, check, seconds);
  }
  figures.report(state, false);
}
BENCHMARK(TcpIntoChannel)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Writes the stream as frames of frameSize bytes through the channel; when the
// queue is full, waits for the channel to report a frame before writing more.
// The peer reads and checks every byte.
void TcpFromChannel(benchmark::State& state) {
  const std::uint64_t total = static_cast<std::uint64_t>(state.range(0)) << 20;
  const std::size_t frameSize = static_cast<std::size_t>(state.range(1)) << 10;
  Figures figures;
  for (auto _ : state) {
    int port = 0;
    auto listener = listenLoopback(port);
    tavrix::Mailbox mailbox;
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    mailbox.SetWake([&] {
      std::lock_guard lock(mutex);
      woken = true;
      cv.notify_one();
    });
    StreamCheck check;
    std::thread peer([&] {
      pollfd p{listener.get(), POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) return;
      UniqueFd client(::accept(listener.get(), nullptr, nullptr));
      std::vector<std::uint8_t> buffer(256 * 1024);
      while (check.offset < total) {
        const ssize_t n = ::recv(client.get(), buffer.data(), buffer.size(), 0);
        if (n <= 0) return;
        check.feed(std::span(buffer.data(), static_cast<std::size_t>(n)));
      }
    });
    tavrix::CSocketChannel channel;
    channel.Open(&mailbox, "127.0.0.1", tavrix::kProtocolTcp, true, port, 0, 0, 8, 0, true, true);
    std::vector<std::uint8_t> frame(frameSize);
    std::uint64_t lost = 0;
    const auto start = Clock::now();
    for (std::uint64_t offset = 0; offset < total;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frameSize, total - offset));
      fillStream(frame.data(), n, offset);
      while (channel.Write(frame.data(), static_cast<int>(n)) == 0) {  // the queue is full
        std::unique_lock lock(mutex);
        cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return woken; });
        woken = false;
        lock.unlock();
        bool more = true;
        while (more)
          for (auto& message : mailbox.Take(SIZE_MAX, more))
            if (message.kind == tavrix::ChannelMessage::Kind::Sent && !message.whole) ++lost;
      }
      offset += n;
    }
    peer.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    channel.Close();
    check.intact &= lost == 0;
    figures.add(state, total, check, seconds);
  }
  figures.report(state, false);
}
BENCHMARK(TcpFromChannel)
    ->Args({100, 8})
    ->Args({100, 1024})
    ->ArgNames({"MiB", "frame_KiB"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A burst of count datagrams of 50 bytes from another thread, as fast as the
// sender goes, into a socket on loopback port; the reader runs meanwhile.
void sendBurst(int port, int count) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  std::uint8_t datagram[50] = {};
  for (int i = 0; i < count; ++i) {
    std::memcpy(datagram, &i, sizeof i);
    ::sendto(fd.get(), datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
}

constexpr auto kBurstQuiet = std::chrono::milliseconds(300);  // the burst is over once nothing came for this long

struct BurstFigures {
  double kept = 0;
  double runs = 0;
  double lowest = 1;
  void add(int received, int sent) {
    const double share = static_cast<double>(received) / sent;
    kept += share;
    lowest = std::min(lowest, share);
    ++runs;
  }
  void report(benchmark::State& state) const {
    state.counters["kept_percent"] = 100 * kept / runs;
    state.counters["lowest_percent"] = 100 * lowest;
  }
};

// The reference: a socket with the channel's receive buffer, read one
// datagram at a time by a thread that does nothing else.
void UdpBurstPlainReader(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  BurstFigures figures;
  for (auto _ : state) {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int size = tavrix::CSocketChannel::kUdpReceiveBuffer;
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
      ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
    std::thread sender(sendBurst, ntohs(address.sin_port), count);
    int received = 0;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
      pollfd p{fd.get(), POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(kBurstQuiet.count())) <= 0) break;
      if (::recv(fd.get(), buffer.data(), buffer.size(), 0) > 0) ++received;
    }
    sender.join();
    figures.add(received, count);
  }
  figures.report(state);
}
BENCHMARK(UdpBurstPlainReader)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same burst into a UDP server channel, whose mailbox a plain thread takes.
void UdpBurstIntoChannel(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  BurstFigures figures;
  for (auto _ : state) {
    tavrix::Mailbox mailbox;
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;
    mailbox.SetWake([&] {
      std::lock_guard lock(mutex);
      woken = true;
      cv.notify_one();
    });
    tavrix::CSocketChannel channel;
    channel.Open(&mailbox, "", tavrix::kProtocolUdp, false, 0, 0, 0, 8, 0, true, true);
    std::thread sender(sendBurst, channel.LocalPort(), count);
    int received = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        if (!cv.wait_for(lock, kBurstQuiet, [&] { return woken; })) break;
        woken = false;
      }
      bool more = true;
      while (more)
        for (auto& message : mailbox.Take(SIZE_MAX, more))
          received += message.kind == tavrix::ChannelMessage::Kind::Received;
    }
    sender.join();
    channel.Close();
    figures.add(received, count);
  }
  figures.report(state);
}
BENCHMARK(UdpBurstIntoChannel)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Runs the event loop until the window has received total bytes; returns the
// longest gap between two 1 ms probe ticks, less the 1 ms.
double runUntilReceived(tavrix::TerminalModel& model, std::uint64_t total) {
  QEventLoop loop;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(1);
  auto last = Clock::now();
  double longest = 0;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const auto now = Clock::now();
    longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count() - 1.0);
    last = now;
    if (model.ReceivedBytes() >= total) loop.quit();
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
  guard.start(120000);
  probe.start();
  loop.exec();
  return longest;
}

tavrix::UiHooks quietHooks() {
  tavrix::UiHooks hooks = tavrix::DefaultUiHooks();
  hooks.message = [](QWidget*, const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); };
  hooks.localAddress = [] { return std::string("127.0.0.1"); };
  return hooks;
}

void MainDialogDisplay(benchmark::State& state) {
  const std::uint64_t total = static_cast<std::uint64_t>(state.range(0)) << 20;
  Figures figures;
  for (auto _ : state) {
    int port = 0;
    auto listener = listenLoopback(port);
    tavrix::CTavrixDlg dialog(quietHooks());
    dialog.show();
    StreamCheck check;
    dialog.Model().SetReceiveTap([&](std::span<const std::uint8_t> bytes) { check.feed(bytes); });
    dialog.findChild<QComboBox*>(QStringLiteral("1022"))->setCurrentIndex(1);  // TCP Client
    dialog.findChild<QLineEdit*>(QStringLiteral("1037"))->setText(QStringLiteral("127.0.0.1"));
    dialog.findChild<QLineEdit*>(QStringLiteral("1038"))->setText(QString::number(port));
    auto sender = serveStream(listener, total);
    const auto start = Clock::now();
    dialog.findChild<QPushButton*>(QStringLiteral("1003"))->click();
    const double stall = runUntilReceived(dialog.Model(), total);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    dialog.findChild<QPushButton*>(QStringLiteral("1003"))->click();
    figures.add(state, total, check, seconds, stall);
  }
  figures.report(state, true);
}
BENCHMARK(MainDialogDisplay)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void SessionDisplay(benchmark::State& state) {
  const std::uint64_t total = static_cast<std::uint64_t>(state.range(0)) << 20;
  Figures figures;
  for (auto _ : state) {
    int port = 0;
    auto listener = listenLoopback(port);
    UniqueFd client = connectLoopback(port);
    UniqueFd accepted(::accept(listener.get(), nullptr, nullptr));
    auto* window = new tavrix::CSessionDlg(quietHooks(), nullptr);
    window->Model().Modes().lineBreak = state.range(1) != 0;
    window->show();
    StreamCheck check;
    window->Model().SetReceiveTap([&](std::span<const std::uint8_t> bytes) { check.feed(bytes); });
    window->AttachSocket(std::move(accepted), "127.0.0.1:1");
    const auto start = Clock::now();
    std::thread sender([&] { sendStream(client.get(), total); });
    const double stall = runUntilReceived(window->Model(), total);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sender.join();
    delete window;
    figures.add(state, total, check, seconds, stall);
  }
  figures.report(state, true);
}
BENCHMARK(SessionDisplay)
    ->Args({8, 0})
    ->Args({8, 1})
    ->ArgNames({"MB", "line_break"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
