#pragma once
// The hand-off from a channel's threads to the window that owns the channel.
// Threads post copies and go on; the window is woken once per batch and takes
// what is waiting. Stream channels may wait for room, so that a slow window
// slows the peer down instead of losing data; a stop flag ends such a wait.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "commtool/core/fd.h"

namespace tavrix {

struct ChannelMessage {
  // Refused: a client closed at once because descriptors ran short.
  // Dropped: the kernel dropped datagrams because the receive buffer was full.
  enum class Kind { Received, Accepted, Ended, Sent, Refused, Dropped };
  Kind kind = Kind::Received;
  std::vector<std::uint8_t> bytes;  // Received
  UniqueFd socket;                  // Accepted: closed with the message unless taken
  std::string peer;                 // Accepted, Refused: "%d.%d.%d.%d:%d"
  std::size_t written = 0;          // Sent: bytes of the oldest frame not reported yet that went out
  bool whole = false;               // Sent: the frame went out whole
  std::uint64_t dropped = 0;        // Dropped: datagrams dropped since the channel was opened
};

class Mailbox {
 public:
  static constexpr std::size_t kDefaultLimit = std::size_t{8} << 20;

  explicit Mailbox(std::size_t byteLimit = kDefaultLimit);
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;

  // Called from the posting thread when a batch becomes due. Set it before
  // any channel posts.
  void SetWake(std::function<void()> wake);

  void PostData(std::vector<std::uint8_t> bytes);
  // Waits while more than the limit is waiting, unless stop is or becomes set.
  void PostDataWaiting(std::vector<std::uint8_t> bytes, const std::atomic<bool>& stop);
  // Each datagram stays one delivery; all of them go in with one wait and one wake.
  void PostDatagramsWaiting(std::vector<std::vector<std::uint8_t>> datagrams, const std::atomic<bool>& stop);
  void PostAccepted(UniqueFd socket, std::string peer);
  void PostRefused(std::string peer);
  void PostDropped(std::uint64_t total);
  void PostEnded();
  // The outcome of the oldest frame written and not reported yet.
  void PostSent(std::size_t written, bool whole);
  // Wakes waiting posters so that they look at their stop flags again.
  void Interrupt();

  // Takes messages until at least maxBytes of data were taken (at least one
  // message). more tells whether messages are still waiting; while they are,
  // no further wake comes, and the taker must come back by itself.
  std::vector<ChannelMessage> Take(std::size_t maxBytes, bool& more);
  // Drops everything waiting.
  void Clear();
  std::size_t PendingBytes() const;

 private:
  void push(ChannelMessage message, std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::deque<ChannelMessage> queue_;
  std::size_t bytes_ = 0;
  std::size_t limit_;
  bool wakeDue_ = false;
  std::function<void()> wake_;
};

}  // namespace tavrix
