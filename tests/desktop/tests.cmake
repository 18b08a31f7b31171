# Desktop integration: what `cmake --install` puts in place.
add_test(NAME desktop.install COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(desktop.install PROPERTIES LABELS unit TIMEOUT 60)
