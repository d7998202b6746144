# The text conventions and the status and QV-Net decoders.
vexil_add_gtest(report_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportTextTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(status_report_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusReportTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/StatusReportChannelsTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(status_report_end_to_end_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusReportEndToEndTest.cpp
  LIBS vexil_instructions vexil_sim)
vexil_add_gtest(report_fuzz_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ReportFuzzTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(status_record_fields_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/StatusRecordTest.cpp
  LIBS vexil_messaging vexil_sim)
