# Record loading and analysis: reading and placing the samples, interpolation,
# RMS curves, harmonics and the whole open of generated records (W1 to W4).
suite_benchmark(analysis_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/analysis_bench.cpp
  DEPS suite::wave_analysis suite::record_writer)
