# The web area: TWebBrowser on WebKitGTK 4.1, on top of the ui area.
pkg_check_modules(WEBKIT REQUIRED IMPORTED_TARGET webkit2gtk-4.1 gtk+-3.0)
add_library(qorv_platform_web STATIC ${_src})
target_include_directories(qorv_platform_web PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qorv_platform_web PUBLIC qorv_warnings qorv_platform_ui Threads::Threads PkgConfig::GLIB
                      PRIVATE PkgConfig::WEBKIT)
