# The emulator's status record, checked against the record layout.
vexil_add_gtest(status_record_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusRecordTest.cpp
  LIBS vexil_sim)
