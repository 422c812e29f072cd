#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the
# native Linux build, the sanitized Linux build, then the 32-bit Windows
# cross build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows

cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# The C++ suites, the modules and the fuzzer again, built by clang with
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails a test.
cmake --preset linux-sanitize
cmake --build --preset linux-sanitize
ctest --preset linux-sanitize

# Wine without a display and without the Mono/Gecko installers, so that a
# fresh prefix is made unattended (as root in CI too). The build's own runs
# set the same; this covers anything started from here.
export DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml="
cmake --preset windows-x86
cmake --build --preset windows-x86
ctest --preset windows-x86
