# The UI area: GTK 3 (and gdk-pixbuf for icons) through pkg-config, libjpeg
# for pictures, on top of core, messages and system.
pkg_check_modules(QORV_GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0 gdk-pixbuf-2.0)
find_package(JPEG REQUIRED)
file(GLOB _ui_src CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(qorv_platform_ui STATIC ${_ui_src})
target_include_directories(qorv_platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qorv_platform_ui PUBLIC qorv_warnings Threads::Threads PkgConfig::GLIB
  PkgConfig::QORV_GTK3 JPEG::JPEG)
foreach(_dep core messages system)
  if(TARGET qorv_platform_${_dep})
    target_link_libraries(qorv_platform_ui PUBLIC qorv_platform_${_dep})
  endif()
endforeach()
