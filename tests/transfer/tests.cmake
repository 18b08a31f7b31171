qorv_add_test(NAME transfer_thread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/auThread_test.cpp
  LIBS qorv_transfer
  LABELS "unit;thread")
qorv_add_test(NAME transfer_http_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/auHTTP_test.cpp
  LIBS qorv_transfer
  LABELS "unit;thread")
