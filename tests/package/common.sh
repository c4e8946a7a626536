# Shared by the package tests: a scratch folder, a private X server and a
# way to find a program's windows by their title as the window system sees it.
set -euo pipefail

SCRATCH=$(mktemp -d)
APP_PIDS=()
cleanup() {
    for pid in "${APP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    tf_xvfb_stop
    rm -rf "$SCRATCH"
    return 0
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A private X server (scripts/xvfb.sh): exports DISPLAY and QT_QPA_PLATFORM.
# shellcheck source=../../scripts/xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
start_xvfb() {
    tf_xvfb_start || fail "Xvfb did not start"
}

# Starts a command in the background and remembers it for the cleanup;
# its pid is in LAST_PID.
start_app() {
    "$@" >>"$SCRATCH/app.log" 2>&1 &
    LAST_PID=$!
    APP_PIDS+=("$LAST_PID")
}

# The visible window of PID whose title (_NET_WM_NAME) is TITLE, waiting up
# to 20 s; prints its id. On failure says which titles there were.
window_titled() {
    local pid=$1 title=$2 seen=""
    for _ in $(seq 200); do
        seen=""
        for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
            local name
            name=$(xprop -id "$w" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')
            if [ "$name" = "$title" ]; then
                echo "$w"
                return 0
            fi
            seen="$seen \"$name\""
        done
        kill -0 "$pid" 2>/dev/null || fail "the program ended before showing \"$title\"; log: $(cat "$SCRATCH/app.log")"
        sleep 0.1
    done
    fail "no window titled \"$title\" (titles seen:${seen:- none})"
}

# Waits until PID runs the executable PATH (a launcher execs the program).
wait_for_exe() {
    local pid=$1 path=$2
    for _ in $(seq 100); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$path" ] && return 0
        sleep 0.1
    done
    fail "process $pid runs $(readlink "/proc/$pid/exe" 2>/dev/null || echo nothing), not $path"
}

stop_app() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
