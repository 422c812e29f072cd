# Installs the SDK from BUILD into a new PREFIX, then configures and builds
# the example project SOURCE against it in WORK, as an outside author would.
#   -DBUILD=... -DPREFIX=... -DSOURCE=... -DWORK=... [-DTOOLCHAIN=...] [-DGENERATOR=...]
file(REMOVE_RECURSE "${PREFIX}" "${WORK}")
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()
run("${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" --component sdk)
# A cross toolchain confines package searches to its own root, so the
# package's folder is named outright.
set(configure "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${WORK}" -G "${GENERATOR}"
    "-DAiModule_DIR=${PREFIX}/lib/cmake/AiModule")
if(TOOLCHAIN)
  list(APPEND configure "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
run(${configure})
run("${CMAKE_COMMAND}" --build "${WORK}")
