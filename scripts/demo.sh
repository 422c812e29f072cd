#!/usr/bin/env bash
# Builds the bridge, the sample module and the demo host, then plays one game
# session through the bridge. Usage: scripts/demo.sh [module path]
# (default: the freshly built sample module).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target vantrell tarrowby demo_host >/dev/null

build=build/linux
module="${1:-$build/sample_module/libtarrowby.so}"
exec java -Djava.library.path="$build/bridge" \
    -cp "$build/java/native-ai-bridge.jar:$build/java/demo-host.jar" \
    com.quenbrook.ravo.tessel.demo.DemoHost "$module"
