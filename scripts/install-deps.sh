#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need and this
# machine lacks. Does nothing when all is there. --demo: only what the demo
# and the SDK need (no test stack). Pass --windows to include the
# Windows cross compilers (x86 and x64), Wine (32-bit and 64-bit), the
# GoogleTest sources the cross builds compile and a 32-bit C compiler. 32-bit
# Wine installs on any machine of this kind; where the kernel refuses 32-bit
# programs, --windows then sets up 32-bit Wine under qemu-i386 user emulation
# in a folder of the user's own (emulation/setup-i386-wine.sh says what it
# fetches). If that fails, the x86 tests are reported as skipped, with why.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
[[ "${1:-}" == "--windows" ]] && windows=1
if [[ "${1:-}" == "--demo" ]]; then
    # The demo and the SDK: the bridge, the sample module, the demo host and
    # the checker, without the test stack.
    packages=(cmake ninja-build g++ openjdk-17-jdk-headless binutils nlohmann-json3-dev)
else
    packages=(cmake ninja-build g++ clang libclang-rt-14-dev valgrind openjdk-17-jdk-headless libgtest-dev junit5
              binutils nlohmann-json3-dev libjna-java libjna-jni
              maven libmaven-compiler-plugin-java libmaven-resources-plugin-java g++-multilib)
    command -v python3 >/dev/null || packages+=(python3)
fi
if ((windows)); then
    packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 googletest gcc-multilib)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root=()
    ((EUID == 0)) || as_root=(sudo)
    if ((windows)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
    fi
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if ((windows)) && ! WINEDEBUG=-all /usr/lib/wine/wine --version >/dev/null 2>&1; then
    emulation/setup-i386-wine.sh ||
        echo "install-deps: 32-bit Wine cannot run on this machine, natively or emulated; the x86 tests will be skipped" >&2
fi
