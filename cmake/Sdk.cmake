# The SDK for module authors, installed with `cmake --install <build>
# --component sdk`: the contract header, add_ai_module() as a CMake package
# (find_package(AiModule)), and the tools it and its authors use.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(sdk_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/AiModule")
configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/AiModuleConfig.cmake.in" "${CMAKE_BINARY_DIR}/sdk/AiModuleConfig.cmake"
  INSTALL_DESTINATION "${sdk_cmake_dir}"
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_BINDIR)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/sdk/AiModuleConfigVersion.cmake"
  VERSION 1.0 COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

install(FILES "${PROJECT_SOURCE_DIR}/include/ai_module.h" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT sdk)
install(FILES "${CMAKE_CURRENT_LIST_DIR}/AiModule.cmake" "${CMAKE_BINARY_DIR}/sdk/AiModuleConfig.cmake"
              "${CMAKE_BINARY_DIR}/sdk/AiModuleConfigVersion.cmake"
        DESTINATION "${sdk_cmake_dir}" COMPONENT sdk)
install(TARGETS aimodule-check RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
if(VANTRELL_RUNTIME_DLLS)
  install(FILES ${VANTRELL_RUNTIME_DLLS} DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
endif()
if(TARGET elf-export-names)
  install(TARGETS elf-export-names RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT sdk)
endif()
