#!/usr/bin/env bash
# Builds the bridge, the sample module and the demo host, then plays one game
# session through the bridge. Usage: scripts/demo.sh [--isolated|--sandbox] [module path]
# (default: the freshly built sample module; a relative path is taken from
# the directory the script is run in). --isolated plays it as a host that
# asks for isolation does (-Dvantrell.isolation=process): every call goes to
# the module in a companion process of its own; --sandbox as one that asks
# for a sandbox (-Dvantrell.isolation=sandbox): the same, the companion
# confined to computing, answering and printing.
#
# A module call that does not return within 10 s ends the demo with the
# call's name (-Dtessel.demo.callLimit=<seconds> in DEMO_JAVA_OPTIONS
# changes the limit); a module that crashes the JVM ends it with the module
# function it crashed in and the path of the JVM's crash report; one that
# lets a C++ exception out of a function other than endGame, with the
# exception's type and text; one that does not load, with the reason the
# checker gives (scripts/explain-load-failure.sh): the loader's words, or
# for a module of another kind (architecture, system, width) what it is and
# what this bridge loads.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD

isolation=()
explain_options=()
bridge_file=libvantrell.so
if [[ "${1:-}" == "--isolated" ]]; then
    isolation=(-Dvantrell.isolation=process)
    bridge_file=libvantrell_isolated.so
    shift
elif [[ "${1:-}" == "--sandbox" ]]; then
    isolation=(-Dvantrell.isolation=sandbox)
    explain_options=(--sandbox)
    bridge_file=libvantrell_sandboxed.so
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
cmake --build "$build" --target vantrell vantrell_isolated vantrell_sandboxed vantrell_companion tarrowby demo_host \
    aimodule-check >&2

module="${module:-$root/$build/sample_module/libtarrowby.so}"
# A JVM that crashes in a module writes its report outside the checkout.
crash_dir="${TMPDIR:-/tmp}"
# The JVM's standard error is shown as it comes and kept, so that what the
# C++ runtime says on its way out can be read afterwards.
stderr_log=$(mktemp)
trap 'rm -f "$stderr_log"' EXIT
exec 4> >(tee "$stderr_log" >&2)
tee_pid=$!
status=0
# shellcheck disable=SC2086 # DEMO_JAVA_OPTIONS: options, split on purpose
java "${isolation[@]}" -Djava.library.path="$build/bridge" -XX:ErrorFile="$crash_dir/vantrell-demo-hs_err_pid%p.log" \
    ${DEMO_JAVA_OPTIONS:-} -cp "$build/java/native-ai-bridge.jar:$build/java/demo-host.jar" \
    com.quenbrook.ravo.tessel.demo.DemoHost "$module" 2>&4 &
java_pid=$!
# Quiet, so that a JVM ended by a signal is not announced with its whole
# command line: the lines below say what happened.
wait "$java_pid" 2>/dev/null || status=$?
exec 4>&-
wait "$tee_pid" || true

if ((status == 3)); then
    # The bridge says only that the load failed; the checker says why (for
    # a module of another kind, what it is; in the sandbox, what the sandbox
    # lacks here).
    echo "demo: could not load $module: $(scripts/explain-load-failure.sh "$build" "${explain_options[@]}" "$module")" >&2
elif ((status == 4)); then
    echo "demo: stopped: a module call did not return (the line above names it)" >&2
elif ((status == 0)); then
    echo "demo: one session played through $build/bridge/$bridge_file${isolation:+ and a companion} with $module" >&2
else
    report="$crash_dir/vantrell-demo-hs_err_pid$java_pid.log"
    # GCC's C++ runtime, ending the process for an exception nobody caught:
    #   terminate called after throwing an instance of 'std::logic_error'
    #     what():  no legal move
    thrown=$(sed -n "s/^terminate called after throwing an instance of '\(.*\)'\$/\1/p" "$stderr_log" | head -1)
    what=$(sed -n 's/^  what():  //p' "$stderr_log" | head -1)
    if [[ -n $thrown ]]; then
        echo "demo: the module threw $thrown${what:+ (\"$what\")} out of the call after the last line above:" \
            "only endGame may throw; an exception out of any other function ends the host's process, here the JVM's" \
            "(exit status $status). $build/tools/aimodule_check/aimodule-check --smoke names the function." >&2
    elif [[ -f $report ]]; then
        # The Java frame on top of the crash: the bridge's native method,
        # named as the module function it forwards to.
        function=$(grep -m1 -o 'NativeAIBridge\.[A-Za-z]*' "$report" | sed 's/NativeAIBridge\.//' || true)
        echo "demo: the module crashed the JVM${function:+ in its function $function}; the JVM's crash report: $report" >&2
    else
        echo "demo: the session ended with exit status $status" >&2
    fi
fi
exit "$status"
