# Building AI modules: shared libraries that export the functions of
# ai_module.h under their decorated names ("_abortGame@4").
#
#   add_ai_module(<target> <source>... [FUNCTIONS <name>...] [SHARED_RUNTIME])
#       A SHARED library built from the sources, with ai_module.h on its
#       include path: lib<target>.so on ELF platforms, <target>.dll on
#       Windows. It exports exactly the contract functions its sources
#       define, under their export names, the same on every platform. The
#       build fails, naming the function and the likely cause, when a
#       function could never be found by the bridge (C++ linkage, a wrong
#       signature) and, with FUNCTIONS, when a listed function is not
#       defined or a defined one is not listed. The target's AI_EXPORT_NAMES
#       property holds the export names of FUNCTIONS, or all 36.
#       On Windows a module needs nothing but the operating system: GCC's
#       and the C++ runtime are linked in, and a C++ module's exported
#       endGame runs the author's inside a catch-all (an exception cannot
#       leave a module with its own runtime for the host's bridge on x86).
#       SHARED_RUNTIME builds it as modules built elsewhere may be instead:
#       the runtime DLLs imported, endGame exported as written (for testing
#       a host's handling of such modules).
#
#   ai_module_functions(<names_var> <bytes_var>)
#       The contract's 36 function names ("initialize", ...) and their
#       parameter bytes ("4", ...), in the order of ai_module_list.h.
#
#   ai_module_export_names(<out_var> [<name>...])
#       The export names ("_initialize@4", ...) of the given functions, or of
#       all 36, in the header's order.
#
# Variables that may be set before including this file or before a call:
#   AI_MODULE_INCLUDE_DIR  directory of ai_module.h and ai_module_list.h (default: ../include
#                          beside this file)
#   AI_MODULE_EXPORT_TOOL  the elf-export-names program, used when no target
#                          of that name is part of the build

include_guard(GLOBAL)

