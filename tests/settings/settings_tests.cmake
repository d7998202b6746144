# Linux only: these use POSIX permissions, fork, signals or inotify, and make their
# folders with mkdtemp.
if(NOT WIN32)
  vexil_add_gtest(ini_file_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/IniFileTest.cpp
    LIBS vexil_settings)
  vexil_add_gtest(atomic_write_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AtomicWriteTest.cpp
    LIBS vexil_settings)
  vexil_add_gtest(stored_settings_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StoredSettingsTest.cpp
    LIBS vexil_settings)
  vexil_add_gtest(ini_file_bytes_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/IniFileBytesTest.cpp
    LIBS vexil_settings)
  # The settings file against another local user.
  vexil_add_gtest(settings_security_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsSecurityTest.cpp
    LIBS vexil_ini)
endif()
# Reading and replacing whole files, as both systems do it.
vexil_add_gtest(replace_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReplaceFileTest.cpp
  LIBS vexil_ini)
