#include "commtool/core/socketchannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "commtool/core/testsupport.h"

namespace tavrix {
namespace {

using test::Bytes;

bool openServer(CSocketChannel& channel, Mailbox* owner, int protocol, int port = 0) {
  return channel.Open(owner, "", protocol, false, port, 9600, 0, 8, 0, true, true);
}

bool openClient(CSocketChannel& channel, Mailbox* owner, int protocol, int port,
                const std::string& address = "127.0.0.1") {
  return channel.Open(owner, address, protocol, true, port, 9600, 0, 8, 0, true, true);
}

int write(CSocketChannel& channel, const std::vector<std::uint8_t>& bytes) {
  return channel.Write(bytes.data(), static_cast<int>(bytes.size()));
}

TEST(SocketTcp, ClientSendsAndReceives) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port)) << channel.OpenError();
  EXPECT_EQ(channel.State(), kSocketConnected);
  EXPECT_EQ(channel.ReceiveSize(), 4096);
  auto peer = test::AcceptOne(listener.get());
  ASSERT_TRUE(peer);

  const auto data = test::Pattern(100000, 4);
  ASSERT_TRUE(test::WriteAll(peer.get(), data));
  ASSERT_TRUE(recorder.waitForBytes(data.size()));
  EXPECT_EQ(recorder.data, data);
  for (const auto size : recorder.chunks) EXPECT_LE(size, 4096u);

  EXPECT_EQ(write(channel, Bytes("ping")), 4);
  EXPECT_EQ(test::ReadExactly(peer.get(), 4), Bytes("ping"));
}

TEST(SocketTcp, ServerHandsEachOfThreeClientsToItsOwnChannel) {
  test::Recorder server;
  CSocketChannel listening;
  ASSERT_TRUE(openServer(listening, server.owner(), kProtocolTcp)) << listening.OpenError();
  EXPECT_EQ(listening.State(), kSocketBound);
  const int port = listening.LocalPort();
  ASSERT_GT(port, 0);

  std::vector<UniqueFd> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(test::ConnectLoopback(port));
  ASSERT_TRUE(server.waitFor([&] { return server.accepted.size() == 3; }));
  for (const auto& peer : server.peers) EXPECT_TRUE(peer.starts_with("127.0.0.1:")) << peer;

  // A listening server never sends; the sessions talk to the clients.
  EXPECT_EQ(write(listening, Bytes("x")), -1);
  EXPECT_EQ(listening.LastError(), ENOTCONN);

  std::vector<std::unique_ptr<test::Recorder>> recorders;
  std::vector<std::unique_ptr<CSocketChannel>> sessions;
  for (auto& socket : server.accepted) {
    recorders.push_back(std::make_unique<test::Recorder>());
    sessions.push_back(std::make_unique<CSocketChannel>());
    sessions.back()->SetOwner(recorders.back()->owner());
    ASSERT_TRUE(sessions.back()->Attach(std::move(socket)));
    EXPECT_EQ(sessions.back()->State(), kSocketConnected);
  }
  // Which session serves which client: the session's peer port is the client's local port.
  for (int i = 0; i < 3; ++i) {
    const auto text = Bytes("from client " + std::to_string(i));
    ASSERT_TRUE(test::WriteAll(clients[i].get(), text));
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(recorders[i]->waitFor([&] { return recorders[i]->data.size() == 13; }));
    const std::string got(recorders[i]->data.begin(), recorders[i]->data.end());
    const int client = got.back() - '0';
    EXPECT_EQ(write(*sessions[i], Bytes("to " + std::to_string(client))), 4);
    EXPECT_EQ(test::ReadExactly(clients[client].get(), 4), Bytes("to " + std::to_string(client)));
  }

  clients[1].reset();
  int endedSession = -1;
  for (int i = 0; i < 3; ++i)
    if (recorders[i]->data.back() == '1') endedSession = i;
  ASSERT_TRUE(recorders[endedSession]->waitForEnded());
  EXPECT_EQ(sessions[endedSession]->State(), kSocketClosed);
  EXPECT_EQ(write(*sessions[endedSession], Bytes("x")), -1);

  auto fourth = test::ConnectLoopback(port);
  ASSERT_TRUE(server.waitFor([&] { return server.peers.size() == 4; }));
  EXPECT_EQ(server.ended, 0);
}

