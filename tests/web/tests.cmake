pkg_check_modules(QORV_JSC REQUIRED IMPORTED_TARGET javascriptcoregtk-4.1)
qorv_add_test(NAME web_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/OleDispatchTests.cpp
  LIBS qorv_platform_web PkgConfig::QORV_JSC)
