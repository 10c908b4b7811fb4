#pragma once
// Long work that runs off the window thread: how far it got, how the window
// thread stops it, and who runs it. The window thread never waits for a job:
// it is told when the job has finished.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace common {

// Shared by a job's worker threads (which report and look for a stop) and the
// window thread (which shows the figures and may stop the job).
class JobProgress {
 public:
  // What the figures count.
  enum class Stage { Starting, Reading, Analysing, Exporting };

  struct Snapshot {
    Stage stage = Stage::Starting;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
  };

  // A new stage of `total` steps, none done yet.
  void begin(Stage stage, std::uint64_t total);
  // `steps` more done (any thread).
  void advance(std::uint64_t steps = 1);
  Snapshot snapshot() const;

  // Asks the job to stop; it stops at its next look and its result is dropped.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

 private:
  mutable std::mutex guard_;
  Stage stage_ = Stage::Starting;
  std::uint64_t total_ = 0;
  std::atomic<std::uint64_t> done_{0};
  std::atomic<bool> cancelled_{false};
};

class JobRunner {
 public:
  virtual ~JobRunner() = default;
  // Runs work on a worker thread and then finished on the window thread, from
  // its event loop. work must not throw (wrap it); finished may be dropped
  // when the program ends first.
  virtual void start(std::function<void()> work, std::function<void()> finished) = 0;
};

// Runs both at once on the calling thread: for tools and tests that want the
// outcome before start returns.
class ImmediateJobRunner final : public JobRunner {
 public:
  void start(std::function<void()> work, std::function<void()> finished) override {
    work();
    finished();
  }
};

// The runner of services that have no worker threads of their own.
JobRunner& ImmediateRunner();

}  // namespace common
