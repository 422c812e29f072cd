# Plays the demo session from the unpacked package FOLDER on the real JVM,
# the bridge loaded through -Dvantrell.library, and compares the whole
# output with the golden TRANSCRIPT.
#   cmake -DJAVA=... -DFOLDER=... -DVERSION=... -DTRANSCRIPT=... -P run_demo_from_package.cmake
cmake_policy(VERSION 3.25)
execute_process(
  COMMAND "${JAVA}" -Xcheck:jni "-Dvantrell.library=${FOLDER}/libvantrell.so" -jar "${FOLDER}/demo-host-${VERSION}.jar"
          "${FOLDER}/libtarrowby.so"
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo host failed (${rc}):\n${errors}\n${output}")
endif()
file(READ "${TRANSCRIPT}" expected)
if(NOT output STREQUAL expected)
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/package-session.txt" "${output}")
  message(FATAL_ERROR "the session from the package differs from ${TRANSCRIPT}: see package-session.txt")
endif()
message(STATUS "the session from the package is the recorded one")
