# The page logic: the Query operation, the device address, the port entries and the
# instruction pages, all without a window.
vexil_add_gtest(device_query_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceQueryTest.cpp
  LIBS vexil_instructions vexil_sim)
vexil_add_gtest(device_address_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceAddressTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(port_entry_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PortEntryTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(entry_rules_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/EntryRulesTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(general_instructions_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GeneralInstructionsTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(ts_routing_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TsRoutingTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(instruction_test_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstructionTestTest.cpp
  LIBS vexil_instructions)
vexil_add_gtest(instruction_pages_on_engine_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstructionPagesOnEngineTest.cpp
  LIBS vexil_instructions vexil_sim)
vexil_add_gtest(instruction_test_on_engine_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstructionTestOnEngineTest.cpp
  LIBS vexil_instructions vexil_sim)
add_library(vexil_scripted_device STATIC ${CMAKE_CURRENT_LIST_DIR}/ScriptedDevice.cpp)
target_include_directories(vexil_scripted_device PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vexil_scripted_device PUBLIC vexil_socket Threads::Threads)
vexil_add_gtest(manufacturer_setup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ManufacturerSetupTest.cpp
  LIBS vexil_instructions vexil_scripted_device vexil_sim)
