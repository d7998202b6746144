# What differs between the systems, behind one interface: files and console.
vexil_add_gtest(portable_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FilesTest.cpp
  LIBS vexil_portable)
