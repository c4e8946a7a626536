#!/usr/bin/env bash
# The program's lists over a slow link: the real stack (scripts/stack.sh)
# with 100,000 affiliates and 1,000,000 sales, and the real main window
# (build/bench/bench_link) in a network namespace of its own that reaches
# the stack only through a veth pair shaped to 20 Mbit/s by a tbf qdisc on
# both ends (netem is not available everywhere; tbf is).
#
#   sudo bash bench/link_bench.sh                 the scripts of server/
#   sudo bash bench/link_bench.sh --before main   first the scripts of main
#   LINK_RATE=20mbit                              the link's rate
#
# It runs as root (namespaces, links, qdiscs), makes the namespace and the
# pair itself, gives the pair 10.201.0.1/30 (this side) and 10.201.0.2/30
# (the namespace's side), and takes all of it down again at the end. The
# stack keeps listening on 127.0.0.1 only: inside the namespace a socat on
# its 127.0.0.1 passes connections over the pair to a socat on 10.201.0.1,
# which passes them on to the stack, so the program uses the site address
# an operator would and every byte it exchanges crosses the shaped pair.
# For each pass the program reports, with the bytes that crossed the pair:
#   affiliates  a whole load of the affiliates (Refresh without a cursor)
#   sales       a whole load of all sales (the Show box on "All sales")
#   live        one live refresh after 100 new sales through track.php
#   trend       then, straight to the stack, the Trend button with all
#               100,000 affiliates selected (a site with the history)
set -euo pipefail
umask 077
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RATE=${LINK_RATE:-20mbit}
[ "$(id -u)" -eq 0 ] || {
  echo "link-bench: runs as root (network namespaces and qdiscs)" >&2
  exit 2
}
BEFORE=""
if [ "${1:-}" = "--before" ]; then BEFORE=${2:?usage: $0 [--before GITREF]}; fi
PROGRAM="$ROOT/build/bench/bench_link"
[ -x "$PROGRAM" ] || {
  echo "link-bench: build first (bash scripts/build.sh)" >&2
  exit 2
}
for tool in ip tc socat curl php mariadb; do
  command -v "$tool" >/dev/null || {
    echo "link-bench: needs $tool" >&2
    exit 2
  }
done

NS=tf-link-$$
V0=tfl0-$$
V1=tfl1-$$
HERE=10.201.0.1
THERE=10.201.0.2
WORK=$(mktemp -d /tmp/tf-link-bench.XXXXXX)
chmod 0711 "$WORK"
FOLDER=""
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ -n "$FOLDER" ]; then bash "$ROOT/scripts/stack.sh" stop "$FOLDER" >/dev/null || true; fi
  ip netns del "$NS" 2>/dev/null || true
  ip link del "$V0" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
touch "$WORK/results.md"

# The namespace and the pair, shaped both ways.
ip netns add "$NS"
ip link add "$V0" type veth peer name "$V1"
ip link set "$V1" netns "$NS"
ip addr add "$HERE/30" dev "$V0"
ip link set "$V0" up
ip netns exec "$NS" ip addr add "$THERE/30" dev "$V1"
ip netns exec "$NS" ip link set "$V1" up
ip netns exec "$NS" ip link set lo up
tc qdisc add dev "$V0" root tbf rate "$RATE" burst 32kbit latency 400ms
ip netns exec "$NS" tc qdisc add dev "$V1" root tbf rate "$RATE" burst 32kbit latency 400ms

sql() { mariadb --no-defaults --socket="$DB_SOCKET" -u "$(id -un)" --batch --skip-column-names tallyfair "$@"; }
history_length() {
  sql -e "SHOW ENGINE INNODB STATUS\G" | sed -n 's/.*History list length \([0-9]*\).*/\1/p' | head -n 1
}

