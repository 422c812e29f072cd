# Building AI modules: shared libraries that export the functions of
# ai_module.h under their decorated names ("_abortGame@4").
#
#   add_ai_module(<target> <source>...)
#       A SHARED library lib<target> built from the sources, with ai_module.h
#       on its include path.
#
#   ai_module_export_names(<out_var>)
#       The 36 export names of ai_module.h ("_initialize@4", ...), in the
#       header's order.
#
# Variables that may be set before including this file or before a call:
#   AI_MODULE_INCLUDE_DIR  directory of ai_module.h (default: ../include
#                          beside this file)
#   AI_MODULE_EXPORT_TOOL  the elf-export-names program, used when no target
#                          of that name is part of the build

include_guard(GLOBAL)

if(CMAKE_VERSION VERSION_LESS 3.18)
  message(FATAL_ERROR "AiModule.cmake needs CMake 3.18 or newer")
endif()

if(NOT DEFINED AI_MODULE_INCLUDE_DIR)
  get_filename_component(AI_MODULE_INCLUDE_DIR "${CMAKE_CURRENT_LIST_DIR}/../include" ABSOLUTE)
endif()

# The include directory as seen by the caller; falls back to the one beside
# this file for callers in scopes that did not inherit the variable.
function(_ai_module_include_dir out_var)
  if(DEFINED AI_MODULE_INCLUDE_DIR)
    set(dir "${AI_MODULE_INCLUDE_DIR}")
  else()
    get_filename_component(dir "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../include" ABSOLUTE)
  endif()
  set(${out_var} "${dir}" PARENT_SCOPE)
endfunction()

function(ai_module_export_names out_var)
  _ai_module_include_dir(dir)
  set(header "${dir}/ai_module.h")
  if(NOT EXISTS "${header}")
    message(FATAL_ERROR "ai_module_export_names: ${header} not found (set AI_MODULE_INCLUDE_DIR)")
  endif()
  # The whole file at once: file(STRINGS) would join the list entries, whose
  # lines end in a backslash (read as escaping the list separator).
  file(READ "${header}" text)
  # An entry starts a line with "X(KIND, name, bytes,"; an entry's
  # parameters may continue on later lines.
  set(entry "\n[ \t]*X\\((VOID|TRUTH|BOOL8|VALUE|TEXT),[ \t]*([A-Za-z_][A-Za-z0-9_]*),[ \t]*([0-9]+),")
  string(REGEX MATCHALL "${entry}" entries "${text}")
  set(names)
  foreach(match IN LISTS entries)
    string(REGEX MATCH "${entry}" parts "${match}")
    list(APPEND names "_${CMAKE_MATCH_2}@${CMAKE_MATCH_3}")
  endforeach()
  list(LENGTH names count)
  set(unique ${names})
  list(REMOVE_DUPLICATES unique)
  list(LENGTH unique unique_count)
  if(NOT count EQUAL 36 OR NOT unique_count EQUAL count)
    message(FATAL_ERROR "ai_module_export_names: expected 36 distinct functions in ${header}, "
                        "found ${count} (${unique_count} distinct): ${names}")
  endif()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()

function(add_ai_module target)
  if(ARGC LESS 2)
    message(FATAL_ERROR "add_ai_module(${target}): no sources given")
  endif()
  _ai_module_include_dir(include_dir)
  add_library(${target} SHARED ${ARGN})
  target_include_directories(${target} PRIVATE "${include_dir}")
  # lib<target>.so, with an unversioned SONAME: hosts load modules by path.
  set_target_properties(${target} PROPERTIES PREFIX "lib")

  if(WIN32)
    # Windows export naming is handled separately, by a module-definition
    # file made from ai_module_export_names().
    return()
  endif()

  if(NOT (CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF" OR (NOT CMAKE_EXECUTABLE_FORMAT AND UNIX AND NOT APPLE)))
    message(FATAL_ERROR "add_ai_module(${target}): only ELF and Windows targets are supported")
  endif()

  if(TARGET elf-export-names)
    set(tool "$<TARGET_FILE:elf-export-names>")
    add_dependencies(${target} elf-export-names)
  elseif(AI_MODULE_EXPORT_TOOL)
    set(tool "${AI_MODULE_EXPORT_TOOL}")
  else()
    message(FATAL_ERROR "add_ai_module(${target}): no elf-export-names: add its target to the build "
                        "before this call, or set AI_MODULE_EXPORT_TOOL")
  endif()

  # Only the placeholders "_<name>$<bytes>" stay global; everything else,
  # including the symbols of the C runtime's start files, becomes local.
  set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map")
  file(CONFIGURE OUTPUT "${map}" CONTENT "{\n  global:\n    _*$[0-9]*;\n  local:\n    *;\n};\n" @ONLY)

  # Hidden by default, so that only what ai_module.h marks visible is
  # exported. Nothing may keep the module loaded after dlclose: no
  # -z nodelete, and no STB_GNU_UNIQUE symbols from C++ (GCC only; Clang
  # does not make them).
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${target} PRIVATE "$<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-fno-gnu-unique>")
  # The post-link rename rebuilds the SysV hash table; a GNU hash table
  # cannot be rebuilt without reordering the dynamic symbols.
  target_link_options(${target} PRIVATE "LINKER:--hash-style=sysv" "LINKER:--version-script=${map}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${map}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${tool}" "$<TARGET_FILE:${target}>"
    COMMENT "Naming the exports of ${target}"
    VERBATIM)
endfunction()
