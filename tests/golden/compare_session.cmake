# Runs replay_session on the transcript and compares its standard output
# with the transcript: first the module's lines ("Tarrowby: ..."), line for
# line, then the whole output, which shows each module line where it fell
# between the host's calls.
#   cmake [-DEMULATOR=<runner;args>] -DPROGRAM=... -DMODULE=... -DTRANSCRIPT=...
#         [-DBRIDGE=<another bridge than the build's>] -P compare_session.cmake
# A Windows program's text-mode standard output ends its lines in CR LF: a
# CR just before a LF is dropped before comparing; any other CR counts.
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" "${TRANSCRIPT}" "${MODULE}" ${BRIDGE}
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "replay_session failed (${rc}):\n${errors}\noutput:\n${output}")
endif()
# The bridge writes no log: nothing of the session may reach standard error.
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "the session wrote to standard error:\n${errors}")
endif()
file(READ "${TRANSCRIPT}" expected)
string(REPLACE "\r\n" "\n" output "${output}")

# Lines as list items; brackets and semicolons would confuse CMake lists.
function(lines_of text out_var)
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

function(compare what actual_lines expected_lines)
  list(LENGTH actual_lines actual_count)
  list(LENGTH expected_lines expected_count)
  set(index 0)
  while(index LESS actual_count AND index LESS expected_count)
    list(GET actual_lines ${index} actual)
    list(GET expected_lines ${index} wanted)
    if(NOT actual STREQUAL wanted)
      math(EXPR number "${index} + 1")
      message(FATAL_ERROR "${what}, line ${number}:\n  expected: ${wanted}\n  got:      ${actual}")
    endif()
    math(EXPR index "${index} + 1")
  endwhile()
  if(NOT actual_count EQUAL expected_count)
    message(FATAL_ERROR "${what}: ${actual_count} lines, expected ${expected_count}")
  endif()
  message(STATUS "${what}: ${actual_count} lines as recorded")
endfunction()

lines_of("${output}" actual_all)
lines_of("${expected}" expected_all)
set(actual_module ${actual_all})
set(expected_module ${expected_all})
list(FILTER actual_module INCLUDE REGEX "^Tarrowby: ")
list(FILTER expected_module INCLUDE REGEX "^Tarrowby: ")
list(LENGTH expected_module module_count)
if(module_count EQUAL 0)
  message(FATAL_ERROR "${TRANSCRIPT} holds no module lines")
endif()
compare("the module's lines" "${actual_module}" "${expected_module}")
compare("the whole session" "${actual_all}" "${expected_all}")
