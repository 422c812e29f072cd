# Tests that run programs built for the target. In a cross build whose
# programs cannot run on this machine (cmake/WineRunner.cmake), they run the
# stand-in instead and are reported as skipped, with its reason in their
# output; nothing else about them changes.
#
#   vantrell_add_target_test(NAME <name> COMMAND <command>... [<add_test options>])
#       add_test(), for a test whose command runs a target program, itself
#       or through a script handed CMAKE_CROSSCOMPILING_EMULATOR.
#
#   vantrell_discover_tests(<target>)
#       gtest_discover_tests() for a GoogleTest program; where the target's
#       programs cannot run (nothing to list the tests), one test named
#       after the program instead.
include_guard(GLOBAL)
include(GoogleTest)

set(VANTRELL_SKIPPED_MARK "\\[target-program-not-run\\]")

function(vantrell_add_target_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME" "")
  add_test(NAME ${arg_NAME} ${arg_UNPARSED_ARGUMENTS})
  if(CMAKE_CROSSCOMPILING AND NOT VANTRELL_TARGET_RUNS)
    set_tests_properties(${arg_NAME} PROPERTIES SKIP_REGULAR_EXPRESSION "${VANTRELL_SKIPPED_MARK}")
  endif()
endfunction()

function(vantrell_discover_tests target)
  if(NOT CMAKE_CROSSCOMPILING OR VANTRELL_TARGET_RUNS)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  else()
    vantrell_add_target_test(NAME ${target} COMMAND ${target})
  endif()
endfunction()
