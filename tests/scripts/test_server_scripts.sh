#!/usr/bin/env bash
# What scripts/site.sh and scripts/stack.sh take on trust, tried as another
# local user would: folders they did not make, planted process records and
# links, foreign Host headers; and that their servers never run as root.
#   bash tests/scripts/test_server_scripts.sh site|stack
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WHICH=${1:?site or stack}
WORK=$(mktemp -d)
chmod 0711 "$WORK" # the servers may run as another user, who must pass through
FAILED=0
PIDS=()
cleanup() {
  [ -d "$WORK/site" ] && bash "$ROOT/scripts/site.sh" --stop "$WORK/site" >/dev/null 2>&1
  [ -d "$WORK/stack" ] && bash "$ROOT/scripts/stack.sh" stop "$WORK/stack" >/dev/null 2>&1
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

check() { # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else
    echo "FAILED: $what"
    FAILED=1
  fi
}
refuses() { ! "$@" >"$WORK/out" 2>&1; }
status_of() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
free_port() { php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); $n = stream_socket_get_name($s, false); echo substr($n, strrpos($n, ":") + 1);'; }
server_uid() { awk '/^Uid:/ { print $2 }' "/proc/$1/status"; }

# A process of ours that a planted record points at: the same executable
# as site.sh's server, its command line naming the folder.
bystander() {
  php -r 'sleep(120);' "$1" </dev/null >/dev/null 2>&1 &
  PIDS+=($!)
  BYSTANDER=$!
  sleep 0.2
}
plant_record() { # plant_record FILE PID
  printf '%s %s %s\n' "$2" "$(awk '{ print $22 }' "/proc/$2/stat")" \
    "$(sha256sum <"/proc/$2/cmdline" | cut -d' ' -f1)" >"$1"
}

if [ "$WHICH" = site ]; then
  start() { bash "$ROOT/scripts/site.sh" "$WORK/site" "$PORT"; }
else
  start() { bash "$ROOT/scripts/stack.sh" start "$WORK/stack"; }
fi
FOLDER="$WORK/$WHICH"

# ---- folders that are not the caller's alone ---------------------------------
mkdir -m 0777 "$FOLDER"
chmod 0777 "$FOLDER"
PORT=$(free_port)
check "refuses a folder that others can write" refuses start
check "says why" grep -q "written by group or others" "$WORK/out"
rmdir "$FOLDER"
if [ "$(id -u)" -eq 0 ]; then
  mkdir -m 0700 "$FOLDER"
  chown nobody "$FOLDER"
  check "refuses a folder of another user's" refuses start
  rmdir "$FOLDER"
fi
ln -s "$WORK" "$FOLDER"
check "refuses a link in place of the folder" refuses start
rm "$FOLDER"

# ---- planted records and links -------------------------------------------------
mkdir -m 0700 "$FOLDER"
bystander "$FOLDER"
echo "victim" >"$WORK/victim"
if [ "$WHICH" = site ]; then
  plant_record "$FOLDER/server.pid" "$BYSTANDER"
  mkdir -m 0700 "$FOLDER/www"
  ln -s "$WORK/victim" "$FOLDER/www/config.php"
  CONFIG="$FOLDER/www/config.php"
else
  mkdir -m 0700 "$FOLDER/state" "$FOLDER/www" "$FOLDER/www/tracking"
  plant_record "$FOLDER/state/nginx.pid" "$BYSTANDER"
  ln -s "$WORK/victim" "$FOLDER/www/tracking/config.php"
  CONFIG="$FOLDER/www/tracking/config.php"
fi
quiet_start() { start >"$WORK/out" 2>&1 || { cat "$WORK/out"; false; }; }
check "starts on its own folder" quiet_start
check "left alone the process a planted record named" kill -0 "$BYSTANDER"
check "wrote nothing through a planted link" grep -qx victim "$WORK/victim"
check "made its config.php anew" test -f "$CONFIG" -a ! -L "$CONFIG"
check "config.php is not for everyone to read" test $((8#$(stat -c %a "$CONFIG") & 8#007)) -eq 0

if [ "$WHICH" = site ]; then
  URL="http://127.0.0.1:$PORT/actions.php"
  PUBLIC="http://127.0.0.1:$PORT/track.php"
  SERVER_PID=$(cut -d' ' -f1 "$FOLDER/server.pid")
else
  # shellcheck disable=SC1091
  . "$FOLDER/stack.env"
  URL="$SITE_URL/actions.php"
  PUBLIC=$TRACK_URL
  PORT=$WEB_PORT
  SERVER_PID=$(cut -d' ' -f1 "$FOLDER/state/php-fpm.pid")
  check "stack.env is not for everyone to read" test $((8#$(stat -c %a "$FOLDER/stack.env") & 8#077)) -eq 0
  check "the secret is in stack.env" grep -qE '^TRACKING_SECRET=[0-9a-f]{64}$' "$FOLDER/stack.env"
  check "actions.php asks for the password" test "$(status_of "http://127.0.0.1:$PORT/tracking/actions.php")" = 401
  check "the public folder serves no config.php" test "$(status_of "http://127.0.0.1:$PORT/track/config.php")" = 404
  check "the public folder serves no secret" test "$(status_of "http://127.0.0.1:$PORT/track/tracking-secret.php")" = 404
  check "the public folder serves no editor's copy" test "$(status_of "http://127.0.0.1:$PORT/track/track.php~")" = 404

  # The client's address comes from X-Forwarded-For, and track.php has the
  # secret beside it: a load balancer's visitors count apart, signed sales only.
  sql() { mariadb --no-defaults --socket="$DB_SOCKET" -u "$(id -un)" --batch --skip-column-names tallyfair -e "$1"; }
  sql "INSERT INTO tf_affiliates (name, link_id) VALUES ('Ann', 'ann')"
  for address in 10.1.1.1 10.1.1.1 10.1.1.2; do
    curl -s -o /dev/null -H "X-Forwarded-For: $address" "$TRACK_URL?affid=ann"
  done
  check "visits count once per forwarded client address" test "$(sql "SELECT visitors FROM tf_affiliates")" = 2
  # From any other address the header is the client's own word.
  for address in 10.2.2.1 10.2.2.2; do
    curl -s -o /dev/null --interface 127.0.0.2 -H "X-Forwarded-For: $address" "$TRACK_URL?affid=ann"
  done
  check "X-Forwarded-For is believed from 127.0.0.1 only" test "$(sql "SELECT visitors FROM tf_affiliates")" = 3
  sig=$(printf '%s\n%s' O-1 ann | openssl dgst -sha256 -hmac "$TRACKING_SECRET" | sed 's/.*= //')
  check "a sale signed with stack.env's secret counts" test "$(curl -s "$TRACK_URL?event=sale&order=O-1&affid=ann&sig=$sig")" = OK
  check "an unsigned sale is refused" test "$(curl -s "$TRACK_URL?event=sale&order=O-2&affid=ann")" = REFUSED
  check "and only the signed one is recorded" test "$(sql "SELECT COUNT(*) FROM tf_sales")" = 1
fi
check "the server does not run as root" test "$(server_uid "$SERVER_PID")" -ne 0

# ---- Host ---------------------------------------------------------------------------
check "answers Host 127.0.0.1" test "$(status_of "$URL")" = 200
check "answers Host localhost" test "$(status_of -H "Host: localhost:$PORT" "$URL")" = 200
for host in "attacker.example" "attacker.example:$PORT" "127.0.0.1.attacker.example:$PORT"; do
  code=$(status_of -H "Host: $host" "$URL")
  check "refuses Host $host (got ${code:-nothing})" test "$code" != 200
  code=$(status_of -H "Host: $host" "$PUBLIC?affid=a")
  check "refuses Host $host on the counting script" test "$code" = 421 -o "$code" = 000
done

# ---- stopping ------------------------------------------------------------------------
if [ "$WHICH" = site ]; then
  bash "$ROOT/scripts/site.sh" --stop "$FOLDER" >/dev/null
else
  bash "$ROOT/scripts/stack.sh" stop "$FOLDER" >/dev/null
fi
check "stopping stops the server" refuses curl -s -o /dev/null "http://127.0.0.1:$PORT/"
check "and leaves the bystander alone" kill -0 "$BYSTANDER"
exit $FAILED
