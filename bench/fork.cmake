# What the client library's fork handlers add to a host's fork().
suite_benchmark(fork_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fork_bench.cpp
  DEPS suite::velklog2_core)
