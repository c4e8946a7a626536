#!/usr/bin/env bash
# The reference site on the stack operators run: nginx, php-fpm and MariaDB,
# laid out in one folder and listening on free ports of 127.0.0.1.
#
#   bash scripts/stack.sh start FOLDER    lay out FOLDER and start all three
#   bash scripts/stack.sh stop FOLDER     stop everything started for FOLDER
#   bash scripts/stack.sh status FOLDER   say what runs
#
# FOLDER gets www/ (the document root: actions.php, track.php, upgrade.php,
# config.php), db/ (MariaDB's data, kept between starts), conf/, log/, run/
# (sockets and process ids) and stack.env, which names the site's address
# and the database's port and socket for scripts:
#   SITE_URL  DB_PORT  DB_SOCKET  DB_NAME  DB_USER  DB_PASSWORD  WEB_PORT
#
# Settings, from the environment:
#   STACK_SCRIPTS       folder to copy the site scripts and schema.sql from
#                       (default: server/ of this repository)
#   STACK_MEMORY_LIMIT  PHP's memory_limit for the site (default 128M)
#   STACK_FPM_WORKERS   php-fpm worker processes (default 16)
#   STACK_DB_POOL       InnoDB buffer pool (default 256M)
#
# php-fpm keeps its access log in log/php-fpm-access.log with the peak
# memory of each request (the script's memory_get_peak_usage(true)), in KiB.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: $0 start|stop|status FOLDER" >&2
  exit 2
}

[ $# -eq 2 ] || usage
COMMAND=$1
mkdir -p "$2"
FOLDER=$(cd "$2" && pwd)
RUN="$FOLDER/run"
PROCESSES=(nginx php-fpm mariadb)

tool() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
    for dir in /usr/sbin /usr/local/sbin /usr/bin; do
      if [ -x "$dir/$name" ]; then echo "$dir/$name"; return 0; fi
    done
  done
  echo "stack: none of $* found (install them with scripts/deps.sh)" >&2
  return 1
}

alive() {
  local pidfile="$RUN/$1.pid"
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

stop_one() {
  local name=$1 pidfile="$RUN/$1.pid" pid
  [ -f "$pidfile" ] || return 0
  pid=$(cat "$pidfile")
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    # Each server ends its own workers on TERM; wait until it is gone, so
    # that its ports and files are free again.
    for _ in $(seq 1 150); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill -9 "$pid" 2>/dev/null || true
      echo "stack: $name ($pid) did not stop in time and was killed" >&2
    fi
    echo "stack: stopped $name ($pid)"
  fi
  rm -f "$pidfile"
}

stop_all() {
  local name
  for name in "${PROCESSES[@]}"; do stop_one "$name"; done
}

free_port() {
  php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); $n = stream_socket_get_name($s, false);
          echo substr($n, strrpos($n, ":") + 1);'
}

wait_port() {
  local name=$1 port=$2 log=$3
  for _ in $(seq 1 300); do
    if php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$port" 2>/dev/null; then
      return 0
    fi
    if ! alive "$name"; then break; fi
    sleep 0.1
  done
  echo "stack: $name did not come up on port $port; the end of $log:" >&2
  tail -n 20 "$log" >&2 || true
  return 1
}

