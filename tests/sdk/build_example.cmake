# Installs the SDK from BUILD into a new PREFIX, then configures and builds
# the example project SOURCE against it in WORK, as an outside author would.
#   -DBUILD=... -DPREFIX=... -DSOURCE=... -DWORK=... [-DTOOLCHAIN=...] [-DGENERATOR=...]
#   [-DKEEP_PREFIX=ON: the SDK is installed already]
file(REMOVE_RECURSE "${WORK}")
if(NOT KEEP_PREFIX)
  file(REMOVE_RECURSE "${PREFIX}")
endif()
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
endfunction()
if(NOT KEEP_PREFIX)
  run("${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}" --component sdk)
endif()
# As the authors' guide says: the SDK found through CMAKE_PREFIX_PATH, with
# a cross build's toolchain file too.
set(configure "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${WORK}" -G "${GENERATOR}" "-DCMAKE_PREFIX_PATH=${PREFIX}")
if(TOOLCHAIN)
  list(APPEND configure "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
run(${configure})
run("${CMAKE_COMMAND}" --build "${WORK}")
