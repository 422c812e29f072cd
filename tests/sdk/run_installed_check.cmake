# Installs the Windows checker of the build INSTALL_FROM into the SDK in
# PREFIX, as scripts/install-sdk.sh does, then runs the checker as
# tests/checker/run_check.cmake does (same arguments).
#   cmake -DINSTALL_FROM=... -DPREFIX=... <run_check.cmake arguments> -P run_installed_check.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${INSTALL_FROM}" --prefix "${PREFIX}"
                        --component sdk_windows_checker RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the Windows checker of ${INSTALL_FROM} did not install")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/../checker/run_check.cmake")
