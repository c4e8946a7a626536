#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds, runs every test
# through CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# The layout of every C++ file, then every build with warnings as errors.
bash scripts/check-format.sh
export TF_WERROR=ON
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)" --timeout 600

# The packages built from the same tree (cpack), checked with lintian,
# desktop-file-validate and appstreamcli: about 30 s, so outside CTest.
bash scripts/package.sh

# The same tests again under AddressSanitizer and UBSan, then every fuzz
# target over its seeds and a fixed run of inputs from a fixed seed, so that
# a tree that passed once passes on every machine. Each has its own build
# folder, so a second run rebuilds only what changed.
bash scripts/sanitize.sh
bash scripts/fuzz.sh ci
