include(${PROJECT_SOURCE_DIR}/cmake/Catalogue.cmake)
qorv_add_test(NAME catalogue_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue_test.cpp ${CMAKE_CURRENT_LIST_DIR}/catalogue_messages_test.cpp
  LIBS qorv_upgrader)
qorv_add_catalogue(catalogue_tests)
