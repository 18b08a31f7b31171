# The internet area drives libcurl's multi interface; certificate faults are
# excused through OpenSSL's verification callback, hence libssl too. Thread
# kills wake blocked reads through the messages area's kill listeners.
pkg_check_modules(QORV_CURL REQUIRED IMPORTED_TARGET libcurl openssl)
add_library(qorv_platform_internet STATIC ${_src})
target_include_directories(qorv_platform_internet PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qorv_platform_internet
  PUBLIC qorv_warnings Threads::Threads qorv_platform_system qorv_platform_messages
  PRIVATE PkgConfig::QORV_CURL)
