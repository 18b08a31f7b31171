# UI area: headless unit tests, the termination test in its own process,
# and a short GTK check that runs on its own Xvfb display.
qorv_add_test(NAME ui_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FormsTests.cpp ${CMAKE_CURRENT_LIST_DIR}/ControlsTests.cpp
  LIBS qorv_platform_ui)
qorv_add_test(NAME ui_terminate_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TerminateTests.cpp
  LIBS qorv_platform_ui)

add_executable(ui_gtk_tests ${CMAKE_CURRENT_LIST_DIR}/GtkTests.cpp)
target_include_directories(ui_gtk_tests PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ui_gtk_tests PRIVATE qorv_platform_ui GTest::gtest GTest::gtest_main qorv_warnings)
find_program(QORV_XVFB_RUN xvfb-run)
if(QORV_XVFB_RUN)
  add_test(NAME ui.gtk COMMAND ${QORV_XVFB_RUN} -a -s "-screen 0 1280x800x24" $<TARGET_FILE:ui_gtk_tests>)
  set_tests_properties(ui.gtk PROPERTIES LABELS "gui;nosan" TIMEOUT 60)
endif()
