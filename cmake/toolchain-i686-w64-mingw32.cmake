# 32-bit Windows (x86), the real target: cross-built with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VANTRELL_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-cross.cmake")
