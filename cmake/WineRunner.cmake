# How a cross build for Windows runs its own programs (tests, test
# discovery): under Wine, in a Wine prefix of the build's own, so that no
# run depends on ~/.wine, without a display or the Mono/Gecko installers, so
# that it works unattended as root in CI.
#
# The loader matches the target: Wine's 32-bit loader for x86, its 64-bit
# loader (called directly: the `wine` wrapper picks the 32-bit one whenever
# it is installed) for x64. Some machines refuse 32-bit programs outright
# ("Exec format error"); there, 32-bit Wine runs under qemu-i386 user
# emulation as emulation/setup-i386-wine.sh sets it up in
# VANTRELL_I386_WINE_DIR. Which way is found out once, at configure time:
#
#   VANTRELL_RUN_TARGET_PROGRAMS  AUTO (default): natively when the loader
#                                 starts on this machine, else (x86) under
#                                 the emulation when it is set up; ON:
#                                 natively, always; EMULATED (x86): under
#                                 the emulation, always; OFF: never.
#
# Where they cannot run, CMAKE_CROSSCOMPILING_EMULATOR becomes a stand-in
# that prints why and fails; tests added with vantrell_add_target_test()
# (cmake/TargetTests.cmake) report that as skipped. Everything is still
# built, and tests that only read the built files still run.
#
# Sets VANTRELL_TARGET_RUNS (TRUE or FALSE), VANTRELL_TARGET_EMULATED (TRUE
# when the programs run under qemu) and, when they run, the prefix
# variables WindowsTarget.cmake makes it from.
include_guard(GLOBAL)

set(VANTRELL_RUN_TARGET_PROGRAMS AUTO CACHE STRING
    "Run the build's Windows programs under Wine: AUTO (when this machine can), ON, EMULATED (x86) or OFF")
set_property(CACHE VANTRELL_RUN_TARGET_PROGRAMS PROPERTY STRINGS AUTO ON EMULATED OFF)
include(I386Emulation)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_bits 64)
  set(_winearch win64)
  find_program(VANTRELL_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
else()
  set(_bits 32)
  set(_winearch win32)
  # The 32-bit loader itself: the `wine` command falls back to wine64 when
  # the 32-bit side is not installed.
  find_program(VANTRELL_WINE NAMES wine PATHS /usr/lib/wine /usr/lib32/wine NO_DEFAULT_PATH)
endif()
find_program(VANTRELL_WINESERVER NAMES wineserver PATHS /usr/lib/wine)

set(_target "${_bits}-bit Windows")

# Whether `loader --version` starts here: on a machine that refuses 32-bit
# programs the kernel says no before Wine prints anything.
function(_vantrell_loader_starts loader result_var reason_var)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env WINEDEBUG=-all "${loader}" --version
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE TIMEOUT 60)
  if(_rc EQUAL 0 AND _out MATCHES "^wine")
    set(${result_var} TRUE PARENT_SCOPE)
  else()
    string(REGEX REPLACE "[\r\n]+" " " _err "${_err}")
    set(${result_var} FALSE PARENT_SCOPE)
    set(${reason_var} "`${loader} --version` failed (${_rc}: ${_err})" PARENT_SCOPE)
  endif()
endfunction()

set(VANTRELL_TARGET_RUNS FALSE)
set(VANTRELL_TARGET_EMULATED FALSE)
set(VANTRELL_TARGET_RUNS_REASON "")
set(_emulated_wine "${VANTRELL_I386_WINE_DIR}/wine")
set(_setup_hint "emulation/setup-i386-wine.sh sets it up; scripts/install-deps.sh --windows runs it")
if(VANTRELL_RUN_TARGET_PROGRAMS STREQUAL "OFF")
  set(VANTRELL_TARGET_RUNS_REASON "VANTRELL_RUN_TARGET_PROGRAMS is OFF")
elseif(VANTRELL_RUN_TARGET_PROGRAMS STREQUAL "EMULATED")
  if(NOT _bits EQUAL 32)
    message(FATAL_ERROR "VANTRELL_RUN_TARGET_PROGRAMS=EMULATED is for the x86 target: ${_target} programs run under wine64")
  endif()
  _vantrell_loader_starts("${_emulated_wine}" _starts _why)
  if(NOT _starts)
    message(FATAL_ERROR "VANTRELL_RUN_TARGET_PROGRAMS=EMULATED, but the emulated 32-bit Wine does not start: ${_why} (${_setup_hint})")
  endif()
  set(VANTRELL_TARGET_RUNS TRUE)
  set(VANTRELL_TARGET_EMULATED TRUE)
elseif(VANTRELL_RUN_TARGET_PROGRAMS STREQUAL "ON" AND VANTRELL_WINE AND VANTRELL_WINESERVER)
  set(VANTRELL_TARGET_RUNS TRUE)
elseif(NOT _bits EQUAL 32 AND NOT (VANTRELL_WINE AND VANTRELL_WINESERVER))
  set(VANTRELL_TARGET_RUNS_REASON "no ${_bits}-bit Wine on this machine (scripts/install-deps.sh --windows installs it)")
