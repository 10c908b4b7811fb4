#include "waveform/analysis/parallel.h"

#include <algorithm>
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
  const std::size_t byWork = count / std::max<std::size_t>(minPerThread, 1);
  const std::size_t threads = std::clamp<std::size_t>(byWork, 1, WorkerCount());
  if (threads == 1) {
    body(0, count);
    return;
  }
  std::vector<std::jthread> workers;
  workers.reserve(threads - 1);
  const std::size_t per = count / threads;
  const std::size_t extra = count % threads;
  std::size_t begin = 0;
  for (std::size_t t = 0; t < threads; ++t) {
    const std::size_t end = begin + per + (t < extra ? 1 : 0);
    bool started = false;
    if (t + 1 < threads) {
      try {
        workers.emplace_back([&body, begin, end] { body(begin, end); });
        started = true;
      } catch (const std::system_error&) {
        // No thread to be had: do this part here.
      }
    }
    if (!started) body(begin, end);
    begin = end;
  }
}

}  // namespace wave
