# The application window (QtTest, offscreen, each test in a private working directory).

add_library(vexil_app_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/AppTestSupport.cpp)
set_target_properties(vexil_app_test_support PROPERTIES AUTOMOC ON)
target_link_libraries(vexil_app_test_support PUBLIC vexil_app)

vexil_add_qttest(app_controls_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ControlsTest.cpp
  LIBS vexil_app)
vexil_add_qttest(app_engine_host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtEngineHostTest.cpp
  LIBS vexil_app)
vexil_add_qttest(app_main_window_settings_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowSettingsTest.cpp
  LIBS vexil_app_test_support)
vexil_add_qttest(app_settings_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsDialogTest.cpp
  LIBS vexil_app_test_support vexil_sim)
vexil_add_qttest(app_query_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QueryTest.cpp
  LIBS vexil_app_test_support vexil_sim)
vexil_add_qttest(app_main_window_layout_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowLayoutTest.cpp
  LIBS vexil_app_test_support)
vexil_add_qttest(app_instruction_pages_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstructionPagesTest.cpp
  LIBS vexil_app_test_support vexil_sim)
vexil_add_qttest(app_stream_monitor_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamMonitorTest.cpp
  LIBS vexil_app_test_support vexil_sim)
vexil_add_qttest(app_board_watch_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/BoardWatchWindowTest.cpp
  LIBS vexil_app_test_support vexil_sim)
