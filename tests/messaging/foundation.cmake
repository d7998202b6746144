vexil_add_gtest(frames_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FramesTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(integer_text_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/IntegerTextTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(transaction_engine_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TransactionEngineTest.cpp
  LIBS vexil_messaging vexil_sim)
vexil_add_gtest(udp_endpoint_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UdpEndpointTest.cpp
  LIBS vexil_messaging)
vexil_add_gtest(datagram_socket_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DatagramSocketTest.cpp
  LIBS vexil_socket)
