# Takes the bridge of PLATFORM out of the jar JAR, then replays the golden
# session with it from a copy of PROGRAM in an empty folder, in a working
# directory of its own: nothing the bridge needs may come from beside the
# program, the working directory or the build.
#   cmake -DEMULATOR=... -DPROGRAM=... -DMODULE=... -DJAR=... -DPLATFORM=... -DWORK=... -DTRANSCRIPT=...
#         -P replay_with_jar_bridge.cmake
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/jar" "${WORK}/program" "${WORK}/cwd")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${JAR}" WORKING_DIRECTORY "${WORK}/jar" RESULT_VARIABLE rc)
set(natives "${WORK}/jar/com/quenbrook/ravo/tessel/ai/natives/${PLATFORM}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${natives}/natives.list")
  message(FATAL_ERROR "${JAR} carries no bridge for ${PLATFORM}")
endif()
# The libraries it lists up to the bridge are loaded before it: only the
# bridge itself (after it come the companion program for 32-bit modules and
# the DLL that needs, which the jar's loader leaves unloaded).
file(STRINGS "${natives}/natives.list" files)
list(FIND files vantrell.dll bridge_at)
if(NOT bridge_at EQUAL 0)
  message(FATAL_ERROR "the jar's ${PLATFORM} bridge needs more than itself: ${files}")
endif()
get_filename_component(program_name "${PROGRAM}" NAME)
file(COPY_FILE "${PROGRAM}" "${WORK}/program/${program_name}")
execute_process(COMMAND "${CMAKE_COMMAND}" "-DEMULATOR=${EMULATOR}" "-DPROGRAM=${WORK}/program/${program_name}"
                        "-DMODULE=${MODULE}" "-DBRIDGE=${natives}/vantrell.dll" "-DTRANSCRIPT=${TRANSCRIPT}"
                        -P "${CMAKE_CURRENT_LIST_DIR}/../golden/compare_session.cmake"
  WORKING_DIRECTORY "${WORK}/cwd" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the session with the jar's bridge failed")
endif()
