# The bridge's exports, made from the contract's list.
#
#   vantrell_bridge_exports(<target>)
#       Sets the target's AI_EXPORT_NAMES property to the JNI names of
#       NativeAIBridge's native methods: initializeLibrary and one per
#       module function. On 32-bit Windows each is the JNICALL (__stdcall)
#       decoration of the JNI name: 8 bytes for the JNIEnv and the class,
#       then the Java arguments, 4 bytes each like the module function's
#       parameters. On x64 and on ELF platforms the JNI name stands
#       undecorated. On Windows it also adds the definition file that
#       exports exactly those names.
include_guard(GLOBAL)
include(AiModule)

function(vantrell_bridge_exports target)
  set(prefix Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_)
  ai_module_functions(names bytes)
  set(jni_names)
  foreach(name size IN ZIP_LISTS names bytes)
    if(name STREQUAL "initialize")
      # The Java class's own method comes first in the table.
      list(APPEND jni_names "initializeLibrary:4")
    endif()
    list(APPEND jni_names "${name}:${size}")
  endforeach()
  set(export_names)
  set(def "EXPORTS\n")
  foreach(entry IN LISTS jni_names)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 size)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
      math(EXPR size "8 + ${size}")
      list(APPEND export_names "_${prefix}${name}@${size}")
      string(APPEND def "    _${prefix}${name}@${size} = ${prefix}${name}@${size}\n")
    else()
      list(APPEND export_names "${prefix}${name}")
      string(APPEND def "    ${prefix}${name}\n")
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY AI_EXPORT_NAMES ${export_names})
  if(WIN32)
    set(def_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
    file(GENERATE OUTPUT "${def_file}" CONTENT "${def}")
    target_sources(${target} PRIVATE "${def_file}")
  endif()
endfunction()
