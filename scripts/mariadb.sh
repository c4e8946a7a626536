#!/usr/bin/env bash
# One private MariaDB server, the same for scripts/stack.sh and the tests'
# site fixture (tests/support/SiteServer.cpp):
#
#   bash scripts/mariadb.sh DATADIR RUNDIR PORT [OPTION...]
#
# Makes the data folder on first use (socket authentication: the caller's
# own system user may connect as the database's root, over the socket), then
# becomes the server itself (exec), in the foreground, listening on
# 127.0.0.1:PORT and on RUNDIR/mariadb.sock, with its log in
# RUNDIR/mariadb.log and temporary files in RUNDIR/tmp. OPTIONs go to
# mariadbd as they are (--innodb-buffer-pool-size=..., --max-connections=...).
# It runs as whoever calls it; as root, it tells mariadbd to stay root, so a
# caller that wants another user drops to it first (stack.sh does).
set -euo pipefail
umask 077
[ $# -ge 3 ] || {
  echo "usage: $0 DATADIR RUNDIR PORT [OPTION...]" >&2
  exit 2
}
DATA=$1 RUN=$2 PORT=$3
shift 3
case "$PORT" in '' | *[!0-9]*)
  echo "mariadb: PORT must be a number" >&2
  exit 2
  ;;
esac

tool() {
  local name dir
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then
      command -v "$name"
      return 0
    fi
    for dir in /usr/sbin /usr/local/sbin /usr/bin; do
      [ -x "$dir/$name" ] && echo "$dir/$name" && return 0
    done
  done
  echo "mariadb: none of $* found (install mariadb-server, see scripts/deps.sh)" >&2
  return 1
}
daemon=$(tool mariadbd mysqld)
installer=$(tool mariadb-install-db mysql_install_db)

as_root=()
[ "$(id -u)" -eq 0 ] && as_root=(--user=root)

# A private tmpdir: servers started side by side in the shared /tmp collide
# on the names of their temporary tables.
mkdir -p "$RUN/tmp"
if [ ! -d "$DATA/mysql" ]; then
  "$installer" --no-defaults --datadir="$DATA" --tmpdir="$RUN/tmp" \
    --auth-root-authentication-method=socket --skip-test-db --skip-name-resolve "${as_root[@]}" \
    >"$RUN/mariadb-install.log" 2>&1 || {
    echo "mariadb: mariadb-install-db failed:" >&2
    tail -n 20 "$RUN/mariadb-install.log" >&2
    exit 1
  }
fi

exec "$daemon" --no-defaults --datadir="$DATA" --tmpdir="$RUN/tmp" \
  --socket="$RUN/mariadb.sock" --port="$PORT" --bind-address=127.0.0.1 \
  --pid-file="$RUN/mariadbd.pid" --log-error="$RUN/mariadb.log" \
  --skip-name-resolve --skip-log-bin "${as_root[@]}" "$@"
