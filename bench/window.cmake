# Quenlor's main window: opening W5 offscreen while a 1 ms timer measures the
# event loop's longest stall.
if(SUITE_WITH_QT)
  suite_benchmark(window_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp
    DEPS suite::wave_app suite::record_writer Qt6::Widgets)
endif()