TEST(SocketTcp, PeerThatClosesEndsTheConnection) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  test::AcceptOne(listener.get()).reset();
  ASSERT_TRUE(recorder.waitForEnded());
  EXPECT_EQ(channel.State(), kSocketClosed);
  EXPECT_FALSE(channel.HasPeer());
  EXPECT_EQ(write(channel, Bytes("x")), -1);
  EXPECT_EQ(channel.LastError(), ENOTCONN);
}

TEST(SocketTcp, OpenFailuresShowTheirMessage) {
  test::Recorder recorder;
  int busyPort = 0;
  auto busy = test::ListenLoopback(busyPort);
  struct Case {
    int protocol;
    bool client;
    int port;
    std::string_view message;
    int error;
  };
  const Case cases[] = {
      {3, true, 502, "创建Socket失败！", EINVAL},
      {kProtocolTcp, true, test::FreeTcpPort(), "连接服务器失败！", ECONNREFUSED},
      {kProtocolTcp, true, 65536, "连接服务器失败！", EINVAL},
      {kProtocolUdp, true, 70000, "连接服务器失败！", EINVAL},
      {kProtocolTcp, false, 65536, "创建服务器失败！", EINVAL},
      {kProtocolTcp, false, busyPort, "创建服务器失败！", EADDRINUSE},
  };
  for (const auto& c : cases) {
    CSocketChannel channel;
    EXPECT_FALSE(channel.Open(recorder.owner(), "127.0.0.1", c.protocol, c.client, c.port, 0, 0, 8, 0, true, true));
    EXPECT_EQ(channel.OpenError(), c.message) << c.port;
    EXPECT_EQ(channel.LastError(), c.error) << c.port;
    EXPECT_EQ(channel.Socket(), -1);
    EXPECT_EQ(channel.State(), kSocketClosed);
  }
}

TEST(SocketTcp, ClientResolvesAHostName) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port, "localhost")) << channel.OpenError();
}

TEST(SocketTcp, WriteRefusals) {
  CSocketChannel closed;
  EXPECT_EQ(write(closed, Bytes("x")), -1);
  EXPECT_EQ(closed.LastError(), ENOTCONN);

  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  EXPECT_EQ(channel.Write(nullptr, 3), -1);
  EXPECT_EQ(channel.LastError(), EFAULT);
  const auto one = Bytes("x");
  EXPECT_EQ(channel.Write(one.data(), 0), -1);
  EXPECT_EQ(channel.LastError(), EFAULT);
}

// Every send that takes nothing says why, for the window to show.
TEST(SocketTcp, RefusedWritesSayWhy) {
  CSocketChannel closed;
  EXPECT_EQ(write(closed, Bytes("x")), -1);
  EXPECT_EQ(closed.WriteError(), "未发送：端口未打开\n");

  test::Recorder recorder;
  CSocketChannel listening;
  ASSERT_TRUE(openServer(listening, recorder.owner(), kProtocolTcp));
  EXPECT_EQ(write(listening, Bytes("x")), -1);
  EXPECT_EQ(listening.WriteError(), "未发送：TCP Server 只接受连接，请在客户端的连接窗口中发送\n");

  CSocketChannel udp;
  ASSERT_TRUE(openServer(udp, recorder.owner(), kProtocolUdp));
  EXPECT_EQ(write(udp, Bytes("x")), 0);
  EXPECT_EQ(udp.WriteError(), "未发送：还没有收到过数据报，不知道发给谁\n");

  int port = 0;
  auto listener = test::ListenLoopback(port);
  CSocketChannel client;
  ASSERT_TRUE(openClient(client, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());  // reads nothing: the first frame never finishes
  const std::vector<std::uint8_t> big(16 << 20, 1);
  EXPECT_EQ(write(client, big), static_cast<int>(big.size()));
  int queued = 0;
  while (queued < 100 && write(client, Bytes("x")) == 1) ++queued;
  EXPECT_GE(queued, static_cast<int>(FrameWriter::kMaxFrames) - 1);  // the big one may still wait in the queue
  EXPECT_LE(queued, static_cast<int>(FrameWriter::kMaxFrames));
  EXPECT_EQ(client.WriteError(), "未发送：已有 16 帧等待发送\n");
  EXPECT_EQ(write(closed, Bytes("x")), -1);
}

TEST(SocketTcp, WriteTextEndsEachLineAsAsked) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  EXPECT_EQ(channel.LineEnd(), 1);
  EXPECT_EQ(channel.WriteText("a"), 3);
  channel.SetLineEnd(0);
  EXPECT_EQ(channel.WriteText("b"), 2);
  channel.SetLineEnd(2);
  EXPECT_EQ(channel.WriteText("c"), 2);
  EXPECT_EQ(test::ReadExactly(peer.get(), 7), Bytes(std::string_view("a\r\nb\0c\n", 7)));
}

