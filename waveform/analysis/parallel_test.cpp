#include "waveform/analysis/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

namespace wave {
namespace {

TEST(ParallelFor, EveryIndexOnceWholeRangesOnly) {
  struct Case {
    std::size_t count, minPerThread;
  };
  const Case cases[] = {{0, 1}, {1, 1}, {7, 1}, {96, 1}, {1000, 3}, {100001, 4096}, {5, 100}};
  for (const auto& c : cases) {
    std::vector<std::atomic<int>> calls(c.count);
    std::mutex guard;
    std::set<std::thread::id> threads;
    ParallelFor(c.count, c.minPerThread, [&](std::size_t begin, std::size_t end) {
      EXPECT_LT(begin, end);
      EXPECT_LE(end, c.count);
      for (std::size_t i = begin; i < end; ++i) ++calls[i];
      const std::lock_guard lock(guard);
      threads.insert(std::this_thread::get_id());
    });
    for (std::size_t i = 0; i < c.count; ++i) {
      ASSERT_EQ(calls[i], 1) << c.count << " index " << i;
    }
    if (c.count < 2 * c.minPerThread) {
      EXPECT_LE(threads.size(), 1u) << c.count;  // too little to share
    }
    EXPECT_LE(threads.size(), WorkerCount()) << c.count;
  }
}

// Out of memory on a helper thread must reach the caller, not end the program.
TEST(ParallelFor, AnExceptionOnAnyThreadReachesTheCaller) {
  for (const std::size_t failing : {std::size_t{0}, std::size_t{999}}) {
    std::atomic<std::size_t> done{0};
    EXPECT_THROW(ParallelFor(1000, 1,
                             [&](std::size_t begin, std::size_t end) {
                               for (std::size_t i = begin; i < end; ++i) {
                                 if (i == failing) throw std::bad_alloc();
                                 ++done;
                               }
                             }),
                 std::bad_alloc)
        << failing;
    EXPECT_LT(done.load(), 1000u);
  }
}

}  // namespace
}  // namespace wave
