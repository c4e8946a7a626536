#!/usr/bin/env bash
# Starts the reference site for the demo on PHP's built-in server:
#   bash scripts/site.sh FOLDER [PORT]     lay out FOLDER and start the server
#   bash scripts/site.sh --stop FOLDER     stop the server started for FOLDER
#
# FOLDER gets www/ (the document root: actions.php, track.php, config.php,
# the demo news service under news/ and the live-update descriptor under
# liveupdate/tallyfair/), data/tallyfair.db (SQLite, outside the document
# root), server.log and server.pid. Nothing is written anywhere else.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SERVER="$ROOT/server"

usage() {
  echo "usage: $0 FOLDER [PORT] | $0 --stop FOLDER" >&2
  exit 2
}

stop_server() {
  local pidfile="$1/server.pid"
  if [ -f "$pidfile" ]; then
    local pid
    pid=$(cat "$pidfile")
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      # Gone for sure before we return, so that the port is free again.
      for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -9 "$pid" 2>/dev/null || true
      echo "site: stopped server $pid"
    fi
    rm -f "$pidfile"
  fi
}

[ $# -ge 1 ] || usage
if [ "$1" = "--stop" ]; then
  [ $# -eq 2 ] || usage
  stop_server "$2"
  exit 0
fi

FOLDER=$1
PORT=${2:-8765}
case "$PORT" in '' | *[!0-9]*) usage ;; esac
mkdir -p "$FOLDER"
FOLDER=$(cd "$FOLDER" && pwd)
stop_server "$FOLDER"

WWW="$FOLDER/www"
DATA="$FOLDER/data"
mkdir -p "$WWW/news" "$WWW/liveupdate/tallyfair" "$DATA"
cp "$SERVER/actions.php" "$SERVER/track.php" "$WWW/"
cp "$SERVER/demo/getlastnews.php" "$SERVER/demo/getnewsdetails.php" "$SERVER/demo/news-items.php" "$WWW/news/"
cp "$SERVER/demo/mainappupdate.inf" "$WWW/liveupdate/tallyfair/"

# A fresh demo database on every start.
DB="$DATA/tallyfair.db"
rm -f "$DB"
php -r '
  $db = new PDO("sqlite:" . $argv[1], null, null, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
  $db->exec(file_get_contents($argv[2]));
  $db->exec(file_get_contents($argv[3]));
' "$DB" "$SERVER/schema-sqlite.sql" "$SERVER/demo/seed-sqlite.sql"

# The same form as the control panel writes: the database is named by a
# host value of "sqlite:" and a path relative to actions.php.
printf '<?php\r\n  $hostname="sqlite:../data/tallyfair.db";\r\n  $database="";\r\n  $username="";\r\n  $password="";\r\n?>\r\n' \
  >"$WWW/config.php"

php -S "127.0.0.1:$PORT" -t "$WWW" >"$FOLDER/server.log" 2>&1 &
echo $! >"$FOLDER/server.pid"

URL="http://127.0.0.1:$PORT"
for _ in $(seq 1 50); do
  if php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$PORT" 2>/dev/null; then
    echo "site: $URL  (site URL for the settings; actions at $URL/actions.php)"
    echo "site: news base $URL/news  live update $URL/liveupdate/tallyfair/"
    echo "site: stop with: bash scripts/site.sh --stop $FOLDER"
    exit 0
  fi
  if ! kill -0 "$(cat "$FOLDER/server.pid")" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
echo "site: the server did not start on port $PORT; see $FOLDER/server.log" >&2
stop_server "$FOLDER"
exit 1
