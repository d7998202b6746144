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
# The program clock of the synthetic stream: PCR from the byte count, PTS, table times.
vexil_add_gtest(ts_clock_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsClockTest.cpp
  LIBS vexil_sim)
# A PMT across packets, the CAT, scrambled packets and their options.
vexil_add_gtest(ts_shape_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsShapeTest.cpp
  LIBS vexil_sim)
# PCR gap, jump and jitter, PTS gap and spoilt CRCs, read back from the packets.
vexil_add_gtest(ts_priority2_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsPriority2FaultsTest.cpp
  LIBS vexil_sim)
# Send TS to a multicast group through loopback only, received in a private network
# namespace (skipped where namespaces are not allowed); a failing send logged once.
if(NOT WIN32)  # a network namespace of its own (unshare)
  vexil_add_gtest(ts_multicast_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsMulticastTest.cpp
    LIBS vexil_sim)
endif()
