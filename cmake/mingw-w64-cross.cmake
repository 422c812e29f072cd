# Cross-building for Windows with MinGW-w64 (GCC) on a Linux machine: the
# part the two target toolchain files share. The including file sets
# CMAKE_SYSTEM_PROCESSOR and VANTRELL_MINGW_TRIPLET first.
#
# Nothing here runs a program: running the build's Windows programs under
# Wine is the project's business (cmake/WineRunner.cmake), not a module
# author's, so this file works on its own in any project.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VANTRELL_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VANTRELL_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${VANTRELL_MINGW_TRIPLET}-windres)

# Target libraries and headers from the MinGW sysroot; programs (javac,
# wine, python) from the build machine. Packages from the sysroot and from
# CMAKE_PREFIX_PATH, so that an SDK installed anywhere on the build machine
# is found by find_package.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VANTRELL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
