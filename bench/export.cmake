# Sample export: the W5 record's table streamed to a file.
suite_benchmark(export_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp
  DEPS suite::wave_export suite::wave_analysis suite::record_writer)
