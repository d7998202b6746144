vexil_add_gtest(device_model_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceModelTest.cpp
  LIBS vexil_sim)
# Instructions pressed as the pages send them, then read back from the status record.
vexil_add_gtest(device_model_instructions_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceModelInstructionsTest.cpp
  LIBS vexil_sim)
