# The package a host needs: the bridge, the sample module, the runtime DLLs
# the bridge loads, the jars (the declaration, its sources and javadoc, the
# demo host), the module contract and a README. Component "host":
#   cmake --install <build dir> --prefix <folder> --component host [--strip]
#   cpack (in the build folder): one archive with one top-level folder, its
#   libraries stripped of debug information; ZIP for Windows, tar.gz for Linux.
include_guard(GLOBAL)

# Everything the package holds that a build makes, as one target, which
# cpack builds before it installs: so it works in a folder that built less
# (the demo's, the SDK's). `cmake --install --component host` does not
# build; missing a file, it stops with one line naming the build to run.
add_custom_target(host_package_files)
set(_host_package_targets vantrell vantrell_isolated vantrell_sandboxed tarrowby vantrell_companion native_ai_bridge
    native_ai_bridge_jars demo_host)
foreach(_target vantrell-companion-i386 vantrell_companion_x86 aimodule-check aimodule-check-i386)
  if(TARGET ${_target})
    list(APPEND _host_package_targets ${_target})
  endif()
endforeach()
add_dependencies(host_package_files ${_host_package_targets})
set(CPACK_INSTALL_COMMANDS "\"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target host_package_files")
set(CPACK_VERBATIM_VARIABLES ON)

get_target_property(_bridge_jar native_ai_bridge JAR_FILE)
get_target_property(_demo_jar demo_host JAR_FILE)
set(_host_package_built ${_bridge_jar} ${_demo_jar} ${VANTRELL_BRIDGE_SOURCES_JAR} ${VANTRELL_BRIDGE_JAVADOC_JAR}
    ${VANTRELL_COMPANION_FILES})
foreach(_target IN LISTS _host_package_targets)
  get_target_property(_type ${_target} TYPE)
  if(NOT _type STREQUAL "UTILITY")
    list(APPEND _host_package_built "$<TARGET_FILE:${_target}>")
  endif()
