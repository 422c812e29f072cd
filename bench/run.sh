#!/usr/bin/env bash
# Builds and runs the call-cost benchmark, then prints its table.
#
#   bench/run.sh [--quick] [--no-ffm] [--rounds N] [--batch-ms N] [--warmup-ms N]
#
# Which VM runs what:
#   - the floor, bridge and JNA rows, and the bridge path's pieces timed in
#     C, run on the JDK the build uses (JDK 17, the project's JDK);
#   - when a JDK 22 or newer is installed (JAVA_HOME, or /usr/lib/jvm/*, by
#     the JAVA_VERSION of its `release` file; the newest wins), the foreign
#     function rows run on it, in a second VM that measures the floor and the
#     bridge again so that its ratios compare rows of one VM. Without one, or
#     with --no-ffm, those rows say why they are not available.
# Both VMs run with the heap call counter preloaded (LD_PRELOAD).
#
# --quick makes a run of seconds whose figures mean nothing (a check that it
# all works); the other options go to the measuring runs. A full run takes
# about two minutes on two cores.
#
# Besides the table: build/linux/bench/results.csv (every row and piece, one
# line each) and, where gnuplot is installed (Debian: gnuplot-nox),
# build/linux/bench/results.png, the same as one chart.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/linux"
measure_args=()
use_ffm=1
companion_calls=200000
while (($#)); do
    case "$1" in
    --quick)
        measure_args+=(--quick)
        companion_calls=2000
        ;;
    --no-ffm) use_ffm=0 ;;
    --rounds | --batch-ms | --warmup-ms)
        (($# >= 2)) || { echo "run.sh: $1 needs a value" >&2; exit 2; }
        measure_args+=("$1" "$2")
        shift
        ;;
    -h | --help)
        sed -n '2,20p' "$0"
        exit 0
        ;;
    *)
        echo "run.sh: unknown argument $1" >&2
        exit 2
        ;;
    esac
    shift
done

cd "$root"
# Quiet unless something fails; ninja reports its errors on standard output.
quietly() {
    local log
    if ! log=$("$@" 2>&1); then
        printf '%s\n' "$log" >&2
        echo "run.sh: failed: $*" >&2
        exit 1
    fi
}
[[ -f "$build/build.ninja" ]] || quietly cmake --preset linux
quietly cmake --build --preset linux --target bench
# Written by bench/CMakeLists.txt: the build's libraries, jars and JDK.
# shellcheck source=/dev/null
source "$build/bench/bench.env"

java_library_path="$BRIDGE_DIR${JNA_NATIVE_DIR:+:$JNA_NATIVE_DIR}"
classpath="$HARNESS_JAR:$BRIDGE_JAR${JNA_JAR:+:$JNA_JAR}"

# The newest JDK of 22 or newer with both java and javac, or nothing.
find_ffm_jdk() {
    local best="" best_major=0 home version major
    for home in ${JAVA_HOME:+"$JAVA_HOME"} /usr/lib/jvm/*; do
        [[ -f "$home/release" && -x "$home/bin/java" && -x "$home/bin/javac" ]] || continue
        version=$(sed -n 's/^JAVA_VERSION="\([^"]*\)"/\1/p' "$home/release")
        major=${version%%[.+-]*}
        [[ "$major" =~ ^[0-9]+$ ]] || continue
        if ((major >= 22 && major > best_major)); then
            best=$(cd "$home" && pwd -P)
            best_major=$major
        fi
    done
    [[ -n "$best" ]] && echo "$best $best_major"
    return 0
}

ffm_home="" ffm_major="" ffm_missing=""
if ((use_ffm)); then
    read -r ffm_home ffm_major < <(find_ffm_jdk) || true
    [[ -n "$ffm_home" ]] || ffm_missing="no JDK 22 or newer found (JAVA_HOME, /usr/lib/jvm/*)"
else
    ffm_missing="left out with --no-ffm"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
meta=(
    "-Dvantrell.bench.commit=$(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown)"
    "-Dvantrell.bench.machine=${cpu:-unknown CPU}, $(nproc) cores, $(uname -sr)"
    "-Dvantrell.bench.load=$(cut -d ' ' -f 1-3 /proc/loadavg)"
)
out="$build/bench"

results=("$out/results-jni.tsv")
LD_PRELOAD="$ALLOC_COUNT" "$JAVA" \
    -Djava.library.path="$java_library_path" -Dvantrell.bench.jni="$BENCH_JNI" "${meta[@]}" \
    -cp "$classpath" com.quenbrook.ravo.tessel.bench.Bench measure \
    --rows jni --components --module "$MODULE" --large-module "$LARGE_MODULE" --out "$out/results-jni.tsv" \
    ${ffm_missing:+--ffm-unavailable "$ffm_missing"} "${measure_args[@]}"

if [[ -n "$ffm_home" ]]; then
    # The foreign function rows are compiled by that JDK alone, here, and
    # loaded by the harness only on a VM that has the API.
    ffm_classes="$out/ffm-classes-$ffm_major"
    rm -rf "$ffm_classes"
    "$ffm_home/bin/javac" --release 22 -Xlint:all -Xlint:-restricted -Werror -cp "$HARNESS_JAR" \
        -d "$ffm_classes" "$root/bench/java-ffm/com/quenbrook/ravo/tessel/bench/ffm/FfmRows.java"
    results+=("$out/results-ffm.tsv")
    LD_PRELOAD="$ALLOC_COUNT" "$ffm_home/bin/java" --enable-native-access=ALL-UNNAMED \
        -Djava.library.path="$java_library_path" -Dvantrell.bench.jni="$BENCH_JNI" "${meta[@]}" \
        -cp "$classpath:$ffm_classes" com.quenbrook.ravo.tessel.bench.Bench measure \
        --rows ffm --module "$MODULE" --large-module "$LARGE_MODULE" --out "$out/results-ffm.tsv" "${measure_args[@]}"
fi

echo
"$JAVA" -cp "$classpath" com.quenbrook.ravo.tessel.bench.Bench report "${results[@]}" --csv "$out/results.csv"
echo
echo "CSV: $out/results.csv"
echo
echo "A call through the companion process (a module of the other width), against the same call in-process,"
echo "through the fake VM; the companion here is of the bridge's own width, so the figures are native:"
"$COMPANION_BENCH" "$companion_calls"
if command -v gnuplot >/dev/null; then
    python3 "$root/bench/chart_rows.py" "$out/results.csv" >"$out/chart-rows.tsv"
    gnuplot -e "rows='$out/chart-rows.tsv'; png='$out/results.png'" "$root/bench/chart.gp"
    echo "chart: $out/results.png"
else
    echo "no chart: gnuplot is not installed (Debian: gnuplot-nox)"
fi
