# 64-bit Windows (x64), for hosts on a 64-bit JVM: cross-built with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VANTRELL_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-cross.cmake")
