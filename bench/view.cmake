# Waveform drawing: one frame of the wave and RMS views of the W1 and W5 records into an image.
if(SUITE_WITH_QT)
  suite_benchmark(view_bench
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_bench.cpp
    DEPS suite::wave_view suite::wave_canvas_qt suite::wave_analysis suite::record_writer Qt6::Gui)
endif()
