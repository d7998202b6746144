# The emulator's board over time: counters, wandering rates, scripted moments.
vexil_add_gtest(sim_dynamics_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DynamicsTest.cpp
  LIBS vexil_sim)
