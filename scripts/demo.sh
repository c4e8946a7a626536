#!/usr/bin/env bash
# Sets everything up and starts Tallyfair on a demo folder.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
bash scripts/deps.sh
bash scripts/build.sh

DEMO=${DEMO_DIR:-$ROOT/demo}
mkdir -p "$DEMO"
# The program keeps its files beside its executable, so the demo folder
# holds a copy of it.
cp "$ROOT/build/tallyfair" "$DEMO/tallyfair"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. Run the demo under a virtual X server:"
  echo "  xvfb-run -a bash scripts/demo.sh"
  echo "or take a screenshot of the window with: bash scripts/screenshot.sh out.png"
  exit 1
fi
exec "$DEMO/tallyfair"
