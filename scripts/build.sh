#!/usr/bin/env bash
# Configures and builds into build/ (the program is build/tallyfair).
# TF_WERROR=ON (as scripts/test.sh sets it) makes warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."
# A compiler cache, where installed, makes rebuilds in a fresh clone quick.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$(pwd) CCACHE_NOHASHDIR=1
fi
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
    -DTF_WERROR=${TF_WERROR:-OFF} "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
