#!/bin/sh
# Runs a Windows program of the build under Wine: wine-run.sh <program> <args>...
# The environment (WINEPREFIX and the rest) comes from the caller, the
# emulator command of cmake/toolchain-i686-w64-mingw32.cmake.
#
# Wine's server and its service processes, started by the first program that
# finds none, inherit that program's standard output and error and outlive
# it by seconds; CTest waits for the end of a test's output, so every test
# would wait for them. They are started here first, on /dev/null, and the
# server kept for half a minute after its last program, so that the program
# below finds them running.
wine=${VANTRELL_WINE:-wine}
"${VANTRELL_WINESERVER:-wineserver}" -p30 </dev/null >/dev/null 2>&1
"$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1
exec "$wine" "$@"
