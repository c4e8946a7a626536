#!/usr/bin/env bash
# Renders the real program window under a virtual X server and saves it as
# a PNG:
#   scripts/screenshot.sh OUT.png [DATA_FOLDER] [SECONDS]
#   scripts/screenshot.sh --demo OUT.png [SECONDS]
# DATA_FOLDER (default: a fresh empty folder) is where the program runs, with
# its brand file and settings; SECONDS (default 3) is how long to let it
# settle. --demo prepares the demo folder with scripts/demo.sh, runs the
# program there with the reference site started, and stops the site again.
#
# SCREENSHOT_WELCOME=OUT2.png then clicks the welcome page's button, the way
# a user leaves the welcome page, and saves a second picture SECONDS later
# (only for a brand with a welcome page).
# SCREENSHOT_STATISTICS=OUT3.png (with SCREENSHOT_WELCOME) then opens
# Statistics… from the first affiliate row's context menu and saves that
# window.
# SCREENSHOT_NO_WM=1 leaves the window manager out.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
USAGE="usage: scripts/screenshot.sh OUT.png [DATA_FOLDER] [SECONDS] | scripts/screenshot.sh --demo OUT.png [SECONDS]"

DEMO_MODE=""
if [ "${1:-}" = "--demo" ]; then
  DEMO_MODE=1
  shift
fi
OUT=$(realpath -m "${1:?$USAGE}")
if [ -n "$DEMO_MODE" ]; then
  DATA=""
  WAIT=${2:-3}
else
  DATA=${2:-}
  WAIT=${3:-3}
fi
SECOND=${SCREENSHOT_WELCOME:+$(realpath -m "$SCREENSHOT_WELCOME")}
THIRD=${SCREENSHOT_STATISTICS:+$(realpath -m "$SCREENSHOT_STATISTICS")}
if [ -n "$SECOND" ] && ! command -v xdotool >/dev/null; then
  echo "screenshot: SCREENSHOT_WELCOME needs xdotool (bash scripts/deps.sh installs it)" >&2
  exit 1
fi
case "$WAIT" in '' | *[!0-9.]*) echo "$USAGE" >&2; exit 2 ;; esac

FRESH=""
SITE=""
APP=""
# shellcheck source=scripts/xvfb.sh
source "$ROOT/scripts/xvfb.sh"
cleanup() {
  [ -n "$APP" ] && kill "$APP" 2>/dev/null
  tf_xvfb_stop
  [ -n "$SITE" ] && bash "$ROOT/scripts/site.sh" --stop "$SITE" >/dev/null
  [ -n "$FRESH" ] && rm -rf "$FRESH"
  return 0
}
trap cleanup EXIT

if [ -n "$DEMO_MODE" ]; then
  DATA=$(realpath -m "${DEMO_DIR:-$ROOT/demo}")
  SITE="$DATA/site"
  DEMO_DIR="$DATA" DEMO_NO_RUN=1 bash scripts/demo.sh
else
  [ -x build/tallyfair ] || bash scripts/build.sh
  if [ -z "$DATA" ]; then
    DATA=$(mktemp -d)
    FRESH=$DATA
  fi
  cp "$ROOT/build/tallyfair" "$DATA/tallyfair"
fi

# Without SCREENSHOT_NO_WM a window manager runs, as on a desktop: the
# window is framed, active and gets keys.
if [ -n "${SCREENSHOT_NO_WM:-}" ]; then
  tf_xvfb_start
else
  tf_xvfb_start --wm
fi

(cd "$DATA" && exec ./tallyfair) &
APP=$!
sleep "$WAIT"

# The program's largest visible window is its main window (the client
# window, inside the window manager's frame).
main_window() {
  local best="" area=0 w geo a
  for w in $(xdotool search --onlyvisible --pid "$APP" 2>/dev/null); do
    geo=$(xwininfo -id "$w" | awk '/^ +Width/ { w = $NF } /^ +Height/ { h = $NF } END { print w * h }')
    a=${geo:-0}
    if (( a > area )); then area=$a; best=$w; fi
  done
  echo "$best"
}
# The screen within the window's bounds rather than the window itself, so
# that a balloon hint over the window is in the picture as the user sees it.
window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^ +Width/ { w = $NF } /^ +Height/ { h = $NF } END { print w "x" h "+" x "+" y }'
}
shoot() {
  local win
  win=$(main_window)
  if [ -n "$win" ]; then
    import -window root -crop "$(window_geometry "$win")" +repage "$1"
  else
    import -window root "$1"
  fi
  echo "screenshot: $1"
}

shoot "$OUT"
if [ -n "$SECOND" ]; then
  WIN=$(main_window)
  # Clicked as a user would: the button covers x 256-521, y 8-28 of the
  # window's bottom panel, which is 39 high.
  HEIGHT=$(xwininfo -id "$WIN" | awk '/^ +Height/ { print $NF }')
  xdotool mousemove --window "$WIN" 388 $((HEIGHT - 39 + 18)) click 1
  sleep "$WAIT"
  shoot "$SECOND"
fi
if [ -n "$SECOND" ] && [ -n "$THIRD" ]; then
  # Select All (the first button under the affiliates list), then a right
  # click on the first row, just under the list's header; Statistics… is the
  # last entry of its menu.
  xdotool mousemove --window "$WIN" 50 320 click 1
  sleep 1
  xdotool mousemove --window "$WIN" 60 183 click 3
  sleep 1
  MENU=$(xdotool search --onlyvisible --class tallyfair 2>/dev/null | while read -r w; do
    [ "$w" = "$((WIN))" ] || echo "$w"; done | tail -n 1)
  read -r MX MY MW MH < <(xwininfo -id "$MENU" | awk '/Absolute upper-left X/ { x = $NF }
    /Absolute upper-left Y/ { y = $NF } /^ +Width/ { w = $NF } /^ +Height/ { h = $NF } END { print x, y, w, h }')
  xdotool mousemove $((MX + 30)) $((MY + MH - 14)) click 1
  sleep "$WAIT"
  STATS=$(xdotool search --onlyvisible --name '^Statistics$' | head -n 1)
  import -window root -crop "$(window_geometry "$STATS")" +repage "$THIRD"
  echo "screenshot: $THIRD"
fi
