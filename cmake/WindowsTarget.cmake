# What a MinGW-w64 build of the project needs beyond the sources: where the
# programs and libraries go, the shared GCC runtime beside them and, when the
# programs run under Wine, the Wine prefix they run in.
include_guard(GLOBAL)

# Windows looks for a library's dependencies beside the program and on PATH,
# not beside the library: every DLL and program of the build goes to one
# folder, with the runtime DLLs they need.
if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
endif()

# A C++ exception thrown in one DLL and caught in another (a module's
# endGame, the bridge's guard) must unwind through one libgcc: with libgcc
# linked into each DLL, each has its own unwinder and the throw ends the
# process. libstdc++ is a DLL already (its import library comes first).
add_link_options("$<$<LINK_LANGUAGE:CXX>:-shared-libgcc>")

# The runtime DLLs that C++ code linked so depends on: libstdc++, the
# libgcc of this compiler's exception model and, for a POSIX-threads
# compiler, winpthreads.
set(VANTRELL_RUNTIME_DLLS)
foreach(_dll libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_sjlj-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=${_dll}
    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${_path}" AND EXISTS "${_path}")
    list(APPEND _found_dlls "${_path}")
  endif()
endforeach()
# Of those found, the ones libstdc++ imports, and libstdc++ itself.
list(GET _found_dlls 0 _libstdcxx)
get_filename_component(_libstdcxx_name "${_libstdcxx}" NAME)
if(NOT _libstdcxx_name STREQUAL "libstdc++-6.dll" OR NOT CMAKE_OBJDUMP)
  message(FATAL_ERROR "WindowsTarget: no libstdc++-6.dll beside ${CMAKE_CXX_COMPILER}, or no objdump")
endif()
execute_process(COMMAND "${CMAKE_OBJDUMP}" -p "${_libstdcxx}" OUTPUT_VARIABLE _imports)
foreach(_path IN LISTS _found_dlls)
  get_filename_component(_name "${_path}" NAME)
  string(FIND "${_imports}" "DLL Name: ${_name}" _imported)
  if(_path STREQUAL _libstdcxx OR NOT _imported EQUAL -1)
    list(APPEND VANTRELL_RUNTIME_DLLS "${_path}")
  endif()
endforeach()
message(STATUS "MinGW runtime DLLs: ${VANTRELL_RUNTIME_DLLS}")

set(_copies)
foreach(_path IN LISTS VANTRELL_RUNTIME_DLLS)
  get_filename_component(_name "${_path}" NAME)
  set(_copy "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_name}")
  add_custom_command(OUTPUT "${_copy}"
    COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${_path}" "${_copy}"
    DEPENDS "${_path}" VERBATIM)
  list(APPEND _copies "${_copy}")
endforeach()
add_custom_target(mingw_runtime ALL DEPENDS ${_copies})

# The Wine prefix, made once by the build: a first run of Wine in a missing
# prefix would make it on the spot, racing with the runs beside it, and
# take longer than a test is given. wineserver -w waits until the new
# prefix is written out.
if(CMAKE_CROSSCOMPILING)
  include(WineRunner)
endif()
if(VANTRELL_TARGET_RUNS)
  set(_stamp "${VANTRELL_WINEPREFIX}/system.reg")
  add_custom_command(OUTPUT "${_stamp}"
    COMMAND "${CMAKE_COMMAND}" -E env ${VANTRELL_WINE_ENVIRONMENT} "${VANTRELL_WINE}" wineboot -i
    COMMAND "${CMAKE_COMMAND}" -E env ${VANTRELL_WINE_ENVIRONMENT} "${VANTRELL_WINESERVER}" -w
    COMMENT "Making the Wine prefix ${VANTRELL_WINEPREFIX}"
    VERBATIM)
  add_custom_target(wine_prefix ALL DEPENDS "${_stamp}")
  # The test programs are listed at test time, by when the build has made
  # the prefix and copied the runtime DLLs.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
endif()
