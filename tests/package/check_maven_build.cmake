# A host author's Maven build against the bridge's coordinates, set up as
# docs/host-authors.md's offline setup says: the bridge installed into a fresh
# repository as scripts/install-maven.sh does; the settings and the plugin
# versions of docs/maven-offline, used as they stand; the project in
# maven_host/ packaged with Maven, once to copy Maven's plugins from Debian's
# packaged repository and once offline; then the host run from the jar
# Maven made, with the bridge's jar Maven resolved.
#   cmake -DMVN=... -DJAVA=... -DBUILD_DIR=... -DVERSION=... -DMODULE=... -DWORK=... -DOFFLINE_SETUP=... -P check_maven_build.cmake
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
set(repository "${WORK}/repository")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component maven --prefix "${repository}"
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the maven component did not install")
endif()
file(COPY "${CMAKE_CURRENT_LIST_DIR}/maven_host/src" DESTINATION "${WORK}/project")
file(READ "${OFFLINE_SETUP}/build-plugins.xml" BUILD_PLUGINS)
configure_file("${CMAKE_CURRENT_LIST_DIR}/maven_host/pom.xml.in" "${WORK}/project/pom.xml" @ONLY)
foreach(offline "" -o)
  execute_process(COMMAND "${MVN}" -B -q ${offline} -s "${OFFLINE_SETUP}/settings.xml"
                          "-Dmaven.repo.local=${repository}" package
    WORKING_DIRECTORY "${WORK}/project" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mvn ${offline} package failed (${rc}):\n${out}\n${err}")
  endif()
endforeach()
set(jar "${repository}/com/quenbrook/ravo/tessel/native-ai-bridge/${VERSION}/native-ai-bridge-${VERSION}.jar")
execute_process(COMMAND "${JAVA}" -cp "${WORK}/project/target/maven-host-1.jar:${jar}" host.MavenHost "${MODULE}"
  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "loaded: true\n" OR NOT out MATCHES "name: Tarrowby\n")
  message(FATAL_ERROR "the Maven-built host did not play the module (${rc}):\n${out}\n${err}")
endif()
message(STATUS "Maven packaged a host against com.quenbrook.ravo.tessel:native-ai-bridge:${VERSION}, offline, and the host played")
