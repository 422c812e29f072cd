# The SDK for module authors, installed with `cmake --install <build>
# --component sdk`: the contract headers, add_ai_module() as a CMake package
# (find_package(AiModule)) with imported targets, the tools it and its
# authors use, the authors' guide and the example modules
# (share/ai-module-sdk). A Windows build adds its checker with
# --component sdk_windows_checker: bin/aimodule-check-x86.exe or
# bin/aimodule-check-x64.exe, which the Linux checker runs under Wine for a
# Windows module's smoke session. The targets:
#   AiModule::contract          the headers (ai_module.h)
#   AiModule::elf-export-names  the post-link step of add_ai_module on ELF
#   AiModule::aimodule-check    the checker, when the build has it
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(sdk_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/AiModule")
configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/AiModuleConfig.cmake.in" "${CMAKE_BINARY_DIR}/sdk/AiModuleConfig.cmake"
  INSTALL_DESTINATION "${sdk_cmake_dir}")
write_basic_package_version_file("${CMAKE_BINARY_DIR}/sdk/AiModuleConfigVersion.cmake"
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

install(FILES "${PROJECT_SOURCE_DIR}/include/ai_module.h" "${PROJECT_SOURCE_DIR}/include/ai_module_list.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT sdk)
install(FILES "${CMAKE_CURRENT_LIST_DIR}/AiModule.cmake" "${CMAKE_CURRENT_LIST_DIR}/AiModuleExports.cmake"
              "${CMAKE_CURRENT_LIST_DIR}/ai_module_end_game_catch.cpp"
              "${CMAKE_CURRENT_LIST_DIR}/ai_module_unwind_tables.cpp" "${CMAKE_CURRENT_LIST_DIR}/near_miss_rules.txt"
              "${CMAKE_BINARY_DIR}/sdk/AiModuleConfig.cmake"
              "${CMAKE_BINARY_DIR}/sdk/AiModuleConfigVersion.cmake"
        DESTINATION "${sdk_cmake_dir}" COMPONENT sdk)

# Toolchain files for cross-building Windows modules on Linux with
# MinGW-w64; they find the SDK through CMAKE_PREFIX_PATH.
install(FILES "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-cross.cmake" "${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-w64-mingw32.cmake"
              "${CMAKE_CURRENT_LIST_DIR}/toolchain-x86_64-w64-mingw32.cmake"
        DESTINATION "${sdk_cmake_dir}/toolchains" COMPONENT sdk)

set_target_properties(ai_module_contract PROPERTIES EXPORT_NAME contract)
set(sdk_targets ai_module_contract)
foreach(tool aimodule-check elf-export-names)
  if(TARGET ${tool})
    list(APPEND sdk_targets ${tool})
  endif()
endforeach()
install(TARGETS ${sdk_targets} EXPORT AiModuleTargets
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
install(EXPORT AiModuleTargets NAMESPACE AiModule:: DESTINATION "${sdk_cmake_dir}" COMPONENT sdk)
# The 32-bit checker, which the checker runs for a 32-bit Linux module.
if(TARGET aimodule-check-i386)
  install(TARGETS aimodule-check-i386 RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
endif()
if(VANTRELL_RUNTIME_DLLS AND TARGET aimodule-check)
  install(FILES ${VANTRELL_RUNTIME_DLLS} DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
endif()

# A host to play a module in: the demo host and the bridge's jar beside it,
# which carries the bridge (java -jar share/ai-module-sdk/host/demo-host-<version>.jar <module>).
get_target_property(_sdk_bridge_jar native_ai_bridge JAR_FILE)
get_target_property(_sdk_demo_jar demo_host JAR_FILE)
install(FILES ${_sdk_bridge_jar} ${_sdk_demo_jar} DESTINATION "${CMAKE_INSTALL_DATADIR}/ai-module-sdk/host"
        COMPONENT sdk)
install(FILES "${PROJECT_SOURCE_DIR}/docs/module-authors.md" DESTINATION "${CMAKE_INSTALL_DATADIR}/ai-module-sdk"
        COMPONENT sdk)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/examples/" DESTINATION "${CMAKE_INSTALL_DATADIR}/ai-module-sdk/examples"
        COMPONENT sdk)

if(WIN32 AND TARGET aimodule-check)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_checker_name aimodule-check-x64.exe)
  else()
    set(_checker_name aimodule-check-x86.exe)
  endif()
  install(PROGRAMS $<TARGET_FILE:aimodule-check> DESTINATION "${CMAKE_INSTALL_BINDIR}" RENAME ${_checker_name}
          COMPONENT sdk_windows_checker)
  foreach(_dll IN LISTS VANTRELL_RUNTIME_DLLS)
    if(_dll MATCHES "/libgcc_s_[^/]*$" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
      install(FILES "${_dll}" DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk_windows_checker)
    endif()
  endforeach()
endif()
