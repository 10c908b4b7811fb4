# The .cfg reader on a file that is no configuration: a large text named .cfg.
suite_benchmark(cfgreader_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cfgreader_bench.cpp
  DEPS suite::wave_model suite::record_writer)
