#!/usr/bin/env bash
# Builds the tree with AddressSanitizer and UBSan into build-asan/ and runs
# every unit and window test there. Any report (memory error, leak,
# undefined behaviour) fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
# A compiler cache, where installed, makes rebuilds in a fresh clone quick.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$(pwd) CCACHE_NOHASHDIR=1
fi
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-asan}
JOBS=${JOBS:-$(nproc)}
(( JOBS > 2 )) && JOBS=2

# -O1 keeps the instrumented tests quick without hiding the stack traces.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DTF_SANITIZE=ON -DTF_WERROR=${TF_WERROR:-OFF} -DTF_BUILD_TESTS=ON -DTF_BUILD_BENCH=OFF -DTF_BUILD_FUZZ=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp:print_suppressions=0
# The package tests check the install tree and run the installed program
# as users get it; they say nothing about memory, so they run in build/ only.
# So do the desktop tests: on a real X server, Qt's xcb plugin has the
# system's keymap library read past a string, which ASan reports on its own.
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j"$JOBS" --timeout 900 -LE 'package|desktop'
