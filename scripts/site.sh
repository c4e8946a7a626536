#!/usr/bin/env bash
# Starts the reference site for the demo on PHP's built-in server:
#   bash scripts/site.sh FOLDER [PORT]     lay out FOLDER and start the server
#   bash scripts/site.sh --stop FOLDER     stop the server started for FOLDER
#
# FOLDER must be new, or one of the caller's that no one else can write
# (FOLDER=$(mktemp -d) is a good one). It gets www/ (the document root:
# actions.php, track.php, tracking-lib.php, config.php, tracking-secret.php,
# the demo shop's thank-you.php (thank-you.php?order=ORDER&affid=LINKID),
# the demo news service under news/ and the live-update descriptor under
# liveupdate/tallyfair/), data/tallyfair.db (SQLite, outside the document
# root), conf/router.php, server.log, server.pid and site.env, which names
# SITE_URL, TRACK_URL and TRACKING_SECRET (the key that signs sales) for
# scripts. Nothing is written anywhere else.
#
# The server never runs as root: a root caller has it run as the user sudo
# was called by, or as the system user tallyfair-site. It answers only
# requests for Host 127.0.0.1 or localhost.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SERVER="$ROOT/server"
# shellcheck disable=SC2034 # read by server-lib.sh
TF_NAME=site
# shellcheck source=server-lib.sh
. "$ROOT/scripts/server-lib.sh"

usage() {
  echo "usage: $0 FOLDER [PORT] | $0 --stop FOLDER" >&2
  exit 2
}

# What the server's command line ends with, for FOLDER.
server_args() { echo "-t $1/www $1/conf/router.php"; }

stop_server() {
  tf_stop_recorded server "$1/server.pid" "$(tf_tool php)" "$(server_args "$1")"
}

[ $# -ge 1 ] || usage
if [ "$1" = "--stop" ]; then
  [ $# -eq 2 ] && [ -n "$2" ] || usage
  [ -e "$2" ] || exit 0
  tf_own_folder "$2"
  stop_server "$(cd -- "$2" && pwd -P)"
  exit 0
fi

[ -n "$1" ] || usage
PORT=${2:-8765}
case "$PORT" in '' | *[!0-9]*) usage ;; esac
mkdir -p -- "$(dirname -- "$1")"
tf_own_folder "$1"
FOLDER=$(cd -- "$1" && pwd -P)
stop_server "$FOLDER"

php=$(tf_tool php)
tf_pick_user
tf_share_folder "$FOLDER"
WWW="$FOLDER/www"
DATA="$FOLDER/data"
for dir in "$WWW" "$WWW/news" "$WWW/liveupdate" "$WWW/liveupdate/tallyfair" "$FOLDER/conf"; do
  tf_own_folder "$dir"
  tf_share_folder "$dir"
done
# The database is made anew on every start, so a data folder of the
# caller's own (from a start as another user) simply goes.
if [ -d "$DATA" ] && [ ! -L "$DATA" ] && [ "$(stat -c %u -- "$DATA")" = "$(id -u)" ] &&
  [ "$TF_RUN_UID" != "$(id -u)" ]; then
  rm -rf -- "$DATA"
fi
tf_server_folder "$DATA"

for name in actions.php track.php tracking-lib.php; do
  [ -f "$SERVER/$name" ] && tf_copy "$SERVER/$name" "$WWW/$name"
done
# The demo shop's thank-you page, which reports a signed sale.
[ -f "$SERVER/demo/thank-you.php" ] && tf_copy "$SERVER/demo/thank-you.php" "$WWW/thank-you.php"
for name in getlastnews.php getnewsdetails.php news-items.php; do
  tf_copy "$SERVER/demo/$name" "$WWW/news/$name"
done
tf_copy "$SERVER/demo/mainappupdate.inf" "$WWW/liveupdate/tallyfair/mainappupdate.inf"
tf_copy "$ROOT/scripts/site-router.php" "$FOLDER/conf/router.php"

# The same form as the control panel writes: the database is named by a
# host value of "sqlite:" and a path relative to actions.php.
printf '<?php\r\n  $hostname="sqlite:../data/tallyfair.db";\r\n  $database="";\r\n  $username="";\r\n  $password="";\r\n?>\r\n' |
  tf_write "$WWW/config.php"

# The tracking secret: made once per folder, kept across starts.
SECRET_FILE="$WWW/tracking-secret.php"
if [ -L "$SECRET_FILE" ] || { [ -e "$SECRET_FILE" ] && [ "$(stat -c %u -- "$SECRET_FILE")" != "$(id -u)" ]; }; then
  rm -f -- "$SECRET_FILE"
fi
KEY=""
if [ -f "$SECRET_FILE" ]; then
  KEY=$("$php" -r '$s = include $argv[1]; echo is_array($s) ? ($s["secret"] ?? "") : "";' "$SECRET_FILE")
elif grep -q -- '--make-secret' "$SERVER/upgrade.php"; then
  KEY=$("$php" "$SERVER/upgrade.php" --make-secret "$SECRET_FILE" | sed -n 's/^TRACKING_SECRET=//p')
fi
[ -n "$KEY" ] || echo "site: no tracking secret made; this site refuses sales" >&2
for name in "$WWW"/*.php "$WWW"/news/* "$WWW"/liveupdate/tallyfair/* "$FOLDER/conf/router.php"; do
  [ -f "$name" ] && tf_share_file "$name"
done
tf_check_reachable "$WWW/track.php"

# A fresh demo database on every start, made by the server's user in its
# own folder (the SQL comes on standard input, read by this script).
tf_as_server "$php" -r '
  @unlink($argv[1]);
  $db = new PDO("sqlite:" . $argv[1], null, null, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
  $db->exec(stream_get_contents(STDIN));
' "$DATA/tallyfair.db" < <(cat "$SERVER/schema-sqlite.sql" "$SERVER/demo/seed-sqlite.sql") ||
  tf_die "cannot make the demo database"

URL="http://127.0.0.1:$PORT"
tf_write "$FOLDER/server.log" </dev/null
tf_spawn "$php" -S "127.0.0.1:$PORT" -t "$FOLDER/www" "$FOLDER/conf/router.php" >>"$FOLDER/server.log" 2>&1 &
PID=$!
for _ in $(seq 1 50); do
  if tf_port_open "$PORT"; then
    tf_record "$FOLDER/server.pid" "$PID" "$php" || break
    tf_write "$FOLDER/site.env" <<ENV
SITE_URL=$URL
TRACK_URL=$URL/track.php
TRACKING_SECRET=$KEY
ENV
    echo "site: $URL  (site URL for the settings; actions at $URL/actions.php)"
    echo "site: news base $URL/news  live update $URL/liveupdate/tallyfair/"
    echo "site: counting at $URL/track.php, sales signed with the secret in $FOLDER/site.env"
    echo "site: runs as $TF_RUN_USER; stop with: bash scripts/site.sh --stop $FOLDER"
    exit 0
  fi
  [ -d "/proc/$PID" ] || break
  sleep 0.1
done
echo "site: the server did not start on port $PORT; see $FOLDER/server.log" >&2
kill "$PID" 2>/dev/null || true
exit 1
