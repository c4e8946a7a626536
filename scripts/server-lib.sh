# shellcheck shell=bash
# Shared by site.sh and stack.sh (sourced, not run): how they take a folder,
# whom their servers run as, how they write files and how they tell their own
# servers from any other process.
#
# The folder may have been prepared by someone else, and the servers may run
# as another user than the caller, so nothing in it is taken on trust: only
# folders the caller owns and no one else can write are used, files are
# written only where no one else can make a link, and a process is stopped
# only when it is the very process that was started for this folder.

umask 077

: "${TF_NAME:=server}"

tf_die() {
  echo "$TF_NAME: $*" >&2
  exit 1
}

# The permission bits of PATH as a number.
tf_mode() { echo $((8#$(stat -c %a -- "$1"))); }

# Lets PATH be used as a folder of the caller's: makes it (mode 0700) when it
# is not there, and otherwise accepts only a real folder (no link) that the
# caller owns and that neither group nor others can write. Its parent must
# not let others swap it either: it is the caller's or root's, and writable
# by others only with the sticky bit (as /tmp).
tf_own_folder() {
  local path=$1 parent
  parent=$(dirname -- "$path")
  [ -d "$parent" ] || tf_die "$parent does not exist"
  parent=$(cd -- "$parent" && pwd -P)
  local pmode powner
  pmode=$(tf_mode "$parent")
  powner=$(stat -L -c %u -- "$parent")
  if [ $((pmode & 8#1002)) -eq 2 ] || { [ "$powner" != 0 ] && [ "$powner" != "$(id -u)" ]; }; then
    tf_die "$parent is open to others (another owner, or writable without the sticky bit); choose a folder inside a private one"
  fi
  if [ -L "$path" ]; then tf_die "$path is a symbolic link; give the real folder"; fi
  if [ ! -e "$path" ]; then
    mkdir -m 0700 -- "$path" || tf_die "cannot create $path"
    return 0
  fi
  [ -d "$path" ] || tf_die "$path is not a folder"
  [ "$(stat -c %u -- "$path")" = "$(id -u)" ] || tf_die "$path exists and belongs to another user; refusing it"
  [ $(($(tf_mode "$path") & 8#022)) -eq 0 ] || tf_die "$path can be written by group or others; refusing it"
}

# Same for a folder inside one of ours that belongs to the server user: made
# for it when missing, otherwise it must be theirs (or ours) and a real one.
tf_server_folder() {
  local path=$1
  if [ -L "$path" ]; then tf_die "$path is a symbolic link; refusing it"; fi
  if [ ! -e "$path" ]; then
    mkdir -m 0700 -- "$path" || tf_die "cannot create $path"
    [ "$TF_RUN_UID" = "$(id -u)" ] || chown "$TF_RUN_UID:$TF_RUN_GID" -- "$path"
    return 0
  fi
  [ -d "$path" ] || tf_die "$path is not a folder"
  [ "$(stat -c %u -- "$path")" = "$TF_RUN_UID" ] || tf_die "$path belongs to another user than the server's ($TF_RUN_USER); use a fresh folder"
  [ $(($(tf_mode "$path") & 8#022)) -eq 0 ] || tf_die "$path can be written by group or others; refusing it"
}

# The user the servers run as. Never root: a caller that is root has them run
# as the user sudo was called by, or else as a system user of their own
# (made on first use), who can read the site's files through their group.
tf_pick_user() {
  if [ "$(id -u)" -ne 0 ]; then
    TF_RUN_USER=$(id -un)
  elif [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ] && id -u -- "$SUDO_USER" >/dev/null 2>&1; then
    TF_RUN_USER=$SUDO_USER
  else
    TF_RUN_USER=tallyfair-site
    # Another script starting at the same moment may hold the lock on
    # /etc/passwd, or make the user first.
    local try
    for try in 1 2 3 4 5; do
      id -u "$TF_RUN_USER" >/dev/null 2>&1 && break
      useradd --system --user-group --no-create-home --home-dir /nonexistent \
        --shell /usr/sbin/nologin "$TF_RUN_USER" 2>/dev/null && break
      sleep "0.$try"
    done
    id -u "$TF_RUN_USER" >/dev/null 2>&1 || tf_die "cannot create the system user $TF_RUN_USER"
  fi
  TF_RUN_UID=$(id -u -- "$TF_RUN_USER")
  TF_RUN_GID=$(id -g -- "$TF_RUN_USER")
  [ "$TF_RUN_UID" -ne 0 ] || tf_die "the servers would run as root; run as another user or through sudo"
}

# Runs a command as the server user.
tf_as_server() {
  if [ "$TF_RUN_UID" = "$(id -u)" ]; then
    "$@"
  else
    setpriv --reuid="$TF_RUN_UID" --regid="$TF_RUN_GID" --init-groups --no-new-privs -- "$@"
  fi
}

# Starts a server as the server user: only ever as "tf_spawn CMD... &", so
# that the background shell becomes the server (exec) and $! is its id.
tf_spawn() {
  if [ "$TF_RUN_UID" = "$(id -u)" ]; then
    exec "$@"
  else
    exec setpriv --reuid="$TF_RUN_UID" --regid="$TF_RUN_GID" --init-groups --no-new-privs -- "$@"
  fi
}

# Opens one of our folders to the server user's group: read and enter, no
# write. The server user must be able to reach it from /, which is checked.
tf_share_folder() {
  [ "$TF_RUN_UID" = "$(id -u)" ] && return 0
  chgrp -- "$TF_RUN_GID" "$1" && chmod 0750 -- "$1"
}

tf_share_file() {
  [ "$TF_RUN_UID" = "$(id -u)" ] && return 0
  chgrp -- "$TF_RUN_GID" "$1" && chmod 0640 -- "$1"
}

tf_check_reachable() {
  [ "$TF_RUN_UID" = "$(id -u)" ] && return 0
  tf_as_server test -r "$1" ||
    tf_die "the server user $TF_RUN_USER cannot read $1; a folder above it is closed to others (chmod o+x it, or choose another place)"
}

# Writes standard input to PATH inside a folder of ours: whatever is there
# (a planted link included) is removed first and the file is made anew,
# never written through.
tf_write() {
  local path=$1
  rm -f -- "$path"
  (set -o noclobber && cat >"$path") || tf_die "cannot write $path"
}

tf_copy() {
  tf_write "$2" <"$1"
}

# The start time of process PID (clock ticks since boot), which tells it
# from a later process that got the same id.
tf_start_time() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  # The name in parentheses may hold spaces; the fields after it do not.
  stat=${stat##*) }
  set -- $stat
  echo "${20}"
}

# The command line of process PID, as a digest.
tf_cmdline_digest() {
  sha256sum <"/proc/$1/cmdline" 2>/dev/null | cut -d' ' -f1
}

# Records a server just started as $! in RECORD, once it runs EXE: its id,
# start time and command line, so that a later stop finds that very process
# or none (not another one that got its id, nor one that another program
# started with the same id).
tf_record() {
  local record=$1 pid=$2 exe=$3 started digest
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ] || return 1
  started=$(tf_start_time "$pid") || return 1
  digest=$(tf_cmdline_digest "$pid")
  [ -n "$digest" ] || return 1
  printf '%s %s %s\n' "$pid" "$started" "$digest" | tf_write "$record"
}

# Prints the recorded process id when that process still runs EXE, was
# started at the recorded time, has the recorded command line, and that
# command line holds ARGS, the arguments this script gives the server for
# this folder (so a record, however it came there, names no other process);
# prints nothing otherwise.
tf_recorded_pid() {
  local record=$1 exe=$2 args=$3 pid started digest cmdline
  [ -f "$record" ] && [ ! -L "$record" ] || return 0
  read -r pid started digest <"$record" || return 0
  case "$pid" in '' | *[!0-9]*) return 0 ;; esac
  [ "$(tf_start_time "$pid")" = "$started" ] || return 0
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ] || return 0
  [ "$(tf_cmdline_digest "$pid")" = "$digest" ] || return 0
  cmdline="$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) "
  [[ $cmdline == *" $args "* ]] || return 0
  echo "$pid"
}

# Stops the process RECORD names, if it is still the EXE started then with
# ARGS (see tf_recorded_pid), and removes the record.
tf_stop_recorded() {
  local name=$1 record=$2 exe=$3 args=$4 pid
  pid=$(tf_recorded_pid "$record" "$exe" "$args")
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    # Each server ends its own workers on TERM; wait until it is gone, so
    # that its ports and files are free again.
    for _ in $(seq 1 150); do
      [ -n "$(tf_recorded_pid "$record" "$exe" "$args")" ] || break
      sleep 0.1
    done
    if [ -n "$(tf_recorded_pid "$record" "$exe" "$args")" ]; then
      kill -9 "$pid" 2>/dev/null || true
      echo "$TF_NAME: $name ($pid) did not stop in time and was killed" >&2
    fi
    echo "$TF_NAME: stopped $name ($pid)"
  elif [ -e "$record" ] || [ -L "$record" ]; then
    echo "$TF_NAME: the recorded $name is not running (or is not the one started here); nothing stopped" >&2
  fi
  rm -f -- "$record"
}

# The absolute path of a program, looked for in PATH and the sbin folders.
tf_tool() {
  local name dir
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then
      readlink -f -- "$(command -v "$name")"
      return 0
    fi
    for dir in /usr/sbin /usr/local/sbin /usr/bin; do
      if [ -x "$dir/$name" ]; then
        readlink -f -- "$dir/$name"
        return 0
      fi
    done
  done
  echo "$TF_NAME: none of $* found (install them with scripts/deps.sh)" >&2
  return 1
}

tf_port_open() {
  php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$1" 2>/dev/null
}

tf_free_port() {
  php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); $n = stream_socket_get_name($s, false);
          echo substr($n, strrpos($n, ":") + 1);'
}
