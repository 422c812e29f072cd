# A Windows module on its own: it imports only DLLs of Windows itself, and
# HOST, copied into one empty folder and run from another with the module
# copied into a third, loads it and has it throw two exceptions: one it
# catches itself, one out of endGame.
#   cmake -DEMULATOR=... -DHOST=... -DMODULE=... -DOBJDUMP=... -DWORK=... [-DFIRST=<dll>] -P module_stands_alone.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${listing}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|user32|advapi32|ntdll)\\.dll$|^api-ms-win-")
    message(FATAL_ERROR "${MODULE} imports ${dll}, which Windows does not provide")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/host" "${WORK}/module" "${WORK}/cwd")
get_filename_component(host_name "${HOST}" NAME)
get_filename_component(module_name "${MODULE}" NAME)
file(COPY_FILE "${HOST}" "${WORK}/host/${host_name}")
file(COPY_FILE "${MODULE}" "${WORK}/module/${module_name}")
# FIRST, when given: a DLL the host loads before the module (x86: GCC's
# shared unwinder, whose presence once ended every exception of a module
# carrying its own).
set(runs alone)
if(FIRST)
  list(APPEND runs first)
endif()
foreach(run IN LISTS runs)
  set(first_argument "")
  if(run STREQUAL "first")
    set(first_argument "${FIRST}")
  endif()
  execute_process(COMMAND ${EMULATOR} "${WORK}/host/${host_name}" "${WORK}/module/${module_name}" ${first_argument}
    WORKING_DIRECTORY "${WORK}/cwd" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "getCreateGameOption\\(99\\) returned 0\n.*endGame returned")
    message(FATAL_ERROR "the module did not keep its exceptions (${run}, ${first_argument}: ${rc}):\n${out}\n${err}")
  endif()
endforeach()
message(STATUS "${module_name} imports only Windows' DLLs and keeps its exceptions (${runs}): ${imports}")
