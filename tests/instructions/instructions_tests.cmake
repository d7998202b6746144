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
