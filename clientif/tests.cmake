# Tests of libvelklog2. The stand-in client (tools/standin_client) plays the
# operator client; tests that start it as a program find it by its path.

suite_test(velklog2_core_test
  SOURCES formats_test.cpp stationmodel_test.cpp clientlib_test.cpp attach_test.cpp
  DEPS suite::velklog2_core suite::standin_client)
target_compile_definitions(velklog2_core_test PRIVATE STANDIN_PROGRAM="$<TARGET_FILE:standin_deskterm>")
add_dependencies(velklog2_core_test standin_deskterm)

# Named objects of the tests below get a prefix of this build tree, so that
# two build trees can run their tests at the same time.
string(MD5 velklog2_tree_hash "${PROJECT_BINARY_DIR}")
string(SUBSTRING "${velklog2_tree_hash}" 0 8 velklog2_tree_hash)

suite_test(velklog2_so_test
  SOURCES so_test.cpp
  DEPS suite::velklog2 suite::standin_client)
target_compile_definitions(velklog2_so_test PRIVATE
  VELKLOG2_LIBRARY="$<TARGET_FILE:velklog2>"
  VELKLOG2_MAP="${CMAKE_CURRENT_SOURCE_DIR}/velklog2.map")
set_property(TEST velklog2_so_test APPEND PROPERTY ENVIRONMENT
  "VELKLOG2_HOME=${CMAKE_CURRENT_BINARY_DIR}/so_test_home"
  "SUITE_IPC_PREFIX=velk-so-${velklog2_tree_hash}")

add_executable(velklog2_c_test velklog2_c_test.c)
target_include_directories(velklog2_c_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(velklog2_c_test PRIVATE velklog2)
set_target_properties(velklog2_c_test PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON)
suite_warnings(velklog2_c_test)
add_dependencies(velklog2_c_test standin_deskterm)
add_test(NAME velklog2_c_test COMMAND velklog2_c_test)
set_tests_properties(velklog2_c_test PROPERTIES TIMEOUT 120 ENVIRONMENT
  "VELKLOG2_HOME=${CMAKE_CURRENT_BINARY_DIR}/c_test_home;VELKLOG2_DESKTERM=$<TARGET_FILE:standin_deskterm>;STANDIN_PIDFILE=${CMAKE_CURRENT_BINARY_DIR}/c_test_home/standin.pid;STANDIN_LIFETIME_MS=30000;SUITE_IPC_PREFIX=velk-c-${velklog2_tree_hash};ASAN_OPTIONS=detect_leaks=1")

if(SUITE_WITH_QT)
  suite_test(velklog2_dialogs_test QT
    SOURCES dialogs/dialogs_test.cpp
    DEPS suite::velklog2_dialogs suite::standin_client Qt6::Widgets)
  # Every dialog on a screen of its own size, so a program of its own.
  suite_test(velklog2_layout_test QT
    SOURCES dialogs/layout_test.cpp ${PROJECT_SOURCE_DIR}/waveform/canvas/lsan_fontconfig.cpp
    DEPS suite::velklog2_dialogs suite::standin_client suite::common_forms Qt6::Widgets)
endif()
