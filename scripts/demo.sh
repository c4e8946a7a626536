#!/usr/bin/env bash
# Sets everything up and starts Tallyfair on a demo folder: the example brand
# "Prize Desk" (examples/brand/), connected to the reference site, which runs
# on this machine for as long as the program does.
#
#   bash scripts/demo.sh                  needs a display; without one use
#                                         xvfb-run -a bash scripts/demo.sh
#   DEMO_NO_RUN=1 bash scripts/demo.sh    prepare the folder and start the
#                                         site, but not the program; the site
#                                         keeps running until
#                                         bash scripts/site.sh --stop demo/site
#
# DEMO_DIR (default demo/) is the demo folder, DEMO_PORT (default 8765) the
# site's port; the brand's news address follows it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
bash scripts/deps.sh
bash scripts/build.sh

DEMO=${DEMO_DIR:-$ROOT/demo}
PORT=${DEMO_PORT:-8765}
case "$PORT" in '' | *[!0-9]*)
  echo "demo: DEMO_PORT must be a port number" >&2
  exit 2
  ;;
esac
BRAND="$ROOT/examples/brand"
TOOL="$ROOT/build/tallyfair-brand"
URL="http://127.0.0.1:$PORT"
mkdir -p "$DEMO"
DEMO=$(cd "$DEMO" && pwd)
SITE="$DEMO/site"

# The program keeps its files beside its executable, so the demo folder
# holds a copy of it.
cp "$ROOT/build/tallyfair" "$DEMO/tallyfair"

# A fresh brand file on every run, so that the news notice for the newest
# demo item shows again (reading news moves LastNewsId on).
PLAIN=$(mktemp)
trap 'rm -f "$PLAIN"' EXIT
sed "s|http://127.0.0.1:8765/|$URL/|g" "$BRAND/brand.txt" >"$PLAIN"
"$TOOL" encrypt "$PLAIN" "$DEMO/dbsettings.dat"
rm -f "$PLAIN"
cp "$BRAND/banner1.dat" "$BRAND/banner2.dat" "$DEMO/"
"$TOOL" pack-skin "$BRAND/skin.qss" "$DEMO/mainskin.dat"

# The connection settings as the settings dialog saves them. The database
# host names the site's SQLite file relative to actions.php, like the
# site's own config.php.
printf '[Settings]\r\nswebserver=%s\r\nshostname=%s\r\nsdatabase=\r\nsusername=\r\nspassword=\r\n' \
  "$URL" "sqlite:../data/tallyfair.db" >"$DEMO/hsettings.dat"
echo "demo: folder $DEMO ready"

if [ -z "${DEMO_NO_RUN:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. Run the demo under a virtual X server:"
  echo "  xvfb-run -a bash scripts/demo.sh"
  echo "or take a screenshot of the window with: bash scripts/screenshot.sh out.png"
  exit 1
fi

bash scripts/site.sh "$SITE" "$PORT"
# The program checks for updates at the site's descriptor: on the loopback,
# the one address that may stand in for the maker's https service.
export TALLYFAIR_UPDATE_BASE_URL="$URL/liveupdate/tallyfair/"
if [ -n "${DEMO_NO_RUN:-}" ]; then
  echo "demo: start the program with: (cd $DEMO && TALLYFAIR_UPDATE_BASE_URL=$TALLYFAIR_UPDATE_BASE_URL ./tallyfair)"
  exit 0
fi

trap 'bash "$ROOT/scripts/site.sh" --stop "$SITE"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
status=0
"$DEMO/tallyfair" || status=$?
exit "$status"
