#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs each for a given time, all at
# once at the lowest priority. New inputs that reach new code are merged into
# fuzz/corpus/<target>; inputs that found a fault are kept in the work folder
# and listed at the end (add them to the corpus once the fault is mended).
#   fuzz.sh [SECONDS] [TARGET...]   default: 60 seconds, every target
# Environment: QX_FUZZ_BUILD (build folder, default build-fuzz), QX_JOBS.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QX_FUZZ_BUILD:-$here/build-fuzz}
jobs=${QX_JOBS:-2}
seconds=${1:-60}
shift || true

case "$seconds" in
    '' | *[!0-9]*)
        echo "usage: $0 [SECONDS] [TARGET...]" >&2
        exit 2
        ;;
esac

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$here"/fuzz/*_fuzz.cpp; do
        n=$(basename "$f" .cpp)
        targets+=("${n%_fuzz}")
    done
fi

bash "$here/scripts/quorvex.sh" setup --dev
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQX_BUILD_FUZZERS=ON -DQX_BUILD_GUI=OFF -DQX_BUILD_BENCHMARKS=OFF -DQX_WERROR=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]/%/_fuzz}"

work=$build/fuzz-work
# The harnesses write their inputs to files; a memory file system keeps that fast.
scratch=$(mktemp -d -p /dev/shm qx-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# At the lowest priority on a busy machine a target may wait long for the processor;
# libFuzzer's time-out is wall time, so it is generous.
for t in "${targets[@]}"; do
    rm -rf "$work/$t"
    mkdir -p "$work/$t/new" "$work/$t/crashes"
    (
        cd "$work/$t"
        TMPDIR=$scratch nice -n 19 "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=120 \
            -print_final_stats=1 -artifact_prefix="$work/$t/crashes/" \
            "$work/$t/new" "$here/fuzz/corpus/$t" >"$work/$t/log" 2>&1 || true
    ) &
done
wait

printf '%-16s %12s %8s %8s %8s\n' target runs exec/s crashes corpus
status=0
for t in "${targets[@]}"; do
    log=$work/$t/log
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    crashes=$(find "$work/$t/crashes" -type f | wc -l)
    # Keep only what adds coverage to the checked-in corpus.
    TMPDIR=$scratch nice -n 19 "$build/fuzz/${t}_fuzz" -merge=1 "$here/fuzz/corpus/$t" \
        "$work/$t/new" >"$work/$t/merge.log" 2>&1 || true
    size=$(find "$here/fuzz/corpus/$t" -type f | wc -l)
    printf '%-16s %12s %8s %8s %8s\n' "$t" "${runs:-?}" "${rate:-?}" "$crashes" "$size"
    if [ "$crashes" -gt 0 ]; then
        status=1
        find "$work/$t/crashes" -type f | sed 's/^/    /'
    fi
done
exit $status
