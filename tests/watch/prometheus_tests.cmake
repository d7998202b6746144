# A real Prometheus server (Debian's package) scrapes vexilctl watch and stream-check
# over emulated boards; the shipped dashboard and alerting rules are evaluated on it.
if(NOT VEXIL_WITH_METRICS)
  return()  # a build without the Prometheus client serves no metrics to scrape
endif()
add_library(vexil_prometheus_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/PrometheusServer.cpp)
target_include_directories(vexil_prometheus_test_support PUBLIC ${PROJECT_SOURCE_DIR})
vexil_add_gtest(watch_prometheus_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PrometheusWatchTest.cpp
  LIBS vexil_prometheus_test_support vexil_messaging)
add_dependencies(watch_prometheus_test vexilctl vexil-sim)
target_compile_definitions(watch_prometheus_test PRIVATE
  VEXILCTL_PATH="$<TARGET_FILE:vexilctl>" VEXIL_SIM_PATH="$<TARGET_FILE:vexil-sim>"
  VEXIL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The example configuration and the alerting rules as Prometheus's own checker reads them.
find_program(PROMTOOL promtool)
if(PROMTOOL)
  add_test(NAME prometheus_config_check
           COMMAND ${PROMTOOL} check config ${PROJECT_SOURCE_DIR}/packaging/prometheus/vexil.yml)
  add_test(NAME prometheus_rules_check
           COMMAND ${PROMTOOL} check rules ${PROJECT_SOURCE_DIR}/packaging/prometheus/vexil-alerts.yml)
endif()
