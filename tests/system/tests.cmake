include(${PROJECT_SOURCE_DIR}/cmake/Resources.cmake)

# The splitter compiled as C, the way the applier uses it; a library of its
# own so that it gets C warning options rather than the C++ ones.
add_library(system_commandline_c STATIC ${CMAKE_CURRENT_LIST_DIR}/CommandLineC.c)
target_include_directories(system_commandline_c PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(system_commandline_c PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2
  $<$<BOOL:${QORV_WERROR}>:-Werror>)
set_target_properties(system_commandline_c PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON)

qorv_add_test(NAME system_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CommandLineTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FilesTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProcessTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EnvironmentTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ResourcesTests.cpp
  LIBS qorv_platform_system system_commandline_c)
target_compile_definitions(system_tests PRIVATE
  QORV_TEST_DATA_DIR="${CMAKE_CURRENT_LIST_DIR}/data")
qorv_embed_resources(system_tests
  NAME Sample TYPE RcData FILE ${CMAKE_CURRENT_LIST_DIR}/data/sample.bin
  NAME EMPTY TYPE RCDATA FILE ${CMAKE_CURRENT_LIST_DIR}/data/empty.bin)
