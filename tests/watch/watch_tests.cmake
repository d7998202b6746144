# The board watch: counters, alarms, the poller against emulators, the time series
# (also when the watch is killed), the metrics and vexilctl watch.
vexil_add_gtest(watch_logic_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CounterDeltaTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/BoardTrackerTest.cpp
  LIBS vexil_watch)
if(NOT WIN32)  # it starts and signals vexilctl with the POSIX process calls
  vexil_add_gtest(watch_run_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/WatchRunTest.cpp
    LIBS vexil_watch vexil_ctl vexil_sim)
  add_dependencies(watch_run_test vexilctl)
  target_compile_definitions(watch_run_test PRIVATE VEXILCTL_PATH="$<TARGET_FILE:vexilctl>")
endif()
if(VEXIL_WITH_METRICS)
  vexil_add_gtest(watch_stream_metrics_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamMetricsTest.cpp
    LIBS vexil_watch vexil_ctl)
endif()
vexil_add_gtest(watch_history_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WatchHistoryTest.cpp
  LIBS vexil_watch)
