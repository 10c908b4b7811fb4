#pragma once
// Long work that runs off the window thread: how far it got, how the window
// thread stops it, and who runs it. The window thread never waits for a job:
// it is told when the job has finished.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace common {

// Shared by a job's worker threads (which report and look for a stop) and the
// window thread (which shows the figures and may stop the job).
//
// Whether a job was cancelled or completed is decided here, once: a cancel
// that comes before the job's completion wins and the job's work is of no
// use; once the job has completed (a job with a step that cannot be undone,
// such as putting a file in place, completes just before that step), a cancel
// changes nothing.
class JobProgress {
 public:
  // What the figures count.
  enum class Stage { Starting, Reading, Analysing, Exporting };

  struct Snapshot {
    Stage stage = Stage::Starting;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
  };

  JobProgress() = default;
  // onAdvance runs after every advance, on the thread that advanced (tests
  // use it to cancel at a chosen point of the work).
  explicit JobProgress(std::function<void(JobProgress&)> onAdvance) : onAdvance_(std::move(onAdvance)) {}

  // A new stage of `total` steps, none done yet.
  void begin(Stage stage, std::uint64_t total);
  // `steps` more done (any thread).
  void advance(std::uint64_t steps = 1);
  Snapshot snapshot() const;

  // Asks the job to stop at its next look; false when the job had already
  // completed (its outcome then stands).
  bool cancel();
  // True once a cancel has won: long work looks at this at least every 50 ms
  // and stops.
  bool cancelled() const { return state_.load(std::memory_order_acquire) == State::Cancelled; }
  // The job counts as completed from now on unless it was cancelled first
  // (then false). Called again, it gives the same answer.
  bool complete();

 private:
  enum class State { Running, Cancelled, Completed };

  mutable std::mutex guard_;
  Stage stage_ = Stage::Starting;
  std::uint64_t total_ = 0;
  std::atomic<std::uint64_t> done_{0};
  std::atomic<State> state_{State::Running};
  std::function<void(JobProgress&)> onAdvance_;
};

// For loops that also run without a job.
inline bool Cancelled(const JobProgress* progress) { return progress != nullptr && progress->cancelled(); }
inline void Advance(JobProgress* progress, std::uint64_t steps) {
  if (progress != nullptr) progress->advance(steps);
}

class JobRunner {
 public:
  virtual ~JobRunner() = default;
  // Runs work on a worker thread and then finished on the window thread, from
  // its event loop. work must not throw (wrap it); finished may be dropped
  // when the program ends first. progress is the job's: through it the runner
  // stops the job when the program ends.
  virtual void start(std::shared_ptr<JobProgress> progress, std::function<void()> work,
                     std::function<void()> finished) = 0;
};

// Runs both at once on the calling thread: for tools and tests that want the
// outcome before start returns.
class ImmediateJobRunner final : public JobRunner {
 public:
  void start(std::shared_ptr<JobProgress>, std::function<void()> work, std::function<void()> finished) override {
    work();
    finished();
  }
};

// The runner of services that have no worker threads of their own.
JobRunner& ImmediateRunner();

}  // namespace common
