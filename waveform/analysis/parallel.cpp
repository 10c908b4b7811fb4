#include "waveform/analysis/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace wave {

unsigned WorkerCount() {
  static const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  return count;
}

void ParallelFor(std::size_t count, std::size_t minPerThread,
                 const std::function<void(std::size_t, std::size_t)>& body) {
  if (count == 0) return;
  const std::size_t least = std::max<std::size_t>(minPerThread, 1);
  const std::size_t threads = std::clamp<std::size_t>(count / least, 1, WorkerCount());
  if (threads == 1) {
    body(0, count);
    return;
  }
  // The threads take pieces as they get to them, so that one that the
  // machine holds back does not hold up the others.
  const std::size_t piece = std::max(least, count / (4 * threads));
  std::atomic<std::size_t> next{0};
  // An exception on a helper thread would end the program: the first one is
  // kept, the other threads stop taking work, and it is thrown again here.
  std::exception_ptr failure;
  std::mutex failureGuard;
  const auto work = [&] {
    try {
      for (;;) {
        const std::size_t begin = next.fetch_add(piece);
        if (begin >= count) return;
        body(begin, std::min(count, begin + piece));
      }
    } catch (...) {
      next = count;
      const std::lock_guard lock(failureGuard);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::jthread> workers;
  workers.reserve(threads - 1);
  try {
    for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: those started and this one do the rest.
  }
  work();
  for (auto& worker : workers) worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace wave
