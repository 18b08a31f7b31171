# The message catalogue: the shipped tables must pass the tool's check, the
# tool must refuse broken tables, and the compiled table must register exactly
# the texts of the files.
include(${PROJECT_SOURCE_DIR}/cmake/Catalogue.cmake)

add_test(NAME catalogue_check
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/catalogue.py --check)
set_tests_properties(catalogue_check PROPERTIES LABELS unit TIMEOUT 60)

add_executable(catalogue_dump ${CMAKE_CURRENT_LIST_DIR}/catalogue_dump.cpp)
target_include_directories(catalogue_dump PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(catalogue_dump PRIVATE qorv_warnings)
qorv_add_catalogue(catalogue_dump)

add_test(NAME catalogue_tool
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/test_catalogue_tool.py
          --tool ${PROJECT_SOURCE_DIR}/tools/catalogue.py
          --tables ${PROJECT_SOURCE_DIR}/resources/catalogue
          --dump $<TARGET_FILE:catalogue_dump>)
set_tests_properties(catalogue_tool PROPERTIES LABELS unit TIMEOUT 120)
