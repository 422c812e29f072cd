#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need and this
# machine lacks. Does nothing when all is there.
#
#   scripts/install-deps.sh            the build and the Linux test stack
#   scripts/install-deps.sh --demo     only what the demo and the SDK need
#   scripts/install-deps.sh --jar      only what the bridge jar needs (with the
#                                      32-bit companion it carries)
#   scripts/install-deps.sh --windows  and the Windows cross compilers, Wine
#                                      and a way to run 32-bit Wine
#
# Packages are installed in groups that fail on their own, so that a mirror
# that is partly out of sync costs only what it must:
#   build       the compilers, CMake, the JDK, the Linux test stack: without
#               it nothing builds, so its failure ends the script
#   windows     the MinGW-w64 cross compilers, wine64, the GoogleTest sources
#               and a 32-bit C compiler
#   wine32      32-bit Wine: Debian's wine32:i386 where this machine runs
#               32-bit programs; where it refuses them (or where wine32:i386
#               cannot be installed), emulation/setup-i386-wine.sh fetches a
#               private 32-bit Wine into the user's cache and runs it under
#               qemu-i386 user emulation, changing nothing of the system's
# A failed index of `apt-get update` (a mirror sync in progress) is retried
# once and then named; the indexes that arrived are used. A group that still
# fails is named, with what it costs, in build/missing-dependencies.txt, which
# scripts/test.sh prints at its end.
set -uo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
report=build/missing-dependencies.txt
mkdir -p build
rm -f "$report"

as_root=()
((EUID == 0)) || as_root=(sudo)

say() { echo "install-deps: $*" >&2; }

missing_of() {
    local package
    for package in "$@"; do
        [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) == "install ok installed" ]] || echo "$package"
    done
}

# apt-get update, tried twice; an index that still fails is named in one
# line and the rest are used.
updated=0
apt_update() {
    ((updated)) && return 0
    updated=1
    local log attempt failed status
    log=$(mktemp)
    for attempt in 1 2; do
        status=0
        "${as_root[@]}" apt-get update -q >"$log" 2>&1 || status=$?
        # "E: Failed to fetch http://.../dists/bookworm-security/main/binary-i386/Packages.xz  File has
        # unexpected size ..." becomes "bookworm-security/main i386: File has unexpected size ...".
        failed=$(sed -n 's#^[EW]: Failed to fetch \([^ ]*\)  *\(.*\)$#\1: \2#p' "$log" |
            sed 's#^[a-z]*://[^ ]*/dists/\([^/]*\)/\([^/]*\)/binary-\([^/]*\)/[^:]*#\1/\2 \3#; s# *\[IP:.*##')
        if [[ -z $failed ]] && ((status)); then
            failed=$(sed -n 's/^E: //p' "$log" | head -3)
            [[ -n $failed ]] || failed="its indexes (exit status $status)"
        fi
        if [[ -z $failed ]]; then
            rm -f "$log"
            return 0
        fi
        ((attempt == 1)) && sleep 5
    done
    say "apt-get update could not read $(echo "$failed" | sed 's/\.$//' | paste -sd ';' | sed 's/;/; /g')." \
        "Going on with the indexes that arrived: what this project needs usually comes from them, and a package that does not is named below."
    rm -f "$log"
}

# install <group> <packages>...: 0 when they are all there afterwards.
install_group() {
    local group=$1
    shift
    local missing
    mapfile -t missing < <(missing_of "$@")
    ((${#missing[@]})) || return 0
    say "installing ($group): ${missing[*]}"
    apt_update
    local log
    log=$(mktemp)
    if DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" \
        >"$log" 2>&1; then
        rm -f "$log"
        return 0
    fi
    say "the $group group could not be installed; apt-get said:"
    grep -E '^(E:| [^ ].* : Depends)' "$log" | head -12 >&2
    rm -f "$log"
    return 1
}

# What a group's absence costs, for build/missing-dependencies.txt.
missing_group() {
    echo "$1" >>"$report"
    say "$1"
}

if [[ $mode == --demo ]]; then
    # The demo and the SDK: the bridge, the sample module, the demo host and
    # the checker, without the test stack.
    build=(cmake ninja-build g++ openjdk-17-jdk-headless binutils nlohmann-json3-dev)
elif [[ $mode == --jar ]]; then
    # The bridge jar (scripts/install-maven.sh): the bridge, its companion
    # for 32-bit modules and the Java side, without the tools or the tests.
    build=(cmake ninja-build g++ g++-multilib openjdk-17-jdk-headless binutils)
else
    # The Maven plugins are those a host's offline jar build needs
    # (docs/maven-offline/), which tests/package builds.
    build=(cmake ninja-build g++ clang libclang-rt-14-dev valgrind openjdk-17-jdk-headless libgtest-dev junit5
        binutils nlohmann-json3-dev libjna-java libjna-jni
        maven libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java libsurefire-java
        g++-multilib)
    command -v python3 >/dev/null || build+=(python3)
fi
if ! install_group build "${build[@]}"; then
    say "cannot go on: without these packages nothing builds. Run scripts/install-deps.sh ${mode} again once apt-get can install them."
    exit 1
fi
[[ $mode == --windows ]] || exit 0

if ! install_group windows g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 googletest gcc-multilib; then
    missing_group "windows: the MinGW-w64 cross compilers or wine64 are missing: the windows-x86 and windows-x64 presets are not built or tested, and the Linux jar carries only the Linux bridge (scripts/install-deps.sh --windows installs them)"
    exit 0
fi

# 32-bit Wine. Where the kernel runs 32-bit programs, Debian's wine32:i386
# is the native path; elsewhere the system keeps no i386 package at all.
native_wine32() { WINEDEBUG=-all /usr/lib/wine/wine --version >/dev/null 2>&1; }
if ! native_wine32 && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    added_i386=0
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
        added_i386=1
        updated=0
    fi
    if ! install_group wine32 wine32:i386 && ((added_i386)); then
        # Leave the system as it was.
        "${as_root[@]}" dpkg --remove-architecture i386 2>/dev/null || true
    fi
fi
if ! native_wine32; then
    if ! emulation/setup-i386-wine.sh; then
        missing_group "wine32: 32-bit Wine cannot run here, natively or emulated: the windows-x86 tests that run a program are reported as skipped, and the x64 bridge's x86 companion is not played (emulation/setup-i386-wine.sh says why; run it again once the mirror answers)"
    fi
fi
exit 0
