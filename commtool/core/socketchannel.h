#pragma once
// A TCP or UDP socket (IPv4): a client, a TCP server whose accept thread hands
// every accepted client to the owner, or a UDP server that answers the sender
// of the last datagram. Frames go out on a writer thread (a TCP frame whole,
// a UDP frame as one datagram). A channel holds one descriptor besides its
// socket: the eventfd by which Close wakes its threads, which it joins before
// the socket is closed.

#include <netinet/in.h>

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <thread>

#include "commtool/core/channel.h"
#include "commtool/core/fd.h"
#include "commtool/core/framewriter.h"

namespace tavrix {

// Values of State().
inline constexpr int kSocketClosed = 0;
inline constexpr int kSocketClosing = 1;
inline constexpr int kSocketCreated = 2;
inline constexpr int kSocketConnected = 3;
inline constexpr int kSocketBound = 4;

class CSocketChannel : public CCommChannel {
 public:
  static constexpr int kReceiveBuffer = 8192;        // largest TCP read
  static constexpr int kDatagramBuffer = 64 * 1024;  // a whole UDP datagram
  static constexpr int kDatagramBatch = 64;          // datagrams taken by one receive call
  // Asked for as the kernel's receive buffer of a UDP socket, so that a burst
  // waits there while the reader is busy (the system may grant less).
  static constexpr int kUdpReceiveBuffer = 8 << 20;
  static constexpr int kConnectTimeoutMs = 2000;
  // A pause before accepting again after the system ran short (descriptors, memory).
  static constexpr int kAcceptRetryMs = 100;

  CSocketChannel();
  ~CSocketChannel() override;

  bool IsOpen() const override { return true; }
  bool Close() override;
  bool Open(Mailbox* owner, const std::string& address, int protocol, bool client, int port, int baud, int parity,
            int dataBits, int stopBits, bool configure, bool startReader) override;
  // Queues the bytes as one frame (UDP: one datagram) for the writer and
  // answers count; 0 when the queue is full or a UDP channel knows no peer
  // yet, -1 when the channel does not send (WriteError() says why). The owner
  // hears of the frame (Sent) once it is on the wire whole or sending failed.
  int Write(const std::uint8_t* bytes, int count) override;
  // Whether a frame is still waiting or going out.
  bool Sending() const { return writer_.Busy(); }

  // Sends text followed by the LineEnd() ending: 0 a NUL byte, 1 CR LF, 2 LF.
  int WriteText(std::string_view text);
  // Adopts a socket accepted by another channel; refused (and the socket
  // closed) when it has no peer.
  bool Attach(UniqueFd socket);
  void SetReceiveSize(int n);
  void SetOwner(Mailbox* owner) { setOwner(owner); }
  void SetLineEnd(int lineEnd) { lineEnd_ = lineEnd; }

  int State() const { return state_.load(); }
  int Protocol() const { return protocol_; }
  bool HasPeer() const { return hasPeer_.load(); }
  int LastError() const { return lastError_.load(); }
  int ReceiveSize() const { return receiveSize_.load(); }
  int LineEnd() const { return lineEnd_; }
  int ReceiveRun() const { return receiveRun_.load(); }
  int AcceptRun() const { return acceptRun_.load(); }
  // The descriptor, -1 when none is held.
  int Socket() const { return socket_.get(); }
  // The bound local port (servers opened on port 0 get one from the system).
  int LocalPort() const;
  // Datagrams the kernel dropped for want of room since the socket was made (UDP).
  std::uint64_t DatagramsDropped() const { return dropped_.load(); }

 private:
  bool create(int protocol, int receiveSize);
  bool connect(const std::string& address, int port);
  bool bind(int port);
  bool connectTcp(const sockaddr_in& address);
  bool startThread(std::thread& thread, void (CSocketChannel::*loop)());
  void receiveLoop();
  void acceptLoop();
  bool makeWake();
  bool startWriter();
  ssize_t putStream(int fd, const std::uint8_t* bytes, std::size_t count);
  ssize_t putDatagram(int fd, const std::uint8_t* bytes, std::size_t count);
  bool receiveStream(std::uint8_t* buffer);
  struct DatagramBatch;
  bool receiveDatagrams(DatagramBatch& batch);
  bool waitReadable();
  bool pause(int ms);
  sockaddr_in replyAddress();
  bool refuse(int error);

  UniqueFd socket_;
  UniqueFd wake_;  // eventfd that tells the threads (receive, accept, writer) to stop
  std::atomic<int> state_{kSocketClosed};
  std::atomic<int> lastError_{0};
  std::atomic<bool> hasPeer_{false};
  std::atomic<int> receiveRun_{0};
  std::atomic<int> acceptRun_{0};
  std::atomic<bool> stopping_{false};
  int protocol_ = kProtocolTcp;
  std::atomic<int> receiveSize_{0};
  int lineEnd_ = 1;
  std::atomic<std::uint64_t> dropped_{0};
  std::mutex lineMutex_;     // around each read of the socket, and each write with its report (FrameWriter)
  std::mutex addressMutex_;  // the UDP sender is written by the receive thread
  sockaddr_in remoteAddr_{};
  sockaddr_in localAddr_{};
  std::thread receiveThread_;
  std::thread acceptThread_;
  FrameWriter writer_;
};

// "%d.%d.%d.%d:%d"
std::string PeerText(const sockaddr_in& address);

}  // namespace tavrix
