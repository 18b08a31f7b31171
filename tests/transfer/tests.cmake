qorv_add_test(NAME transfer_thread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/auThread_test.cpp
  LIBS qorv_transfer
  LABELS "unit;thread")
qorv_add_test(NAME transfer_http_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/auHTTP_test.cpp
  LIBS qorv_transfer
  LABELS "unit;thread")
if(TARGET qorv-fetch)
  qorv_add_test(NAME transfer_fetch_tool_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fetch_test.cpp
    LIBS qorv_transfer)
  target_compile_definitions(transfer_fetch_tool_tests PRIVATE QORV_FETCH_PATH="$<TARGET_FILE:qorv-fetch>")
  add_dependencies(transfer_fetch_tool_tests qorv-fetch)
endif()
