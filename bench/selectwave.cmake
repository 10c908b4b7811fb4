# The record selection dialog on big stations: opening with a large station
# tree and listing many records.
if(SUITE_WITH_QT)
  suite_benchmark(selectwave_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/selectwave_bench.cpp
    DEPS suite::station_ui Qt6::Widgets)
endif()
