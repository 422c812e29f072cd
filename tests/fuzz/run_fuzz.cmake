# Runs the fuzzer for a fixed number of executions: a fresh work corpus in
# the build tree (where libFuzzer writes what it finds), the checked-in
# seeds read only. Fails on any crash, sanitizer report or broken invariant.
#
#   cmake -DFUZZER=<bridge_fuzz> -DWORK_CORPUS=<dir> -DSEED_CORPUS=<dir> -DRUNS=<n> -P run_fuzz.cmake
file(REMOVE_RECURSE "${WORK_CORPUS}")
file(MAKE_DIRECTORY "${WORK_CORPUS}")
get_filename_component(_artifacts "${WORK_CORPUS}/../artifacts/" ABSOLUTE)
file(MAKE_DIRECTORY "${_artifacts}")
execute_process(
  COMMAND "${FUZZER}" -runs=${RUNS} -seed=1 -max_len=4096 -timeout=60 -print_final_stats=1
          -artifact_prefix=${_artifacts}/ "${WORK_CORPUS}" "${SEED_CORPUS}"
  RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "bridge_fuzz failed (${_status}); the input that failed is in ${_artifacts}")
endif()
