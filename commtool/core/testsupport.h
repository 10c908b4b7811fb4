#pragma once
// Fixtures for the channel tests: a recording owner, pseudo-terminal pairs,
// loopback sockets and a temporary ports folder.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <atomic>
#include <string>
#include <vector>

#include "commtool/core/channel.h"
#include "commtool/core/fd.h"
#include "commtool/core/mailbox.h"

namespace tavrix::test {

// Only a guard against a hang; no test relies on this time.
inline constexpr std::chrono::seconds kGuard{20};

// Owns a mailbox and keeps everything that arrives in it.
class Recorder {
 public:
  Recorder();
  Mailbox* owner() { return &mailbox_; }
  // Takes what arrived until pred holds; false when the guard ran out.
  bool waitFor(const std::function<bool()>& pred);
  bool waitForBytes(std::size_t count) {
    return waitFor([&] { return data.size() >= count; });
  }
  bool waitForEnded(int count = 1) {
    return waitFor([&] { return ended >= count; });
  }
  bool waitForSent(std::size_t count = 1) {
    return waitFor([&] { return sent.size() >= count; });
  }
  // Takes what is waiting without waiting.
  void poll();

  std::vector<std::uint8_t> data;
  std::vector<std::size_t> chunks;
  std::vector<UniqueFd> accepted;
  std::vector<std::string> peers;
  int ended = 0;
  struct Sent {
    std::size_t written;
    bool whole;
  };
  std::vector<Sent> sent;  // the outcome of each frame, in order
  std::vector<std::string> refused;  // peers refused for want of descriptors
  std::uint64_t dropped = 0;         // the last count of datagrams the kernel dropped
  // Deliveries and frame reports in the order they arrived, with their sizes.
  struct Event {
    enum Kind { Received, Sent } kind;
    std::size_t bytes;
  };
  std::vector<Event> events;

 private:
  Mailbox mailbox_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A pseudo-terminal: the test holds the master, the channel opens the slave.
struct PtyPair {
  PtyPair();
  UniqueFd master;
  std::string slave;
};

// Points TAVRIX_PORTS_DIR at a temporary folder for the life of the object.
class PortsFolder {
 public:
  PortsFolder();
  ~PortsFolder();
  void link(int portNo, const std::filesystem::path& target) const;
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

std::vector<std::uint8_t> Bytes(std::string_view text);
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);

// Blocking helpers on raw descriptors, each bounded by the guard.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadExactly(int fd, std::size_t count);
// Reads what arrives until nothing came for quietMs.
std::vector<std::uint8_t> ReadAvailable(int fd, int quietMs);

// A listening loopback TCP socket on a port from the system.
UniqueFd ListenLoopback(int& port);
UniqueFd AcceptOne(int listener);
UniqueFd ConnectLoopback(int port);
// A UDP socket bound to a loopback port from the system.
UniqueFd UdpLoopback(int& port);
bool SendDatagram(int fd, int port, const std::vector<std::uint8_t>& bytes);
// One datagram and the port it came from.
std::vector<std::uint8_t> ReceiveDatagram(int fd, int* fromPort = nullptr);
// A port that was free a moment ago.
int FreeTcpPort();

// Sends back whatever arrives on fd, until it is destroyed or fd ends.
class Echo {
 public:
  explicit Echo(int fd);
  ~Echo();
  Echo(const Echo&) = delete;
  Echo& operator=(const Echo&) = delete;

 private:
  std::atomic<bool> run_{true};
  std::thread thread_;
};

// Writes frames distinct 8-byte frames through the channel (waiting for
// reports while its queue is full) to a peer that echoes them, until every
// echo came back. Answers how many deliveries held echoed bytes of a frame
// whose report had not come before them.
int EchoesBeforeTheirFrame(CCommChannel& channel, Recorder& recorder, int frames);

// Whether a program is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace tavrix::test
