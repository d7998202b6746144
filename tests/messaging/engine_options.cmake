# The engine's opt-in sender filter and answer wait, used by vexilctl.
vexil_add_gtest(engine_options_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EngineOptionsTest.cpp
  LIBS vexil_messaging vexil_sim)