start() {
  local scripts=${STACK_SCRIPTS:-$ROOT/server}
  local memory=${STACK_MEMORY_LIMIT:-128M}
  local workers=${STACK_FPM_WORKERS:-16}
  local pool=${STACK_DB_POOL:-256M}
  local nginx fpm mariadbd installer client
  nginx=$(tool nginx)
  fpm=$(tool php-fpm php-fpm8.2 php-fpm8.3 php-fpm8.1)
  mariadbd=$(tool mariadbd mysqld)
  installer=$(tool mariadb-install-db mysql_install_db)
  client=$(tool mariadb mysql)

  stop_all >/dev/null
  mkdir -p "$FOLDER"/{www,conf,log,run,tmp,db-tmp}
  cp "$scripts/actions.php" "$scripts/track.php" "$FOLDER/www/"
  [ -f "$scripts/upgrade.php" ] && cp "$scripts/upgrade.php" "$FOLDER/www/"

  # Servers started as root run as root here: this is a private folder, and
  # there may be no other user that can read it.
  local root=0
  [ "$(id -u)" -eq 0 ] && root=1

  # ---- MariaDB -------------------------------------------------------------
  local db_port db_socket="$RUN/mariadb.sock" fresh=0
  db_port=$(free_port)
  if [ ! -d "$FOLDER/db/mysql" ]; then
    fresh=1
    local args=(--no-defaults --datadir="$FOLDER/db" --tmpdir="$FOLDER/db-tmp"
      --auth-root-authentication-method=socket --skip-test-db --skip-name-resolve)
    [ $root -eq 1 ] && args+=(--user=root)
    "$installer" "${args[@]}" >"$FOLDER/log/mariadb-install.log" 2>&1 || {
      echo "stack: mariadb-install-db failed, see $FOLDER/log/mariadb-install.log" >&2
      exit 1
    }
  fi
  local dbargs=(--no-defaults --datadir="$FOLDER/db" --tmpdir="$FOLDER/db-tmp"
    --socket="$db_socket" --port="$db_port" --bind-address=127.0.0.1
    --pid-file="$RUN/mariadbd.pid" --log-error="$FOLDER/log/mariadb.log"
    --skip-name-resolve --skip-log-bin --innodb-buffer-pool-size="$pool"
    --max-connections=300 --max-allowed-packet=64M)
  [ $root -eq 1 ] && dbargs+=(--user=root)
  "$mariadbd" "${dbargs[@]}" >>"$FOLDER/log/mariadb.log" 2>&1 &
  echo $! >"$RUN/mariadb.pid"
  if ! wait_port mariadb "$db_port" "$FOLDER/log/mariadb.log"; then stop_all; exit 1; fi

  local db_name=tallyfair db_user=tf_site db_password
  if [ -f "$FOLDER/conf/db-password" ]; then
    db_password=$(cat "$FOLDER/conf/db-password")
  else
    db_password=$(php -r 'echo bin2hex(random_bytes(12));')
    (umask 077 && echo "$db_password" >"$FOLDER/conf/db-password")
  fi
  if [ $fresh -eq 1 ]; then
    "$client" --no-defaults --socket="$db_socket" -u "$(id -un)" <<SQL
CREATE DATABASE $db_name;
CREATE USER '$db_user'@'localhost' IDENTIFIED BY '$db_password';
CREATE USER '$db_user'@'127.0.0.1' IDENTIFIED BY '$db_password';
GRANT SELECT, INSERT, UPDATE, DELETE ON $db_name.* TO '$db_user'@'localhost';
GRANT SELECT, INSERT, UPDATE, DELETE ON $db_name.* TO '$db_user'@'127.0.0.1';
SQL
    "$client" --no-defaults --socket="$db_socket" -u "$(id -un)" "$db_name" <"$scripts/schema.sql"
  fi

  # The form the control panel writes; the database by its socket, as a
  # site on the same machine reaches it.
  printf '<?php\r\n  $hostname="%s";\r\n  $database="%s";\r\n  $username="%s";\r\n  $password="%s";\r\n?>\r\n' \
    "$db_socket" "$db_name" "$db_user" "$db_password" >"$FOLDER/www/config.php"

  # ---- php-fpm ---------------------------------------------------------------
  local fpm_user="" fpm_flags=()
  if [ $root -eq 1 ]; then
    fpm_user=$'user = root\ngroup = root'
    fpm_flags=(--allow-to-run-as-root)
  fi
  cat >"$FOLDER/conf/php-fpm.conf" <<CONF
[global]
pid = $RUN/php-fpm.pid
error_log = $FOLDER/log/php-fpm.log
daemonize = no

[site]
$fpm_user
listen = $RUN/php-fpm.sock
listen.mode = 0600
listen.backlog = 511
pm = static
pm.max_children = $workers
access.log = $FOLDER/log/php-fpm-access.log
access.format = "%t \"%m %r\" %s %{mili}d ms %{kilo}M KiB"
php_admin_value[memory_limit] = $memory
php_admin_value[error_log] = $FOLDER/log/php-errors.log
php_admin_flag[log_errors] = on
php_admin_flag[display_errors] = off
CONF
  "$fpm" --nodaemonize --fpm-config "$FOLDER/conf/php-fpm.conf" "${fpm_flags[@]}" \
    >>"$FOLDER/log/php-fpm.log" 2>&1 &
  echo $! >"$RUN/php-fpm.pid"
  for _ in $(seq 1 100); do
    [ -S "$RUN/php-fpm.sock" ] && break
    if ! alive php-fpm; then break; fi
    sleep 0.1
  done
  if [ ! -S "$RUN/php-fpm.sock" ]; then
    echo "stack: php-fpm did not start; the end of $FOLDER/log/php-fpm.log:" >&2
    tail -n 20 "$FOLDER/log/php-fpm.log" >&2 || true
    stop_all
    exit 1
  fi

  # ---- nginx ------------------------------------------------------------------
  local web_port nginx_user=""
  web_port=$(free_port)
  [ $root -eq 1 ] && nginx_user="user root root;"
  cat >"$FOLDER/conf/nginx.conf" <<CONF
$nginx_user
worker_processes auto;
pid $RUN/nginx.pid.master;
error_log $FOLDER/log/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $FOLDER/tmp/body;
  fastcgi_temp_path $FOLDER/tmp/fastcgi;
  proxy_temp_path $FOLDER/tmp/proxy;
  uwsgi_temp_path $FOLDER/tmp/uwsgi;
  scgi_temp_path $FOLDER/tmp/scgi;
  # A selection of every sale of a big list is several megabytes of ids.
  client_max_body_size 64m;
  server {
    listen 127.0.0.1:$web_port;
    root $FOLDER/www;
    location = /config.php { deny all; }
    location ~ \.php\$ {
      try_files \$uri =404;
      include /etc/nginx/fastcgi_params;
      fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;
      fastcgi_pass unix:$RUN/php-fpm.sock;
      fastcgi_read_timeout 300s;
    }
  }
}
CONF
  "$nginx" -p "$FOLDER" -c "$FOLDER/conf/nginx.conf" -g 'daemon off;' >>"$FOLDER/log/nginx-error.log" 2>&1 &
  echo $! >"$RUN/nginx.pid"
  if ! wait_port nginx "$web_port" "$FOLDER/log/nginx-error.log"; then stop_all; exit 1; fi

  cat >"$FOLDER/stack.env" <<ENV
SITE_URL=http://127.0.0.1:$web_port
WEB_PORT=$web_port
DB_PORT=$db_port
DB_SOCKET=$db_socket
DB_NAME=$db_name
DB_USER=$db_user
DB_PASSWORD=$db_password
ENV
  echo "stack: site http://127.0.0.1:$web_port  (actions at /actions.php, counting at /track.php)"
  echo "stack: MariaDB on 127.0.0.1:$db_port and $db_socket (as the owner: $client --socket=$db_socket -u $(id -un))"
  echo "stack: stop with: bash scripts/stack.sh stop $FOLDER"
}

case "$COMMAND" in
  start) start ;;
  stop) stop_all ;;
  status)
    for name in "${PROCESSES[@]}"; do
      if alive "$name"; then echo "$name: running ($(cat "$RUN/$name.pid"))"; else echo "$name: stopped"; fi
    done
    ;;
  *) usage ;;
esac
