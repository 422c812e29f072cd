#!/usr/bin/env bash
# Builds the bridge, the sample module and the demo host, then plays one game
# session through the bridge. Usage: scripts/demo.sh [--isolated] [module path]
# (default: the freshly built sample module; a relative path is taken from
# the directory the script is run in). --isolated plays it as a host that
# asks for isolation does (-Dvantrell.isolation=process): every call goes to
# the module in a companion process of its own.
#
# A module call that does not return within 10 s ends the demo with the
# call's name (-Dtessel.demo.callLimit=<seconds> in DEMO_JAVA_OPTIONS
# changes the limit); a module that crashes the JVM ends it with the module
# function it crashed in and the path of the JVM's crash report.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD

isolation=()
if [[ "${1:-}" == "--isolated" ]]; then
    isolation=(-Dvantrell.isolation=process)
    shift
fi
module="${1:-}"
if [[ -n "$module" && "$module" != /* ]]; then
    module="$caller/$module"
fi

# Only what the demo needs: no test stack.
scripts/install-deps.sh --demo >&2
echo "demo: building the bridge, the sample module, the demo host and aimodule-check" >&2
build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DVANTRELL_BUILD_CHECKER=ON >/dev/null
cmake --build "$build" --target vantrell vantrell_isolated vantrell_companion tarrowby demo_host aimodule-check >&2

module="${module:-$root/$build/sample_module/libtarrowby.so}"
# A JVM that crashes in a module writes its report outside the checkout.
crash_dir="${TMPDIR:-/tmp}"
status=0
# shellcheck disable=SC2086 # DEMO_JAVA_OPTIONS: options, split on purpose
java "${isolation[@]}" -Djava.library.path="$build/bridge" -XX:ErrorFile="$crash_dir/vantrell-demo-hs_err_pid%p.log" \
    ${DEMO_JAVA_OPTIONS:-} -cp "$build/java/native-ai-bridge.jar:$build/java/demo-host.jar" \
    com.quenbrook.ravo.tessel.demo.DemoHost "$module" &
java_pid=$!
wait "$java_pid" || status=$?

if ((status == 3)); then
    # The bridge says only that the load failed; the checker says why.
    diagnosis=$("$build/tools/aimodule_check/aimodule-check" "$module" 2>&1 || true)
    error=$(sed -n 's/^does not load: //p' <<<"$diagnosis")
    cause=$(sed -n 's/^likely cause: //p' <<<"$diagnosis")
    not_here=$(sed -n 's/^not run here: //p' <<<"$diagnosis")
    echo "demo: could not load $module: ${error:-${not_here:-the bridge refused it}}${cause:+ (likely cause: $cause)}" >&2
elif ((status == 4)); then
    echo "demo: stopped: a module call did not return (the line above names it)" >&2
elif ((status == 0)); then
    if ((${#isolation[@]})); then
        echo "demo: one session played through $build/bridge/libvantrell_isolated.so and its companion with $module" >&2
    else
        echo "demo: one session played through $build/bridge/libvantrell.so with $module" >&2
    fi
else
    report="$crash_dir/vantrell-demo-hs_err_pid$java_pid.log"
    if [[ -f $report ]]; then
        # The Java frame on top of the crash: the bridge's native method,
        # named as the module function it forwards to.
        function=$(grep -m1 -o 'NativeAIBridge\.[A-Za-z]*' "$report" | sed 's/NativeAIBridge\.//' || true)
        echo "demo: the module crashed the JVM${function:+ in its function $function}; the JVM's crash report: $report" >&2
    else
        echo "demo: the session ended with exit status $status" >&2
    fi
fi
exit "$status"
