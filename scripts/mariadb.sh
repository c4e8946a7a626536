#!/usr/bin/env bash
# One private MariaDB server, the same for scripts/stack.sh and the tests'
# site fixture (tests/support/SiteServer.cpp):
#
#   bash scripts/mariadb.sh --install DATADIR RUNDIR
#   bash scripts/mariadb.sh DATADIR RUNDIR PORT [OPTION...]
#
# The first makes the data folder, if it is not there yet (socket
# authentication: the caller's own system user may connect as the
# database's root, over the socket). The second does the same when needed,
# then becomes the server itself (exec), in the foreground, listening on
# 127.0.0.1:PORT and on RUNDIR/mariadb.sock, with its log in
# RUNDIR/mariadb.log and temporary files in RUNDIR/tmp. OPTIONs go to
# mariadbd as they are (--innodb-buffer-pool-size=..., --max-connections=...).
# It runs as whoever calls it; as root, it tells mariadbd to stay root, so a
# caller that wants another user drops to it first (stack.sh does). Callers
# install first and choose the port after: a free port chosen before a slow
# install may be taken by someone else by the time the server starts.
set -euo pipefail
umask 077
usage() {
  echo "usage: $0 --install DATADIR RUNDIR | $0 DATADIR RUNDIR PORT [OPTION...]" >&2
  exit 2
}
INSTALL_ONLY=0
if [ "${1:-}" = --install ]; then
  [ $# -eq 3 ] || usage
  INSTALL_ONLY=1
  DATA=$2 RUN=$3
else
  [ $# -ge 3 ] || usage
  DATA=$1 RUN=$2 PORT=$3
  shift 3
  case "$PORT" in '' | *[!0-9]*) usage ;; esac
fi

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
[ $INSTALL_ONLY -eq 0 ] || exit 0

exec "$daemon" --no-defaults --datadir="$DATA" --tmpdir="$RUN/tmp" \
  --socket="$RUN/mariadb.sock" --port="$PORT" --bind-address=127.0.0.1 \
  --pid-file="$RUN/mariadbd.pid" --log-error="$RUN/mariadb.log" \
  --skip-name-resolve --skip-log-bin "${as_root[@]}" "$@"
