qorv_add_test(NAME internet_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InternetTests.cpp ${CMAKE_CURRENT_LIST_DIR}/InternetUrlTests.cpp
  LIBS qorv_platform_internet
  LABELS "unit;thread")
