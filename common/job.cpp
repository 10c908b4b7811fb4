#include "common/job.h"

#include <algorithm>

namespace common {

void JobProgress::begin(Stage stage, std::uint64_t total) {
  const std::lock_guard lock(guard_);
  stage_ = stage;
  total_ = total;
  done_.store(0, std::memory_order_relaxed);
}

void JobProgress::advance(std::uint64_t steps) {
  done_.fetch_add(steps, std::memory_order_relaxed);
  if (onAdvance_) onAdvance_(*this);
}

JobProgress::Snapshot JobProgress::snapshot() const {
  const std::lock_guard lock(guard_);
  return {stage_, std::min(done_.load(std::memory_order_relaxed), total_), total_};
}

bool JobProgress::cancel() {
  State running = State::Running;
  return state_.compare_exchange_strong(running, State::Cancelled, std::memory_order_acq_rel) ||
         running == State::Cancelled;
}

bool JobProgress::complete() {
  State running = State::Running;
  return state_.compare_exchange_strong(running, State::Completed, std::memory_order_acq_rel) ||
         running == State::Completed;
}

JobRunner& ImmediateRunner() {
  static ImmediateJobRunner runner;
  return runner;
}

}  // namespace common
