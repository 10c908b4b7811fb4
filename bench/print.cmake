# The print preview of a long record: opening it and printing its pages.
if(SUITE_WITH_QT)
  suite_benchmark(print_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/print_bench.cpp
    DEPS suite::wave_print_ui suite::wave_analysis suite::record_writer Qt6::Widgets)
endif()
