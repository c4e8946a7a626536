#!/usr/bin/env bash
# The reference site on the real stack (scripts/stack.sh: nginx, php-fpm with
# memory_limit 128M, MariaDB) with 100,000 affiliates and 1,000,000 sales.
#
#   bash bench/site_bench.sh                 the scripts of server/
#   bash bench/site_bench.sh --before REF    first the scripts of git REF
#                                            (e.g. main), then server/
#   SITE_BENCH_SECONDS=10 SITE_BENCH_ROUNDS=7   wrk duration, list and
#                                               deletion rounds
#   SITE_BENCH_PARTS=track   only track.php under wrk (a few minutes a pass)
#   SITE_BENCH_PARTS=history only the history actions (a minute a pass)
#
# Each pass starts a fresh stack in a temporary folder, loads the data, runs
# upgrade.php when the scripts have one, and then measures:
# - every list, the 100,000-id selection and a 20,000-sale deletion, as the
#   site's time over the mariadb client's time for the same rows (or a
#   deletion of as many other sales), median of the rounds, checking each
#   reply is whole and each deletion's counters;
#   the script's peak memory (php-fpm's %M, memory_get_peak_usage(true));
# - the history actions, where the scripts have them: the sales of a week
#   (action 21) against the mariadb client reading the same rows, and the
#   90-day trend of all 100,000 affiliates selected by id (action 22) and a
#   week per affiliate (23) against the client running the same sums;
# - track.php under wrk, 32 clients mixing visits, subscribes and sales over
#   1,000 affiliates, and 16 clients selling through one affiliate, against
#   bench/probe.php (a fresh connection and one UPDATE per request) in the
#   same pass, run in the order track.php, probe, probe, track.php so that a
#   drift of the machine's speed during the pass weighs on both alike (the
#   ratio is of the sums); then whether the counters and rows add up. Sales
#   are signed with the stack's TRACKING_SECRET (unsigned for scripts that
#   have none), and every request comes from a client address of its own in
#   X-Forwarded-For, so each answered request must count exactly once.
# Only 127.0.0.1 is ever contacted; every load run is bounded in time.
set -euo pipefail
umask 077
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_PER_RUN=${SITE_BENCH_SECONDS:-10}
ROUNDS=${SITE_BENCH_ROUNDS:-7}
PARTS=${SITE_BENCH_PARTS:-all}
case "$PARTS" in all | track | history) ;; *) echo "site-bench: SITE_BENCH_PARTS is all, track or history" >&2; exit 2 ;; esac

BEFORE=""
if [ "${1:-}" = "--before" ]; then
  BEFORE=${2:?usage: $0 [--before GITREF]}
fi

