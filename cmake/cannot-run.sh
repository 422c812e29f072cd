#!/bin/sh
# Stands in for Wine where the build's Windows programs cannot run:
# cannot-run.sh <reason> <program> <args>... says so, on both streams so
# that any caller's capture holds it, and fails. Tests added by
# vantrell_add_target_test() report output holding the first word, which no
# caller's line wrapping can split, as skipped (cmake/TargetTests.cmake).
message="[target-program-not-run] $2: $1"
echo "$message"
echo "$message" >&2
exit 77