TEST(SocketTcp, AttachRefusesASocketWithoutPeer) {
  UniqueFd lone(::socket(AF_INET, SOCK_STREAM, 0));
  const int number = lone.get();
  CSocketChannel channel;
  EXPECT_FALSE(channel.Attach(std::move(lone)));
  EXPECT_EQ(channel.Socket(), -1);
  EXPECT_EQ(::fcntl(number, F_GETFD), -1);  // closed
}

TEST(SocketTcp, ServerWithoutOwnerClosesWhatItAccepts) {
  CSocketChannel listening;
  ASSERT_TRUE(openServer(listening, nullptr, kProtocolTcp));
  auto client = test::ConnectLoopback(listening.LocalPort());
  EXPECT_TRUE(test::ReadExactly(client.get(), 1).empty());  // end of stream
}

TEST(SocketTcp, FrameToAPeerThatReadsSlowlyGoesOutWholeAndInOrder) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  ASSERT_TRUE(peer);

  const auto frame = test::Pattern(16 << 20, 10);
  EXPECT_EQ(write(channel, frame), static_cast<int>(frame.size()));  // queued: the writer thread does the waiting
  EXPECT_EQ(write(channel, Bytes("tail")), 4);
  std::vector<std::uint8_t> got;
  while (got.size() < frame.size() + 4) {  // a peer that takes a little and then pauses
    auto piece = test::ReadExactly(peer.get(), std::min<std::size_t>(256 * 1024, frame.size() + 4 - got.size()));
    ASSERT_FALSE(piece.empty());
    got.insert(got.end(), piece.begin(), piece.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), got.begin()));
  EXPECT_TRUE(std::equal(got.end() - 4, got.end(), Bytes("tail").begin()));
  ASSERT_TRUE(recorder.waitForSent(2));
  EXPECT_EQ(recorder.sent[0].written, frame.size());
  EXPECT_TRUE(recorder.sent[0].whole);
  EXPECT_TRUE(recorder.sent[1].whole);
  EXPECT_EQ(channel.State(), kSocketConnected);
}

// An echo can only be read after its frame went out; it is never handed over
// before that frame's report, or the window would show the reply first.
TEST(SocketTcp, EchoOfAFrameNeverComesBeforeTheFramesReport) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  test::Echo echo(peer.get());
  EXPECT_EQ(test::EchoesBeforeTheirFrame(channel, recorder, 20000), 0);
}

