#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need and this
# machine lacks. Does nothing when all is there. Pass --windows to include the
# Windows cross compilers (x86 and x64), Wine (32-bit and 64-bit) and the
# GoogleTest sources the cross builds compile. 32-bit Wine installs on any
# machine of this kind, but runs only where the kernel runs 32-bit programs.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev valgrind openjdk-17-jdk-headless libgtest-dev junit5
          binutils nlohmann-json3-dev libjna-java libjna-jni)
command -v python3 >/dev/null || packages+=(python3)
windows=0
[[ "${1:-}" == "--windows" ]] && windows=1
if ((windows)); then
    packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 googletest)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
((${#missing[@]})) || exit 0

echo "Installing: ${missing[*]}"
as_root=()
((EUID == 0)) || as_root=(sudo)
if ((windows)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
