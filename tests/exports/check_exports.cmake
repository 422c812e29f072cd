# Checks that LIBRARY's defined dynamic symbols are exactly EXPECTED
# (comma-separated), as nm -D --defined-only lists them.
#   cmake -DNM=... -DLIBRARY=... -DEXPECTED=a,b -P check_exports.cmake
execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}: ${errors}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(actual)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND actual "${name}")
endforeach()
string(REPLACE "," ";" expected "${EXPECTED}")
set(missing ${expected})
list(REMOVE_ITEM missing ${actual})
set(unexpected ${actual})
list(REMOVE_ITEM unexpected ${expected})
list(LENGTH actual actual_count)
list(LENGTH expected expected_count)
if(missing OR unexpected OR NOT actual_count EQUAL expected_count)
  message(FATAL_ERROR "${LIBRARY} exports the wrong names\n  missing: ${missing}\n"
                      "  unexpected: ${unexpected}\n  nm listing:\n${listing}")
endif()
message(STATUS "${actual_count} exports as expected")
