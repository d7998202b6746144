# An idle emulator sleeps; a streaming one paces its stream.
vexil_add_gtest(sim_idle_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/IdleEmulatorTest.cpp
  LIBS vexil_sim)
# A sender outside the loopback network changes nothing.
vexil_add_gtest(sim_foreign_sender_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ForeignSenderTest.cpp
  LIBS vexil_sim vexil_instructions)
