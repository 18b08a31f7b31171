# The portal window: its logic under the headless backend, and the real
# program under Xvfb with openbox against the demo portal.
qorv_add_test(NAME app_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SplashScreenTests.cpp
  LIBS qorv_platform)
qorv_portal_window(app_tests ${QORV_TEST_PORTAL_HOST})

string(REGEX REPLACE "^.*:" "" _qorv_test_port "${QORV_TEST_PORTAL_HOST}")
foreach(_scenario splash portal link frames close)
  add_test(NAME gui.${_scenario}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/gui_test.py ${_scenario}
      --exe $<TARGET_FILE:Qorv_test_portal> --port ${_qorv_test_port}
      --demo ${PROJECT_SOURCE_DIR}/demo --splash ${PROJECT_SOURCE_DIR}/resources/splash.jpg)
  # One portal port for all of them: they run one at a time. The program
  # under ASan would report the toolkit's own leaks, so only the plain build
  # runs them.
  set_tests_properties(gui.${_scenario} PROPERTIES LABELS "gui;nosan" TIMEOUT 120 RESOURCE_LOCK qorv_test_portal)
endforeach()
