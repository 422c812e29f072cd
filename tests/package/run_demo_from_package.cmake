# Plays the demo session from the unpacked package FOLDER on the real JVM
# and compares the whole output with the golden TRANSCRIPT. MODE says how
# the host finds the bridge:
#   property    -Dvantrell.library=<absolute path>
#   relative    -Dvantrell.library=<path relative to the working directory>
#   classpath   nothing but the jars on the class path: the jar's own copy
#   modulepath  nothing but the jars on the module path: the jar's own copy
#   isolated    the jars on the class path, and -Dvantrell.isolation=process:
#               the jar's bridge built for isolation, every module played
#               through the companion it carries; in a temporary folder of
#               its own, where an earlier host that crashed left its copies,
#               which this one removes, as it removes its own at its exit
#   cmake -DJAVA=... -DFOLDER=... -DVERSION=... -DTRANSCRIPT=... -DMODE=... -P run_demo_from_package.cmake
cmake_policy(VERSION 3.25)
set(bridge_jar "${FOLDER}/native-ai-bridge-${VERSION}.jar")
set(demo_jar "${FOLDER}/demo-host-${VERSION}.jar")
set(module "${FOLDER}/libtarrowby.so")
# A working directory of its own, holding nothing.
set(elsewhere "${CMAKE_CURRENT_BINARY_DIR}/demo-${MODE}")
file(REMOVE_RECURSE "${elsewhere}")
file(MAKE_DIRECTORY "${elsewhere}")
set(workdir "${elsewhere}")
if(MODE STREQUAL "property")
  set(host "-Dvantrell.library=${FOLDER}/libvantrell.so" -jar "${demo_jar}")
elseif(MODE STREQUAL "relative")
  set(workdir "${FOLDER}")
  set(host "-Dvantrell.library=libvantrell.so" -jar "${demo_jar}")
elseif(MODE STREQUAL "classpath")
  set(host -cp "${bridge_jar}:${demo_jar}" com.quenbrook.ravo.tessel.demo.DemoHost)
elseif(MODE STREQUAL "modulepath")
  set(host --module-path "${bridge_jar}:${demo_jar}"
           -m com.quenbrook.ravo.tessel.demo/com.quenbrook.ravo.tessel.demo.DemoHost)
elseif(MODE STREQUAL "isolated")
  set(temporary "${CMAKE_CURRENT_BINARY_DIR}/demo-${MODE}-tmp")
  file(REMOVE_RECURSE "${temporary}")
  file(MAKE_DIRECTORY "${temporary}/vantrell-crashed")
  file(WRITE "${temporary}/vantrell-crashed/.owner" "")
  file(WRITE "${temporary}/vantrell-crashed/vantrell-companion-x86_64" "left behind")
  set(host -Dvantrell.isolation=process "-Djava.io.tmpdir=${temporary}" -cp "${bridge_jar}:${demo_jar}"
           com.quenbrook.ravo.tessel.demo.DemoHost)
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
# -Djava.library.path names the empty folder: the jar's copy is the only
# bridge there is to find, unless the mode names one.
execute_process(
  COMMAND "${JAVA}" -Xcheck:jni "-Djava.library.path=${elsewhere}" ${host} "${module}"
  WORKING_DIRECTORY "${workdir}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the demo host failed (${rc}):\n${errors}\n${output}")
endif()
file(READ "${TRANSCRIPT}" expected)
if(NOT output STREQUAL expected)
  file(WRITE "${elsewhere}/session.txt" "${output}")
  message(FATAL_ERROR "the session from the package differs from ${TRANSCRIPT}: see ${elsewhere}/session.txt")
endif()
file(GLOB left "${elsewhere}/*")
if(left)
  message(FATAL_ERROR "the host left files in its working directory: ${left}")
endif()
if(temporary)
  file(GLOB left LIST_DIRECTORIES true "${temporary}/vantrell-*")
  if(left)
    message(FATAL_ERROR "copies of the jar's files are left in the temporary folder: ${left}")
  endif()
endif()
message(STATUS "the session from the package (${MODE}) is the recorded one")
