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
if(NOT WIN32)  # runs Linux's tsreport and ffprobe
  vexil_add_gtest(stream_tools_comparison_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ToolsComparisonTest.cpp
    LIBS vexil_stream vexil_sim)
endif()
vexil_add_gtest(stream_sections_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SectionsTest.cpp
  LIBS vexil_stream)
vexil_add_gtest(stream_clocks_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ClocksTest.cpp
  LIBS vexil_stream)
vexil_add_gtest(stream_silence_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SilenceTest.cpp
  LIBS vexil_stream)
# The capture reader: every link layer, what is skipped and counted, time stamps, and
# dumpcap on loopback where capturing is allowed.
if(VEXIL_WITH_PCAP)
  vexil_add_gtest(stream_pcap_reader_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/PcapReaderTest.cpp
    LIBS vexil_stream PkgConfig::PCAP)
endif()
# Multicast joins, inside a private network namespace the test makes itself.
if(NOT WIN32)  # a network namespace of its own (unshare)
  vexil_add_gtest(stream_multicast_receiver_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/MulticastReceiverTest.cpp
    LIBS vexil_stream)
endif()
# What the Stream Monitor shows for each state, decided without a window.
if(NOT WIN32)  # sets the time zone with setenv("TZ")
  vexil_add_gtest(stream_monitor_view_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/MonitorViewTest.cpp
    LIBS vexil_stream)
endif()
