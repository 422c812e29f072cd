# VANTRELL_JNI_INCLUDE_DIRS: where jni.h and the target's jni_md.h are.
# Native builds take both from the JDK that builds the Java side. A cross
# build to Windows (x86 or x64) takes jni.h from that JDK and jni_md.h from
# jni/win32 beside this file (the JDK holds only its own platform's copy).
# Any other cross build presets the variable.
if(NOT VANTRELL_JNI_INCLUDE_DIRS)
  find_package(Java 17 REQUIRED COMPONENTS Development)
  file(REAL_PATH "${Java_JAVAC_EXECUTABLE}" _javac)
  get_filename_component(_jdk_home "${_javac}" DIRECTORY)
  get_filename_component(_jdk_home "${_jdk_home}" DIRECTORY)
  if(NOT EXISTS "${_jdk_home}/include/jni.h")
    message(FATAL_ERROR "No jni.h under the JDK at ${_jdk_home}")
  endif()
  if(CMAKE_CROSSCOMPILING AND WIN32)
    set(_jni_md_dir "${CMAKE_CURRENT_LIST_DIR}/jni/win32")
  elseif(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "Set VANTRELL_JNI_INCLUDE_DIRS to the jni.h directory and this target's jni_md.h directory")
  else()
    set(_jni_md_dir "${_jdk_home}/include/linux")
  endif()
  get_filename_component(_jni_md_dir "${_jni_md_dir}" ABSOLUTE)
  set(VANTRELL_JNI_INCLUDE_DIRS "${_jdk_home}/include" "${_jni_md_dir}"
      CACHE STRING "Directories holding jni.h and jni_md.h")
endif()
