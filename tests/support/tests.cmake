qorv_add_test(NAME support_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_strings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_dates_test.cpp
  LIBS qorv_support)
