#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# the given number of seconds (default 20) from its seed corpus in
# fuzz/corpus/<target>/. The seeds are copied to a scratch corpus first so
# that what the run finds never lands in the tree. Fails on any crash, leak
# or failed property; the input that did it is left in build-fuzz/findings/.
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
# A compiler cache, where installed, makes rebuilds in a fresh clone quick.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$(pwd) CCACHE_NOHASHDIR=1
fi
SECONDS_EACH=${1:-20}
shift || true
BUILD_DIR=${BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-$(nproc)}
(( JOBS > 2 )) && JOBS=2

CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTF_BUILD_FUZZ=ON -DTF_WERROR=${TF_WERROR:-OFF} -DTF_BUILD_TESTS=OFF -DTF_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target fuzz_all

if (( $# > 0 )); then
    targets=("$@")
else
    targets=()
    for src in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$src" .cpp)")
    done
fi

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$BUILD_DIR/findings"
failed=0
for t in "${targets[@]}"; do
    mkdir -p "$work/$t"
    if [[ -d fuzz/corpus/$t ]]; then
        cp fuzz/corpus/"$t"/* "$work/$t"/ 2>/dev/null || true
    fi
    log="$BUILD_DIR/findings/$t.log"
    if "$BUILD_DIR/fuzz/$t" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$BUILD_DIR/findings/$t-" "$work/$t" >"$log" 2>&1; then
        echo "$t: ok, $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs in ${SECONDS_EACH}s"
    else
        echo "$t: FAILED (see $log)"
        tail -n 30 "$log"
        failed=1
    fi
done
exit $failed
