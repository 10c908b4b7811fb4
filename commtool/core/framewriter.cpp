#include "commtool/core/framewriter.h"

#include <poll.h>

#include <system_error>

namespace tavrix {

bool FrameWriter::Start(int fd, int wakeFd, std::mutex& line, Put put, Report report) {
  if (thread_.joinable() || wakeFd < 0) return false;
  fd_ = fd;
  wakeFd_ = wakeFd;
  line_ = &line;
  put_ = std::move(put);
  report_ = std::move(report);
  stopping_ = false;
  abandoned_ = 0;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool FrameWriter::Queue(std::vector<std::uint8_t> frame) {
  {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable() || stopping_ || queue_.size() >= kMaxFrames || frame.empty()) return false;
    queue_.push_back(std::move(frame));
  }
  work_.notify_one();
  return true;
}

bool FrameWriter::Busy() const {
  std::lock_guard lock(mutex_);
  return writing_ || !queue_.empty();
}

int FrameWriter::Stop() {
  if (!thread_.joinable()) return 0;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_one();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t rc = ::write(wakeFd_, &one, sizeof one);
  thread_.join();
  std::lock_guard lock(mutex_);
  const int dropped = abandoned_ + static_cast<int>(queue_.size());
  queue_.clear();
  writing_ = false;
  stopping_ = false;
  abandoned_ = 0;
  return dropped;
}

void FrameWriter::run() {
  for (;;) {
    std::vector<std::uint8_t> frame;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      frame = std::move(queue_.front());
      queue_.pop_front();
      writing_ = true;
    }
    const bool finished = writeFrame(frame);
    std::lock_guard lock(mutex_);
    writing_ = false;
    if (!finished) {
      ++abandoned_;
      return;
    }
  }
}

// Reports the frame once it is known to be whole or failed; false when Stop abandoned it.
bool FrameWriter::writeFrame(const std::vector<std::uint8_t>& frame) {
  std::size_t written = 0;
  for (;;) {
    {
      std::lock_guard line(*line_);
      const ssize_t n = put_(frame.data() + written, frame.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == frame.size()) {
        report_(written, n >= 0);
        return true;
      }
      if (n > 0) continue;
    }
    if (!waitWritable()) return false;
  }
}

// False when Stop wakes the writer.
bool FrameWriter::waitWritable() {
  pollfd fds[2] = {{fd_, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
  if (RetryOnEintr([&] { return ::poll(fds, 2, -1); }) < 0) return true;  // the next write tells
  return fds[1].revents == 0;
}

}  // namespace tavrix