// A UDP client's datagrams go out on the channel's writer like TCP frames,
// and their echoes come after their reports.
TEST(SocketUdp, EchoOfADatagramNeverComesBeforeItsReport) {
  int peerPort = 0;
  auto peer = test::UdpLoopback(peerPort);
  const int room = 8 << 20;  // so that the echo loses nothing while it falls behind
  if (::setsockopt(peer.get(), SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) != 0)
    ::setsockopt(peer.get(), SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  std::atomic<bool> run{true};
  std::thread echo([&] {
    std::uint8_t buffer[2048];
    while (run) {
      pollfd p{peer.get(), POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(peer.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n > 0) ::sendto(peer.get(), buffer, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  });
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolUdp, peerPort));
  EXPECT_EQ(test::EchoesBeforeTheirFrame(channel, recorder, 20000), 0);
  run = false;
  echo.join();
}

TEST(SocketTcp, CloseDropsFramesThatWaitForAPeerThatStoppedReading) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  const std::vector<std::uint8_t> frame(16 << 20, 0x5A);  // more than both socket buffers hold
  ASSERT_EQ(write(channel, frame), static_cast<int>(frame.size()));
  EXPECT_EQ(write(channel, Bytes("x")), 1);
  EXPECT_TRUE(channel.Sending());
  channel.Close();  // returns although the frame is stuck
  EXPECT_FALSE(channel.Sending());
  recorder.poll();
  EXPECT_TRUE(recorder.sent.empty());
}

TEST(SocketTcp, FailedSendIsReportedAsNotWhole) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  test::Recorder recorder;
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, recorder.owner(), kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  const linger reset{1, 0};  // closing sends a reset
  ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ASSERT_EQ(write(channel, std::vector<std::uint8_t>(16 << 20, 0x5A)), 16 << 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  peer.reset();
  ASSERT_TRUE(recorder.waitForSent());
  EXPECT_FALSE(recorder.sent[0].whole);
  EXPECT_LT(recorder.sent[0].written, std::size_t{16} << 20);
}

TEST(SocketTcp, CloseWhileStreamingWakesAReaderThatWaitsForRoom) {
  int port = 0;
  auto listener = test::ListenLoopback(port);
  Mailbox full(4096);  // nobody takes anything: the reader ends up waiting for room
  full.SetWake([] {});
  CSocketChannel channel;
  ASSERT_TRUE(openClient(channel, &full, kProtocolTcp, port));
  auto peer = test::AcceptOne(listener.get());
  ::fcntl(peer.get(), F_SETFL, O_NONBLOCK);
  std::atomic<bool> run{true};
  std::thread writer([&] {
    const auto block = test::Pattern(65536, 5);
    while (run)
      if (::send(peer.get(), block.data(), block.size(), MSG_NOSIGNAL) < 0) std::this_thread::yield();
  });
  while (full.PendingBytes() < 4096) std::this_thread::yield();
  channel.Close();
  EXPECT_EQ(channel.ReceiveRun(), 0);
  EXPECT_EQ(channel.Socket(), -1);
  run = false;
  writer.join();
}

// Out of descriptors for a while: the server waits and accepts the client once
// a descriptor is free again, instead of ending.
TEST(SocketTcp, ServerOutOfDescriptorsGoesOnAccepting) {
  test::Recorder server;
  CSocketChannel listening;
  ASSERT_TRUE(openServer(listening, server.owner(), kProtocolTcp));
  UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));  // before descriptors run out
  ASSERT_TRUE(client);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(listening.LocalPort()));

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int lowestFree = ::dup(0);
  ::close(lowestFree);
  rlimit scarce = saved;
  scarce.rlim_cur = static_cast<rlim_t>(lowestFree);  // no new descriptor for anyone
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &scarce), 0);
  const int connected = ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * CSocketChannel::kAcceptRetryMs));
  const int stateWhileShort = listening.State();
  const int errorWhileShort = listening.LastError();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

  ASSERT_EQ(connected, 0);
  EXPECT_EQ(stateWhileShort, kSocketBound);
  EXPECT_EQ(errorWhileShort, EMFILE);
  ASSERT_TRUE(server.waitFor([&] { return server.accepted.size() == 1; }));
  server.poll();
  EXPECT_EQ(server.ended, 0);
  EXPECT_EQ(listening.AcceptRun(), 2);
}

