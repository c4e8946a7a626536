#!/usr/bin/env bash
# Renders the real program window under a virtual X server and saves it as
# a PNG:  scripts/screenshot.sh OUT.png [DATA_FOLDER] [SECONDS]
# DATA_FOLDER (default: a fresh empty folder) is where the program runs, with
# its brand file and settings; SECONDS is how long to let it settle.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$(realpath -m "${1:?usage: scripts/screenshot.sh OUT.png [DATA_FOLDER] [SECONDS]}")
DATA=${2:-}
WAIT=${3:-3}
[ -x build/tallyfair ] || bash scripts/build.sh

if [ -z "$DATA" ]; then
  DATA=$(mktemp -d)
  trap 'rm -rf "$DATA"' EXIT
fi
cp "$ROOT/build/tallyfair" "$DATA/tallyfair"

DISPLAY_NUM=${SCREENSHOT_DISPLAY:-97}
Xvfb ":$DISPLAY_NUM" -screen 0 1100x760x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
cleanup() { kill "${APP:-}" 2>/dev/null || true; kill "$XVFB" 2>/dev/null || true; }
trap 'cleanup; [ -z "${2:-}" ] && rm -rf "$DATA"' EXIT
for _ in $(seq 50); do xdpyinfo -display ":$DISPLAY_NUM" >/dev/null 2>&1 && break; sleep 0.1; done

(cd "$DATA" && DISPLAY=":$DISPLAY_NUM" QT_QPA_PLATFORM=xcb ./tallyfair) &
APP=$!
sleep "$WAIT"
# The largest top-level window is the program's main window.
WIN=$(DISPLAY=":$DISPLAY_NUM" xwininfo -root -children | awk '/^ +0x/ && match($0, /[0-9]+x[0-9]+\+/) {
  split(substr($0, RSTART, RLENGTH - 1), s, "x"); a = s[1] * s[2]; if (a > best) { best = a; id = $1 } } END { print id }')
if [ -n "$WIN" ]; then
  DISPLAY=":$DISPLAY_NUM" import -window "$WIN" "$OUT"
else
  DISPLAY=":$DISPLAY_NUM" import -window root "$OUT"
fi
echo "screenshot: $OUT"
