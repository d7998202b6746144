# The stream analyser: counting at the edges, the tables, rates and reports.
vexil_add_gtest(stream_continuity_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ContinuityTest.cpp
  LIBS vexil_stream)
vexil_add_gtest(stream_framing_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FramingTest.cpp
  LIBS vexil_stream)
vexil_add_gtest(stream_psi_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PsiTest.cpp
  LIBS vexil_stream)
vexil_add_gtest(stream_report_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportTest.cpp
  LIBS vexil_stream)
# Recorded emulator streams read by tsreport and ffprobe, when they are installed.
vexil_add_gtest(stream_tools_comparison_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsComparisonTest.cpp
  LIBS vexil_stream vexil_sim)
