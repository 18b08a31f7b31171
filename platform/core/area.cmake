# The core area is plain C++: it needs neither GLib nor any other area.
file(GLOB _core_src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/core/*.cpp)
add_library(qorv_platform_core STATIC ${_core_src})
target_include_directories(qorv_platform_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qorv_platform_core PUBLIC qorv_warnings Threads::Threads)
