#!/usr/bin/env bash
# Installs the SDK for module authors from this checkout: builds what it
# installs (aimodule-check, elf-export-names), then installs the headers,
# the CMake package (find_package(AiModule)), the tools and the toolchain
# files for cross-building Windows modules.
#   scripts/install-sdk.sh [PREFIX]        (default: ~/ai-module-sdk)
# Then: cmake -S <your module> -B build -DCMAKE_PREFIX_PATH=PREFIX
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="${1:-$HOME/ai-module-sdk}"

scripts/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target aimodule-check elf-export-names
cmake --install build/linux --prefix "$prefix" --component sdk >/dev/null
prefix=$(cd "$prefix" && pwd)
echo "The AI module SDK $(sed -n 's/^#define AI_MODULE_CONTRACT_VERSION "\(.*\)"/\1/p' include/ai_module.h) is in $prefix"
echo "  build a module:    cmake -S <module> -B build -DCMAKE_PREFIX_PATH=$prefix && cmake --build build"
echo "  for Windows x86:   add -DCMAKE_TOOLCHAIN_FILE=$prefix/lib/cmake/AiModule/toolchains/toolchain-i686-w64-mingw32.cmake"
echo "  check a module:    $prefix/bin/aimodule-check [--smoke] <module>"
