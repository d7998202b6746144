# An idle emulator sleeps; a streaming one paces its stream.
if(NOT WIN32)  # reads thread times from /proc
  vexil_add_gtest(sim_idle_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/IdleEmulatorTest.cpp
    LIBS vexil_sim)
endif()
# A sender outside the loopback network changes nothing.
if(NOT WIN32)  # sends from this machine's other addresses (getifaddrs)
  vexil_add_gtest(sim_foreign_sender_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ForeignSenderTest.cpp
    LIBS vexil_sim vexil_instructions)
endif()
