# The package a host needs: the bridge, the sample module, the runtime DLLs
# the bridge loads, the jars (the declaration, its sources and javadoc, the
# demo host), the module contract and a README. Component "host":
#   cmake --install <build dir> --prefix <folder> --component host [--strip]
#   cpack (in the build folder): one archive with one top-level folder, its
#   libraries stripped of debug information; ZIP for Windows, tar.gz for Linux.
include_guard(GLOBAL)

install(TARGETS vantrell tarrowby RUNTIME DESTINATION . COMPONENT host LIBRARY DESTINATION . COMPONENT host)
get_target_property(_bridge_jar native_ai_bridge JAR_FILE)
get_target_property(_demo_jar demo_host JAR_FILE)
install(FILES ${_bridge_jar} ${_demo_jar} ${VANTRELL_BRIDGE_SOURCES_JAR} ${VANTRELL_BRIDGE_JAVADOC_JAR}
        DESTINATION . COMPONENT host)
install(FILES "${PROJECT_SOURCE_DIR}/include/ai_module.h" DESTINATION include COMPONENT host)

# On Windows the bridge carries its C++ runtime (-static-libstdc++) but
# shares GCC's unwinder with the modules, so libgcc's DLL ships beside it.
set(VANTRELL_PACKAGE_DLLS)
foreach(_dll IN LISTS VANTRELL_RUNTIME_DLLS)
  get_filename_component(_name "${_dll}" NAME)
  if(_name MATCHES "^libgcc_s_")
    list(APPEND VANTRELL_PACKAGE_DLLS "${_dll}")
  endif()
endforeach()
set(VANTRELL_RUNTIME_LINES "")
if(VANTRELL_PACKAGE_DLLS)
  install(FILES ${VANTRELL_PACKAGE_DLLS} DESTINATION . COMPONENT host)
  foreach(_dll IN LISTS VANTRELL_PACKAGE_DLLS)
    get_filename_component(_name "${_dll}" NAME)
    string(APPEND VANTRELL_RUNTIME_LINES "- ${_name}: GCC's unwinder, shared by the bridge and C++ modules\n")
    # A copied file is not a target: strip it as --strip strips targets.
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\${CMAKE_INSTALL_PREFIX}/${_name}\")
endif()" COMPONENT host)
  endforeach()
endif()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VANTRELL_PACKAGE_TARGET "64-bit Windows (hosts on a 64-bit JVM)")
  set(CPACK_SYSTEM_NAME windows-x64)
elseif(WIN32)
  set(VANTRELL_PACKAGE_TARGET "32-bit Windows (hosts on a 32-bit JVM)")
  set(CPACK_SYSTEM_NAME windows-x86)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
  set(VANTRELL_PACKAGE_TARGET "${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(VANTRELL_BRIDGE_FILE "$<TARGET_FILE_NAME:vantrell>")
set(VANTRELL_SAMPLE_FILE "$<TARGET_FILE_NAME:tarrowby>")
if(WIN32)
  set(VANTRELL_PLATFORM_NOTE "On Windows the class path separator is ';', and Windows finds a library's DLLs beside
the program and on PATH, not beside the library: put this folder on PATH.")
else()
  set(VANTRELL_PLATFORM_NOTE "")
endif()
configure_file("${CMAKE_CURRENT_LIST_DIR}/package/README.txt.in" "${CMAKE_BINARY_DIR}/package/README.txt.in" @ONLY)
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/package/README.txt" INPUT "${CMAKE_BINARY_DIR}/package/README.txt.in")
install(FILES "${CMAKE_BINARY_DIR}/package/README.txt" DESTINATION . COMPONENT host)

set(CPACK_PACKAGE_NAME tessel-ai-native)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
# The archive is the host package; the SDK installs with --component sdk.
set(CPACK_COMPONENTS_ALL host)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}")
include(CPack)
