#!/usr/bin/env bash
# Builds the bridge, the sample module and the demo host, then plays one game
# session through the bridge. Usage: scripts/demo.sh [module path]
# (default: the freshly built sample module; a relative path is taken from
# the directory the script is run in).
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD

module="${1:-}"
if [[ -n "$module" && "$module" != /* ]]; then
    module="$caller/$module"
fi

scripts/install-deps.sh >&2
echo "demo: building the bridge, the sample module, the demo host and aimodule-check" >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target vantrell tarrowby demo_host aimodule-check >&2

build=build/linux
module="${module:-$root/$build/sample_module/libtarrowby.so}"
# A JVM that crashes in a module writes its report outside the checkout.
crash_log="${TMPDIR:-/tmp}/vantrell-demo-hs_err_pid%p.log"
status=0
java -Djava.library.path="$build/bridge" -XX:ErrorFile="$crash_log" \
    -cp "$build/java/native-ai-bridge.jar:$build/java/demo-host.jar" \
    com.quenbrook.ravo.tessel.demo.DemoHost "$module" || status=$?

if ((status == 3)); then
    # The bridge says only that the load failed; the checker says why.
    diagnosis=$("$build/tools/aimodule_check/aimodule-check" "$module" 2>&1 || true)
    error=$(sed -n 's/^does not load: //p' <<<"$diagnosis")
    cause=$(sed -n 's/^likely cause: //p' <<<"$diagnosis")
    not_here=$(sed -n 's/^not run here: //p' <<<"$diagnosis")
    echo "demo: could not load $module: ${error:-${not_here:-the bridge refused it}}${cause:+ (likely cause: $cause)}" >&2
elif ((status == 0)); then
    echo "demo: one session played through $build/bridge/libvantrell.so with $module" >&2
else
    echo "demo: the session ended with exit status $status (a JVM crash report, if any: ${crash_log%%\%p*}*)" >&2
fi
exit "$status"
