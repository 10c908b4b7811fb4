#include "commtool/core/socketchannel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "commtool/core/descriptors.h"
#include "commtool/core/texts.h"

namespace tavrix {
namespace {

constexpr std::size_t kMaxAddressText = 256;

bool setBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

bool setIntOption(int fd, int level, int name, int value) {
  return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// A dotted address, else the first IPv4 address of a host name; 0 or the error.
int resolve(const std::string& text, in_addr& address) {
  const std::string host = text.substr(0, kMaxAddressText);
  if (::inet_aton(host.c_str(), &address) != 0) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) return rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return 0;
}

// The system ran short for a moment, or one client gave up while it was
// being accepted: the server goes on.
bool temporaryAcceptError(int error) {
  switch (error) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
    case ECONNABORTED:
    case EPROTO:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string PeerText(const sockaddr_in& address) {
  const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
  return fmt::format("{}.{}.{}.{}:{}", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF,
                     ntohs(address.sin_port));
}

CSocketChannel::CSocketChannel() = default;

CSocketChannel::~CSocketChannel() { Close(); }

bool CSocketChannel::refuse(int error) {
  lastError_.store(error);
  return false;
}

bool CSocketChannel::Open(Mailbox* owner, const std::string& address, int protocol, bool client, int port, int, int,
                          int, int, bool, bool) {
  setOpenError({});
  setOwner(owner);
  const bool created = create(protocol, 4096);
  if (created && (client ? connect(address, port) : bind(port))) return true;
  setOpenError(std::string(!created ? texts::kSocketCreateFailed
                           : client ? texts::kConnectFailed
                                    : texts::kServerFailed));
  const int error = LastError();
  Close();
  lastError_.store(error);
  return false;
}

// Made once, when the channel first needs it, and kept: a channel that
// cannot have it opens nothing.
bool CSocketChannel::makeWake() {
  if (!wake_) wake_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  return wake_ || refuse(errno);
}

bool CSocketChannel::create(int protocol, int receiveSize) {
  if (socket_) return refuse(EACCES);
  if (protocol != kProtocolTcp && protocol != kProtocolUdp) return refuse(EINVAL);
  if (!makeWake()) return false;
  const int type = protocol == kProtocolTcp ? SOCK_STREAM : SOCK_DGRAM;
  UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  if (!fd) return refuse(errno);
  if (protocol == kProtocolTcp) {
    const linger noLinger{0, 0};
    if (::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0) return refuse(errno);
  } else {
    hasPeer_.store(false);
    // Room for a burst; beyond the system's ceiling only with the right to force it.
    if (!setIntOption(fd.get(), SOL_SOCKET, SO_RCVBUFFORCE, kUdpReceiveBuffer))
      setIntOption(fd.get(), SOL_SOCKET, SO_RCVBUF, kUdpReceiveBuffer);
    setIntOption(fd.get(), SOL_SOCKET, SO_RXQ_OVFL, 1);  // each datagram tells how many were dropped
    dropped_.store(0);
  }
  socket_ = std::move(fd);
  receiveSize_.store(receiveSize > 0 ? receiveSize : 4096);
  protocol_ = protocol;
  state_.store(kSocketCreated);
  return true;
}

bool CSocketChannel::connect(const std::string& address, int port) {
  if (!socket_) return refuse(ENOTSOCK);
  const int state = state_.load();
  if ((protocol_ == kProtocolTcp && state > kSocketCreated) || (protocol_ == kProtocolUdp && state > kSocketConnected))
    return refuse(EISCONN);
  if (port < 0 || port >= 65536) return refuse(EINVAL);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  if (const int error = resolve(address, remote.sin_addr); error != 0) return refuse(error);
  if (protocol_ == kProtocolUdp) {
    {
      std::lock_guard lock(addressMutex_);
      remoteAddr_ = remote;
    }
    hasPeer_.store(true);
    state_.store(kSocketConnected);
    return startWriter();
  }
  return connectTcp(remote);
}

bool CSocketChannel::connectTcp(const sockaddr_in& remote) {
  const int fd = socket_.get();
  if (!setBlocking(fd, false)) return refuse(errno);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 && errno != EINPROGRESS)
    return refuse(errno);
  pollfd out{fd, POLLOUT, 0};
  const int ready = RetryOnEintr([&] { return ::poll(&out, 1, kConnectTimeoutMs); });
  if (ready <= 0) return refuse(ready == 0 ? ETIMEDOUT : errno);
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return refuse(errno);
  if (error != 0) return refuse(error);
  if (!setBlocking(fd, true)) return refuse(errno);
  {
    std::lock_guard lock(addressMutex_);
    remoteAddr_ = remote;
  }
  state_.store(kSocketConnected);
  return startWriter() && startThread(receiveThread_, &CSocketChannel::receiveLoop);
}

bool CSocketChannel::bind(int port) {
  if (!socket_) return refuse(ENOTSOCK);
  if (state_.load() >= kSocketConnected) return refuse(EISCONN);
  if (port < 0 || port >= 65536) return refuse(EINVAL);
  const int fd = socket_.get();
  if (protocol_ == kProtocolTcp) setIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return refuse(errno);
  {
    std::lock_guard lock(addressMutex_);
    localAddr_ = local;
  }
  if (protocol_ == kProtocolUdp) {
    state_.store(kSocketBound);
    hasPeer_.store(false);
    return startWriter() && startThread(receiveThread_, &CSocketChannel::receiveLoop);
  }
  if (::listen(fd, 10) != 0 || !setBlocking(fd, false)) return refuse(errno);
  state_.store(kSocketBound);
  return startThread(acceptThread_, &CSocketChannel::acceptLoop);
}

bool CSocketChannel::startWriter() {
  const int fd = socket_.get();
  const bool tcp = protocol_ == kProtocolTcp;
  const bool started = writer_.Start(
      fd, wake_.get(), lineMutex_,
      [this, fd, tcp](const std::uint8_t* bytes, std::size_t count) {
        return tcp ? putStream(fd, bytes, count) : putDatagram(fd, bytes, count);
      },
      [this](std::size_t written, bool whole) {
        if (Mailbox* owner = Owner()) owner->PostSent(written, whole);
      });
  return started || refuse(EAGAIN);
}

ssize_t CSocketChannel::putStream(int fd, const std::uint8_t* bytes, std::size_t count) {
  const ssize_t n = RetryOnEintr([&] { return ::send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT); });
  if (n >= 0) return n;
  if (errno == EAGAIN) return 0;
  lastError_.store(errno);
  return -1;
}

// Runs on the writer thread. A UDP client starts receiving after its first
// datagram went out: only then has its socket a port that answers can reach.
// Close joins the writer before the receive thread, so the two never race.
ssize_t CSocketChannel::putDatagram(int fd, const std::uint8_t* bytes, std::size_t count) {
  const sockaddr_in to = replyAddress();
  const ssize_t n = RetryOnEintr([&] {
    return ::sendto(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  });
  if (n < 0 && errno == EAGAIN) return 0;
  if (n < 0) {
    lastError_.store(errno);
    return -1;
  }
  if (state_.load() == kSocketConnected && !receiveThread_.joinable() && !stopping_.load())
    startThread(receiveThread_, &CSocketChannel::receiveLoop);
  return n;
}

bool CSocketChannel::startThread(std::thread& thread, void (CSocketChannel::*loop)()) {
  try {
    thread = std::thread(loop, this);
    return true;
  } catch (const std::system_error& error) {
    return refuse(error.code().value());
  }
}

int CSocketChannel::LocalPort() const {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (!socket_ || ::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

void CSocketChannel::SetReceiveSize(int n) {
  if (n > 0) receiveSize_.store(n);
}

// Waits for input on the socket; false once Close asks the threads to stop.
bool CSocketChannel::waitReadable() {
  pollfd fds[2] = {{socket_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
  const int rc = RetryOnEintr([&] { return ::poll(fds, 2, -1); });
  if (rc < 0) return refuse(errno);
  return fds[1].revents == 0 && !stopping_.load();
}

// Waits ms unless Close asks the threads to stop; false then.
bool CSocketChannel::pause(int ms) {
  pollfd wake{wake_.get(), POLLIN, 0};
  RetryOnEintr([&] { return ::poll(&wake, 1, ms); });
  return wake.revents == 0 && !stopping_.load();
}

void CSocketChannel::receiveLoop() {
  const bool tcp = protocol_ == kProtocolTcp;
  if (tcp) {
    const int fd = socket_.get();
    setIntOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setIntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 1);
    setIntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 1);
  }
  std::vector<std::uint8_t> buffer(tcp ? kReceiveBuffer : 0);
  std::unique_ptr<DatagramBatch> batch = tcp ? nullptr : std::make_unique<DatagramBatch>();
  receiveRun_.store(2);
  while (receiveRun_.load() == 2 && !stopping_.load()) {
    if (!(tcp ? receiveStream(buffer.data()) : receiveDatagrams(*batch))) break;
  }
  receiveRun_.store(1);
  if (!stopping_.load()) {
    if (tcp) {
      ::shutdown(socket_.get(), SHUT_RDWR);
      state_.store(kSocketClosed);
    } else {
      state_.store(kSocketCreated);
    }
    if (Mailbox* owner = Owner()) owner->PostEnded();
  }
  receiveRun_.store(0);
}

bool CSocketChannel::receiveStream(std::uint8_t* buffer) {
  const std::size_t size = static_cast<std::size_t>(std::min(receiveSize_.load(), kReceiveBuffer));
  for (;;) {
    ssize_t n = 0;
    {
      std::lock_guard line(lineMutex_);
      n = ::recv(socket_.get(), buffer, size, MSG_DONTWAIT);
    }
    if (n > 0) {
      hasPeer_.store(true);
      if (Mailbox* owner = Owner()) owner->PostDataWaiting(std::vector<std::uint8_t>(buffer, buffer + n), stopping_);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (!waitReadable()) return false;
      continue;
    }
    lastError_.store(n == 0 ? 0 : errno);
    hasPeer_.store(false);
    return false;
  }
}

// Room for kDatagramBatch whole datagrams, their senders and the kernel's
// drop counter, handed to recvmmsg at once.
struct CSocketChannel::DatagramBatch {
  static constexpr std::size_t kControl = CMSG_SPACE(sizeof(std::uint32_t));
  std::unique_ptr<std::uint8_t[]> data = std::make_unique_for_overwrite<std::uint8_t[]>(
      std::size_t{kDatagramBatch} * kDatagramBuffer);  // pages cost memory only once a datagram fills them
  iovec parts[kDatagramBatch];
  sockaddr_in senders[kDatagramBatch];
  alignas(cmsghdr) std::uint8_t control[kDatagramBatch][kControl];
  mmsghdr headers[kDatagramBatch];

  void reset() {
    for (int i = 0; i < kDatagramBatch; ++i) {
      parts[i] = {data.get() + std::size_t(i) * kDatagramBuffer, kDatagramBuffer};
      headers[i] = {};
      headers[i].msg_hdr.msg_name = &senders[i];
      headers[i].msg_hdr.msg_namelen = sizeof senders[i];
      headers[i].msg_hdr.msg_iov = &parts[i];
      headers[i].msg_hdr.msg_iovlen = 1;
      headers[i].msg_hdr.msg_control = control[i];
      headers[i].msg_hdr.msg_controllen = kControl;
    }
  }
  // The kernel's count of datagrams dropped so far, as datagram i carries it; -1 when it carries none.
  std::int64_t dropCount(int i) const {
    const msghdr& header = headers[i].msg_hdr;
    for (const cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(c)))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
        std::uint32_t count = 0;
        std::memcpy(&count, CMSG_DATA(c), sizeof count);
        return count;
      }
    return -1;
  }
};

bool CSocketChannel::receiveDatagrams(DatagramBatch& batch) {
  for (;;) {
    batch.reset();
    int n = 0;
    {
      std::lock_guard line(lineMutex_);
      n = ::recvmmsg(socket_.get(), batch.headers, kDatagramBatch, MSG_DONTWAIT, nullptr);
    }
    if (n > 0) {
      std::vector<std::vector<std::uint8_t>> datagrams;
      datagrams.reserve(static_cast<std::size_t>(n));
      std::int64_t dropped = -1;
      for (int i = 0; i < n; ++i) {
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(batch.parts[i].iov_base);
        // An empty datagram names its sender and carries nothing.
        if (batch.headers[i].msg_len > 0) datagrams.emplace_back(bytes, bytes + batch.headers[i].msg_len);
        dropped = std::max(dropped, batch.dropCount(i));
      }
      {
        std::lock_guard lock(addressMutex_);
        localAddr_ = batch.senders[n - 1];
      }
      hasPeer_.store(true);
      Mailbox* owner = Owner();
      if (owner) owner->PostDatagramsWaiting(std::move(datagrams), stopping_);
      if (dropped > static_cast<std::int64_t>(dropped_.load())) {
        dropped_.store(static_cast<std::uint64_t>(dropped));
        if (owner) owner->PostDropped(dropped_.load());
      }
      return true;
    }
    if (errno == EINTR || errno == ECONNREFUSED) continue;  // a port-unreachable answer ends nothing
    if (errno == EAGAIN) {
      if (!waitReadable()) return false;
      continue;
    }
    lastError_.store(errno);
    hasPeer_.store(false);
    return false;
  }
}

void CSocketChannel::acceptLoop() {
  acceptRun_.store(2);
  while (acceptRun_.load() == 2) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd client(::accept4(socket_.get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    if (client) {
      Mailbox* owner = Owner();
      if (!owner) {
        ::shutdown(client.get(), SHUT_RDWR);
      } else if (!RoomForConnection()) {  // the client's window would eat into the reserve
        client.reset();
        owner->PostRefused(PeerText(peer));
      } else {
        owner->PostAccepted(std::move(client), PeerText(peer));
      }
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN) {
      if (!waitReadable()) break;
      continue;
    }
    lastError_.store(error);
    if (temporaryAcceptError(error)) {
      if (!pause(kAcceptRetryMs)) break;
      continue;
    }
    break;
  }
  acceptRun_.store(1);
  if (!stopping_.load()) {
    ::shutdown(socket_.get(), SHUT_RDWR);
    state_.store(kSocketClosed);
    if (Mailbox* owner = Owner()) owner->PostEnded();
  }
  acceptRun_.store(0);
}

sockaddr_in CSocketChannel::replyAddress() {
  std::lock_guard lock(addressMutex_);
  return state_.load() == kSocketBound ? localAddr_ : remoteAddr_;
}

int CSocketChannel::Write(const std::uint8_t* bytes, int count) {
  setWriteError({});
  const int state = state_.load();
  if (state < kSocketConnected || (state == kSocketBound && protocol_ == kProtocolTcp)) {
    setWriteError(state == kSocketBound ? texts::kServerDoesNotSend : texts::kNotOpen);
    lastError_.store(ENOTCONN);
    return -1;
  }
  if (!bytes || count <= 0) {
    lastError_.store(EFAULT);
    return -1;
  }
  if (protocol_ == kProtocolUdp && !hasPeer_.load()) {
    setWriteError(texts::kNoPeerYet);
    return 0;
  }
  if (!writer_.Queue(std::vector<std::uint8_t>(bytes, bytes + count))) {
    setWriteError(texts::kQueueFull);
    return 0;
  }
  return count;
}

int CSocketChannel::WriteText(std::string_view text) {
  std::string line(text);
  switch (lineEnd_) {
    case 0: line.push_back('\0'); break;
    case 1: line += "\r\n"; break;
    case 2: line += "\n"; break;
    default: break;
  }
  return Write(reinterpret_cast<const std::uint8_t*>(line.data()), static_cast<int>(line.size()));
}

bool CSocketChannel::Attach(UniqueFd socket) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (!socket || ::getpeername(socket.get(), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    if (socket) ::shutdown(socket.get(), SHUT_RDWR);
    return refuse(ENOTCONN);
  }
  Close();
  if (!makeWake()) {
    ::shutdown(socket.get(), SHUT_RDWR);
    return false;
  }
  socket_ = std::move(socket);
  protocol_ = kProtocolTcp;
  if (receiveSize_.load() == 0) receiveSize_.store(4096);
  {
    std::lock_guard lock(addressMutex_);
    remoteAddr_ = peer;
  }
  state_.store(kSocketConnected);
  return startWriter() && startThread(receiveThread_, &CSocketChannel::receiveLoop);
}

// The writer is stopped first, so that a frame going out is dropped rather
// than failed by the shutdown; the eventfd it signals wakes the other threads
// too, which see stopping_ and end without a word.
bool CSocketChannel::Close() {
  if (socket_) {
    state_.store(kSocketClosing);
    stopping_.store(true);
  }
  writer_.Stop();
  if (socket_) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t rc = ::write(wake_.get(), &one, sizeof one);
    if (Mailbox* owner = Owner()) owner->Interrupt();
    ::shutdown(socket_.get(), SHUT_RDWR);
  }
  if (receiveThread_.joinable()) receiveThread_.join();
  if (acceptThread_.joinable()) acceptThread_.join();
  socket_.reset();
  if (wake_) {
    std::uint64_t drained = 0;
    [[maybe_unused]] const ssize_t rd = ::read(wake_.get(), &drained, sizeof drained);
  }
  stopping_.store(false);
  state_.store(kSocketClosed);
  lastError_.store(0);
  hasPeer_.store(false);
  receiveRun_.store(0);
  acceptRun_.store(0);
  return true;
}

}  // namespace tavrix
