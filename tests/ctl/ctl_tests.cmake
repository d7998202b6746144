# vexilctl: its command line, every command against the emulator on loopback, many
# boards at once, and the production log.
vexil_add_gtest(ctl_command_line_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
  LIBS vexil_ctl)
if(NOT WIN32)  # boards on 127.0.0.2 and up: under Wine every socket sends from 127.0.0.1
  vexil_add_gtest(ctl_commands_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CommandsOnEmulatorTest.cpp
    LIBS vexil_ctl vexil_sim)
endif()
if(NOT WIN32)  # boards on 127.0.0.2 and up: under Wine every socket sends from 127.0.0.1
  vexil_add_gtest(ctl_fleet_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/FleetTest.cpp
    LIBS vexil_ctl vexil_sim)
endif()
if(NOT WIN32)  # starts vexilctl with posix_spawn and kills it mid-run
  vexil_add_gtest(ctl_log_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProductionLogTest.cpp
    LIBS vexil_ctl vexil_sim)
  add_dependencies(ctl_log_test vexilctl)
  target_compile_definitions(ctl_log_test PRIVATE VEXILCTL_PATH="$<TARGET_FILE:vexilctl>")
endif()
# vexilctl stream-check: files with known faults, exit statuses, JSON, global options
# before the command, and a recording that cannot be written.
vexil_add_gtest(ctl_stream_check_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StreamCheckCommandTest.cpp
  LIBS vexil_ctl vexil_sim vexil_stream)
# Nothing nobody typed is ever sent: the real executable against a counting listener.
if(NOT WIN32)  # forks and runs vexilctl with execv
  vexil_add_gtest(ctl_safe_by_default_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SafeByDefaultTest.cpp
    LIBS vexil_messaging)
  add_dependencies(ctl_safe_by_default_test vexilctl)
  target_compile_definitions(ctl_safe_by_default_test PRIVATE VEXILCTL_PATH="$<TARGET_FILE:vexilctl>")
endif()
