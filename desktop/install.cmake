# Desktop integration: the launcher's menu entry and its icons in the hicolor
# theme. Included from app/CMakeLists.txt, next to the rule that installs the
# launcher itself.
include(GNUInstallDirs)
install(FILES ${PROJECT_SOURCE_DIR}/desktop/qorv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(n 16 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/qorv-${n}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${n}x${n}/apps RENAME qorv.png)
endforeach()
