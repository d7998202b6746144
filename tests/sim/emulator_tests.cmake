vexil_add_gtest(device_model_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DeviceModelTest.cpp
  LIBS vexil_sim)
