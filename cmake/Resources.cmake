# qorv_embed_resources(<target> NAME <name> TYPE <type> FILE <path>
#                      [NAME <name> TYPE <type> FILE <path> ...]
#                      [DEPENDS <targets or files...>])
#
# Embeds each file into <target> as a resource found by name and type
# (FindResource in platform/system/Resources.h). A .cpp with the bytes and a
# static registering object is generated at build time, so a changed file
# is embedded again; FILE may be a generator expression such as
# $<TARGET_FILE:qorv_applier>, with that target listed in DEPENDS. The
# source is added to <target> directly, since a static library would let
# the linker drop the unreferenced registering object; use an executable.
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(qorv_embed_resources target)
  set(_args ${ARGN})
  set(_triples)
  set(_files)
  set(_depends)
  set(_mode)
  set(_name)
  set(_type)
  while(_args)
    list(POP_FRONT _args _word)
    if(_word STREQUAL "NAME" OR _word STREQUAL "TYPE" OR _word STREQUAL "FILE" OR _word STREQUAL "DEPENDS")
      set(_mode ${_word})
      continue()
    endif()
    if(_mode STREQUAL "NAME")
      set(_name ${_word})
    elseif(_mode STREQUAL "TYPE")
      set(_type ${_word})
    elseif(_mode STREQUAL "FILE")
      if(NOT _name OR NOT _type)
        message(FATAL_ERROR "qorv_embed_resources(${target}): FILE ${_word} needs NAME and TYPE before it")
      endif()
      list(APPEND _triples ${_name} ${_type} ${_word})
      list(APPEND _files ${_word})
      set(_name)
      set(_type)
    elseif(_mode STREQUAL "DEPENDS")
      list(APPEND _depends ${_word})
    else()
      message(FATAL_ERROR "qorv_embed_resources(${target}): unexpected argument ${_word}")
    endif()
  endwhile()
  if(NOT _triples)
    message(FATAL_ERROR "qorv_embed_resources(${target}): no resources given")
  endif()

  get_property(_count TARGET ${target} PROPERTY QORV_RESOURCE_SETS)
  if(NOT _count)
    set(_count 0)
  endif()
  math(EXPR _next "${_count} + 1")
  set_property(TARGET ${target} PROPERTY QORV_RESOURCE_SETS ${_next})
  set(_output ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources_${_count}.cpp)

  add_custom_command(
    OUTPUT ${_output}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/embed_resources.py ${_output} ${_triples}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/embed_resources.py ${_files} ${_depends}
    COMMENT "Embedding resources into ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${_output})
  target_link_libraries(${target} PRIVATE qorv_platform_system)
endfunction()
