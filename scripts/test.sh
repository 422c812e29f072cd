#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: the
# Windows cross builds with their tests under Wine, then the native Linux
# build (whose jar carries every bridge) and the sanitized Linux build. The
# Windows tests run x64 under wine64, and x86, the real
# target, under 32-bit Wine, natively or, where this machine refuses 32-bit
# programs, under qemu-i386 user emulation (if that cannot be set up, the
# tests that must run x86 programs are reported as skipped, with the reason
# at the end). A package group that could not be installed (a mirror sync
# in progress, say) is named at the end with what it cost.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows

run_preset() {
    local preset=$1
    shift
    cmake --preset "$preset" "$@"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
}

# Wine without a display and without the Mono/Gecko installers, so that a
# fresh prefix is made unattended (as root in CI too). The build's own runs
# set the same; this covers anything started from here.
export DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml="
# x86 first: the x64 suite plays the x86 sample module through the x64
# bridge's x86 companion.
# Without the cross compilers (install-deps.sh names why), the Linux
# presets still build and test.
other_builds=
if command -v i686-w64-mingw32-g++ >/dev/null && command -v x86_64-w64-mingw32-g++ >/dev/null; then
    run_preset windows-x86
    run_preset windows-x64 "-DVANTRELL_OTHER_BUILDS=$PWD/build/windows-x86"
    other_builds="$PWD/build/windows-x86;$PWD/build/windows-x64"
fi

# The Linux build last: its bridge jar carries the Windows bridges too.
run_preset linux "-DVANTRELL_OTHER_BUILDS=$other_builds"

# The C++ suites, the modules and the fuzzer again, built by clang with
# AddressSanitizer and UndefinedBehaviorSanitizer; any report fails a test.
run_preset linux-sanitize

if [[ -f build/missing-dependencies.txt ]]; then
    echo "Not installed, and what it cost this run:"
    sed 's/^/  /' build/missing-dependencies.txt
fi
for preset in windows-x64 windows-x86; do
    if [[ -f "build/$preset/tests-not-run.txt" ]]; then
        echo "$preset: the tests reported as skipped were not run. $(cat "build/$preset/tests-not-run.txt")"
    fi
done
