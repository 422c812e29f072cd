#!/usr/bin/env bash
# Builds the bridge jar (with the Linux bridge inside, and the Windows ones
# when those presets were built first: see README) and installs it with its
# sources, javadoc and POM into a Maven repository:
#   scripts/install-maven.sh [repository]     (default: ~/.m2/repository)
# Maven and Gradle then find com.quenbrook.ravo.tessel:native-ai-bridge there.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
repository=${1:-$HOME/.m2/repository}
[[ $repository == /* ]] || repository=$caller/$repository

scripts/install-deps.sh >&2
natives_from=()
for other in build/windows-x86 build/windows-x64; do
    [[ -d $other/java/natives-stage ]] && natives_from+=("$PWD/$other")
done
cmake --preset linux "-DVANTRELL_OTHER_BUILDS=$(IFS=';'; echo "${natives_from[*]}")" >/dev/null
cmake --build --preset linux --target native_ai_bridge native_ai_bridge_jars >&2
cmake --install build/linux --component maven --prefix "$repository"
echo "install-maven: com.quenbrook.ravo.tessel:native-ai-bridge in $repository" >&2
