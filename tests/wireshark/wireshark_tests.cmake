# The Wireshark dissector decoding a session with the emulator; skipped without tshark.
add_library(vexil_capture STATIC
  ${CMAKE_CURRENT_LIST_DIR}/LoopbackSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PcapWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tshark.cpp
)
target_include_directories(vexil_capture PUBLIC ${PROJECT_SOURCE_DIR})
vexil_add_gtest(dissector_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DissectorTest.cpp
  LIBS vexil_capture vexil_instructions vexil_sim)
target_compile_definitions(dissector_test PRIVATE
  VEXIL_DISSECTOR="${PROJECT_SOURCE_DIR}/tools/wireshark/vexil.lua")