WORK=$(mktemp -d /tmp/tf-site-bench.XXXXXX)
# The stacks inside run as another user when this runs as root; they must
# be able to pass through (not list or write) this folder.
chmod 0711 "$WORK"
FOLDER=""
cleanup() {
  if [ -n "$FOLDER" ]; then bash "$ROOT/scripts/stack.sh" stop "$FOLDER" >/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
touch "$WORK/setup.md" "$WORK/lists.md" "$WORK/track.md" "$WORK/ratios.md"

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

sql() { mariadb --no-defaults --socket="$DB_SOCKET" -u "$(id -un)" --batch --skip-column-names tallyfair "$@"; }

# Undo records InnoDB has yet to purge.
history_length() {
  sql -e "SHOW ENGINE INNODB STATUS\G" | sed -n 's/.*History list length \([0-9]*\).*/\1/p' | head -n 1
}

# Peak memory of the last request php-fpm finished, in KiB.
last_peak() { tail -n 1 "$FOLDER/log/php-fpm-access.log" | awk '{ print $(NF-1) }'; }

# list NAME FIELDS CLI-SQL ROWS (FIELDS: the curl form arguments)
list_case() {
  local name=$1 form=$2 query=$3 rows=$4
  local cli_times=() site_times=() peak=0 ok=yes detail=""
  local round
  for round in $(seq 1 "$ROUNDS"); do
    local t0 t1 t2 t3 code size
    # The client first in odd rounds, the site first in even ones.
    if [ $((round % 2)) -eq 1 ]; then
      t0=$(now)
      sql --quick <<<"$query" >/dev/null
      t1=$(now)
    fi
    t2=$(now)
    # shellcheck disable=SC2086
    read -r code size < <(curl -s -o "$WORK/reply" -w '%{http_code} %{size_download}\n' $form \
      -F end= "$SITE_URL/actions.php" || echo "000 0")
    t3=$(now)
    if [ $((round % 2)) -eq 0 ]; then
      t0=$(now)
      sql --quick <<<"$query" >/dev/null
      t1=$(now)
    fi
    cli_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
    site_times+=("$(awk -v a="$t2" -v b="$t3" 'BEGIN { print b - a }')")
    local records
    records=$(tr -cd '^' <"$WORK/reply" | wc -c)
    if [ "$code" != 200 ] || [ "$(tail -c 2 "$WORK/reply")" != OK ] || [ "$records" -ne "$rows" ]; then
      ok=no
      detail="HTTP $code, $size bytes, $records of $rows records, ends \"$(tail -c 12 "$WORK/reply" | tr -d '\r\n')\""
    fi
    local p
    sleep 0.2 # php-fpm logs the request just after it ends
    p=$(last_peak)
    [ "${p:-0}" -gt "$peak" ] && peak=$p
  done
  local cli site
  cli=$(printf '%s\n' "${cli_times[@]}" | median)
  site=$(printf '%s\n' "${site_times[@]}" | median)
  printf '| %s | %s | %.2f s | %.2f s | %s | %d MiB | %s |\n' "$LABEL" "$name" "$site" "$cli" \
    "$(ratio "$site" "$cli")" $((peak / 1024)) "$([ $ok = yes ] && echo "whole, $size bytes" || echo "FAILED: $detail")" \
    >>"$WORK/lists.md"
}

counters() {
  sql -e "SELECT SUM(visitors), SUM(subscribers), SUM(oto_sales),
                 (SELECT COUNT(*) FROM tf_sales WHERE affiliate_id IS NOT NULL), (SELECT COUNT(*) FROM tf_sales)
          FROM tf_affiliates"
}

# Processor time (clock ticks, reaped children included) of each server of
# the stack, as "name=ticks ...": where a request's time goes.
cpu_ticks() {
  local name total master pid
  for name in nginx php-fpm mariadb; do
    total=0
    master=$(cut -d' ' -f1 "$FOLDER/state/$name.pid" 2>/dev/null || true)
    for pid in $master $( [ -n "$master" ] && pgrep -P "$master" || true); do
      total=$((total + $(awk '{ print $14 + $15 + $16 + $17 }' "/proc/$pid/stat" 2>/dev/null || echo 0)))
    done
    printf '%s=%s ' "$name" "$total"
  done
}

# wrk_case NAME MODE CONNECTIONS SCRIPT
RUN_NUMBER=0
wrk_case() {
  local name=$1 mode=$2 conns=$3 script=$4 before after out
  # Signed sales for this run, more than it can send, each order new.
  php -r '
    [, $n, $secret, $tag, $mode] = $argv;
    mt_srand(7);
    for ($i = 1; $i <= (int)$n; $i++) {
        $order = "$tag-$i";
        $affid = $mode === "hot" ? "aff1" : "aff" . mt_rand(1, 1000);
        $sig = $secret === "" ? "" : hash_hmac("sha256", "$order\n$affid", $secret);
        echo "$order $affid $sig\n";
    }' $((SECONDS_PER_RUN * 5000)) "${TRACKING_SECRET:-}" "$LABEL$(date +%s%N)" "$mode" >"$WORK/orders"
  before=$(counters)
  local cpu0 cpu1
  cpu0=$(cpu_ticks)
  # Each run its own 2^21 client addresses.
  out=$(TRACK_MODE=$mode TRACK_PATH=/track/$script TRACK_ORDERS="$WORK/orders" TRACK_THREADS=2 \
    TRACK_ADDRESSES=$((RUN_NUMBER * 2097152)) TRACK_AFFILIATES=1000 \
    wrk -t 2 -c "$conns" -d "${SECONDS_PER_RUN}s" --timeout 10s -s "$ROOT/bench/track.lua" "http://127.0.0.1:$WEB_PORT/" 2>&1 || true)
  RUN_NUMBER=$((RUN_NUMBER + 1))
  cpu1=$(cpu_ticks)
  sleep 1 # requests still in flight when wrk stopped
  after=$(counters)
  local line
  line=$(grep '^RESULT' <<<"$out" || echo "RESULT requests=0 non2xx=0 connect=0 read=0 write=0 timeout=0 duration_us=1 p99_us=0 short=0")
  eval "$(sed 's/^RESULT //' <<<"$line")"
  # shellcheck disable=SC2154
  local rate counted dv ds doto dr dt v0 s0 o0 r0 t0 v1 s1 o1 r1 t1
  read -r v0 s0 o0 r0 t0 <<<"$before"
  read -r v1 s1 o1 r1 t1 <<<"$after"
  dv=$((v1 - v0)) ds=$((s1 - s0)) doto=$((o1 - o0)) dr=$((r1 - r0)) dt=$((t1 - t0))
  counted=$((dv + ds + dt))
  rate=$(awk -v n="$requests" -v d="$duration_us" 'BEGIN { printf "%.0f", n / (d / 1e6) }')
  local failed=$((non2xx + connect + read + write + timeout))
  local good=$((requests - non2xx))
  local check
  if [ "$script" = probe.php ]; then
    check="visitors +$dv"
  else
    TRACK_VISITORS=$((TRACK_VISITORS + dv)) TRACK_SUBSCRIBERS=$((TRACK_SUBSCRIBERS + ds))
    check="visitors +$dv, subscribers +$ds, sales +$dt; OTO sales +$doto for +$dr affiliate sale rows"
  fi
  local verdict=ok
  # Every answered request counts once; those still in flight when wrk
  # stopped (at most one per client) may count without an answer.
  if [ "$counted" -lt "$good" ] || [ "$counted" -gt $((good + conns)) ] || [ "$doto" -ne "$dr" ]; then verdict=MISMATCH; fi
  [ "$failed" -gt 0 ] && verdict="$verdict, $failed FAILED"
  [ "$short" -gt 0 ] && verdict="$verdict, $short sales sent as visits (too few orders made)"
  echo "$rate" >>"$WORK/rate-$LABEL-$name-$script"
  # Microseconds of processor time per request, by process.
  local per
  per=$(awk -v a="$cpu0" -v b="$cpu1" -v n="$requests" -v hz="$(getconf CLK_TCK)" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    for (i = 1; i in y; i++) { split(x[i], p, "="); split(y[i], q, "=");
      printf "%s%s %.0f", (i > 1 ? ", " : ""), q[1], (q[2] - p[2]) / hz * 1e6 / (n > 0 ? n : 1) }
  }')
  printf '| %s | %s | %s | %s req/s | %s | %s (answered OK %s, counted %s) | %s |\n' "$LABEL" "$name" "$script" "$rate" \
    "$((p99_us / 1000)) ms" "$verdict: $check" "$good" "$counted" "$per" >>"$WORK/track.md"
}

pass() {
  LABEL=$1
  local scripts=$2
  FOLDER="$WORK/stack-$LABEL"
  echo "site-bench: $LABEL: starting the stack" >&2
  STACK_SCRIPTS=$scripts STACK_PUBLIC_SCRIPTS="track.php probe.php" bash "$ROOT/scripts/stack.sh" start "$FOLDER" >&2
  # shellcheck disable=SC1091
  . "$FOLDER/stack.env"
  # The probe beside track.php, readable by the servers as track.php is.
  cp "$ROOT/bench/probe.php" "$FOLDER/www/track/"
  chgrp "$(stat -c %g "$FOLDER/www/track/track.php")" "$FOLDER/www/track/probe.php"
  chmod "$(stat -c %a "$FOLDER/www/track/track.php")" "$FOLDER/www/track/probe.php"
  printf '| %s | sales signed | %s |\n' "$LABEL" "$([ -n "${TRACKING_SECRET:-}" ] && echo "yes (HMAC-SHA256 with the stack's secret)" || echo "no (these scripts have no secret)")" >>"$WORK/setup.md"
  local t0 t1
  echo "site-bench: $LABEL: loading 100,000 affiliates and 1,000,000 sales" >&2
  t0=$(now)
  sql <"$ROOT/bench/site-data.sql"
  t1=$(now)
  printf '| %s | loading the data (mariadb client) | %.1f s |\n' "$LABEL" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" >>"$WORK/setup.md"
  if [ -f "$FOLDER/www/tracking/upgrade.php" ]; then
    t0=$(now)
    (cd "$FOLDER/www/tracking" && TF_DB_USER="$(id -un)" TF_DB_PASSWORD= php upgrade.php >&2) || true
    t1=$(now)
    printf '| %s | upgrade.php on 1,000,000 sales | %.1f s |\n' "$LABEL" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" >>"$WORK/setup.md"
  fi
  # Loading and upgrading leave InnoDB a million old row versions to purge
  # in the background, which would take CPU from whatever is measured next.
  t0=$(now)
  for _ in $(seq 1 300); do
    [ "$(history_length)" -lt 1000 ] && break
    sleep 1
  done
  t1=$(now)
  printf '| %s | waiting for InnoDB to purge old row versions (history length now %s) | %.1f s |\n' "$LABEL" \
    "$(history_length)" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" >>"$WORK/setup.md"

  if [ "$PARTS" = all ]; then lists; fi
  if [ "$PARTS" != track ]; then history; fi
  if [ "$PARTS" != history ]; then track_runs; fi
  if [ "$PARTS" = all ]; then deletion; fi

  bash "$ROOT/scripts/stack.sh" stop "$FOLDER" >&2
  FOLDER=""
}

lists() {
  echo "site-bench: $LABEL: lists" >&2
  local sales="SELECT s.id, COALESCE(a.name, ''), s.sale_order FROM tf_sales s LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id"
  local ids
  ids=$(seq -s, 100000 -1 1)
  printf '%s' "$ids" >"$WORK/ids"
  list_case "affiliates (100,000)" "-F action=3" \
    "SELECT id, name, link_id, oto_sales, subscribers, visitors, unique_hits FROM tf_affiliates ORDER BY id" 100000
  list_case "all sales (1,000,000)" "-F action=4 -F querytype=3 -F reftype=" "$sales ORDER BY s.id" 1000000
  list_case "affiliate sales (900,000)" "-F action=4 -F querytype=1 -F reftype=" \
    "$sales WHERE s.affiliate_id IS NOT NULL ORDER BY s.id" 900000
  list_case "direct sales (100,000)" "-F action=4 -F querytype=2 -F reftype=" \
    "$sales WHERE s.affiliate_id IS NULL ORDER BY s.id" 100000
  list_case "sales of 100,000 selected affiliates" "-F action=4 -F querytype=0 -F reftype=<$WORK/ids" \
    "$sales WHERE s.affiliate_id IN ($ids) ORDER BY s.id" 900000

}

# The history actions over the sales of site-data.sql (spread over the 90
# days from 2026-06-01 UTC) and the hours upgrade.php counted from them.
history() {
  if ! curl -s -F action=20 -F end= "$SITE_URL/actions.php" | grep -q 'history'; then
    printf '| %s | history actions | not in these scripts |\n' "$LABEL" >>"$WORK/setup.md"
    return
  fi
  echo "site-bench: $LABEL: history" >&2
  local week="s.created_at >= '2026-08-23 00:00:00' AND s.created_at < '2026-08-30 00:00:00'"
  local rows ids t
  # Field values from files: the form's words are split at blanks.
  for t in 2026-06-01 2026-08-23 2026-08-30; do printf '%s 00:00:00' "$t" >"$WORK/time-$t"; done
  rows=$(sql -e "SET time_zone = '+00:00'; SELECT COUNT(*) FROM tf_sales s WHERE $week")
  list_case "sales of a week ($rows of 1,000,000), action 21" \
    "-F action=21 -F querytype=3 -F reftype= -F from=<$WORK/time-2026-08-23 -F to=<$WORK/time-2026-08-30" \
    "SET time_zone = '+00:00'; SELECT s.id, COALESCE(a.name, ''), s.sale_order, s.created_at FROM tf_sales s
     LEFT JOIN tf_affiliates a ON a.id = s.affiliate_id WHERE $week ORDER BY s.id" "$rows"
  ids=$(seq -s, 100000 -1 1)
  printf '%s' "$ids" >"$WORK/ids"
  local sums="SUM(oto_sales), SUM(subscribers), SUM(visitors), SUM(unique_hits)"
  local days="hour_start >= UNIX_TIMESTAMP('2026-06-01 00:00:00') AND hour_start < UNIX_TIMESTAMP('2026-08-30 00:00:00')"
  rows=$(sql -e "SET time_zone = '+00:00'; SELECT COUNT(DISTINCT hour_start) FROM tf_hourly WHERE $days")
  # The first trend of all affiliates sums the settled hours, once; the
  # rounds below then read them.
  local t0 t1
  t0=$(now)
  curl -s -o "$WORK/reply" -F action=22 -F "reftype=<$WORK/ids" -F "from=<$WORK/time-2026-06-01" \
    -F "to=<$WORK/time-2026-08-30" -F end= "$SITE_URL/actions.php" || true
  t1=$(now)
  printf '| %s | the first 90-day trend of all affiliates, summing %s hours (action 22) | %.2f s, %s records |\n' "$LABEL" \
    "$rows" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$(tr -cd '^' <"$WORK/reply" | wc -c)" >>"$WORK/setup.md"
  list_case "90 days per hour, 100,000 affiliates by id ($rows hours), action 22" \
    "-F action=22 -F reftype=<$WORK/ids -F from=<$WORK/time-2026-06-01 -F to=<$WORK/time-2026-08-30" \
    "SET time_zone = '+00:00'; SELECT FROM_UNIXTIME(hour_start), $sums FROM tf_hourly
     WHERE affiliate_id IN ($ids) AND $days GROUP BY hour_start ORDER BY hour_start" "$rows"
  days="hour_start >= UNIX_TIMESTAMP('2026-08-23 00:00:00') AND hour_start < UNIX_TIMESTAMP('2026-08-30 00:00:00')"
  rows=$(sql -e "SET time_zone = '+00:00'; SELECT COUNT(DISTINCT affiliate_id) FROM tf_hourly WHERE $days")
  list_case "a week per affiliate ($rows affiliates), action 23" \
    "-F action=23 -F reftype=all -F from=<$WORK/time-2026-08-23 -F to=<$WORK/time-2026-08-30" \
    "SET time_zone = '+00:00'; SELECT affiliate_id, $sums FROM tf_hourly WHERE $days
     GROUP BY affiliate_id ORDER BY affiliate_id" "$rows"
}

track_runs() {
  echo "site-bench: $LABEL: track.php under wrk" >&2
  local script
  TRACK_VISITORS=0 TRACK_SUBSCRIBERS=0
  for script in track.php probe.php probe.php track.php; do wrk_case "32 clients, mixed" mixed 32 $script; done
  for script in track.php probe.php probe.php track.php; do wrk_case "16 clients, one affiliate" hot 16 $script; done
  local mismatched
  mismatched=$(sql -e "SELECT COUNT(*) FROM tf_affiliates a LEFT JOIN (SELECT affiliate_id, COUNT(*) AS c FROM tf_sales
                       GROUP BY affiliate_id) s ON s.affiliate_id = a.id WHERE a.oto_sales <> COALESCE(s.c, 0)")
  printf '| %s | affiliates whose OTO sales differ from their sale rows after the load runs | %s |\n' "$LABEL" "$mismatched" >>"$WORK/setup.md"
  if [ -n "$(sql -e "SHOW TABLES LIKE 'tf_hourly'")" ]; then
    # Every hour of every affiliate holds the sales made in it, and the
    # hours of the load hold what the counters gained.
    mismatched=$(sql -e "SELECT COUNT(*) FROM (SELECT affiliate_id, UNIX_TIMESTAMP(created_at) DIV 3600 * 3600 AS h,
                         COUNT(*) AS c FROM tf_sales WHERE affiliate_id IS NOT NULL GROUP BY 1, 2) s
                         LEFT JOIN tf_hourly b ON b.affiliate_id = s.affiliate_id AND b.hour_start = s.h
                         WHERE COALESCE(b.oto_sales, 0) <> s.c")
    printf '| %s | affiliate hours whose OTO sales differ from the sales made in them | %s |\n' "$LABEL" "$mismatched" >>"$WORK/setup.md"
    printf '| %s | visitors and subscribers: in all hours / added to the counters by track.php | %s / %s, %s |\n' "$LABEL" \
      "$(sql -e "SELECT CONCAT(SUM(visitors), ', ', SUM(subscribers)) FROM tf_hourly")" \
      "$TRACK_VISITORS" "$TRACK_SUBSCRIBERS" >>"$WORK/setup.md"
  fi
  for name in "32 clients, mixed" "16 clients, one affiliate"; do
    printf '| %s | %s | track.php / probe | %s |\n' "$LABEL" "$name" \
      "$(ratio "$(awk '{ s += $1 } END { print s }' "$WORK/rate-$LABEL-$name-track.php")" \
        "$(awk '{ s += $1 } END { print s }' "$WORK/rate-$LABEL-$name-probe.php")")" >>"$WORK/ratios.md"
  done

}

deletion() {
  echo "site-bench: $LABEL: deleting 20,000 sales, once a round" >&2
  # Round r: the site deletes the sales whose id is 51 - 2r modulo 50, the
  # client those at 50 - 2r, so no sale is deleted twice. The client's
  # deletions leave the counters alone; so each round checks that the site's
  # deletion lowered OTO sales by exactly the affiliate sales it deleted and
  # left no other affiliate unlike its rows.
  local site_times=() cli_times=() verdict="" gone=0 code="" r
  local counters_sql="SELECT (SELECT SUM(oto_sales) FROM tf_affiliates),
      (SELECT COUNT(*) FROM tf_sales WHERE affiliate_id IS NOT NULL), (SELECT COUNT(*) FROM tf_sales),
      (SELECT COUNT(*) FROM tf_affiliates a LEFT JOIN (SELECT affiliate_id, COUNT(*) AS c FROM tf_sales
       GROUP BY affiliate_id) s ON s.affiliate_id = a.id WHERE a.oto_sales <> COALESCE(s.c, 0))"
  for r in $(seq 1 $((ROUNDS < 24 ? ROUNDS : 24))); do
    local o0 a0 n0 m0 o1 a1 n1 m1 t2 t3
    sleep 0.2
    printf '%s' "$(seq -s, $((51 - 2 * r)) 50 1000000)" >"$WORK/delete-ids"
    read -r o0 a0 n0 m0 <<<"$(sql -e "$counters_sql")"
    t0=$(now)
    code=$(curl -s -o "$WORK/reply" -w '%{http_code}' -F action=5 -F "deleteids=<$WORK/delete-ids" -F end= "$SITE_URL/actions.php" || true)
    t1=$(now)
    read -r o1 a1 n1 m1 <<<"$(sql -e "$counters_sql")"
    gone=$((gone + n0 - n1))
    if [ "$code" != 200 ] || [ "$(cat "$WORK/reply")" != OK ] || [ $((n0 - n1)) -ne 20000 ] ||
      [ $((o0 - o1)) -ne $((a0 - a1)) ] || [ "$m1" -ne "$m0" ]; then
      verdict="$verdict round $r: reply \"$(head -c 20 "$WORK/reply")\" (HTTP $code), $((n0 - n1)) sales gone, OTO sales -$((o0 - o1)) for -$((a0 - a1)) affiliate sales, mismatched affiliates $m0 -> $m1;"
    fi
    printf 'DELETE FROM tf_sales WHERE id IN (%s)\n' "$(seq -s, $((50 - 2 * r)) 50 1000000)" >"$WORK/delete.sql"
    t2=$(now)
    sql <"$WORK/delete.sql"
    t3=$(now)
    site_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
    cli_times+=("$(awk -v a="$t2" -v b="$t3" 'BEGIN { print b - a }')")
  done
  local site cli
  site=$(printf '%s\n' "${site_times[@]}" | median)
  cli=$(printf '%s\n' "${cli_times[@]}" | median)
  printf '| %s | delete 20,000 sales | %.2f s | %.2f s | %s | %d MiB | %s |\n' \
    "$LABEL" "$site" "$cli" "$(ratio "$site" "$cli")" $(($(last_peak) / 1024)) \
    "$([ -z "$verdict" ] && echo "\"OK\" $r times, $gone sales gone, OTO sales down by the affiliate sales deleted" ||
      echo "FAILED:$verdict")" >>"$WORK/lists.md"
}

if [ -n "$BEFORE" ]; then
  mkdir -p "$WORK/before"
  git -C "$ROOT" archive "$BEFORE" server | tar -x -C "$WORK/before"
  pass before "$WORK/before/server"
fi
pass after "$ROOT/server"

echo "## Site benchmark ($(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg))"
echo
echo "| pass | step | time |"
echo "|---|---|---|"
cat "$WORK/setup.md"
echo
echo "| pass | request | site | mariadb client | ratio | peak memory | reply |"
echo "|---|---|---|---|---|---|---|"
cat "$WORK/lists.md"
echo
echo "| pass | load | script | throughput | p99 latency | counters and rows | processor µs per request |"
echo "|---|---|---|---|---|---|---|"
cat "$WORK/track.md"
echo
echo "| pass | load | ratio | throughput |"
echo "|---|---|---|---|"
cat "$WORK/ratios.md"
