# Compiles the <pre>{@code ...}</pre> example of a javadoc comment (SOURCE)
# as the body of a method, against CLASS_PATH, warnings taken as errors.
#   cmake -DJAVAC=... -DSOURCE=... -DCLASS_PATH=... -DWORK=... -P compile_javadoc_example.cmake
cmake_policy(VERSION 3.25)
file(READ "${SOURCE}" text)
if(NOT text MATCHES "<pre>{@code\n(.*)\n \\* }</pre>")
  message(FATAL_ERROR "${SOURCE} has no <pre>{@code ...}</pre> example")
endif()
string(REGEX REPLACE "(^|\n) \\* ?" "\\1" body "${CMAKE_MATCH_1}")
file(REMOVE_RECURSE "${WORK}")
file(WRITE "${WORK}/JavadocExample.java"
  "import com.quenbrook.ravo.tessel.ai.NativeAIBridge;\n\n"
  "final class JavadocExample {\n    static void play() {\n${body}\n    }\n}\n")
execute_process(COMMAND "${JAVAC}" -Xlint:all -Werror -cp "${CLASS_PATH}" -d "${WORK}/classes"
                        "${WORK}/JavadocExample.java"
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the example of ${SOURCE} does not compile:\n${output}")
endif()
message(STATUS "the example of ${SOURCE} compiles")
