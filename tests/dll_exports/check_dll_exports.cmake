# Checks that the export table of the DLL LIBRARY holds exactly the names
# EXPECTED (comma-separated), each once, and no export without a name.
#   cmake -DOBJDUMP=... -DLIBRARY=... -DEXPECTED=a,b -P check_dll_exports.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}: ${errors}")
endif()

# The export directory's two tables, as objdump prints them:
#   Export Address Table -- Ordinal Base 1
#   	[   0] +base[   1] 14b0 Export RVA
#   ...
#   [Ordinal/Name Pointer] Table
#   	[   0] _abortGame@4
string(REGEX MATCHALL "[^\n]*\n" lines "${listing}\n")
set(section "")
set(names)
set(addresses 0)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^Export Address Table -- ")
    set(section addresses)
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section names)
  elseif(line STREQUAL "")
    set(section "")
  elseif(section STREQUAL "addresses" AND line MATCHES "^\\[ *[0-9]+\\] ")
    math(EXPR addresses "${addresses} + 1")
  elseif(section STREQUAL "names" AND line MATCHES "^\\[ *[0-9]+\\] (.+)$")
    list(APPEND names "${CMAKE_MATCH_1}")
  endif()
endforeach()

string(REPLACE "," ";" expected "${EXPECTED}")
set(missing ${expected})
if(names)
  list(REMOVE_ITEM missing ${names})
endif()
set(unexpected ${names})
list(REMOVE_ITEM unexpected ${expected})
set(distinct ${names})
list(REMOVE_DUPLICATES distinct)
list(LENGTH names count)
list(LENGTH distinct distinct_count)
list(LENGTH expected expected_count)
if(missing OR unexpected OR NOT count EQUAL expected_count OR NOT distinct_count EQUAL count)
  string(REPLACE ";" "\n    " names_text "${names}")
  message(FATAL_ERROR "${LIBRARY} exports the wrong names\n  missing: ${missing}\n"
                      "  unexpected: ${unexpected}\n  exported (${count}):\n    ${names_text}")
endif()
if(NOT addresses EQUAL count)
  message(FATAL_ERROR "${LIBRARY} has ${addresses} exports for ${count} names: "
                      "some are exported by ordinal only")
endif()
message(STATUS "${count} exports as expected")

# -DHANDLER_REGISTRATION=ON: the x86 bridge registers a handler of its own
# on the thread's handler chain (the endGame guard). The dispatcher calls it
# only while the DLL declares no safe-handler table (which would not list
# it: the linker knows nothing of a handler registered from assembly) and
# lacks the NO_SEH flag. A toolchain that adds either breaks the guard.
if(HANDLER_REGISTRATION)
  if(NOT listing MATCHES "\nDllCharacteristics[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "no DllCharacteristics in objdump's listing of ${LIBRARY}")
  endif()
  math(EXPR no_seh "0x${CMAKE_MATCH_1} & 0x400")
  if(NOT no_seh EQUAL 0)
    message(FATAL_ERROR "${LIBRARY} has the NO_SEH flag (DllCharacteristics 0x${CMAKE_MATCH_1}): "
                        "the dispatcher would never call the endGame guard's handler")
  endif()
  if(NOT listing MATCHES "\nEntry a ([0-9a-fA-F]+) ([0-9a-fA-F]+) Load Configuration Directory")
    message(FATAL_ERROR "no load configuration entry in objdump's listing of ${LIBRARY}")
  endif()
  if(NOT CMAKE_MATCH_2 MATCHES "^0+$")
    message(FATAL_ERROR "${LIBRARY} has a load configuration directory, which may carry a safe-handler table "
                        "without the endGame guard's handler: the dispatcher would refuse it")
  endif()
  message(STATUS "no NO_SEH flag, no safe-handler table: the guard's handler is accepted")
endif()
