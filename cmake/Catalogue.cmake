# qorv_add_catalogue(<target>)
#
# Compiles the message catalogue (resources/catalogue/*.txt) into
# ${CMAKE_BINARY_DIR}/generated/catalogue.cpp at build time and adds that
# source to <target>. The generated source registers its string table with
# qorv::platform::registerStringResources from a static object's constructor;
# nothing refers to it by name. <target> must therefore be an executable or an
# OBJECT library: inside a STATIC library the linker would drop the unreferenced
# object file and the texts would silently be missing. <target> must also link
# the library that defines registerStringResources (qorv_platform_system).
#
# The build fails, naming file, line and entry, when a table is incomplete or a
# translation's format specifiers differ from the English entry's.

include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(qorv_add_catalogue target)
  set(_root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..)
  cmake_path(NORMAL_PATH _root)
  set(_dir ${_root}/resources/catalogue)
  set(_tool ${_root}/tools/catalogue.py)
  set(_cpp ${CMAKE_BINARY_DIR}/generated/catalogue.cpp)
  get_target_property(_type ${target} TYPE)
  if(NOT _type STREQUAL "EXECUTABLE" AND NOT _type STREQUAL "OBJECT_LIBRARY")
    message(FATAL_ERROR "qorv_add_catalogue(${target}): ${target} is a ${_type}; "
      "the catalogue needs an executable or an OBJECT library, or the linker drops it")
  endif()
  # One custom command per build tree; a second target reuses its output.
  get_property(_defined GLOBAL PROPERTY QORV_CATALOGUE_COMMAND_DEFINED)
  if(NOT _defined)
    # CONFIGURE_DEPENDS re-runs cmake when a language file is added or removed.
    file(GLOB _sources CONFIGURE_DEPENDS ${_dir}/*.txt)
    add_custom_command(
      OUTPUT ${_cpp}
      COMMAND Python3::Interpreter ${_tool} --dir ${_dir} ${_cpp}
      DEPENDS ${_tool} ${_sources}
      COMMENT "Compiling the message catalogue"
      VERBATIM)
    add_custom_target(qorv_catalogue_source DEPENDS ${_cpp})
    set_property(GLOBAL PROPERTY QORV_CATALOGUE_COMMAND_DEFINED TRUE)
  endif()
  set_source_files_properties(${_cpp} PROPERTIES
    GENERATED TRUE
    INCLUDE_DIRECTORIES ${_root})
  target_sources(${target} PRIVATE ${_cpp})
  # Targets in other directories do not see the custom command's rule, so they
  # order themselves after the target that owns it.
  add_dependencies(${target} qorv_catalogue_source)
endfunction()
