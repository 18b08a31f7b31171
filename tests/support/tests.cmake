include(${PROJECT_SOURCE_DIR}/cmake/Resources.cmake)
qorv_add_test(NAME support_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_strings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_dates_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_files_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auUtils_system_test.cpp
  LIBS qorv_support)
qorv_embed_resources(support_tests NAME AUUPG TYPE AUUPG FILE ${CMAKE_CURRENT_LIST_DIR}/fixtures/auupg.bin)
target_compile_definitions(support_tests PRIVATE
  QORV_TEST_AUUPG_FIXTURE="${CMAKE_CURRENT_LIST_DIR}/fixtures/auupg.bin")
