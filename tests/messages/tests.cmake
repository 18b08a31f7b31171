qorv_add_test(NAME messages_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/threads_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
  LIBS qorv_platform_messages
  LABELS unit thread)
qorv_add_test(NAME messages_app_loop_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_loop_test.cpp
  LIBS qorv_platform_messages
  LABELS unit thread)