endforeach()
install(CODE "foreach(_file IN ITEMS ${_host_package_built})
  if(NOT EXISTS \"\${_file}\")
    message(FATAL_ERROR \"\${_file} is not built: run cmake --build ${CMAKE_BINARY_DIR} --target host_package_files first\")
  endif()
endforeach()" COMPONENT host)
install(TARGETS vantrell vantrell_isolated vantrell_sandboxed tarrowby RUNTIME DESTINATION . COMPONENT host
        LIBRARY DESTINATION . COMPONENT host)
# A copied file is not a target: it is stripped as --strip strips targets.
#   _vantrell_install_copied(<path> [<name in the package>])
function(_vantrell_install_copied path)
  get_filename_component(name "${path}" NAME)
  if(ARGC GREATER 1)
    set(name "${ARGV1}")
  endif()
  install(PROGRAMS "${path}" DESTINATION . RENAME "${name}" COMPONENT host)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\${CMAKE_INSTALL_PREFIX}/${name}\")
endif()" COMPONENT host)
endfunction()
# The companions, beside the bridge: of this build's width, and of the
# other (companion/CMakeLists.txt).
install(TARGETS vantrell_companion RUNTIME DESTINATION . COMPONENT host)
if(TARGET vantrell-companion-i386)
  install(TARGETS vantrell-companion-i386 RUNTIME DESTINATION . COMPONENT host)
elseif(TARGET vantrell_companion_x86)
  foreach(_file IN LISTS VANTRELL_COMPANION_FILES)
    if(_file MATCHES "\\.dll$")
      _vantrell_install_copied("${_file}")
    elseif(_file MATCHES "companion-x86\\.exe$")
      install(PROGRAMS "${_file}" DESTINATION . COMPONENT host)
    endif()
  endforeach()
endif()
install(FILES ${_bridge_jar} ${_demo_jar} ${VANTRELL_BRIDGE_SOURCES_JAR} ${VANTRELL_BRIDGE_JAVADOC_JAR}
              ${VANTRELL_BRIDGE_POM} DESTINATION . COMPONENT host)
install(FILES "${PROJECT_SOURCE_DIR}/include/ai_module.h" DESTINATION include COMPONENT host)
# The checker, which tells a host why a module does not load or only gives
# defaults (the bridge says no more than false), with the 32-bit one it runs
# for a 32-bit Linux module's session.
if(TARGET aimodule-check)
  install(TARGETS aimodule-check RUNTIME DESTINATION . COMPONENT host)
  if(TARGET aimodule-check-i386)
    install(TARGETS aimodule-check-i386 RUNTIME DESTINATION . COMPONENT host)
  endif()
  # A 64-bit Windows host plays 32-bit modules through its x86 companion,
  # and this checker cannot load them: the x86 build's checker, when
  # VANTRELL_OTHER_BUILDS names that build, ships beside it (cpack builds it).
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    foreach(_other IN LISTS VANTRELL_OTHER_BUILDS)
      set(_has_checker "")
      if(_other MATCHES "x86$" AND EXISTS "${_other}/CMakeCache.txt")
        file(STRINGS "${_other}/CMakeCache.txt" _has_checker REGEX "^VANTRELL_BUILD_CHECKER:BOOL=ON$")
      endif()
      if(_has_checker)
        set(VANTRELL_X86_CHECKER "${_other}/bin/aimodule-check.exe")
        _vantrell_install_copied("${VANTRELL_X86_CHECKER}" aimodule-check-x86.exe)
        list(APPEND CPACK_INSTALL_COMMANDS "\"${CMAKE_COMMAND}\" --build \"${_other}\" --target aimodule-check")
      endif()
    endforeach()
  endif()
endif()
# Component "maven": the bridge jar, its sources and javadoc and its POM in
# a Maven repository's layout (scripts/install-maven.sh):
#   cmake --install <build dir> --component maven --prefix ~/.m2/repository
install(FILES ${_bridge_jar} ${VANTRELL_BRIDGE_SOURCES_JAR} ${VANTRELL_BRIDGE_JAVADOC_JAR} ${VANTRELL_BRIDGE_POM}
        DESTINATION com/quenbrook/ravo/tessel/native-ai-bridge/${PROJECT_VERSION} COMPONENT maven)

# The DLLs the bridge imports that Windows does not provide (x86: GCC's
# unwinder, shared with the modules; bridge/CMakeLists.txt) ship beside it.
set(VANTRELL_PACKAGE_DLLS)
if(WIN32)
  get_target_property(VANTRELL_PACKAGE_DLLS vantrell VANTRELL_BRIDGE_DLLS)
endif()
set(VANTRELL_RUNTIME_LINES "")
if(VANTRELL_PACKAGE_DLLS)
  foreach(_dll IN LISTS VANTRELL_PACKAGE_DLLS)
    _vantrell_install_copied("${_dll}")
    get_filename_component(_name "${_dll}" NAME)
    string(APPEND VANTRELL_RUNTIME_LINES "- ${_name}: GCC's unwinder, which the bridge needs and shares with modules built with\n  GCC's shared runtime (a C++ module with GCC's runtime linked in gives its own unwinder its\n  unwind tables: add_ai_module sees to it)\n")
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
# The oldest C library the Linux files may need (tests/package checks it).
set(VANTRELL_GLIBC_PROMISED 2.34)
set(VANTRELL_BRIDGE_FILE "$<TARGET_FILE_NAME:vantrell>")
set(VANTRELL_ISOLATED_FILE "$<TARGET_FILE_NAME:vantrell_isolated>")
set(VANTRELL_SANDBOXED_FILE "$<TARGET_FILE_NAME:vantrell_sandboxed>")
set(VANTRELL_SAMPLE_FILE "$<TARGET_FILE_NAME:tarrowby>")
# The companions the package holds, a line each.
set(VANTRELL_COMPANION_LINES
    "- $<TARGET_FILE_NAME:vantrell_companion>: the companion process for modules of this width, which the bridge\n  built for isolation plays every module through\n")
if(TARGET vantrell-companion-i386)
  string(APPEND VANTRELL_COMPANION_LINES
         "- $<TARGET_FILE_NAME:vantrell-companion-i386>: the companion process for 32-bit x86 modules, which both bridges play\n  through it (it needs the system's i386 C library and GCC runtime, and a kernel that runs\n  32-bit programs)\n")
elseif(TARGET vantrell_companion_x86)
  string(APPEND VANTRELL_COMPANION_LINES
         "- vantrell-companion-x86.exe: the companion process for 32-bit x86 modules, which both bridges play\n  through it, with libgcc_s_dw2-1.dll, GCC's unwinder, beside it\n")
endif()
if(WIN32)
  set(VANTRELL_PATH_SEPARATOR ";")
  if(VANTRELL_PACKAGE_DLLS)
    set(VANTRELL_PLATFORM_NOTE "On Windows the class path separator is ';'. Loaded by -Dvantrell.library or from
java.library.path, the bridge needs the DLLs listed above where Windows looks for a library's DLLs:
beside the program (java.exe), in the working directory or on PATH, not beside the bridge. The jar's
own copy needs nothing: the jar loads them first.")
  else()
    set(VANTRELL_PLATFORM_NOTE "On Windows the class path separator is ';'. The bridge needs no DLL but
Windows' own: it loads from any folder and any working directory.")
  endif()
else()
  set(VANTRELL_PATH_SEPARATOR ":")
  set(VANTRELL_PLATFORM_NOTE "The Linux bridge, its companions and the checker need glibc ${VANTRELL_GLIBC_PROMISED} or newer (Debian 12, Ubuntu 22.04,
RHEL 9 and later).")
endif()
# The checker: what it is, and how a host learns with it why a module did
# not load or only gives defaults.
set(VANTRELL_CHECKER_LINES "")
set(VANTRELL_CHECKER_COMMAND "aimodule-check --smoke <module>   (the SDK's: scripts/install-sdk.sh)")
if(TARGET aimodule-check)
  set(VANTRELL_CHECKER_LINES
      "- $<TARGET_FILE_NAME:aimodule-check>: the module checker: why a module does not load, or only gives defaults\n")
  if(TARGET aimodule-check-i386)
    string(APPEND VANTRELL_CHECKER_LINES
           "- aimodule-check-i386: the same for a 32-bit x86 module's session, which aimodule-check runs\n")
  endif()
  set(VANTRELL_CHECKER_COMMAND "<this folder>/$<TARGET_FILE_NAME:aimodule-check> --smoke <module>")
  if(VANTRELL_X86_CHECKER)
    string(APPEND VANTRELL_CHECKER_LINES
           "- aimodule-check-x86.exe: the checker of 32-bit Windows, for a 32-bit module, which this bridge plays\n"
           "  through vantrell-companion-x86.exe\n")
    string(APPEND VANTRELL_CHECKER_COMMAND "\n  <this folder>/aimodule-check-x86.exe --smoke <module>   (a 32-bit module)")
  endif()
endif()
set(VANTRELL_WHY_NOTE "Why a module does not load, or only gives defaults: the bridge says no more than false, and a
module that crashed in its companion only gives defaults. Run the checker on the module:
  ${VANTRELL_CHECKER_COMMAND}
(with --sandbox too for a host started with -Dvantrell.isolation=sandbox). It gives the loader's
reason (a wrong path, another architecture or width, a missing library, a kernel that refuses 32-bit
programs, what the sandbox lacks here) and names each call that crashes, hangs or throws.")
if(WIN32)
  set(VANTRELL_MODULE_PATH_NOTE "Module paths: initializeLibrary hands the path to Windows' loader as it is. A name without a
folder (my_player.dll) is searched in Windows' DLL search order, where the working directory comes
after the program's folder and the system folders: give an absolute path.")
else()
  set(VANTRELL_MODULE_PATH_NOTE "Module paths: initializeLibrary hands the path to the system's loader as it is. A name without a
slash (libmy_player.so) is searched only where the loader looks for libraries (LD_LIBRARY_PATH, its
cache, /lib, /usr/lib), never in the working directory: give ./libmy_player.so or an absolute path.
A path with a slash is taken from the working directory.")
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