# 100 sales through track.php from as many clients, signed when the
# scripts have a secret, each through an affiliate of its own.
new_sales() {
  local i order affid sig url
  for i in $(seq 1 100); do
    order="LINK-$1-$i"
    affid="aff$((i * 997 % 100000 + 1))"
    sig=""
    if [ -n "${TRACKING_SECRET:-}" ]; then
      sig=$(printf '%s\n%s' "$order" "$affid" | openssl dgst -sha256 -hmac "$TRACKING_SECRET" -r | cut -d' ' -f1)
    fi
    url="$TRACK_URL?event=sale&order=$order&affid=$affid${sig:+&sig=$sig}"
    curl -s -o /dev/null -H "X-Forwarded-For: 10.77.$((i / 200)).$((i % 200 + 1))" "$url"
  done
}

pass() {
  LABEL=$1
  FOLDER="$WORK/stack-$LABEL"
  echo "link-bench: $LABEL: starting the stack" >&2
  STACK_SCRIPTS=$2 bash "$ROOT/scripts/stack.sh" start "$FOLDER" >&2
  # shellcheck disable=SC1091
  . "$FOLDER/stack.env"
  echo "link-bench: $LABEL: loading 100,000 affiliates and 1,000,000 sales" >&2
  sql <"$ROOT/bench/site-data.sql"
  if [ -f "$FOLDER/www/tracking/upgrade.php" ]; then
    (cd "$FOLDER/www/tracking" && TF_DB_USER="$(id -un)" TF_DB_PASSWORD= php upgrade.php >&2) || true
  fi
  for _ in $(seq 1 300); do
    [ "$(history_length)" -lt 1000 ] && break
    sleep 1
  done
  # The two ends of the way through the pair.
  local fwd=$((WEB_PORT + 1))
  socat "TCP-LISTEN:$fwd,bind=$HERE,fork,reuseaddr" "TCP:127.0.0.1:$WEB_PORT" &
  PIDS+=($!)
  ip netns exec "$NS" socat "TCP-LISTEN:$WEB_PORT,bind=127.0.0.1,fork,reuseaddr" "TCP:$HERE:$fwd" &
  PIDS+=($!)
  sleep 0.5
  echo "link-bench: $LABEL: the program over the link" >&2
  coproc BENCH { ip netns exec "$NS" timeout 900 "$PROGRAM" "$SITE_URL" "$V1" 2>"$WORK/program-$LABEL.log"; }
  # Bash forgets the coprocess's id once it has ended.
  local bench_pid=$BENCH_PID line
  while read -r line <&"${BENCH[0]}"; do
    case "$line" in
    ready)
      new_sales "$LABEL"
      echo go >&"${BENCH[1]}"
      ;;
    *)
      echo "link-bench: $LABEL: $line" >&2
      printf '| %s | %s |\n' "$LABEL" "$line" >>"$WORK/results.md"
      ;;
    esac
  done
  wait "$bench_pid" || echo "link-bench: $LABEL: the program failed, see its log" >&2
  # The trend of every affiliate over the whole event, from the window to
  # its chart, on the stack itself (no link): the first, which the site sums
  # from the buckets, and one more.
  echo "link-bench: $LABEL: the trend, without the link" >&2
  timeout 300 "$PROGRAM" "$SITE_URL" lo trend 2>>"$WORK/program-$LABEL.log" | while read -r line; do
    case "$line" in
    trend*)
      echo "link-bench: $LABEL: $line (no link)" >&2
      printf '| %s | %s (no link) |\n' "$LABEL" "$line" >>"$WORK/results.md"
      ;;
    esac
  done
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  PIDS=()
  bash "$ROOT/scripts/stack.sh" stop "$FOLDER" >&2
  FOLDER=""
}

if [ -n "$BEFORE" ]; then
  mkdir -p "$WORK/before"
  git -C "$ROOT" archive "$BEFORE" server | tar -x -C "$WORK/before"
  pass before "$WORK/before/server"
fi
pass after "$ROOT/server"

echo "## Link benchmark ($(date -u '+%Y-%m-%d %H:%M UTC'), $RATE, load average $(cut -d' ' -f1-3 /proc/loadavg))"
echo
echo "| pass | step: time, bytes on the pair, rows shown |"
echo "|---|---|"
cat "$WORK/results.md"
