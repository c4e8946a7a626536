#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs them from
# their seed corpora in fuzz/corpus/<target>/. The seeds are copied to a
# scratch corpus first so that what a run finds never lands in the tree.
# Fails on any crash, leak or failed property; the input that did it is left
# in build-fuzz/findings/, the log of each target beside it.
#   scripts/fuzz.sh ci [target...]        every seed once, then a fixed number
#                                         of inputs from a fixed seed: the same
#                                         inputs on every machine
#   scripts/fuzz.sh SECONDS [target...]   each target for that long (default 20)
# FUZZ_BUILD=0 skips the build, for runs started side by side after one.
set -euo pipefail
cd "$(dirname "$0")/.."
# A compiler cache, where installed, makes rebuilds in a fresh clone quick.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$(pwd) CCACHE_NOHASHDIR=1
fi
MODE=${1:-20}
shift || true
if [[ $MODE != ci && ! $MODE =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/fuzz.sh ci|SECONDS [target...]" >&2
    exit 2
fi
# The fixed run: enough inputs to reach past the seeds, few enough for CI.
CI_RUNS=${CI_RUNS:-30000}
CI_SEED=${CI_SEED:-1}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-$(nproc)}
(( JOBS > 2 )) && JOBS=2

if [[ ${FUZZ_BUILD:-1} != 0 ]]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTF_BUILD_FUZZ=ON -DTF_WERROR=${TF_WERROR:-OFF} -DTF_BUILD_TESTS=OFF -DTF_BUILD_BENCH=OFF >/dev/null
    cmake --build "$BUILD_DIR" -j"$JOBS" --target fuzz_all
fi

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
common=(-max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
failed=0
for t in "${targets[@]}"; do
    bin=$BUILD_DIR/fuzz/$t
    mkdir -p "$work/$t"
    seeds=()
    if [[ -d fuzz/corpus/$t ]]; then
        cp fuzz/corpus/"$t"/* "$work/$t"/ 2>/dev/null || true
        seeds=(fuzz/corpus/"$t"/*)
    fi
    log="$BUILD_DIR/findings/$t.log"
    : >"$log"
    ok=1
    if [[ $MODE == ci ]]; then
        # Every seed on its own first, so a seed that fails is named as such.
        if (( ${#seeds[@]} > 0 )) && ! "$bin" "${common[@]}" -artifact_prefix="$BUILD_DIR/findings/$t-" \
            "${seeds[@]}" >>"$log" 2>&1; then
            ok=0
        elif ! "$bin" "${common[@]}" -runs="$CI_RUNS" -seed="$CI_SEED" \
            -artifact_prefix="$BUILD_DIR/findings/$t-" "$work/$t" >>"$log" 2>&1; then
            ok=0
        fi
        what="${#seeds[@]} seeds, then $CI_RUNS inputs from seed $CI_SEED"
    else
        "$bin" "${common[@]}" -max_total_time="$MODE" -artifact_prefix="$BUILD_DIR/findings/$t-" \
            "$work/$t" >>"$log" 2>&1 || ok=0
        what="${MODE}s"
    fi
    if (( ok )); then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n1 | grep -o '[0-9]*$')
        corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n1 | cut -d' ' -f2)
        echo "$t: ok, $what: $runs runs, corpus $corpus"
    else
        echo "$t: FAILED (see $log)"
        tail -n 30 "$log"
        failed=1
    fi
done
exit $failed
