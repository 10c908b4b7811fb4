#pragma once
// Splits independent work over a few threads. The results never depend on the
// split: each index is handled by exactly one call, whole.

#include <cstddef>
#include <functional>

namespace wave {

// The number of threads ParallelFor uses at most (the machine's cores, at most 8).
unsigned WorkerCount();

// Calls body(begin, end) on disjoint ranges that cover [0, count), from the
// calling thread and up to WorkerCount() - 1 others, each taking the next range
// when it is done with one. Work of fewer than minPerThread indices per thread
// runs on the calling thread alone. When body throws, the ranges not yet
// taken are dropped and the first exception is thrown again here, once every
// thread has stopped.
void ParallelFor(std::size_t count, std::size_t minPerThread,
                 const std::function<void(std::size_t begin, std::size_t end)>& body);

}  // namespace wave
