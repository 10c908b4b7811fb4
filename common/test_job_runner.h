#pragma once
// For tests: a job runner that keeps its jobs until the test runs them, so
// that what the window shows while a job runs can be looked at.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/job.h"

namespace common::testing {

class HeldJobRunner final : public JobRunner {
 public:
  void start(std::shared_ptr<JobProgress> progress, std::function<void()> work,
             std::function<void()> finished) override {
    jobs.push_back({std::move(progress), std::move(work), std::move(finished)});
  }
  // Runs the oldest job's work (as its worker would) and then its finish (as
  // the event loop would).
  void runNext() {
    Job job = std::move(jobs.front());
    jobs.erase(jobs.begin());
    job.work();
    job.finished();
  }
  void runAll() {
    while (!jobs.empty()) runNext();
  }

  struct Job {
    std::shared_ptr<JobProgress> progress;
    std::function<void()> work;
    std::function<void()> finished;
  };
  std::vector<Job> jobs;
};

}  // namespace common::testing
