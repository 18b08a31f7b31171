pkg_check_modules(QORV_JSC REQUIRED IMPORTED_TARGET javascriptcoregtk-4.1)
qorv_add_test(NAME web_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/OleDispatchTests.cpp
  LIBS qorv_platform_web PkgConfig::QORV_JSC)

# The WebKit peer on its own Xvfb display.
add_executable(web_gtk_tests ${CMAKE_CURRENT_LIST_DIR}/WebKitTests.cpp)
target_include_directories(web_gtk_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(web_gtk_tests PRIVATE qorv_platform_web GTest::gtest GTest::gtest_main qorv_warnings)
find_program(QORV_XVFB_RUN xvfb-run)
if(QORV_XVFB_RUN)
  add_test(NAME web.gtk COMMAND ${QORV_XVFB_RUN} -a -s "-screen 0 1280x800x24" $<TARGET_FILE:web_gtk_tests>)
  set_tests_properties(web.gtk PROPERTIES LABELS "gui;nosan" TIMEOUT 90
                       ENVIRONMENT "WEBKIT_DISABLE_COMPOSITING_MODE=1;WEBKIT_DISABLE_DMABUF_RENDERER=1")
endif()
