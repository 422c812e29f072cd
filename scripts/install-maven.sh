#!/usr/bin/env bash
# Builds the bridge jar and installs it with its sources, javadoc and POM
# into a Maven repository:
#   scripts/install-maven.sh [repository]     (default: ~/.m2/repository)
# Maven and Gradle then find com.quenbrook.ravo.tessel:native-ai-bridge there.
#
# It installs only what the jar needs and builds it without the tools and
# the tests, in build/maven. The jar carries the Linux bridge, and the
# Windows bridges of the Windows presets when those were built first
# (build/windows-x86, build/windows-x64); it says which it carries.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
repository=${1:-$HOME/.m2/repository}
[[ $repository == /* ]] || repository=$caller/$repository

scripts/install-deps.sh --jar >&2
natives_from=()
for other in build/windows-x86 build/windows-x64; do
    [[ -d $other/java/natives-stage ]] && natives_from+=("$PWD/$other")
done
build=build/maven
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    "-DVANTRELL_OTHER_BUILDS=$(IFS=';'; echo "${natives_from[*]}")" >/dev/null
cmake --build "$build" --target native_ai_bridge native_ai_bridge_jars >&2
cmake --install "$build" --component maven --prefix "$repository" >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
folder=$repository/com/quenbrook/ravo/tessel/native-ai-bridge/$version
echo "install-maven: com.quenbrook.ravo.tessel:native-ai-bridge:$version in $folder" >&2
# The platforms are the jar's natives folders, one per bridge it carries.
mapfile -t platforms < <(jar tf "$folder/native-ai-bridge-$version.jar" |
    sed -n 's#^com/quenbrook/ravo/tessel/ai/natives/\([^/]*\)/natives\.list$#\1#p' | sort)
if ((${#platforms[@]} == 1)); then
    echo "install-maven: the jar carries the natives of ${platforms[0]} only: a host on another platform finds" \
        "no bridge in it. For Linux, Windows x86 and Windows x64 in one jar, build the Windows presets first" \
        "(cmake --preset windows-x86 && cmake --build --preset windows-x86, the same for windows-x64) and run" \
        "this again." >&2
else
    echo "install-maven: the jar carries the natives of ${platforms[*]}" >&2
fi
