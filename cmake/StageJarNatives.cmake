# Copies one platform's native files into FOLDER for the bridge jar, strips
# them as the host package's are (all but the symbols they export), and
# lists their names in natives.list in the order given: what the bridge
# imports, the bridge, then what the jar's loader copies beside it without
# loading (NativeLibraryLoader).
#   cmake -DFOLDER=<dir> -DFILES=<file;...> [-DSTRIP=<strip>] -P StageJarNatives.cmake
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
set(names "")
foreach(file IN LISTS FILES)
  if(file STREQUAL "")
    continue()
  endif()
  get_filename_component(name "${file}" NAME)
  file(COPY_FILE "${file}" "${FOLDER}/${name}")
  if(STRIP)
    execute_process(COMMAND "${STRIP}" --strip-unneeded "${FOLDER}/${name}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${STRIP} failed on ${FOLDER}/${name}")
    endif()
  endif()
  string(APPEND names "${name}\n")
endforeach()
file(WRITE "${FOLDER}/natives.list" "${names}")
