#include "commtool/core/testsupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <stdexcept>

namespace tavrix::test {
namespace {

constexpr int kGuardMs = static_cast<int>(std::chrono::milliseconds(kGuard).count());

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

int boundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

bool waitFd(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  return RetryOnEintr([&] { return ::poll(&p, 1, timeoutMs); }) > 0;
}

}  // namespace

Recorder::Recorder() {
  mailbox_.SetWake([this] {
    std::lock_guard lock(mutex_);
    woken_ = true;
    cv_.notify_all();
  });
}

void Recorder::poll() {
  {
    std::lock_guard lock(mutex_);
    woken_ = false;
  }
  bool more = false;
  for (auto& message : mailbox_.Take(SIZE_MAX, more)) {
    switch (message.kind) {
      case ChannelMessage::Kind::Received:
        data.insert(data.end(), message.bytes.begin(), message.bytes.end());
        chunks.push_back(message.bytes.size());
        events.push_back({Event::Received, message.bytes.size()});
        break;
      case ChannelMessage::Kind::Accepted:
        accepted.push_back(std::move(message.socket));
        peers.push_back(message.peer);
        break;
      case ChannelMessage::Kind::Ended:
        ++ended;
        break;
      case ChannelMessage::Kind::Sent:
        sent.push_back({message.written, message.whole});
        events.push_back({Event::Sent, message.written});
        break;
      case ChannelMessage::Kind::Refused:
        refused.push_back(message.peer);
        break;
      case ChannelMessage::Kind::Dropped:
        dropped = message.dropped;
        break;
    }
  }
}

bool Recorder::waitFor(const std::function<bool()>& pred) {
  const auto deadline = std::chrono::steady_clock::now() + kGuard;
  for (;;) {
    poll();
    if (pred()) return true;
    std::unique_lock lock(mutex_);
    if (!cv_.wait_until(lock, deadline, [this] { return woken_; })) {
      lock.unlock();
      poll();
      return pred();
    }
  }
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrix-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

PtyPair::PtyPair() : master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
    throw std::runtime_error("no pseudo-terminal");
  char name[128] = {};
  if (::ptsname_r(master.get(), name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
  slave = name;
}

PortsFolder::PortsFolder() { ::setenv("TAVRIX_PORTS_DIR", dir_.path().c_str(), 1); }
PortsFolder::~PortsFolder() { ::unsetenv("TAVRIX_PORTS_DIR"); }

void PortsFolder::link(int portNo, const std::filesystem::path& target) const {
  const auto name = dir_.path() / ("com" + std::to_string(portNo));
  std::error_code ignored;
  std::filesystem::remove(name, ignored);
  std::filesystem::create_symlink(target, name);
}

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
  return bytes;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      if (!waitFd(fd, POLLOUT, kGuardMs)) return false;
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> ReadExactly(int fd, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  std::size_t done = 0;
  while (done < count) {
    if (!waitFd(fd, POLLIN, kGuardMs)) break;
    const ssize_t n = ::read(fd, bytes.data() + done, count - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

std::vector<std::uint8_t> ReadAvailable(int fd, int quietMs) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  while (waitFd(fd, POLLIN, quietMs)) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

UniqueFd ListenLoopback(int& port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = loopback(0);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd.get(), 16) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port = boundPort(fd.get());
  return fd;
}

UniqueFd AcceptOne(int listener) {
  if (!waitFd(listener, POLLIN, kGuardMs)) return UniqueFd();
  return UniqueFd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

UniqueFd ConnectLoopback(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = loopback(port);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return UniqueFd();
  return fd;
}

UniqueFd UdpLoopback(int& port) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const sockaddr_in address = loopback(0);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot bind a UDP socket");
  port = boundPort(fd.get());
  return fd;
}

bool SendDatagram(int fd, int port, const std::vector<std::uint8_t>& bytes) {
  const sockaddr_in address = loopback(port);
  return ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
         static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> ReceiveDatagram(int fd, int* fromPort) {
  std::vector<std::uint8_t> bytes(65536);
  if (!waitFd(fd, POLLIN, kGuardMs)) return {};
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n = ::recvfrom(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (fromPort) *fromPort = ntohs(from.sin_port);
  return bytes;
}

int FreeTcpPort() {
  int port = 0;
  ListenLoopback(port);
  return port;
}

Echo::Echo(int fd)
    : thread_([this, fd] {
        std::vector<std::uint8_t> buffer(65536);
        while (run_) {
          if (!waitFd(fd, POLLIN, 50)) continue;
          const ssize_t n = ::read(fd, buffer.data(), buffer.size());
          if (n <= 0) return;
          if (!WriteAll(fd, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + n))) return;
        }
      }) {}

Echo::~Echo() {
  run_ = false;
  thread_.join();
}

int EchoesBeforeTheirFrame(CCommChannel& channel, Recorder& recorder, int frames) {
  for (int i = 0; i < frames;) {
    std::uint8_t frame[8];
    const std::uint64_t number = static_cast<std::uint64_t>(i);
    std::memcpy(frame, &number, sizeof frame);
    if (channel.Write(frame, sizeof frame) == static_cast<int>(sizeof frame)) {
      ++i;
      continue;
    }
    const std::size_t reported = recorder.sent.size();
    if (!recorder.waitFor([&] { return recorder.sent.size() > reported; })) return -1;
  }
  if (!recorder.waitForBytes(std::size_t(frames) * 8)) return -1;
  std::size_t sent = 0, received = 0;
  int early = 0;
  for (const auto& event : recorder.events) {
    if (event.kind == Recorder::Event::Sent) {
      sent += event.bytes;
    } else {
      received += event.bytes;
      early += received > sent;
    }
  }
  return early;
}

bool HaveProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::filesystem::path dir(std::string(rest.substr(0, colon)));
    if (::access((dir / name).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

}  // namespace tavrix::test