// Close must wake a thread that waits with nothing to do: an accept loop with no
// client, a receive loop with no datagram.
TEST(SocketClose, IdleThreadsAreWokenAndJoined) {
  struct Case {
    const char* name;
    int protocol;
    bool client;
  };
  const Case cases[] = {
      {"idle TCP server", kProtocolTcp, false},
      {"idle UDP server", kProtocolUdp, false},
      {"idle UDP client", kProtocolUdp, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Recorder recorder;
    CSocketChannel channel;
    const bool opened = c.client ? openClient(channel, recorder.owner(), c.protocol, 9)
                                 : openServer(channel, recorder.owner(), c.protocol);
    ASSERT_TRUE(opened) << channel.OpenError();
    auto closing = std::async(std::launch::async, [&] { channel.Close(); });
    ASSERT_EQ(closing.wait_for(test::kGuard), std::future_status::ready);
    EXPECT_EQ(channel.Socket(), -1);
    EXPECT_EQ(channel.ReceiveRun(), 0);
    EXPECT_EQ(channel.AcceptRun(), 0);
  }
}

TEST(SocketUdp, ServerAnswersTheLastSenderAndSurvivesAnEmptyDatagram) {
  test::Recorder recorder;
  CSocketChannel server;
  ASSERT_TRUE(openServer(server, recorder.owner(), kProtocolUdp)) << server.OpenError();
  EXPECT_EQ(server.State(), kSocketBound);
  const int port = server.LocalPort();
  EXPECT_EQ(write(server, Bytes("early")), 0);  // nobody to answer yet

  int portA = 0, portB = 0;
  auto a = test::UdpLoopback(portA);
  auto b = test::UdpLoopback(portB);
  ASSERT_TRUE(test::SendDatagram(a.get(), port, Bytes("from a")));
  ASSERT_TRUE(recorder.waitForBytes(6));
  ASSERT_TRUE(test::SendDatagram(b.get(), port, Bytes("from b")));
  ASSERT_TRUE(recorder.waitForBytes(12));
  EXPECT_EQ(write(server, Bytes("to b")), 4);
  EXPECT_EQ(test::ReceiveDatagram(b.get()), Bytes("to b"));

  ASSERT_TRUE(test::SendDatagram(a.get(), port, {}));
  ASSERT_TRUE(test::SendDatagram(a.get(), port, Bytes("!")));
  ASSERT_TRUE(recorder.waitForBytes(13));
  EXPECT_EQ(recorder.ended, 0);
  EXPECT_EQ(server.State(), kSocketBound);
  EXPECT_EQ(recorder.chunks, (std::vector<std::size_t>{6, 6, 1}));
  EXPECT_EQ(write(server, Bytes("to a")), 4);
  EXPECT_EQ(test::ReceiveDatagram(a.get()), Bytes("to a"));
}

TEST(SocketUdp, ClientReceivesOnlyAfterItsFirstSend) {
  int peerPort = 0;
  auto peer = test::UdpLoopback(peerPort);
  test::Recorder recorder;
  CSocketChannel client;
  ASSERT_TRUE(openClient(client, recorder.owner(), kProtocolUdp, peerPort));
  EXPECT_EQ(client.State(), kSocketConnected);
  EXPECT_TRUE(client.HasPeer());
  EXPECT_EQ(client.ReceiveRun(), 0);

  EXPECT_EQ(write(client, Bytes("hello")), 5);
  int clientPort = 0;
  EXPECT_EQ(test::ReceiveDatagram(peer.get(), &clientPort), Bytes("hello"));
  ASSERT_TRUE(test::SendDatagram(peer.get(), clientPort, Bytes("back")));
  ASSERT_TRUE(recorder.waitForBytes(4));
  EXPECT_EQ(recorder.data, Bytes("back"));
  EXPECT_EQ(client.ReceiveRun(), 2);
}

TEST(SocketUdp, LongDatagramsArriveWhole) {
  test::Recorder recorder;
  CSocketChannel server;
  ASSERT_TRUE(openServer(server, recorder.owner(), kProtocolUdp));
  int senderPort = 0;
  auto sender = test::UdpLoopback(senderPort);
  const auto big = test::Pattern(65507, 6);  // the largest IPv4 datagram
  const auto medium = test::Pattern(9000, 7);
  ASSERT_TRUE(test::SendDatagram(sender.get(), server.LocalPort(), big));
  ASSERT_TRUE(test::SendDatagram(sender.get(), server.LocalPort(), medium));
  ASSERT_TRUE(recorder.waitForBytes(big.size() + medium.size()));
  EXPECT_EQ(recorder.chunks, (std::vector<std::size_t>{big.size(), medium.size()}));
  std::vector<std::uint8_t> expected = big;
  expected.insert(expected.end(), medium.begin(), medium.end());
  EXPECT_EQ(recorder.data, expected);
}

// The receive thread waits while its owner takes nothing, so a burst fills
// the socket's buffer and the kernel drops the rest. Every datagram is
// either delivered or counted as dropped once a later one arrives.
TEST(SocketUdp, DatagramsTheKernelDroppedAreCounted) {
  Mailbox slow(64 * 1024);
  slow.SetWake([] {});
  CSocketChannel server;
  ASSERT_TRUE(openServer(server, &slow, kProtocolUdp));
  int granted = 0;
  socklen_t length = sizeof granted;
  ASSERT_EQ(::getsockopt(server.Socket(), SOL_SOCKET, SO_RCVBUF, &granted, &length), 0);
  EXPECT_GE(granted, CSocketChannel::kUdpReceiveBuffer) << "a buffer sized for bursts";  // root is granted it all

  int senderPort = 0;
  auto sender = test::UdpLoopback(senderPort);
  constexpr int kBurst = 30000;  // 30 MB: more than the buffer and the mailbox hold
  const auto datagram = test::Pattern(1000, 3);
  for (int i = 0; i < kBurst; ++i) ASSERT_TRUE(test::SendDatagram(sender.get(), server.LocalPort(), datagram));

  int received = 0;
  std::uint64_t dropped = 0;
  bool markerSent = false;
  const auto deadline = std::chrono::steady_clock::now() + test::kGuard;
  while (static_cast<std::uint64_t>(received) + dropped < kBurst + 1u && std::chrono::steady_clock::now() < deadline) {
    bool more = false;
    for (auto& message : slow.Take(SIZE_MAX, more)) {
      if (message.kind == ChannelMessage::Kind::Received) ++received;
      if (message.kind == ChannelMessage::Kind::Dropped) dropped = message.dropped;
    }
    if (!markerSent) {  // room again: this one carries the count of all that were dropped
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      markerSent = test::SendDatagram(sender.get(), server.LocalPort(), Bytes("end"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(static_cast<std::uint64_t>(received) + dropped, kBurst + 1u);
  EXPECT_EQ(server.DatagramsDropped(), dropped);
}

TEST(SocketUdp, RepliesWhileDatagramsArriveGoToARealSender) {
  test::Recorder recorder;
  CSocketChannel server;
  ASSERT_TRUE(openServer(server, recorder.owner(), kProtocolUdp));
  const int port = server.LocalPort();
  int portA = 0, portB = 0;
  auto a = test::UdpLoopback(portA);
  auto b = test::UdpLoopback(portB);
  ASSERT_TRUE(test::SendDatagram(a.get(), port, Bytes("0")));
  ASSERT_TRUE(recorder.waitForBytes(1));

  constexpr int kRounds = 50;
  std::thread senders([&] {
    for (int i = 0; i < kRounds; ++i) {
      test::SendDatagram(a.get(), port, Bytes("a"));
      test::SendDatagram(b.get(), port, Bytes("b"));
    }
  });
  int replies = 0;
  for (int i = 0; i < kRounds; ++i) replies += write(server, Bytes("r")) == 1;
  senders.join();
  ASSERT_TRUE(test::SendDatagram(a.get(), port, Bytes("z")));  // loopback may drop a datagram, not reorder
  ASSERT_TRUE(recorder.waitFor([&] { return !recorder.data.empty() && recorder.data.back() == 'z'; }));
  // Every reply reached one of the two senders.
  int arrived = 0;
  for (int fd : {a.get(), b.get()}) {
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) break;
      std::uint8_t byte = 0;
      if (::recv(fd, &byte, 1, 0) == 1 && byte == 'r') ++arrived;
    }
  }
  EXPECT_EQ(arrived, replies);
}

}  // namespace
}  // namespace tavrix
