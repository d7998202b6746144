# The production records: the journal, the one-line JSON, times, file logs read back,
# connection strings shown without a password; then a real PostgreSQL server.
vexil_add_gtest(records_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordsTest.cpp
  LIBS vexil_records vexil_ctl)