else()
  if(VANTRELL_WINE AND VANTRELL_WINESERVER)
    _vantrell_loader_starts("${VANTRELL_WINE}" _starts _why)
  else()
    set(_starts FALSE)
    set(_why "no 32-bit Wine of the system's")
  endif()
  if(_starts)
    set(VANTRELL_TARGET_RUNS TRUE)
  elseif(_bits EQUAL 32 AND EXISTS "${_emulated_wine}")
    _vantrell_loader_starts("${_emulated_wine}" _starts _emulated_why)
    if(_starts)
      set(VANTRELL_TARGET_RUNS TRUE)
      set(VANTRELL_TARGET_EMULATED TRUE)
    else()
      set(VANTRELL_TARGET_RUNS_REASON "this machine cannot run ${_target} programs: ${_why}; nor under emulation: ${_emulated_why}")
    endif()
  else()
    set(VANTRELL_TARGET_RUNS_REASON "this machine cannot run ${_target} programs: ${_why}")
    if(_bits EQUAL 32)
      string(APPEND VANTRELL_TARGET_RUNS_REASON "; no emulated 32-bit Wine in ${VANTRELL_I386_WINE_DIR} (${_setup_hint})")
    endif()
  endif()
endif()
if(VANTRELL_TARGET_EMULATED)
  # The emulated loader starts the server beside it, which every program of
  # the prefix must share.
  set(VANTRELL_WINE "${_emulated_wine}")
  set(VANTRELL_WINESERVER "${VANTRELL_I386_WINE_DIR}/lib/wine/wineserver")
endif()
# A 64-bit program that starts a 32-bit one (the x64 bridge's x86
# companion): where this machine refuses 32-bit programs, the copy of
# wine64 in the emulation folder runs the 64-bit programs natively and
# starts their 32-bit children emulated.
set(_emulated_children FALSE)
if(VANTRELL_TARGET_RUNS AND _bits EQUAL 64 AND EXISTS "${VANTRELL_I386_WINE_DIR}/lib/wine/wine64")
  _vantrell_loader_starts(/usr/lib/wine/wine _native_32 _unused)
  if(NOT _native_32)
    set(VANTRELL_WINE "${VANTRELL_I386_WINE_DIR}/lib/wine/wine64")
    set(VANTRELL_WINESERVER "${VANTRELL_I386_WINE_DIR}/lib/wine/wineserver")
    set(_emulated_children TRUE)
  endif()
endif()

# The environment of every Wine run: no display (console programs only),
# no debug chatter on stderr, no offer to install Mono or Gecko.
set(VANTRELL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
# wine64 started directly also names itself as the loader of the programs
# it starts, as the wrapper would.
set(VANTRELL_WINE_ENVIRONMENT
    --unset=DISPLAY
    "WINEPREFIX=${VANTRELL_WINEPREFIX}"
    "WINEARCH=${_winearch}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml=")
if(_bits EQUAL 64)
  list(APPEND VANTRELL_WINE_ENVIRONMENT "WINELOADER=${VANTRELL_WINE}")
endif()
# Emulated 32-bit processes read the guest's files (the fault-code shim)
# from here.
if(VANTRELL_TARGET_EMULATED OR _emulated_children)
  list(APPEND VANTRELL_WINE_ENVIRONMENT "QEMU_LD_PREFIX=${VANTRELL_I386_WINE_DIR}/guest")
endif()

if(VANTRELL_TARGET_RUNS)
  set(_how "")
  if(VANTRELL_TARGET_EMULATED)
    set(_how " (qemu-i386 user emulation)")
  endif()
  if(_emulated_children)
    set(_how " (their 32-bit children under qemu-i386 user emulation)")
  endif()
  message(STATUS "${_target} programs run under ${VANTRELL_WINE}${_how}, prefix ${VANTRELL_WINEPREFIX}")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_COMMAND}" -E env ${VANTRELL_WINE_ENVIRONMENT}
      "VANTRELL_WINE=${VANTRELL_WINE}" "VANTRELL_WINESERVER=${VANTRELL_WINESERVER}"
      /bin/sh "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
else()
  message(WARNING "${_target} programs will not run: ${VANTRELL_TARGET_RUNS_REASON}. "
                  "Everything is built; the tests that must run a ${_target} program are reported as skipped.")
  set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh "${CMAKE_CURRENT_LIST_DIR}/cannot-run.sh" "${VANTRELL_TARGET_RUNS_REASON}")
endif()
# For scripts/test.sh, which says after the tests why some were skipped.
set(_reason_file "${CMAKE_BINARY_DIR}/tests-not-run.txt")
if(VANTRELL_TARGET_RUNS)
  file(REMOVE "${_reason_file}")
else()
  file(WRITE "${_reason_file}" "${_target} programs did not run: ${VANTRELL_TARGET_RUNS_REASON}\n")
endif()
