# The system area: POSIX calls and GLib's key-file parser, on top of core's
# stream classes.
file(GLOB _system_src CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(qorv_platform_system STATIC ${_system_src})
target_include_directories(qorv_platform_system PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qorv_platform_system PUBLIC qorv_warnings Threads::Threads PkgConfig::GLIB)
if(TARGET qorv_platform_core)
  target_link_libraries(qorv_platform_system PUBLIC qorv_platform_core)
endif()
