# VANTRELL_JNI_INCLUDE_DIRS: where jni.h and the target's jni_md.h are.
# Native builds take both from the JDK that builds the Java side; a cross
# build presets the variable (its target's jni_md.h is not in this JDK).
if(NOT VANTRELL_JNI_INCLUDE_DIRS)
  find_package(Java 17 REQUIRED COMPONENTS Development)
  file(REAL_PATH "${Java_JAVAC_EXECUTABLE}" _javac)
  get_filename_component(_jdk_home "${_javac}" DIRECTORY)
  get_filename_component(_jdk_home "${_jdk_home}" DIRECTORY)
  if(NOT EXISTS "${_jdk_home}/include/jni.h")
    message(FATAL_ERROR "No jni.h under the JDK at ${_jdk_home}")
  endif()
  set(VANTRELL_JDK_HOME "${_jdk_home}" CACHE PATH "The JDK whose jni.h the bridge uses")
  set(VANTRELL_JNI_INCLUDE_DIRS "${_jdk_home}/include" "${_jdk_home}/include/linux"
      CACHE STRING "Directories holding jni.h and jni_md.h")
endif()
