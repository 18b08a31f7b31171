qorv_add_test(NAME core_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/core/ComponentTests.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core/FormStreamTests.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core/StringsStreamsTests.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core/DateTimeTests.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/core/SysUtilsTests.cpp
  LIBS qorv_platform_core)
