# How soon long work stops once it is cancelled.
suite_benchmark(cancel_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cancel_bench.cpp
  DEPS suite::wave_analysis)
