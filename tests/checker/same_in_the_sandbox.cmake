# Runs aimodule-check --json --smoke on a module, then again in the sandbox,
# and requires the same verdict of a module that does not touch the world:
# the same exit status, the same judgement of each function, the same calls
# with the same answers and failures, and nothing refused.
#   -DCHECKER=... [-DEMULATOR=...] -DMODULE=... [-DSANDBOX_READ=paths]
foreach(mode plain confined)
  set(arguments --json --smoke)
  if(mode STREQUAL "confined")
    list(APPEND arguments --sandbox)
    if(SANDBOX_READ)
      list(APPEND arguments --sandbox-read "${SANDBOX_READ}")
    endif()
  endif()
  execute_process(COMMAND ${EMULATOR} "${CHECKER}" ${arguments} "${MODULE}"
    RESULT_VARIABLE ${mode}_status OUTPUT_VARIABLE ${mode} ERROR_VARIABLE ${mode}_errors)
  string(REPLACE "\r\n" "\n" ${mode} "${${mode}}")
endforeach()
if(NOT plain_status STREQUAL confined_status)
  message(FATAL_ERROR "exit status ${plain_status}, in the sandbox ${confined_status}\n--- without\n${plain}\n"
                      "--- in the sandbox\n${confined}\n--- its standard error\n${confined_errors}")
endif()
foreach(key loaded functions smoke smoke_failures load_refused unload_refused)
  string(JSON without ERROR_VARIABLE missing GET "${plain}" ${key})
  string(JSON within ERROR_VARIABLE missing_within GET "${confined}" ${key})
  if(missing OR missing_within OR NOT without STREQUAL within)
    message(FATAL_ERROR "\"${key}\" differs:\n--- without the sandbox\n${without}\n--- in the sandbox\n${within}\n"
                        "${missing}${missing_within}")
  endif()
endforeach()
