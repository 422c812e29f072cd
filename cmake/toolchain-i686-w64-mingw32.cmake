# 32-bit Windows, cross-built with MinGW-w64 (GCC) and run under Wine.
#
# Programs built for the target run through CMAKE_CROSSCOMPILING_EMULATOR
# (tests, test discovery): Wine with a prefix of the build's own, so no run
# depends on ~/.wine, and without a display or the Mono/Gecko installers, so
# it works unattended as root in CI. The prefix itself is made by the build
# (target wine_prefix, cmake/WindowsTarget.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_mingw_triplet i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${_mingw_triplet}-g++)
set(CMAKE_RC_COMPILER ${_mingw_triplet}-windres)

# Target libraries and headers only from the MinGW sysroot; programs (javac,
# wine, python) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(VANTRELL_WINE wine)
find_program(VANTRELL_WINESERVER wineserver)
if(VANTRELL_WINE AND VANTRELL_WINESERVER)
  set(VANTRELL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH
      "The Wine prefix the build's programs run in")
  # The environment of every Wine run: no display (console programs only),
  # no debug chatter on stderr, no offer to install Mono or Gecko.
  set(VANTRELL_WINE_ENVIRONMENT
      --unset=DISPLAY
      "WINEPREFIX=${VANTRELL_WINEPREFIX}"
      "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml=")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND}" -E env ${VANTRELL_WINE_ENVIRONMENT}
      "VANTRELL_WINE=${VANTRELL_WINE}" "VANTRELL_WINESERVER=${VANTRELL_WINESERVER}"
      /bin/sh "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
endif()