# The pre-link step of add_ai_module, and the catch around a Windows C++
# module's endGame, beside this file.
set(_AI_MODULE_EXPORTS_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/AiModuleExports.cmake")
set(_AI_MODULE_END_GAME_CATCH "${CMAKE_CURRENT_LIST_DIR}/ai_module_end_game_catch.cpp")
set(_AI_MODULE_UNWIND_TABLES "${CMAKE_CURRENT_LIST_DIR}/ai_module_unwind_tables.cpp")

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

function(ai_module_functions names_var bytes_var)
  _ai_module_include_dir(dir)
  set(header "${dir}/ai_module_list.h")
  if(NOT EXISTS "${header}")
    message(FATAL_ERROR "ai_module_functions: ${header} not found (set AI_MODULE_INCLUDE_DIR)")
  endif()
  # The whole file at once: file(STRINGS) would join the list entries, whose
  # lines end in a backslash (read as escaping the list separator).
  file(READ "${header}" text)
  # An entry starts a line with "X(KIND, name, bytes,"; an entry's
  # parameters may continue on later lines.
  set(entry "\n[ \t]*X\\((VOID|TRUTH|BOOL8|VALUE|TEXT),[ \t]*([A-Za-z_][A-Za-z0-9_]*),[ \t]*([0-9]+),")
  string(REGEX MATCHALL "${entry}" entries "${text}")
  set(names)
  set(bytes)
  foreach(match IN LISTS entries)
    string(REGEX MATCH "${entry}" parts "${match}")
    list(APPEND names "${CMAKE_MATCH_2}")
    list(APPEND bytes "${CMAKE_MATCH_3}")
  endforeach()
  list(LENGTH names count)
  set(unique ${names})
  list(REMOVE_DUPLICATES unique)
  list(LENGTH unique unique_count)
  if(count EQUAL 0 OR NOT unique_count EQUAL count)
    message(FATAL_ERROR "ai_module_functions: expected distinct functions in ${header}, "
                        "found ${count} (${unique_count} distinct): ${names}")
  endif()
  set(${names_var} ${names} PARENT_SCOPE)
  set(${bytes_var} ${bytes} PARENT_SCOPE)
endfunction()

function(ai_module_export_names out_var)
  ai_module_functions(names bytes)
  set(wanted ${ARGN})
  if(NOT wanted)
    set(wanted ${names})
  endif()
  foreach(name IN LISTS wanted)
    if(NOT name IN_LIST names)
      message(FATAL_ERROR "ai_module_export_names: ${name} is not a function of ai_module.h")
    endif()
  endforeach()
  set(export_names)
  foreach(name size IN ZIP_LISTS names bytes)
    if(name IN_LIST wanted)
      list(APPEND export_names "_${name}@${size}")
    endif()
  endforeach()
  set(${out_var} ${export_names} PARENT_SCOPE)
endfunction()

function(add_ai_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SHARED_RUNTIME" "" "FUNCTIONS")
  set(sources ${arg_UNPARSED_ARGUMENTS})
  if(NOT sources)
    message(FATAL_ERROR "add_ai_module(${target}): no sources given")
  endif()
  if("FUNCTIONS" IN_LIST ARGN AND NOT arg_FUNCTIONS)
    message(FATAL_ERROR "add_ai_module(${target}): FUNCTIONS names no function")
  endif()
  ai_module_export_names(export_names ${arg_FUNCTIONS})
  _ai_module_include_dir(include_dir)
  add_library(${target} SHARED ${sources})
  target_include_directories(${target} PRIVATE "${include_dir}")
  set_property(TARGET ${target} PROPERTY AI_EXPORT_NAMES ${export_names})

  if(WIN32)
    # <target>.dll: hosts load modules by path, under the name they were
    # given. Nothing is marked dllexport (ai_module.h), and a definition
    # file turns the linker's automatic exports off, so the export table
    # holds exactly the names the definition file gives.
    set_target_properties(${target} PROPERTIES PREFIX "")
    # A host's LoadLibraryW looks for a module's DLLs beside the host's
    # program, in the system folders, the working directory and on PATH,
    # never beside the module: the module carries its runtime. Its own
    # unwinder cannot hand an exception to the bridge on x86, so a C++
    # module's endGame catches its own (ai_module_end_game_catch.cpp), and
    # on x86 that unwinder is given the module's unwind tables whatever else
    # the process holds (ai_module_unwind_tables.cpp).
    set(is_cxx FALSE)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.(cpp|cc|cxx|c\\+\\+|C)$")
        set(is_cxx TRUE)
      endif()
    endforeach()
    if(arg_SHARED_RUNTIME)
      target_link_options(${target} PRIVATE "$<$<AND:$<LINK_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-shared-libgcc>")
    else()
      target_link_options(${target} PRIVATE "$<$<CXX_COMPILER_ID:GNU>:-static-libgcc;-static-libstdc++>")
      if(is_cxx)
        target_sources(${target} PRIVATE "${_AI_MODULE_END_GAME_CATCH}" "${_AI_MODULE_UNWIND_TABLES}")
        set(catching_end_game ai_module_caught_endGame)
      endif()
    endif()
    set(export_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(style x86)
    else()
      set(style x64)
    endif()
    target_link_options(${target} PRIVATE "${export_file}")
  else()
    if(NOT (CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF" OR (NOT CMAKE_EXECUTABLE_FORMAT AND UNIX AND NOT APPLE)))
      message(FATAL_ERROR "add_ai_module(${target}): only ELF and Windows targets are supported")
    endif()
    # lib<target>.so, with an unversioned SONAME: hosts load modules by path.
    set_target_properties(${target} PROPERTIES PREFIX "lib")
    if(TARGET elf-export-names)
      set(tool "$<TARGET_FILE:elf-export-names>")
      add_dependencies(${target} elf-export-names)
    elseif(TARGET AiModule::elf-export-names)
      set(tool "$<TARGET_FILE:AiModule::elf-export-names>")
    elseif(AI_MODULE_EXPORT_TOOL)
      set(tool "${AI_MODULE_EXPORT_TOOL}")
    else()
      message(FATAL_ERROR "add_ai_module(${target}): no elf-export-names: find_package(AiModule) first, "
                          "add its target to the build before this call, or set AI_MODULE_EXPORT_TOOL")
    endif()
    # Hidden by default, so that only what ai_module.h marks visible is
    # exported. Nothing may keep the module loaded after dlclose: no
    # -z nodelete, and no STB_GNU_UNIQUE symbols from C++ (GCC only; Clang
    # does not make them).
    set_target_properties(${target} PROPERTIES
      C_VISIBILITY_PRESET hidden
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    target_compile_options(${target} PRIVATE "$<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-fno-gnu-unique>")
    # Only the placeholders of the contract functions the module defines
    # ("_<name>$<bytes>") stay global; everything else, the C runtime's
    # start files included, becomes local. The post-link rename rebuilds
    # the SysV hash table; a GNU hash table cannot be rebuilt without
    # reordering the dynamic symbols.
    set(export_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map")
    set(style elf)
    target_link_options(${target} PRIVATE "LINKER:--hash-style=sysv" "LINKER:--version-script=${export_file}")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${tool}" "$<TARGET_FILE:${target}>"
      COMMENT "Naming the exports of ${target}"
      VERBATIM)
  endif()

  # Before the link: the objects say which contract functions the module
  # defines; the export list is made from them, after refusing a listed
  # function that is not defined, a defined one left out of FUNCTIONS, and
  # a function the bridge could never find (C++ linkage, a wrong signature).
  if(NOT CMAKE_NM)
    message(FATAL_ERROR "add_ai_module(${target}): no nm for this toolchain (CMAKE_NM)")
  endif()
  ai_module_functions(names bytes)
  set(contract)
  foreach(name size IN ZIP_LISTS names bytes)
    list(APPEND contract "${name}:${size}")
  endforeach()
  list(JOIN contract "|" contract)
  list(JOIN arg_FUNCTIONS "|" listed)
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND "${CMAKE_COMMAND}" "-DNM=${CMAKE_NM}" "-DOBJECTS=$<JOIN:$<TARGET_OBJECTS:${target}>,|>"
            "-DCONTRACT=${contract}" "-DLISTED=${listed}" -DSTYLE=${style} "-DOUTPUT=${export_file}"
            "-DCATCHING_END_GAME=${catching_end_game}" "-DHEADER=${include_dir}/ai_module_list.h"
            "-DTARGET=${target}" -P "${_AI_MODULE_EXPORTS_SCRIPT}"
    COMMENT "Checking the contract functions of ${target}"
    VERBATIM)
endfunction()
