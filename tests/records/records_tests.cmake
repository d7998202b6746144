# The production records: the journal, the one-line JSON, times, file logs read back,
# connection strings shown without a password; then a real PostgreSQL server.
vexil_add_gtest(records_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecordsTest.cpp
  LIBS vexil_records vexil_ctl)
# Against Debian's PostgreSQL, started by the test on loopback.
if(VEXIL_WITH_POSTGRES)
  vexil_add_gtest(records_database_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProductionDatabaseTest.cpp
    LIBS vexil_postgres_test_support vexil_records vexil_sim)
  add_dependencies(records_database_test vexilctl)
  target_compile_definitions(records_database_test PRIVATE VEXILCTL_PATH="$<TARGET_FILE:vexilctl>")
endif()
