# Every target of ours compiles with these; the build stays free of warnings.
add_library(qorv_warnings INTERFACE)
target_compile_options(qorv_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wformat=2
  -Wimplicit-fallthrough)
if(QORV_WERROR)
  target_compile_options(qorv_warnings INTERFACE -Werror)
endif()
