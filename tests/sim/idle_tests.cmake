# An idle emulator sleeps; a streaming one paces its stream.
vexil_add_gtest(sim_idle_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/IdleEmulatorTest.cpp
  LIBS vexil_sim)
