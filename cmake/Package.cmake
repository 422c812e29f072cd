# The package a host needs: the bridge, the sample module, the runtime DLLs
# they load, the module contract and the Java declaration of the bridge.
#   cmake --install <build dir> --prefix <folder> [--component host]
#   (or cpack, a ZIP)
# Everything lands in the folder itself except the header (include/) and the
# Java source (java/, in its package folders). Component "host".
include_guard(GLOBAL)

install(FILES $<TARGET_FILE:vantrell> $<TARGET_FILE:tarrowby> DESTINATION . COMPONENT host)
if(VANTRELL_RUNTIME_DLLS)
  install(FILES ${VANTRELL_RUNTIME_DLLS} DESTINATION . COMPONENT host)
endif()
install(FILES "${PROJECT_SOURCE_DIR}/include/ai_module.h" DESTINATION include COMPONENT host)
install(FILES "${PROJECT_SOURCE_DIR}/java/bridge/com/quenbrook/ravo/tessel/ai/NativeAIBridge.java"
  DESTINATION java/com/quenbrook/ravo/tessel/ai COMPONENT host)

set(CPACK_PACKAGE_NAME tessel-ai-native)
set(CPACK_GENERATOR ZIP)
# The ZIP is the host package; the SDK installs with --component sdk.
set(CPACK_COMPONENTS_ALL host)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME windows-x64)
elseif(WIN32)
  set(CPACK_SYSTEM_NAME windows-x86)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
endif()
# The project has no version number; the name says only what it is for.
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${CPACK_SYSTEM_NAME}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
