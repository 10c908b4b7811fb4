#pragma once
// Sends a channel's frames on a thread of its own, so that the window never
// waits on the line. A frame goes out whole: the thread writes until every
// byte is on the line, the line fails, or the channel is closed. Each frame's
// outcome is reported when it is known, so that the window counts and shows a
// frame once it went out whole.
//
// The writer holds the owner's line mutex around each write and the report of
// the frame that write finished. The owner's reader holds it around each read:
// a reply read after a frame went out is then posted after that frame's
// report, and the window shows the frame before the reply.

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "commtool/core/fd.h"

namespace tavrix {

class FrameWriter {
 public:
  // Frames that may wait behind the one going out; a full queue refuses more.
  static constexpr std::size_t kMaxFrames = 16;

  // Writes some of the bytes without waiting: the number written, 0 when the
  // line takes nothing now (the writer then waits until the descriptor is
  // writable), -1 when the line failed.
  using Put = std::function<ssize_t(const std::uint8_t* bytes, std::size_t count)>;
  // The outcome of one frame: the bytes written, and whether that was all of it.
  using Report = std::function<void(std::size_t written, bool whole)>;

  FrameWriter() = default;
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;
  ~FrameWriter() { Stop(); }

  // wakeFd: the owner's eventfd. Stop signals it and leaves it signalled; the
  // owner clears it once every thread that watches it has stopped.
  bool Start(int fd, int wakeFd, std::mutex& line, Put put, Report report);
  // False when the writer is not running or the queue is full.
  bool Queue(std::vector<std::uint8_t> frame);
  // Drops the queued frames, abandons the one going out and joins the thread.
  // Answers the number of frames that did not go out whole; none of them is reported.
  int Stop();
  // Whether a frame is queued or going out.
  bool Busy() const;
  bool Running() const { return thread_.joinable(); }

 private:
  void run();
  // False when Stop abandoned the frame.
  bool writeFrame(const std::vector<std::uint8_t>& frame);
  bool waitWritable();

  int fd_ = -1;
  int wakeFd_ = -1;  // Stop wakes a writer that waits for the line
  std::mutex* line_ = nullptr;
  Put put_;
  Report report_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::deque<std::vector<std::uint8_t>> queue_;
  bool stopping_ = false;
  bool writing_ = false;
  int abandoned_ = 0;
};

}  // namespace tavrix
