#!/usr/bin/env bash
# Fails when a C++ file of the tree is not as clang-format (with the
# repository's .clang-format) would write it, and names the files.
#   scripts/check-format.sh          check
#   scripts/check-format.sh --fix    rewrite them in place
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/dev/null; then
  echo "check-format: these files differ from clang-format's layout:" >&2
  for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "  $f" >&2
  done
  echo "check-format: run bash scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as clang-format writes them"
