vexil_add_gtest(device_model_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceModelTest.cpp
  LIBS vexil_sim)
# Instructions pressed as the pages send them, then read back from the status record.
vexil_add_gtest(device_model_instructions_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceModelInstructionsTest.cpp
  LIBS vexil_sim)
# Fault rules and the shaping of answers, without sockets.
vexil_add_gtest(sim_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FaultsTest.cpp
  LIBS vexil_sim)
# The vexil-sim options.
vexil_add_gtest(sim_command_line_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
  LIBS vexil_sim)
# The emulator on 127.0.0.1 with scripted faults.
vexil_add_gtest(device_emulator_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceEmulatorTest.cpp
  LIBS vexil_sim)
# The synthetic transport stream and its faults, read by the analyser.
vexil_add_gtest(ts_generator_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsGeneratorTest.cpp
  LIBS vexil_sim)
# Send TS on the emulator: the stream arrives as asked and stops with Don't Send TS.
vexil_add_gtest(ts_streamer_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsStreamerTest.cpp
  LIBS vexil_sim)
