#!/usr/bin/env bash
# Installs the SDK for module authors from this checkout: the headers, the
# CMake package (find_package(AiModule)), the tools (aimodule-check,
# elf-export-names), the toolchain files for cross-building Windows modules,
# the authors' guide and the example modules, and, where the MinGW-w64
# cross compilers are installed, the Windows checkers for x86 and x64 (the
# Linux checker runs them under Wine for a Windows module's smoke session).
# It builds only what it installs, without the test stack, the three builds
# side by side.
#   scripts/install-sdk.sh [PREFIX]        (default: ~/ai-module-sdk)
# Then: cmake -S <your module> -B build -DCMAKE_PREFIX_PATH=PREFIX
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
prefix="${1:-$HOME/ai-module-sdk}"
[[ $prefix == /* ]] || prefix=$caller/$prefix

scripts/install-deps.sh --demo >&2
lean=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVANTRELL_BUILD_CHECKER=ON)
builds=(linux)
cmake -S . -B build/sdk-linux "${lean[@]}" >/dev/null
for target in i686 x86_64; do
    if command -v "$target-w64-mingw32-g++" >/dev/null; then
        name=windows-${target/i686/x86}
        name=${name/x86_64/x64}
        cmake -S . -B "build/sdk-$name" "${lean[@]}" \
            "-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/toolchain-$target-w64-mingw32.cmake" \
            -DVANTRELL_RUN_TARGET_PROGRAMS=OFF >/dev/null 2>&1
        builds+=("$name")
    fi
done
pids=()
for build in "${builds[@]}"; do
    targets=(aimodule-check)
    [[ $build == linux ]] && targets+=(elf-export-names native_ai_bridge demo_host)
    cmake --build "build/sdk-$build" --target "${targets[@]}" >"build/sdk-$build.log" 2>&1 &
    pids+=($!)
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || { cat "build/sdk-${builds[$i]}.log" >&2; exit 1; }
done
cmake --install build/sdk-linux --prefix "$prefix" --component sdk >/dev/null
for build in "${builds[@]:1}"; do
    cmake --install "build/sdk-$build" --prefix "$prefix" --component sdk_windows_checker >/dev/null
done
prefix=$(cd "$prefix" && pwd)
echo "The AI module SDK $(sed -n 's/^#define AI_MODULE_CONTRACT_VERSION "\(.*\)"/\1/p' include/ai_module.h) is in $prefix"
echo "  the guide:         $prefix/share/ai-module-sdk/module-authors.md (examples beside it)"
echo "  build a module:    cmake -S <module> -B build -DCMAKE_PREFIX_PATH=$prefix && cmake --build build"
echo "  for Windows x86:   add -DCMAKE_TOOLCHAIN_FILE=$prefix/lib/cmake/AiModule/toolchains/toolchain-i686-w64-mingw32.cmake"
echo "  for Windows x64:   add -DCMAKE_TOOLCHAIN_FILE=$prefix/lib/cmake/AiModule/toolchains/toolchain-x86_64-w64-mingw32.cmake"
echo "  check it:          $prefix/bin/aimodule-check [--smoke] <module>"
echo "  play it:           java -jar $prefix/share/ai-module-sdk/host/demo-host-*.jar <module>"
