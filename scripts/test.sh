#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test
# through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)" --timeout 600
