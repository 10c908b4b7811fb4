# Tavrix: a byte stream through a loopback TCP connection into and out of a channel,
# through the hand-off to the windows, with their display.
if(SUITE_WITH_QT)
  suite_benchmark(comm_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/comm_bench.cpp
    DEPS suite::comm_ui)
endif()
