# Configures and builds the project SOURCE against the installed SDK in
# PREFIX with -DMISTAKE=<MISTAKE>, in WORK, and passes when the build fails
# with output matching EXPECT (with -DOUTCOME=warn: when it succeeds with
# output matching EXPECT).
#   -DPREFIX=... -DSOURCE=... -DWORK=... -DMISTAKE=... -DEXPECT=regex [-DOUTCOME=fail|warn]
#   [-DTOOLCHAIN=...] [-DGENERATOR=...]
file(REMOVE_RECURSE "${WORK}")
set(configure "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${WORK}" -G "${GENERATOR}" "-DMISTAKE=${MISTAKE}"
    "-DCMAKE_PREFIX_PATH=${PREFIX}")
if(TOOLCHAIN)
  list(APPEND configure "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
execute_process(COMMAND ${configure} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the project does not configure:\n${out}\n${err}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE out
  ERROR_VARIABLE err)
string(REGEX REPLACE "[\n ]+" " " flat "${out} ${err}")
if(OUTCOME STREQUAL "warn" AND NOT status EQUAL 0)
  message(FATAL_ERROR "the build of mistake ${MISTAKE} failed, where it should only warn:\n${out}\n${err}")
elseif(NOT OUTCOME STREQUAL "warn" AND status EQUAL 0)
  message(FATAL_ERROR "the build of mistake ${MISTAKE} succeeded:\n${out}\n${err}")
endif()
if(NOT flat MATCHES "${EXPECT}")
  message(FATAL_ERROR "the build failed without /${EXPECT}/:\n${out}\n${err}")
endif()
message(STATUS "refused as expected: ${CMAKE_MATCH_0}")
