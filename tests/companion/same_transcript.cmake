# Runs companion_host's scene with the in-process bridge and with the bridge
# built for isolation, and compares the two outputs, which must also hold
# EXPECT. Each run must end by itself within the test's time: a companion
# left running would keep the output open.
#   cmake [-DEMULATOR=<runner;args>] -DHOST=... -DSCENE=... -DMODULE=... -DIN_PROCESS=<bridge>
#         -DISOLATED=<bridge> -DEXPECT=<regex> -P same_transcript.cmake
cmake_policy(VERSION 3.25)
foreach(bridge IN ITEMS IN_PROCESS ISOLATED)
  execute_process(COMMAND ${EMULATOR} "${HOST}" "${${bridge}}" "${SCENE}" "${MODULE}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 120)
  string(REPLACE "\r\n" "\n" output "${output}")
  if(NOT rc EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "${SCENE} with ${${bridge}} failed (${rc}):\n${errors}\noutput:\n${output}")
  endif()
  set(output_${bridge} "${output}")
endforeach()
if(NOT output_IN_PROCESS STREQUAL output_ISOLATED)
  message(FATAL_ERROR "${SCENE}: the transcripts differ.\n--- in process\n${output_IN_PROCESS}\n--- through the companion\n${output_ISOLATED}")
endif()
if(NOT output_ISOLATED MATCHES "${EXPECT}")
  message(FATAL_ERROR "${SCENE}: the transcript lacks /${EXPECT}/:\n${output_ISOLATED}")
endif()
message(STATUS "${SCENE}: the same transcript in process and through the companion:\n${output_ISOLATED}")
