# A real PostgreSQL server (Debian's package) for the database tests: made, started,
# stopped, killed and removed by the test on loopback.
if(NOT VEXIL_WITH_POSTGRES)
  return()  # no libpq to start and ask a server with
endif()
add_library(vexil_postgres_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/PostgresServer.cpp)
target_include_directories(vexil_postgres_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vexil_postgres_test_support PUBLIC PkgConfig::LIBPQ)
vexil_add_gtest(postgres_server_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PostgresServerTest.cpp
  LIBS vexil_postgres_test_support)
