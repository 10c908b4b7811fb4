#include "commtool/core/mailbox.h"

namespace tavrix {

Mailbox::Mailbox(std::size_t byteLimit) : limit_(byteLimit) {}

void Mailbox::SetWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wake_ = std::move(wake);
}

void Mailbox::push(ChannelMessage message, std::unique_lock<std::mutex>& lock) {
  bytes_ += message.bytes.size();
  queue_.push_back(std::move(message));
  const bool wakeNow = !wakeDue_;
  wakeDue_ = true;
  auto wake = wakeNow ? wake_ : nullptr;
  lock.unlock();
  if (wake) wake();
}

void Mailbox::PostData(std::vector<std::uint8_t> bytes) {
  std::unique_lock lock(mutex_);
  push({ChannelMessage::Kind::Received, std::move(bytes), {}, {}}, lock);
}

void Mailbox::PostDataWaiting(std::vector<std::uint8_t> bytes, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return bytes_ <= limit_ || stop.load(); });
  if (stop.load()) return;
  push({ChannelMessage::Kind::Received, std::move(bytes), {}, {}}, lock);
}

void Mailbox::PostDatagramsWaiting(std::vector<std::vector<std::uint8_t>> datagrams, const std::atomic<bool>& stop) {
  if (datagrams.empty()) return;
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return bytes_ <= limit_ || stop.load(); });
  if (stop.load()) return;
  const std::size_t last = datagrams.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    bytes_ += datagrams[i].size();
    queue_.push_back({ChannelMessage::Kind::Received, std::move(datagrams[i]), {}, {}});
  }
  push({ChannelMessage::Kind::Received, std::move(datagrams[last]), {}, {}}, lock);
}

void Mailbox::PostRefused(std::string peer) {
  std::unique_lock lock(mutex_);
  push({ChannelMessage::Kind::Refused, {}, {}, std::move(peer)}, lock);
}

void Mailbox::PostDropped(std::uint64_t total) {
  std::unique_lock lock(mutex_);
  ChannelMessage message;
  message.kind = ChannelMessage::Kind::Dropped;
  message.dropped = total;
  push(std::move(message), lock);
}

void Mailbox::PostAccepted(UniqueFd socket, std::string peer) {
  std::unique_lock lock(mutex_);
  push({ChannelMessage::Kind::Accepted, {}, std::move(socket), std::move(peer)}, lock);
}

void Mailbox::PostEnded() {
  std::unique_lock lock(mutex_);
  push({ChannelMessage::Kind::Ended, {}, {}, {}}, lock);
}

void Mailbox::PostSent(std::size_t written, bool whole) {
  std::unique_lock lock(mutex_);
  ChannelMessage message;
  message.kind = ChannelMessage::Kind::Sent;
  message.written = written;
  message.whole = whole;
  push(std::move(message), lock);
}

void Mailbox::Interrupt() {
  std::lock_guard lock(mutex_);
  room_.notify_all();
}

std::vector<ChannelMessage> Mailbox::Take(std::size_t maxBytes, bool& more) {
  std::vector<ChannelMessage> taken;
  std::size_t takenBytes = 0;
  {
    std::lock_guard lock(mutex_);
    while (!queue_.empty() && (taken.empty() || takenBytes < maxBytes)) {
      takenBytes += queue_.front().bytes.size();
      taken.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    bytes_ -= takenBytes;
    more = !queue_.empty();
    wakeDue_ = more;
  }
  if (takenBytes > 0) room_.notify_all();
  return taken;
}

void Mailbox::Clear() {
  std::deque<ChannelMessage> dropped;
  {
    std::lock_guard lock(mutex_);
    dropped.swap(queue_);
    bytes_ = 0;
    wakeDue_ = false;
  }
  room_.notify_all();
}

std::size_t Mailbox::PendingBytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace tavrix
